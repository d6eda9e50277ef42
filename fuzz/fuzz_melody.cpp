// The cutting of melody texts into note codes, NoteCode and the playback's sends and
// pauses, over arbitrary bytes.

#include "FuzzCheck.h"
#include "Melody.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace horavox;

namespace {

// The octave letter's range of codes: the degree is a digit 0..9 or 0 for anything else.
bool InRange(char octave, std::int32_t code) {
    switch (octave) {
    case 'L': return code >= 0 && code <= 9;
    case 'M': return code >= 7 && code <= 16;
    case 'H': return code >= 14 && code <= 23;
    default: return code == 1;
    }
}

std::int32_t Decode(const std::string& four) {
    std::uint32_t u = 0;
    for (int i = 3; i >= 0; --i)
        u = u << 8 | static_cast<unsigned char>(four[static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(u);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view melody(reinterpret_cast<const char*>(data), size);
    const std::vector<std::int32_t> codes = MelodyCodes(melody);
    // One entry per three bytes, the last one possibly shorter.
    FUZZ_CHECK(codes.size() == (size + 2) / 3);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::string_view entry = melody.substr(3 * i, 3);
        const char octave = entry[0];
        const char degree = entry.size() > 1 ? entry[1] : entry[0];
        const std::int32_t digit = degree >= '0' && degree <= '9' ? degree - '0' : 0;
        const std::int32_t expected = octave == 'L'   ? digit
                                      : octave == 'M' ? digit + 7
                                      : octave == 'H' ? digit + 14
                                                      : 1;
        FUZZ_CHECK(codes[i] == expected);
        FUZZ_CHECK(InRange(octave, codes[i]));
        // The separator is never looked at.
        FUZZ_CHECK(NoteCode(entry.substr(0, 2)) == codes[i]);
    }
    if (size <= 2)
        FUZZ_CHECK(NoteCode(melody) == (size == 0 ? 1 : codes[0]));

    // Playback: each code as four bytes, least significant first, a 500 ms pause after
    // each, then the closing 0 without a pause.
    std::string events;
    std::vector<std::int32_t> sent;
    PlayMelodyText(
        melody,
        [&](std::string_view bytes) {
            FUZZ_CHECK(bytes.size() == 4);
            sent.push_back(Decode(std::string(bytes)));
            events += 'S';
            return false; // a failing link changes nothing
        },
        [&](std::chrono::milliseconds d) {
            FUZZ_CHECK(d == std::chrono::milliseconds(500));
            events += 'P';
        });
    std::string pattern;
    for (std::size_t i = 0; i < codes.size(); ++i)
        pattern += "SP";
    FUZZ_CHECK(events == pattern + "S");
    std::vector<std::int32_t> withEnd = codes;
    withEnd.push_back(0);
    FUZZ_CHECK(sent == withEnd);
    return 0;
}
