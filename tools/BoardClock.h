#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace horavox::board {

inline constexpr int kSecondsPerDay = 24 * 60 * 60;

// "HH:MM" or "HH:MM:SS" (one or two digits for the hour, two for the others) as seconds
// since midnight; nothing for anything else or an impossible time.
std::optional<int> ParseTimeOfDay(std::string_view text);
// "HH:MM:SS" of a second of the day.
std::string FormatTimeOfDay(int secondOfDay);

// A temperature the board can show, 0.0 to 99.9 with at most one decimal, in tenths of a
// degree ("25.6" -> 256). The board reports three digits and no sign.
std::optional<int> ParseTemperature(std::string_view text);
// "TT.T" as the board's digits make it ("05.0" for 50 tenths).
std::string FormatTemperature(int tenths);

// The board's clock: starts at a time of day and runs `speed` board seconds per real second,
// wrapping at midnight.
class BoardClock {
public:
    BoardClock(int startSecondOfDay, double speed) : start_(startSecondOfDay), speed_(speed) {}
    int SecondOfDay(std::chrono::steady_clock::duration sinceStart) const;

private:
    int start_;
    double speed_;
};

// One report, as the board sends it: one byte per digit, the field selector in the high
// nibble (0..2 temperature tens, ones, tenths; 3..4 hour tens, ones; 5..6 minute tens, ones)
// and the digit in the low nibble, temperature first.
std::array<std::uint8_t, 7> StatusBytes(int secondOfDay, int temperatureTenths);

} // namespace horavox::board
