#include "PosixPort.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace horavox {

// Defined in CustomBaud.cpp: sets a rate that has no Bnnn constant (Linux termios2).
bool SetCustomBaud(int fd, std::int32_t baud);

namespace {

std::string ErrnoText(int error) {
    return std::strerror(error);
}

speed_t StandardSpeed(std::int32_t baud) {
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
#endif
    default: return B0;
    }
}

// The usual lock directory of serial ports (UUCP style, shared with minicom, screen,
// Qt's QSerialPort and others).
const char* LockDirectory() {
    struct stat st {};
    if (::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode))
        return "/run/lock";
    return "/var/lock";
}

std::string LockPathFor(const std::string& devicePath) {
    char resolved[PATH_MAX];
    std::string name = ::realpath(devicePath.c_str(), resolved) ? resolved : devicePath;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return std::string(LockDirectory()) + "/LCK.." + name;
}

enum class LockOwner { None, Us, Other };

// Who holds a lock file: a live process other than us, us, or nobody (missing or stale).
LockOwner LockFileOwner(const std::string& lockPath) {
    FILE* f = std::fopen(lockPath.c_str(), "r");
    if (!f)
        return LockOwner::None;
    long pid = 0;
    const int got = std::fscanf(f, " %ld", &pid);
    std::fclose(f);
    if (got != 1 || pid <= 0)
        return LockOwner::None;
    if (pid == static_cast<long>(::getpid()))
        return LockOwner::Us;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM ? LockOwner::Other
                                                                     : LockOwner::None;
}

// Takes the lock file if the directory lets us; an unwritable lock directory is no
// reason to refuse the port (the kernel-level flock still guards it). A lock of our own
// process belongs to another link of ours, and flock decides between the two.
bool TakeLockFile(const std::string& lockPath, OpenFailure& failure, bool& created) {
    created = false;
    switch (LockFileOwner(lockPath)) {
    case LockOwner::Other:
        failure = {EBUSY, "the port is locked by another program (" + lockPath + ")", {}};
        return false;
    case LockOwner::Us: return true;
    case LockOwner::None: break;
    }
    ::unlink(lockPath.c_str()); // stale: its process is gone
    const int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return true;
    char line[32];
    const int len = std::snprintf(line, sizeof line, "%10ld\n", static_cast<long>(::getpid()));
    if (len > 0)
        (void)!::write(fd, line, static_cast<std::size_t>(len));
    ::close(fd);
    created = true;
    return true;
}

std::string PermissionHint(const std::string& path) {
    struct stat st {};
    std::string owner = "dialout";
    if (::stat(path.c_str(), &st) == 0) {
        if (const struct group* g = ::getgrgid(st.st_gid))
            owner = g->gr_name;
    }
    return "add your user to the group that owns the device (usually dialout; here " + owner +
           "), e.g. 'sudo usermod -aG " + owner + " $USER', then log in again";
}

} // namespace

