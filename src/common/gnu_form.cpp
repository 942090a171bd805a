// Diagnostics in the GNU form as GCC writes them: the location, the severity and the text, the
// includes the file was reached through, the source line with a caret under the range, notes,
// and colour.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <vorn/gnu_form.h>
#include <vorn/language.h>
#include <vorn/result.h>
#include <vorn/sources.h>

namespace vorn {

namespace {

// GCC's colours (its GCC_COLORS default), as SGR parameters.
constexpr const char* ColourLocus = "01";
constexpr const char* ColourError = "01;31";
constexpr const char* ColourWarning = "01;35";
constexpr const char* ColourNote = "01;36";
constexpr const char* ColourCaret = "01;32";

// The source line's number stands right-aligned in at least this many columns, then " | ".
constexpr std::size_t LineNumberWidth = 5;

// What "In file included from " takes, so that the lines after it line up their "from".
constexpr const char* IncludedFrom = "In file included from ";
constexpr const char* AlsoFrom = "                 from ";

// A byte shown as four characters, \xNN, as escaped_text writes control bytes.
bool shown_escaped(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// A byte that continues a UTF-8 character: it takes no column of its own.
bool continues_character(unsigned char byte) { return (byte & 0xC0) == 0x80; }

const char* colour_of(Severity severity) {
    switch (severity) {
    case Severity::Warning:
        return ColourWarning;
    case Severity::Note:
        return ColourNote;
    case Severity::Error:
        break;
    }
    return ColourError;
}

// text in the SGR colour, as GCC writes it (each escape followed by "erase to the line end",
// so that a background colour does not run on).
std::string coloured(const std::string& text, const char* colour, bool on) {
    if (!on || text.empty())
        return text;
    return std::string("\x1b[") + colour + "m\x1b[K" + text + "\x1b[m\x1b[K";
}

bool same_chain(const IncludeChain& a, const IncludeChain& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Location& x, const Location& y) {
        return x.file == y.file && x.line == y.line;
    });
}

}  // namespace

bool colour_wanted(ColourWhen when, bool on_terminal, const char* no_color) {
    switch (when) {
    case ColourWhen::Always:
        return true;
    case ColourWhen::Never:
        return false;
    case ColourWhen::Auto:
        break;
    }
    return on_terminal && !(no_color && *no_color);
}

ShownBytes shown_bytes(uint32_t column, std::size_t size) {
    if (size <= MaxShownLineWidth)
        return {0, size};
    std::size_t begin = std::min<std::size_t>(column > 0 ? column - 1 : 0, size);
    ShownBytes shown;
    shown.first = begin > ShownBeforeRange ? begin - ShownBeforeRange : 0;
    shown.last = std::min(size, shown.first + MaxShownLineWidth);
    if (shown.last - shown.first < MaxShownLineWidth)
        shown.first = shown.last - MaxShownLineWidth;
    return shown;
}

std::string caret_lines(const Location& where, std::string_view source_line, const GnuStyle& style) {
    return caret_lines(where, SourceLinePart{source_line, 0, source_line.size()}, style);
}

std::string caret_lines(const Location& where, const SourceLinePart& part, const GnuStyle& style) {
    if (where.line == 0 || where.column == 0)
        return {};
    const std::size_t size = part.size;
    std::size_t begin = std::min<std::size_t>(where.column - 1, size);
    std::size_t end = std::min<std::size_t>(std::max(where.end_column, where.column) - 1, size);
    // A range past the line's end (its line end, or nothing) has its caret just after the line.
    const bool past_end = where.column - 1 >= size;
    // The bytes shown: the whole line, or a window around the range's start. Tab stops count
    // from the first byte shown, so that a cut line is as long as any other.
    const ShownBytes window = shown_bytes(where.column, size);
    const std::size_t first = window.first;
    const std::size_t last = window.last;
    if (first < part.offset || last > part.offset + part.text.size())
        return {};
    std::string_view source_line = part.text;
    std::string shown = first > 0 ? "..." : "";
    const std::size_t text_start = shown.size();
    std::size_t caret_from = 0;
    std::size_t caret_to = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (i == begin)
            caret_from = shown.size();
        if (i == end)
            caret_to = shown.size();
        if (i == last)
            break;
        auto byte = static_cast<unsigned char>(source_line[i - part.offset]);
        if (byte == '\t') {
            shown.append(ShownTabWidth - (shown.size() - text_start) % ShownTabWidth, ' ');
        } else if (shown_escaped(byte)) {
            shown += escaped_text(std::string_view(&source_line[i - part.offset], 1));
        } else {
            shown += static_cast<char>(byte);
        }
    }
    // Characters of several bytes take one column: the caret counts columns, not bytes.
    auto columns = [&](std::size_t upto) {
        std::size_t count = 0;
        for (std::size_t k = 0; k < upto && k < shown.size(); ++k)
            if (!continues_character(static_cast<unsigned char>(shown[k])))
                ++count;
        return count;
    };
    if (begin < first)
        caret_from = text_start;
    if (end > last)
        caret_to = shown.size();
    std::size_t from = columns(caret_from);
    std::size_t to = std::max(columns(caret_to), from + 1);
    if (past_end)
        to = from + 1;
    if (last < size)
        shown += "...";

    std::string number = std::to_string(where.line);
    std::string margin = number.size() < LineNumberWidth ? std::string(LineNumberWidth - number.size(), ' ') : "";
    std::string blank_margin(std::max(LineNumberWidth, number.size()), ' ');
    std::string underline = "^" + std::string(to - from - 1, '~');
    return margin + number + " | " + shown + "\n" + blank_margin + " | " + std::string(from, ' ') +
           coloured(underline, ColourCaret, style.colour) + "\n";
}

