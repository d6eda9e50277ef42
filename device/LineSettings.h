#pragma once

#include <chrono>
#include <cstdint>

namespace horavox {

// What a port is opened with. Only baud, stop bits and the parity switch are ever changed
// by the program; the rest are the link's fixed values.
struct LineSettings {
    std::int32_t baudRate = 9600;
    std::int32_t dataBits = 8;
    std::int32_t stopBits = 1; // 1 = one, 2 = one and a half, 3 = two
    bool parityCheck = false;
    std::chrono::milliseconds ioTimeout{1000};
};

} // namespace horavox
