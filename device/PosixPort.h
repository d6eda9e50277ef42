#pragma once

#include "LineSettings.h"
#include "PortFailure.h"
#include "PortLine.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace horavox {

// One open serial device: a file descriptor in raw mode, a reader thread that moves
// whatever arrives into a ByteQueue, and blocking writes bounded by the time-outs.
// Plain C++ with no Qt, so that its threads can be checked on their own.
class PosixPort : public PortLine {
public:
    // Opens `path` for exclusive use with the given line settings. On failure returns
    // null and fills `failure`. `wake` is called from the reader thread when bytes arrive
    // or the line is lost.
    static std::unique_ptr<PosixPort> Open(const std::string& path, const LineSettings& settings,
                                           std::function<void()> wake, OpenFailure& failure,
                                           std::size_t queueCapacity = kDefaultQueueCapacity);
    ~PosixPort();
    PosixPort(const PosixPort&) = delete;
    PosixPort& operator=(const PosixPort&) = delete;

    // Writes all bytes or fails; gives up after ioTimeout + ioTimeout per byte.
    bool Write(std::string_view bytes);

private:
    PosixPort(int fd, std::string lockPath, const LineSettings& settings,
              std::function<void()> wake, std::size_t queueCapacity);
    void ReadLoop();
    void MarkLost(int error, const char* what);

    int fd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::string lockPath_;
    LineSettings settings_;
    std::thread reader_;
};

} // namespace horavox