std::string GnuWriter::located(const Location& where) const {
    return coloured(location_text(where, tool_) + ":", ColourLocus, style_.colour);
}

std::string GnuWriter::severity_text(Severity severity) const {
    return coloured(std::string(severity_name(severity)) + ": ", colour_of(severity), style_.colour);
}

std::string GnuWriter::source_of(const Location& where) {
    if (!style_.caret || !lines_ || where.file.empty() || where.line == 0 || where.column == 0)
        return {};
    std::optional<SourceLinePart> text = lines_->line(where.file, where.line, where.column);
    return text ? caret_lines(where, *text, style_) : std::string();
}

std::string GnuWriter::write(const Diagnostic& d, const IncludeChain& chain, const std::string& context,
                             const std::string& contexts_text) {
    std::string out;
    if (!chain.empty() && !same_chain(chain, last_chain_)) {
        for (std::size_t i = 0; i < chain.size(); ++i)
            out += std::string(i == 0 ? IncludedFrom : AlsoFrom) +
                   coloured(location_text(chain[i], tool_), ColourLocus, style_.colour) +
                   (i + 1 < chain.size() ? ",\n" : ":\n");
    }
    last_chain_ = chain;
    std::string option = warning_option_text(d);
    if (style_.colour && !option.empty()) {
        // " [-Wname]": the option in the severity's colour, as GCC writes it.
        option = " [" + coloured(option.substr(2, option.size() - 3), colour_of(d.severity), true) + "]";
    }
    out += located(d.where) + " " + severity_text(d.severity) + escaped_text(d.text) + option + "\n";
    out += source_of(d.where);
    for (const DiagnosticNote& n : d.notes) {
        out += located(n.where) + " " + severity_text(Severity::Note) + escaped_text(n.text) + "\n";
        out += source_of(n.where);
    }
    if (!contexts_text.empty())
        out += located(d.where) + " " + severity_text(Severity::Note) + escaped_text(contexts_text) + "\n";
    else if (!context.empty())
        out += located(d.where) + " " + severity_text(Severity::Note) + "in the context of " +
               escaped_text(context) + "\n";
    if (d.fatal)
        out += located(d.where) + " " + severity_text(Severity::Note) + stopped_ + " stopped here (status " +
               std::to_string(d.status) + ")\n";
    return out;
}

std::string GnuWriter::note(const std::string& path, const std::string& text) const {
    return coloured(escaped_text(path) + ":", ColourLocus, style_.colour) + " " +
           severity_text(Severity::Note) + escaped_text(text) + "\n";
}

std::string warning_option_text(const Diagnostic& d) {
    if (severity_of(d.kind) != Severity::Warning)
        return "";
    const char* option = d.severity == Severity::Error ? " [-Werror=" : " [-W";
    return option + std::string(kind_name(d.kind)) + "]";
}

std::string gnu_diagnostic(const Diagnostic& diagnostic, const char* tool, const char* stopped) {
    GnuWriter writer(tool, stopped, GnuStyle{false, false}, nullptr);
    return writer.write(diagnostic);
}

IncludeChain include_chain(const CompileResult& result, int source) {
    IncludeChain chain;
    // Each step goes to an earlier file, so the walk ends; the bound guards a malformed result.
    for (std::size_t steps = 0; source >= 0 && static_cast<std::size_t>(source) < result.files.size() &&
                                steps < result.files.size();
         ++steps) {
        const SourceRecord& file = result.files[static_cast<std::size_t>(source)];
        if (file.includer < 0 || static_cast<std::size_t>(file.includer) >= result.files.size())
            break;
        chain.push_back(Location{result.files[static_cast<std::size_t>(file.includer)].path, file.include_line, 0, 0});
        source = file.includer;
    }
    return chain;
}

// A file being read on, line by line, in blocks: the line it stands in, how far into it, and the
// last bytes read of it (enough for any window shown), so that many diagnostics along one long
// line read it once.
struct ProviderLineReader::Cursor {
    // The bytes of a line kept behind where the cursor stands.
    static constexpr std::size_t Kept = 2 * MaxShownLineWidth + 1;

    std::string path;
    std::unique_ptr<InputFile> input;
    unsigned char block[16384];
    std::size_t at = 0;   // in block
    std::size_t got = 0;  // bytes in block
    bool ended = false;   // the end of the file, a read error or the end-of-file mark
    uint32_t number = 0;  // of the line being read or read last; 0 before the first
    bool in_line = false; // the line is read up to pos, not yet to its end
    std::size_t pos = 0;  // bytes of the line read
    std::string window;   // its last bytes read, up to pos

