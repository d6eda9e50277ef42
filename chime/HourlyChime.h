#pragma once

#include "DeviceClock.h"

#include <cstdint>

namespace horavox {

constexpr std::int32_t kFirstChimeHour = 6;
constexpr std::int32_t kLastChimeHour = 20;

// Decides on one tick whether the melody is due: the reported minute is 00, the reported
// hour (10 x tens + ones) lies in 6..20 and differs from the hour last chimed. When it is
// due, `lastChimeHour` is updated here, before the caller starts playing.
bool ChimeDue(const DeviceClock& clock, std::int32_t& lastChimeHour);

} // namespace horavox
