#include "HourlyChime.h"

namespace horavox {

bool ChimeDue(const DeviceClock& clock, std::int32_t& lastChimeHour) {
    if (clock.minuteTens != 0 || clock.minuteOnes != 0)
        return false;
    const std::int32_t hour = 10 * clock.hourTens + clock.hourOnes;
    if (hour > kLastChimeHour || hour < kFirstChimeHour)
        return false;
    if (hour == lastChimeHour)
        return false;
    lastChimeHour = hour;
    return true;
}

} // namespace horavox
