#include "PtyBoard.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace horavox {

PtyBoard::PtyBoard(std::string portDir, int portNumber)
    : portDir_(std::move(portDir)), portNumber_(portNumber),
      linkPath_(portDir_ + "/com" + std::to_string(portNumber)) {
    Create();
}

PtyBoard::~PtyBoard() {
    Destroy();
    ::unlink(linkPath_.c_str());
}

void PtyBoard::Create() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    slavePath_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    // Raw on both ends: the board's bytes are binary, nothing may be echoed or translated.
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::unlink(linkPath_.c_str());
    if (::symlink(slavePath_.c_str(), linkPath_.c_str()) != 0)
        throw std::runtime_error("symlink " + linkPath_ + ": " + std::strerror(errno));
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    reader_ = std::thread([this] { ReadLoop(); });
}

void PtyBoard::Destroy() {
    if (stopPipe_[1] >= 0) {
        const char stop = 1;
        (void)!::write(stopPipe_[1], &stop, 1);
    }
    if (reader_.joinable())
        reader_.join();
    for (int* fd : {&master_, &slave_, &stopPipe_[0], &stopPipe_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PtyBoard::ReadLoop() {
    std::uint8_t buffer[4096];
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                const auto now = Clock::now();
                {
                    std::lock_guard lock(mutex_);
                    for (ssize_t i = 0; i < n; ++i)
                        received_.push_back({buffer[i], now});
                }
                arrived_.notify_all();
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The slave is held open by us, so this only happens while being torn down;
            // back off instead of spinning.
            ::poll(&fds[1], 1, 10);
        }
    }
}

bool PtyBoard::Send(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
    }
    return true;
}

bool PtyBoard::Send(std::initializer_list<std::uint8_t> bytes) {
    std::string data(bytes.begin(), bytes.end());
    return Send(std::string_view(data));
}

std::size_t PtyBoard::SendWithin(std::string_view bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd out{master_, POLLOUT, 0};
        if (::poll(&out, 1, static_cast<int>(left.count())) <= 0)
            continue;
        if (!(out.revents & POLLOUT))
            break; // the line is gone
        // A blocking write would wait for room for all of it; non-blocking only for this
        // write, since the reader thread copes with EAGAIN and Send keeps its blocking end.
        const int flags = ::fcntl(master_, F_GETFL);
        ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        ::fcntl(master_, F_SETFL, flags);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
    return done;
}

std::vector<PtyBoard::Received> PtyBoard::ReceivedBytes() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t PtyBoard::ReceivedCount() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

void PtyBoard::ClearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

bool PtyBoard::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void PtyBoard::HangUp() {
    Destroy();
}

void PtyBoard::Reconnect() {
    Destroy();
    Create();
}

bool PtyBoard::Connected() const {
    return master_ >= 0;
}

std::size_t PtyBoard::UnreadByProgram() const {
    int count = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &count) != 0 || count < 0)
        return 0;
    return static_cast<std::size_t>(count);
}

void PtyBoard::DropUnread() {
    if (slave_ >= 0)
        ::tcflush(slave_, TCIFLUSH);
}

termios PtyBoard::SlaveSettings() const {
    termios tio{};
    ::tcgetattr(slave_, &tio);
    return tio;
}

TempPortDir::TempPortDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/horavox-ports-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    path_ = pattern;
}

TempPortDir::~TempPortDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace horavox
