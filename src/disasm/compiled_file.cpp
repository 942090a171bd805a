#include "compiled_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "dis_state.h"
#include "dis_exit_status.h"
#include "disasm_messages.h"
#include "reports.h"

namespace vorn::dis {

// The size of what is left to read after the first MaxScriptFileSize bytes: no compiled file
// has more, so nothing more is read. A regular file's size is known without reading it; of
// anything else (a pipe, a device such as /dev/zero) one byte more is read, to know that
// there is more, and its size stays unknown.
static void note_size_beyond_any_compiled_file(Disassembly& dis, FILE* fp) {
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) > dis.size) {
        dis.size = static_cast<uint64_t>(st.st_size);
        return;
    }
    if (fgetc(fp) != EOF) {
        dis.size += 1;
        dis.size_is_lower_bound = true;
    }
}

void read_compiled_file(Disassembly& dis, const char* path) {
    dis.path = path;
    FILE* fp = fopen(path, "rb");
    if (!fp)
        file_fault(dis, DisCannotReadFile, MSG_CANNOT_OPEN);
    dis.size = fread(dis.bytes, 1, sizeof dis.bytes, fp);
    if (dis.size == sizeof dis.bytes)
        note_size_beyond_any_compiled_file(dis, fp);
    bool failed = ferror(fp) != 0;
    fclose(fp);
    if (failed)
        file_fault(dis, DisCannotReadFile, MSG_CANNOT_READ);
}

// The size the header promises: header, code and the two tables of 2-byte entries.
static uint64_t promised_size(Disassembly& dis) {
    return ScriptHeaderSize + static_cast<uint64_t>(dis.code_size) + 2u * dis.event_count +
           2u * dis.place_count;
}

static void check_size(Disassembly& dis) {
    if (dis.size < ScriptHeaderSize)
        file_fault(dis, DisFileTooShort, MSG_FILE_TOO_SHORT, static_cast<unsigned long long>(dis.size),
                   static_cast<int>(ScriptHeaderSize));
    dis.event_count = static_cast<uint16_t>(read_le(dis.bytes + EventCountOffset, 2));
    dis.place_count = static_cast<uint16_t>(read_le(dis.bytes + PlaceCountOffset, 2));
    dis.code_size = read_le(dis.bytes + CodeSizeOffset, 4);
    uint64_t promised = promised_size(dis);
    if (dis.size_is_lower_bound) {
        // A file longer than any compiled file, of unknown size: too long for a header that
        // makes it at most what was read. A header that makes it longer has a code size or an
        // entry count beyond its limit, which the header checks that follow report.
        if (promised < dis.size)
            file_fault(dis, DisWrongFileSize, MSG_SIZE_UNKNOWN, static_cast<unsigned long long>(promised),
                       static_cast<unsigned long long>(MaxScriptFileSize),
                       static_cast<unsigned long long>(promised), static_cast<int>(ScriptHeaderSize),
                       static_cast<unsigned long>(dis.code_size), dis.event_count, dis.place_count);
        return;
    }
    if (dis.size != promised) {
        // Where the two part: the file's end, or the first byte past the promised end.
        uint64_t at = dis.size < promised ? dis.size : promised;
        file_fault(dis, DisWrongFileSize, MSG_WRONG_SIZE, static_cast<unsigned long long>(at),
                   static_cast<unsigned long long>(dis.size), static_cast<unsigned long long>(promised),
                   static_cast<int>(ScriptHeaderSize), static_cast<unsigned long>(dis.code_size),
                   dis.event_count, dis.place_count);
    }
}

// The header's bytes after the code size.
static void check_reserved(Disassembly& dis) {
    for (std::size_t i = CodeSizeOffset + 4; i < ScriptHeaderSize; ++i)
        if (dis.bytes[i] != 0)
            file_fault(dis, DisReservedNotZero, MSG_RESERVED_NOT_ZERO, static_cast<int>(i), dis.bytes[i]);
}

void check_header(Disassembly& dis) {
    check_size(dis);
    check_reserved(dis);
    if (dis.code_size > static_cast<uint32_t>(CodeBufferSize))
        file_fault(dis, DisCodeTooBig, MSG_CODE_TOO_BIG, static_cast<int>(CodeSizeOffset),
                   static_cast<unsigned long>(dis.code_size), CodeBufferSize);
    if (dis.place_count > EntryTableSize)
        file_fault(dis, DisTooManyPlaces, MSG_TOO_MANY_PLACES, static_cast<int>(PlaceCountOffset),
                   dis.place_count, EntryTableSize);
    if (dis.event_count > static_cast<int>(dis.lists.events.size()))
        file_fault(dis, DisTooManyEvents, MSG_TOO_MANY_EVENTS, static_cast<int>(EventCountOffset),
                   dis.event_count, static_cast<int>(dis.lists.events.size()));
}

}  // namespace vorn::dis
