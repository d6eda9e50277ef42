#pragma once

#include "Text.h"

#include <cstdint>

namespace horavox {

// The last digit the board reported for each field of its clock and thermometer.
// A field holds whatever low nibble arrived (0..15) and is never cleared.
struct DeviceClock {
    std::int32_t tempTens = 0;
    std::int32_t tempOnes = 0;
    std::int32_t tempTenths = 0;
    std::int32_t hourTens = 0;
    std::int32_t hourOnes = 0;
    std::int32_t minuteTens = 0;
    std::int32_t minuteOnes = 0;

    friend bool operator==(const DeviceClock&, const DeviceClock&) = default;
};

// Stores the digit of one status byte (high nibble: field 0..6, low nibble: digit).
// Selectors 7..15 name no field and change nothing.
void StoreStatusByte(DeviceClock& clock, std::int32_t value);

// "HH:MM" from the four time digits, each printed with IntToText (so 10..15 take two characters).
Text TimeText(const DeviceClock& clock);
// "TT.T℃" in code page 936 (the sign is the two bytes A1 E6).
Text TemperatureText(const DeviceClock& clock);

} // namespace horavox
