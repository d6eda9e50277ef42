#pragma once

#include "Text.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace horavox {

// The code of one note token (up to two bytes): L = degree, M = degree + 7, H = degree + 14,
// where the degree is TextToInt of the token's last byte; any other first byte gives 1.
std::int32_t NoteCode(std::string_view token);

// The codes of a melody text cut the way the board's host always cut it: a two-byte token
// every three bytes, whatever the third byte is.
std::vector<std::int32_t> MelodyCodes(std::string_view melody);

// A code as the board reads it: signed 32 bits, least significant byte first.
std::array<char, 4> EncodeNoteCode(std::int32_t code);

constexpr std::chrono::milliseconds kNotePause{500};

// Sends each code of the melody followed by a pause, then the closing 0.
// `send` writes four bytes and may fail (its result is not looked at); `pause` blocks.
void PlayMelodyText(std::string_view melody, const std::function<bool(std::string_view)>& send,
                    const std::function<void(std::chrono::milliseconds)>& pause);

} // namespace horavox
