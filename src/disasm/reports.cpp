#include "reports.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include <vorn/diagnostics.h>

#include "dis_state.h"
#include "disasm_messages.h"

namespace vorn::dis {

// A note's text is short: offsets, a number or two and one list name; a fault's has a few
// more numbers.
constexpr int NoteTextSize = 256;
constexpr int FaultTextSize = 512;


static FILE* reports(Disassembly& dis) { return dis.report_stream; }

void end_run(int status) {
    fflush(stdout);
    throw DisEnd{status};
}

// Reports "<file>: " and text, their control bytes escaped: the file name comes from the
// command line and the texts may quote names from the lists.
static void report_line(Disassembly& dis, const char* text) {
    fprintf(reports(dis), MSG_REPORT_PREFIX, vorn::escaped_text(dis.path).c_str());
    std::string_view line = text;
    bool ended = !line.empty() && line.back() == '\n';
    if (ended)
        line.remove_suffix(1);
    fputs(vorn::escaped_text(line).c_str(), reports(dis));
    if (ended)
        fputc('\n', reports(dis));
}

void file_fault(Disassembly& dis, int status, const char* format, ...) {
    fflush(stdout);
    char text[FaultTextSize];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report_line(dis, text);
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
    char report[NoteTextSize + sizeof MSG_NOTE_REPORT];
    snprintf(report, sizeof report, MSG_NOTE_REPORT, text);
    report_line(dis, report);
    if (dis.note_status == 0 || status < dis.note_status)
        dis.note_status = status;
    ++dis.note_count;
}

void finish_notes(Disassembly& dis) {
    if (dis.note_count == 0)
        return;
    fflush(stdout);
    fprintf(reports(dis), MSG_REPORT_PREFIX, vorn::escaped_text(dis.path).c_str());
    fprintf(reports(dis), MSG_NOTE_SUMMARY, dis.note_count);
    end_run(dis.note_status);
}

}  // namespace vorn::dis
