// TextToInt over arbitrary bytes, checked against a plain reading of its rules, against
// strtoll for ASCII texts, and on the texts IntToText writes.

#include "FuzzCheck.h"
#include "Text.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

using horavox::IntToText;
using horavox::TextToInt;

namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// The full-width forms of code page 936, folded pair by pair as the rules list them: a
// lead byte (81..FE) always takes the next byte with it.
std::string Fold(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x81 || lead == 0xFF || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        const auto trail = static_cast<unsigned char>(in[++i]);
        if (lead == 0xA3 && trail >= 0xA1 && trail != 0xFF)
            out += static_cast<char>(trail - 0x80);
        else if (lead == 0xA1 && trail == 0xA1)
            out += ' ';
        else if (lead == 0xA1 && trail == 0xAB)
            out += '~';
        else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF))
            out += '*';
        else
            out += std::string{static_cast<char>(lead), static_cast<char>(trail)};
    }
    return out;
}

// Blanks, a sign, then digits; the number is compared as a digit string, so no arithmetic
// can overflow on the way.
std::int32_t Reference(std::string_view text) {
    const std::string s = Fold(text);
    const std::string_view blanks = " \t\n\v\f\r";
    std::size_t i = 0;
    while (i < s.size() && blanks.find(s[i]) != std::string_view::npos)
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    std::string digits;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        digits += s[i++];
    digits.erase(0, digits.find_first_not_of('0'));
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit))
        return negative ? kMin : kMax;
    const long long magnitude = digits.empty() ? 0 : std::stoll(digits);
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

// The C library's reading of an ASCII text (which has no full-width forms to fold).
std::int32_t Strtoll(std::string_view text) {
    const std::string copy(text); // up to the first NUL, like TextToInt's reading
    errno = 0;
    const long long v = std::strtoll(copy.c_str(), nullptr, 10);
    return v < kMin ? kMin : v > kMax ? kMax : static_cast<std::int32_t>(v);
}

// IntToText's digits in their full-width forms.
std::string FullWidth(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out += '\xA3';
        out += static_cast<char>(static_cast<unsigned char>(c) + 0x80);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::int32_t value = TextToInt(text);
    FUZZ_CHECK(value == Reference(text));

    bool ascii = true;
    for (char c : text)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        FUZZ_CHECK(value == Strtoll(text));

    // Any 32-bit number survives IntToText and TextToInt, in either width, and with text
    // after it.
    if (size >= 4) {
        const auto n =
            static_cast<std::int32_t>(std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                      std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24);
        const std::string written = IntToText(n);
        FUZZ_CHECK(TextToInt(written) == n);
        FUZZ_CHECK(TextToInt(FullWidth(written)) == n);
        FUZZ_CHECK(TextToInt(written + "x" + std::string(text)) == n);
    }
    return 0;
}
