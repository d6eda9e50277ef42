// A stream of status bytes through the decoder and the two label texts: every field holds
// the low nibble of the last byte with its selector, and the texts are what the digits say.

#include "DeviceClock.h"
#include "FuzzCheck.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

using namespace horavox;

namespace {

std::string Compose(const char* format, int a, int b, int c, int d = 0) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
    return std::string(buffer, static_cast<std::size_t>(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DeviceClock clock;
    // tempTens, tempOnes, tempTenths, hourTens, hourOnes, minuteTens, minuteOnes
    std::array<int, 7> digits{};
    for (std::size_t i = 0; i < size; ++i) {
        StoreStatusByte(clock, data[i]);
        if (data[i] >> 4 < 7)
            digits[data[i] >> 4] = data[i] & 0x0F;
        const std::array<std::int32_t, 7> fields = {
            clock.tempTens, clock.tempOnes,   clock.tempTenths, clock.hourTens,
            clock.hourOnes, clock.minuteTens, clock.minuteOnes};
        for (std::size_t f = 0; f < fields.size(); ++f)
            FUZZ_CHECK(fields[f] == digits[f]);
        FUZZ_CHECK(TimeText(clock) ==
                   Compose("%d%d:%d%d", digits[3], digits[4], digits[5], digits[6]));
        FUZZ_CHECK(TemperatureText(clock) ==
                   Compose("%d%d.%d", digits[0], digits[1], digits[2]) + "\xA1\xE6");
    }
    return 0;
}
