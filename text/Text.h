#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class QString;

namespace horavox {

// The program's texts are byte strings in code page 936 (simplified Chinese):
// lengths and positions count bytes, exactly as the board's old host did.
using Text = std::string;

// Widget text -> code page 936 bytes; characters the code page cannot hold become "?".
Text ToCp936(const QString& unicode);
// Code page 936 bytes -> widget text.
QString FromCp936(std::string_view bytes);

// The same conversions with the converters kept open, for callers that convert on every
// received byte.
class Cp936Codec {
public:
    Cp936Codec();
    ~Cp936Codec();
    Cp936Codec(const Cp936Codec&) = delete;
    Cp936Codec& operator=(const Cp936Codec&) = delete;
    Text Encode(const QString& unicode);
    QString Decode(std::string_view bytes);

private:
    struct Converters;
    std::unique_ptr<Converters> converters_;
};

// Folds the double-byte full-width forms of code page 936 to ASCII (digits, signs,
// letters, the ideographic space), leaving every other byte pair as it was.
Text FoldFullWidth(std::string_view text);

// The leading decimal number of a text: full-width forms folded, white space skipped,
// an optional sign, digits up to the first other character; no digits give 0.
// Numbers beyond 32 bits saturate at INT32_MIN / INT32_MAX instead of wrapping.
std::int32_t TextToInt(std::string_view text);

// "%d" of a 32-bit integer.
Text IntToText(std::int32_t value);

} // namespace horavox
