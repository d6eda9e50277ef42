#include "PortPath.h"

#include <cstdlib>

namespace horavox {

std::string PortDevicePath(std::int32_t portNumber, const char* portDir) {
#ifdef _WIN32
    (void)portDir;
    return "\\\\.\\COM" + std::to_string(portNumber);
#else
    if (portDir != nullptr && *portDir != '\0') {
        std::string dir = portDir;
        if (dir.back() != '/')
            dir.push_back('/');
        return dir + "com" + std::to_string(portNumber);
    }
    struct Range {
        std::int32_t first;
        const char* prefix;
    };
    static constexpr Range ranges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& r : ranges) {
        if (portNumber >= r.first && portNumber < r.first + 32)
            return r.prefix + std::to_string(portNumber - r.first);
    }
    return {};
#endif
}

std::string PortDevicePath(std::int32_t portNumber) {
    return PortDevicePath(portNumber, std::getenv("HORAVOX_PORT_DIR"));
}

} // namespace horavox
