#include "Text.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <limits>

namespace horavox {

namespace {

// Unicode's default-ignorable code points. The code page has bytes for none of them, and
// the encoder drops them instead of writing "?".
bool IsDefaultIgnorable(char32_t c) {
    static constexpr char32_t ranges[][2] = {
        {0x00AD, 0x00AD},  {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},
        {0x17B4, 0x17B5},  {0x180B, 0x180F}, {0x200B, 0x200F},   {0x202A, 0x202E},
        {0x2060, 0x206F},  {0x3164, 0x3164}, {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},
        {0xFFA0, 0xFFA0},  {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
        {0xE0000, 0xE0FFF}};
    for (const auto& r : ranges) {
        if (c >= r[0] && c <= r[1])
            return true;
    }
    return false;
}

QString WithoutVanishingCharacters(const QString& unicode) {
    // Qt's GBK encoder already writes "?" for a character the code page cannot hold; only a
    // lone surrogate and the default-ignorable characters would vanish (and shift every byte
    // after them), so they are turned into "?" first.
    QString clean = unicode;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const QChar c = clean.at(i);
        if (c.isHighSurrogate() && i + 1 < clean.size() && clean.at(i + 1).isLowSurrogate()) {
            if (IsDefaultIgnorable(QChar::surrogateToUcs4(c, clean.at(i + 1))))
                clean.replace(i, 2, QLatin1Char('?'));
            else
                ++i;
        } else if (c.isSurrogate() || IsDefaultIgnorable(c.unicode())) {
            clean[i] = QLatin1Char('?');
        }
    }
    return clean;
}

} // namespace

struct Cp936Codec::Converters {
    QStringEncoder encoder{"GBK", QStringConverter::Flag::Stateless};
    QStringDecoder decoder{"GBK", QStringConverter::Flag::Stateless};
};

Cp936Codec::Cp936Codec() : converters_(std::make_unique<Converters>()) {}

Cp936Codec::~Cp936Codec() = default;

Text Cp936Codec::Encode(const QString& unicode) {
    const QByteArray bytes = converters_->encoder.encode(WithoutVanishingCharacters(unicode));
    return Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString Cp936Codec::Decode(std::string_view bytes) {
    return converters_->decoder.decode(
        QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

Text ToCp936(const QString& unicode) {
    return Cp936Codec().Encode(unicode);
}

QString FromCp936(std::string_view bytes) {
    return Cp936Codec().Decode(bytes);
}

Text FoldFullWidth(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x81 || i + 1 >= text.size()) {
            out.push_back(text[i]);
            continue;
        }
        // A lead byte always takes its trail byte with it, so a trail byte that happens
        // to look like ASCII is never read as a character of its own.
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        ++i;
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out.push_back(static_cast<char>(trail - 0x80));
        } else if (lead == 0xA1 && trail == 0xA1) {
            out.push_back(' ');
        } else if (lead == 0xA1 && trail == 0xAB) {
            out.push_back('~');
        } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
            out.push_back('*');
        } else {
            out.push_back(static_cast<char>(lead));
            out.push_back(static_cast<char>(trail));
        }
    }
    return out;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int32_t TextToInt(std::string_view text) {
    const Text folded = FoldFullWidth(text);
    std::size_t i = 0;
    while (i < folded.size() && IsBlank(folded[i]))
        ++i;
    bool negative = false;
    if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
        negative = folded[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past the 32-bit
    // range: a long run of digits saturates instead of wrapping around.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
        if (magnitude <= limit)
            magnitude = magnitude * 10 + (folded[i] - '0');
    }
    if (negative)
        return magnitude >= limit ? std::numeric_limits<std::int32_t>::min()
                                  : static_cast<std::int32_t>(-magnitude);
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(magnitude);
}

Text IntToText(std::int32_t value) {
    return std::to_string(value);
}

} // namespace horavox
