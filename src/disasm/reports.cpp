#include "reports.h"

#include <cstdarg>
#include <cstdio>

#include "dis_state.h"
#include "disasm_messages.h"

namespace vorn::dis {

// A note's text is short: offsets, a number or two and one list name.
constexpr int NoteTextSize = 256;


static FILE* reports(Disassembly& dis) { return dis.report_stream; }

void end_run(int status) {
    fflush(stdout);
    throw DisEnd{status};
}

void file_fault(Disassembly& dis, int status, const char* format, ...) {
    fflush(stdout);
    fprintf(reports(dis), MSG_REPORT_PREFIX, dis.path);
    va_list args;
    va_start(args, format);
    vfprintf(reports(dis), format, args);
    va_end(args);
    end_run(status);
}

void usage_fault(Disassembly& dis, int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(reports(dis), format, args);
    va_end(args);
    end_run(status);
}

void note_problem(Disassembly& dis, int status, const char* format, ...) {
    char text[NoteTextSize];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printf(MSG_NOTE_LISTING, text);
    fprintf(reports(dis), MSG_REPORT_PREFIX, dis.path);
    fprintf(reports(dis), MSG_NOTE_REPORT, text);
    if (dis.note_status == 0 || status < dis.note_status)
        dis.note_status = status;
    ++dis.note_count;
}

void finish_notes(Disassembly& dis) {
    if (dis.note_count == 0)
        return;
    fflush(stdout);
    fprintf(reports(dis), MSG_REPORT_PREFIX, dis.path);
    fprintf(reports(dis), MSG_NOTE_SUMMARY, dis.note_count);
    end_run(dis.note_status);
}

}  // namespace vorn::dis
