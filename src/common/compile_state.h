// The one set of globals of a compiler run, and the records and limits they are built from.
#pragma once

#include <cstddef>
#include <cstdint>

// A name is stored NUL-terminated in 32 bytes, so it has at most 31 characters.
constexpr std::size_t NameSize = 32;

struct NameEntry {
    char name[NameSize];
    uint16_t value;
};

struct CommandEntry {
    char name[NameSize];
    uint16_t code;
    uint16_t arg_count;
};

constexpr int MaxEvents = 256;
constexpr int MaxCommands = 256;
constexpr int MaxDefvars = 256;
constexpr int MaxDefnums = 1024;
constexpr int CodeBufferSize = 8192;
constexpr int EntryTableSize = 256;

// An entry-table slot that no label has set.
constexpr uint16_t NoEntry = 0xFFFF;

// The preprocessor puts these in place of the quotes that open and close a string.
constexpr unsigned char OpenQuoteMark = 0xFF;
constexpr unsigned char CloseQuoteMark = 0xFE;

// Identity of a file on disk, used to tell when two paths name the same file.
struct FileId {
    uint64_t device;
    uint64_t inode;
};

struct SourceFile;

struct CompileState {
    NameEntry* event_list = {};
    uint16_t event_count = {};
    CommandEntry* command_list = {};
    uint16_t command_count = {};

    NameEntry* defvar_table = {};
    uint16_t defvar_count = {};
    NameEntry* defnum_table = {};
    uint16_t defnum_count = {};

    unsigned char code[CodeBufferSize] = {};
    uint16_t code_pos = {};

    uint16_t event_entries[EntryTableSize] = {};
    uint16_t place_table[EntryTableSize] = {};

    uint16_t error_count = {};
    uint16_t line_number = 1;

    // Files being read, innermost first: the include stack.
    SourceFile* open_files = {};
    int include_depth = {};

    // The output file as it stood before the run, and whether any input turned out to be it.
    bool output_exists = {};
    FileId output_id = {};
    bool output_is_input = {};
};

extern CompileState state;

// Puts every value of the state back to how a run starts, closing any file still open and
// keeping the tables' storage. Lets one process compile more than once (tests, fuzzing).
void reset_compile_state();
