// The code page 936 conversions over arbitrary input, read both as bytes and as UTF-16.
//
// Bytes -> text -> bytes gives the same bytes whenever they decode cleanly (no U+FFFD),
// except that a lead byte left without its trail at the very end is dropped. Text -> bytes
// keeps one character per code point ("?" for what the code page cannot hold, ASCII as it
// was), and encoding what was decoded is stable.

#include "FuzzCheck.h"
#include "Text.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using horavox::Cp936Codec;
using horavox::FromCp936;
using horavox::Text;
using horavox::ToCp936;

namespace {

// The bytes without a lead byte (81..FE) that the end cut off from its trail.
std::string_view WithoutCutOffLead(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x81 && b <= 0xFE) {
            if (i + 1 == bytes.size())
                return bytes.substr(0, i);
            i += 2;
        } else {
            ++i;
        }
    }
    return bytes;
}

// The code points of a UTF-16 text, a lone surrogate counting as one.
std::vector<char32_t> CodePoints(const QString& s) {
    std::vector<char32_t> out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(c, s.at(i + 1)));
            ++i;
        } else {
            out.push_back(c.unicode());
        }
    }
    return out;
}

void BytesFirst(std::string_view bytes) {
    const QString text = FromCp936(bytes);
    const Text again = ToCp936(text);
    if (!text.contains(QChar(0xFFFD)))
        FUZZ_CHECK(again == WithoutCutOffLead(bytes));
    FUZZ_CHECK(ToCp936(FromCp936(again)) == again);
    // The converters kept open give what fresh ones give, also on the second use.
    static Cp936Codec codec;
    FUZZ_CHECK(codec.Decode(bytes) == text);
    FUZZ_CHECK(codec.Decode(bytes) == text);
    FUZZ_CHECK(codec.Encode(text) == again);
}

void TextFirst(const QString& text) {
    const Text bytes = ToCp936(text);
    const std::vector<char32_t> in = CodePoints(text);
    const std::vector<char32_t> out = CodePoints(FromCp936(bytes));
    FUZZ_CHECK(ToCp936(FromCp936(bytes)) == bytes);
    FUZZ_CHECK(bytes.size() >= in.size() && bytes.size() <= 2 * in.size());
    FUZZ_CHECK(out.size() == in.size());
    for (std::size_t i = 0; i < in.size() && i < out.size(); ++i) {
        if (in[i] < 0x80)
            FUZZ_CHECK(out[i] == in[i]);
        else if (out[i] < 0x80)
            FUZZ_CHECK(out[i] == U'?'); // never some other ASCII character
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BytesFirst(std::string_view(reinterpret_cast<const char*>(data), size));
    // As UTF-16 code units, taken as they are (QString::fromUtf16 would drop a leading BOM).
    QString units(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * 2);
    TextFirst(units);
    return 0;
}
