// Every text vorn-dis prints. Faults and notes go to standard error after "<file>: "; the
// listing goes to standard output.
#pragma once

namespace vorn::dis {

// The command line and the file.
#define MSG_DIS_USAGE "USAGE:  vorn-dis [--map MAP] <compiled file>\n"
// --help and --version, laid out as the other tools lay theirs out.
#define MSG_DIS_HELP                                                                       \
    "Checks a compiled VORN script file and lists it as a script that vorn compiles back\n" \
    "to the same bytes. The lists events.lst and command.lst are read from the nearest\n"  \
    "directory from the current one up that holds both. Offsets are in hex, as vorn-list\n" \
    "shows them.\n"                                                                        \
    "Usage: vorn-dis [OPTIONS] file\n"                                                     \
    "\n"                                                                                   \
    "Positionals:\n"                                                                       \
    "  file TEXT REQUIRED          the compiled script file to list\n"                     \
    "\n"                                                                                   \
    "Options:\n"                                                                           \
    "  -h,--help                   Print this help message and exit\n"                     \
    "  --version                   Display program version information and exit\n"        \
    "  --map MAP                   give the names back from MAP, the symbol map that\n"    \
    "                              vorn-list --map wrote for the file's script: defvar\n"  \
    "                              and defnum lines at the top, names in the arguments\n"  \
    "                              the script wrote as names; a map that does not match\n" \
    "                              the file is refused\n"                                  \
    "\n"
#define MSG_DIS_VERSION "vorn-dis %s\n"
#define MSG_REPORT_PREFIX "%s: "
#define MSG_CANNOT_OPEN "cannot open the file\n"
#define MSG_CANNOT_READ "cannot read the file\n"
#define MSG_MAP_CANNOT_OPEN "cannot read the map %s: %s\n"
#define MSG_MAP_TOO_LARGE "the map %s is larger than %ld bytes: not a map of vorn-list's\n"
#define MSG_MAP_MISMATCH "the map %s does not match this file: line %d: %s\n"
#define MSG_MAP_LACKS "the map %s does not match this file: %s\n"

// The header and the file's size.
#define MSG_FILE_TOO_SHORT "offset 0x%04llX: the file ends inside the %d-byte header\n"
#define MSG_WRONG_SIZE                                                                    \
    "offset 0x%04llX: the file is %llu bytes long, but its header makes it %llu: %d + %lu " \
    "bytes of code + %u event and %u place entries of 2 bytes\n"
#define MSG_SIZE_UNKNOWN                                                                   \
    "offset 0x%04llX: the file is more than %llu bytes long, but its header makes it %llu: %d + " \
    "%lu bytes of code + %u event and %u place entries of 2 bytes\n"
#define MSG_RESERVED_NOT_ZERO "offset 0x%04X: reserved header byte 0x%02X is not zero\n"
#define MSG_CODE_TOO_BIG "offset 0x%04X: code size %lu is more than %d\n"
#define MSG_TOO_MANY_PLACES "offset 0x%04X: %u place entries, but there are only %d places\n"
#define MSG_TOO_MANY_EVENTS "offset 0x%04X: %u event entries, but events.lst has %d events\n"

// The code. Each starts with the file offset and the code offset of the fault.
#define MSG_UNKNOWN_COMMAND \
    "offset 0x%04lX (code offset 0x%04lX): statement byte %u names no command; command.lst has %d\n"
#define MSG_UNKNOWN_TAG "offset 0x%04lX (code offset 0x%04lX): argument %d of %s has the unknown tag %u\n"
#define MSG_ARGUMENT_CUT "offset 0x%04lX (code offset 0x%04lX): the code ends before argument %d of %s is complete\n"
#define MSG_STRING_TOO_LONG \
    "offset 0x%04lX (code offset 0x%04lX): argument %d of %s is a string of %lu bytes, more than %d\n"
#define MSG_BAD_EVENT_PARAM \
    "offset 0x%04lX (code offset 0x%04lX): argument %d of %s is event parameter %lu, not %d to %d\n"
#define MSG_BAD_CONDITION \
    "offset 0x%04lX (code offset 0x%04lX): argument %d of %s is condition %lu, not 0 to %d\n"

// The entry tables.
#define MSG_EVENT_PAST_CODE \
    "offset 0x%04lX: event %s enters at code offset 0x%04X, past the end of the code at 0x%04lX\n"
#define MSG_PLACE_PAST_CODE \
    "offset 0x%04lX: place %d enters at code offset 0x%04X, past the end of the code at 0x%04lX\n"

// The listing.
#define MSG_LISTING_HEAD "; vorn-dis listing: code size %lu, event entries %u, place entries %u\n"
#define MSG_DEFVAR "defvar v%u %u\n"
#define MSG_MAPPED_VALUE "%s %s %u\n"
#define MSG_EVENT_LABEL "%s:\n"
#define MSG_PLACE_LABEL "%d\n"
#define MSG_OFFSET_COMMENT "; 0x%04lX"
#define MSG_OFFSET_LINE "; 0x%04lX\n"
// A statement, the blanks up to its offset comment, and the comment.
#define MSG_STATEMENT_LINE "%s%*s%s\n"

// Notes: places where the listing cannot compile back to the same bytes. Each is printed in
// the listing after "; " and on standard error after the file name.
#define MSG_NOTE_LISTING "; cannot be reproduced: %s\n"
#define MSG_NOTE_REPORT "cannot be reproduced: %s\n"
#define MSG_NOTE_SUMMARY "the listing cannot compile back to this file; notes: %d\n"
#define NOTE_NUMBER_FORM \
    "code offset 0x%04lX: the number %ld is stored in a %d-byte form; the compiler gives it the %d-byte one"
#define NOTE_VARIABLE \
    "code offset 0x%04lX: variable number %lu; a script can name only 0 to %d, Self and Time"
#define NOTE_STRING_BYTES                                                             \
    "code offset 0x%04lX: string bytes that no script string can hold: %d, the first 0x%02X " \
    "at code offset 0x%04lX; each is shown as '?'"
#define NOTE_EVENT_INSIDE "code offset 0x%04lX: event %s enters inside the statement at 0x%04lX"
#define NOTE_PLACE_INSIDE "code offset 0x%04lX: place %d enters inside the statement at 0x%04lX"
#define NOTE_COMMAND_NAME "code offset 0x%04lX: command %d (%s) cannot be written: %s"
#define NOTE_EVENT_NAME "code offset 0x%04lX: event %d (%s) cannot be written as a label: %s"
#define NOTE_UNSET_EVENTS \
    "unset entries at the end of the event table: %d; the compiler ends it at its last label"
#define NOTE_UNSET_PLACES \
    "unset entries at the end of the place table: %d; the compiler ends it at its last label"
#define NOTE_LINE_TOO_LONG \
    "code offset 0x%04lX: the statement needs a line of %d characters; the compiler reads %d"
#define NOTE_TOO_MANY_VARIABLES "the code uses %d variables, but a script can define only %d"

// Why a name cannot be written.
#define REASON_BACKSLASH "its name holds a backslash"
#define REASON_PAREN "its name holds '('"
#define REASON_READ_OTHERWISE "a line that spells it is not read as that name"
#define REASON_HIDDEN "an earlier entry of the list has the same name"

}  // namespace vorn::dis
