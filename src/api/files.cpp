// Reading a whole file through a provider, and the numbers tools read.
#include <charconv>
#include <system_error>

#include <vorn/parse_unsigned.h>
#include <vorn/read_file.h>
#include <vorn/sources.h>

namespace vorn {

std::optional<std::string> read_whole_file(SourceProvider& provider, const std::string& path,
                                           std::size_t limit) {
    std::unique_ptr<InputFile> input = provider.open(path);
    if (!input)
        return std::nullopt;
    std::string text;
    unsigned char block[16384];
    for (;;) {
        long got = input->read(block, sizeof block);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return text;
        if (static_cast<std::size_t>(got) > limit - text.size())
            return std::nullopt;
        text.append(reinterpret_cast<const char*>(block), static_cast<std::size_t>(got));
    }
}

std::optional<uint64_t> parse_unsigned(std::string_view text, uint64_t max, bool allow_hex) {
    int base = 10;
    if (allow_hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no sign and no blanks, but it would take "0x1" in base 16 as 0 and
    // stop; only a number that uses every character counts.
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc() || stop != end || value > max)
        return std::nullopt;
    return value;
}

}  // namespace vorn