std::unique_ptr<PosixPort> PosixPort::Open(const std::string& path, const LineSettings& settings,
                                           std::function<void()> wake, OpenFailure& failure,
                                           std::size_t queueCapacity) {
    failure = {};
    if (settings.stopBits == 2) {
        failure = {0, "one and a half stop bits cannot be used with 8 data bits", {}};
        return nullptr;
    }
    const bool customBaud = StandardSpeed(settings.baudRate) == B0;
    if (settings.baudRate <= 0) {
        failure = {0, "baud rate " + std::to_string(settings.baudRate) + " is not supported", {}};
        return nullptr;
    }

    const std::string lockPath = LockPathFor(path);
    bool lockCreated = false;
    if (!TakeLockFile(lockPath, failure, lockCreated))
        return nullptr;
    auto fail = [&](int error, std::string reason, std::string hint, int fd) {
        failure = {error, std::move(reason), std::move(hint)};
        if (fd >= 0)
            ::close(fd);
        if (lockCreated)
            ::unlink(lockPath.c_str());
        return nullptr;
    };

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return fail(error, ErrnoText(error),
                    error == EACCES || error == EPERM ? PermissionHint(path) : std::string{}, -1);
    }
    // Exclusive use: flock works for every user (TIOCEXCL alone does not stop root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return fail(error,
                    error == EWOULDBLOCK ? "the port is in use by another program"
                                         : ErrnoText(error),
                    {}, fd);
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        return fail(error, "not a serial port: " + ErrnoText(error), {}, fd);
    }
    ::ioctl(fd, TIOCEXCL);

    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (settings.stopBits >= 3)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    if (settings.parityCheck)
        tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (!customBaud) {
        ::cfsetispeed(&tio, StandardSpeed(settings.baudRate));
        ::cfsetospeed(&tio, StandardSpeed(settings.baudRate));
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        return fail(error, "cannot apply the line settings: " + ErrnoText(error), {}, fd);
    }
    if (customBaud && !SetCustomBaud(fd, settings.baudRate)) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        return fail(error,
                    "baud rate " + std::to_string(settings.baudRate) +
                        " is not supported: " + ErrnoText(error),
                    {}, fd);
    }
    // RTS is asserted while open; DTR is left as the driver has it. A pty has no modem
    // lines, so a failure here means nothing.
    int rts = TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &rts);
    ::tcflush(fd, TCIOFLUSH);

    std::unique_ptr<PosixPort> port(new PosixPort(fd, lockCreated ? lockPath : std::string{},
                                                  settings, std::move(wake), queueCapacity));
    if (::pipe2(port->wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        failure = {errno, "cannot create the reader's wake-up pipe: " + ErrnoText(errno), {}};
        return nullptr; // the destructor closes the port and the lock
    }
    port->reader_ = std::thread([p = port.get()] { p->ReadLoop(); });
    return port;
}

PosixPort::PosixPort(int fd, std::string lockPath, const LineSettings& settings,
                     std::function<void()> wake, std::size_t queueCapacity)
    : PortLine(std::move(wake), queueCapacity), fd_(fd), lockPath_(std::move(lockPath)),
      settings_(settings) {}

PosixPort::~PosixPort() {
    // The reader sleeps in poll() on the port and the wake-up pipe, or waits for room in
    // the queue; both are released here, so the join below is short.
    if (wakePipe_[1] >= 0) {
        const char stop = 1;
        (void)!::write(wakePipe_[1], &stop, 1);
    }
    queue_.Stop();
    if (reader_.joinable())
        reader_.join();
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    for (int& p : wakePipe_) {
        if (p >= 0)
            ::close(p);
    }
    if (!lockPath_.empty())
        ::unlink(lockPath_.c_str());
}

void PosixPort::MarkLost(int error, const char* what) {
    std::string reason = what;
    if (error != 0)
        reason += std::string(": ") + ErrnoText(error);
    PortLine::MarkLost(std::move(reason));
}

void PosixPort::ReadLoop() {
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            MarkLost(errno, "waiting for data failed");
            return;
        }
        if (fds[1].revents != 0)
            return; // asked to stop
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                if (!queue_.Push({buffer, static_cast<std::size_t>(n)}))
                    return;
                continue;
            }
            if (n == 0) {
                MarkLost(0, "the line hung up (device unplugged or closed)");
                return;
            }
            if (errno == EAGAIN || errno == EINTR)
                continue;
            MarkLost(errno, errno == EIO ? "the line hung up" : "reading failed");
            return;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Never poll a dead descriptor again: that is what spins a core at 100 %.
            MarkLost(0, "the line hung up (device unplugged or closed)");
            return;
        }
    }
}

bool PosixPort::Write(std::string_view bytes) {
    using Clock = std::chrono::steady_clock;
    const auto budget =
        settings_.ioTimeout + settings_.ioTimeout * static_cast<std::int64_t>(bytes.size());
    const auto deadline = Clock::now() + budget;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (Lost())
            return false;
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            MarkLost(errno, "writing failed");
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd out{fd_, POLLOUT, 0};
        ::poll(&out, 1, static_cast<int>(std::min<std::int64_t>(left.count() + 1, INT_MAX)));
    }
    return true;
}

} // namespace horavox
