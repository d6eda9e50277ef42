#include "DeviceClock.h"

namespace horavox {

void StoreStatusByte(DeviceClock& clock, std::int32_t value) {
    const std::int32_t selector = value / 16;
    const std::int32_t digit = value % 16;
    switch (selector) {
    case 0: clock.tempTens = digit; break;
    case 1: clock.tempOnes = digit; break;
    case 2: clock.tempTenths = digit; break;
    case 3: clock.hourTens = digit; break;
    case 4: clock.hourOnes = digit; break;
    case 5: clock.minuteTens = digit; break;
    case 6: clock.minuteOnes = digit; break;
    default: break;
    }
}

Text TimeText(const DeviceClock& clock) {
    return IntToText(clock.hourTens) + IntToText(clock.hourOnes) + ":" +
           IntToText(clock.minuteTens) + IntToText(clock.minuteOnes);
}

Text TemperatureText(const DeviceClock& clock) {
    return IntToText(clock.tempTens) + IntToText(clock.tempOnes) + "." +
           IntToText(clock.tempTenths) + "\xA1\xE6";
}

} // namespace horavox
