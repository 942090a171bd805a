// The limits that diagnostics.def's texts state in their own words. vorn's texts are frozen,
// and each short text takes the same arguments as vorn's, so such a number stays written in
// both; the build checks it against the constant it states instead. A text that vorn does not
// print takes its limit as an argument.
#include <cstddef>
#include <string_view>

#include <vorn/diagnostics.h>
#include <vorn/language.h>

namespace vorn {

namespace {

constexpr std::string_view VornTexts[] = {
#define DIAGNOSTIC(id, kind, severity, status, vorn_text, short_text) vorn_text,
#include <vorn/diagnostics.def>
#undef DIAGNOSTIC
};

constexpr std::string_view ShortTexts[] = {
#define DIAGNOSTIC(id, kind, severity, status, vorn_text, short_text) short_text,
#include <vorn/diagnostics.def>
#undef DIAGNOSTIC
};

// Words and numbers as a text writes them, one after the other: "(0-255)".
struct Stated {
    char text[64] = {};
    std::size_t size = 0;

    constexpr Stated& operator<<(std::string_view words) {
        for (char c : words)
            text[size++] = c;
        return *this;
    }
    constexpr Stated& operator<<(long number) {
        if (number < 0) {
            text[size++] = '-';
            number = -number;
        }
        char digits[20] = {};
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number > 0);
        while (count > 0)
            text[size++] = digits[--count];
        return *this;
    }
    constexpr std::string_view view() const { return std::string_view(text, size); }
};

// Whether both texts of kind (vorn's, where it has one) state what stated holds.
constexpr bool both_state(DiagnosticKind kind, const Stated& stated) {
    std::string_view vorn_text = VornTexts[static_cast<std::size_t>(kind)];
    std::string_view short_text = ShortTexts[static_cast<std::size_t>(kind)];
    return (vorn_text.empty() || vorn_text.find(stated.view()) != std::string_view::npos) &&
           short_text.find(stated.view()) != std::string_view::npos;
}

static_assert(both_state(DiagnosticKind::DefvarRange, Stated() << "out of range (" << 0L << "-" << long{MaxDefvarNumber} << ")"),
              "the defvar-range texts state the highest variable number, MaxDefvarNumber");
static_assert(both_state(DiagnosticKind::EventParamRange,
                         Stated() << "out of range (" << long{FirstEventParam} << "-" << long{LastEventParam} << ")"),
              "the event-param-range texts state FirstEventParam and LastEventParam");

// The check itself: a text that states another number is told apart.
static_assert(!both_state(DiagnosticKind::DefvarRange, Stated() << "(" << 0L << "-" << long{MaxDefvarNumber + 1} << ")"));
static_assert((Stated() << -12L << "," << 0L).view() == "-12,0");

}  // namespace

}  // namespace vorn
