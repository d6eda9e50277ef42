// Kept apart from the rest of the port code: <asm/termbits.h> cannot share a file with
// <termios.h>.
#include <cstdint>

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace horavox {

bool SetCustomBaud(int fd, std::int32_t baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace horavox
#else
#include <cerrno>

namespace horavox {

bool SetCustomBaud(int, std::int32_t) {
    errno = EINVAL;
    return false;
}

} // namespace horavox
#endif