    void fill() {
        long read = input->read(block, sizeof block);
        at = 0;
        got = 0;
        if (read <= 0) {
            ended = true;
            return;
        }
        auto* mark = static_cast<const unsigned char*>(memchr(block, EndOfFileMark, static_cast<std::size_t>(read)));
        // The compiler reads nothing after the end-of-file mark.
        got = mark ? static_cast<std::size_t>(mark - block) : static_cast<std::size_t>(read);
        ended = mark != nullptr;
    }

    // Starts the next line; false at the end of the file.
    bool start_next() {
        while (at == got && !ended)
            fill();
        if (at == got)
            return false;
        ++number;
        in_line = true;
        pos = 0;
        window.clear();
        return true;
    }

    // Reads on in the line until pos reaches stop or the line ends.
    void read_on(std::size_t stop) {
        while (in_line && pos < stop) {
            if (at == got) {
                if (ended) {
                    end_line();
                    break;
                }
                fill();
                continue;
            }
            const char* bytes = reinterpret_cast<const char*>(block + at);
            std::size_t room = std::min(got - at, stop - pos);
            const void* feed = memchr(bytes, '\n', room);
            std::size_t length = feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - bytes) : room;
            std::size_t kept = std::min(length, Kept);
            if (kept < length)
                window.clear();
            window.append(bytes + length - kept, kept);
            if (window.size() > 2 * Kept)
                window.erase(0, window.size() - Kept);
            pos += length;
            at += length;
            if (feed) {
                ++at;
                end_line();
            }
        }
    }

    // A carriage return before the line end is not part of the line.
    void end_line() {
        in_line = false;
        if (!window.empty() && window.back() == '\r') {
            window.pop_back();
            --pos;
        }
    }
};

ProviderLineReader::ProviderLineReader(FileSystemProvider& provider) : provider_(provider) {
    provider_.open_regular_files_only();
}

ProviderLineReader::~ProviderLineReader() = default;

namespace {

// Whether the part [offset, offset + held) of a line read up to size (to its end when whole)
// holds the window shown for column. A line read only in part is read past the window, so that
// its size read stands in for its whole size.
bool holds_window(uint32_t column, std::size_t offset, std::size_t held, std::size_t size, bool whole) {
    std::size_t at = column > 0 ? column - 1 : 0;
    if (!whole && size < std::max(at, MaxShownLineWidth) + MaxShownLineWidth)
        return false;
    ShownBytes want = shown_bytes(column, size);
    return want.first >= offset && want.last <= offset + held;
}

}  // namespace

std::optional<SourceLinePart> ProviderLineReader::line(const std::string& file, uint32_t line, uint32_t column) {
    if (line == 0)
        return std::nullopt;
    for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept)
        if (kept->line == line && kept->file == file &&
            holds_window(column, kept->offset, kept->text.size(), kept->size, kept->whole))
            return SourceLinePart{kept->text, kept->offset, kept->size};
    // Whatever the line's size, the window shown for column ends within this many bytes.
    const std::size_t at = column > 0 ? column - 1 : 0;
    const std::size_t stop = std::max(at, MaxShownLineWidth) + MaxShownLineWidth;
    auto found = std::find_if(open_.begin(), open_.end(), [&](const auto& c) { return c->path == file; });
    std::unique_ptr<Cursor> cursor;
    if (found != open_.end()) {
        cursor = std::move(*found);
        open_.erase(found);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        // A cursor past the line, or past what it keeps of it, starts the file again.
        if (cursor && (cursor->number > line ||
                       (cursor->number == line && cursor->pos - cursor->window.size() > (at > MaxShownLineWidth ? at - MaxShownLineWidth : 0))))
            cursor.reset();
        if (!cursor) {
            cursor = std::make_unique<Cursor>();
            cursor->path = file;
            cursor->input = provider_.open(file);
            if (!cursor->input)
                return std::nullopt;
        }
        Cursor& c = *cursor;
        bool there = c.number == line;
        while (!there) {
            c.read_on(SIZE_MAX);
            if (!c.start_next())
                break;
            there = c.number == line;
        }
        if (!there) {
            open_.push_back(std::move(cursor));
            if (open_.size() > OpenFiles)
                open_.erase(open_.begin());
            return std::nullopt;
        }
        c.read_on(stop);
        const std::size_t offset = c.pos - c.window.size();
        if (!holds_window(column, offset, c.window.size(), c.pos, !c.in_line)) {
            cursor.reset();
            continue;
        }
        if (kept_.size() == KeptLines)
            kept_.erase(kept_.begin());
        kept_.push_back(KeptLine{file, line, c.window, offset, c.pos, !c.in_line});
        open_.push_back(std::move(cursor));
        if (open_.size() > OpenFiles)
            open_.erase(open_.begin());
        return SourceLinePart{kept_.back().text, kept_.back().offset, kept_.back().size};
    }
    return std::nullopt;
}

}  // namespace vorn
