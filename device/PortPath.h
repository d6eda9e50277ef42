#pragma once

#include <cstdint>
#include <string>

namespace horavox {

// The device behind COMn. With a port folder (HORAVOX_PORT_DIR) it is the entry "comN"
// there; otherwise COM1-32 are /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31 and COM65-96
// /dev/ttyACM0-31 (on Windows "\\.\COMn"). An empty result means no device is mapped.
std::string PortDevicePath(std::int32_t portNumber, const char* portDir);

// The same, reading HORAVOX_PORT_DIR from the environment.
std::string PortDevicePath(std::int32_t portNumber);

} // namespace horavox
