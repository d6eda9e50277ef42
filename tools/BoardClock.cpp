#include "BoardClock.h"

#include <cmath>
#include <cstdio>

namespace horavox::board {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Exactly `width` digits (or 1..2 when width is 0) from the front of `text`.
std::optional<int> TakeNumber(std::string_view& text, std::size_t width) {
    std::size_t n = 0;
    while (n < text.size() && IsDigit(text[n]))
        ++n;
    if (width == 0 ? (n < 1 || n > 2) : n != width)
        return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value = value * 10 + (text[i] - '0');
    text.remove_prefix(n);
    return value;
}

bool TakeColon(std::string_view& text) {
    if (text.empty() || text.front() != ':')
        return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

std::optional<int> ParseTimeOfDay(std::string_view text) {
    const auto hour = TakeNumber(text, 0);
    if (!hour || !TakeColon(text))
        return std::nullopt;
    const auto minute = TakeNumber(text, 2);
    if (!minute)
        return std::nullopt;
    std::optional<int> second = 0;
    if (!text.empty()) {
        if (!TakeColon(text) || !(second = TakeNumber(text, 2)))
            return std::nullopt;
    }
    if (!text.empty() || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    return *hour * 3600 + *minute * 60 + *second;
}

std::string FormatTimeOfDay(int secondOfDay) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return buffer;
}

std::optional<int> ParseTemperature(std::string_view text) {
    const auto whole = TakeNumber(text, 0);
    if (!whole)
        return std::nullopt;
    int tenths = 0;
    if (!text.empty()) {
        if (text.front() != '.')
            return std::nullopt;
        text.remove_prefix(1);
        const auto decimal = TakeNumber(text, 1);
        if (!decimal || !text.empty())
            return std::nullopt;
        tenths = *decimal;
    }
    return *whole * 10 + tenths;
}

std::string FormatTemperature(int tenths) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d.%d", tenths / 10, tenths % 10);
    return buffer;
}

int BoardClock::SecondOfDay(std::chrono::steady_clock::duration sinceStart) const {
    const double elapsed = std::chrono::duration<double>(sinceStart).count() * speed_;
    const auto boardSeconds = static_cast<long long>(std::floor(elapsed));
    const long long second = (start_ + boardSeconds) % kSecondsPerDay;
    return static_cast<int>(second < 0 ? second + kSecondsPerDay : second);
}

std::array<std::uint8_t, 7> StatusBytes(int secondOfDay, int temperatureTenths) {
    const int hour = secondOfDay / 3600;
    const int minute = secondOfDay / 60 % 60;
    const int digits[7] = {temperatureTenths / 100,
                           temperatureTenths / 10 % 10,
                           temperatureTenths % 10,
                           hour / 10,
                           hour % 10,
                           minute / 10,
                           minute % 10};
    std::array<std::uint8_t, 7> bytes{};
    for (int selector = 0; selector < 7; ++selector)
        bytes[static_cast<std::size_t>(selector)] =
            static_cast<std::uint8_t>(selector << 4 | digits[selector]);
    return bytes;
}

} // namespace horavox::board
