#pragma once

#include "ByteQueue.h"
#include "LineSettings.h"
#include "PortFailure.h"

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
class PosixPort {
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
    // Moves what the reader received into `out`, oldest first.
    void TakeReceived(std::vector<std::uint8_t>& out) { queue_.TakeAll(out); }
    // True once the line hung up or failed; the port is then of no further use.
    bool Lost() const { return lost_.load(std::memory_order_acquire); }
    std::string LostReason() const;
    std::size_t Queued() const { return queue_.Size(); }

    static constexpr std::size_t kDefaultQueueCapacity = 4u << 20;

private:
    PosixPort(int fd, std::string lockPath, const LineSettings& settings,
              std::function<void()> wake, std::size_t queueCapacity);
    void ReadLoop();
    void MarkLost(int error, const char* what);

    int fd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::string lockPath_;
    LineSettings settings_;
    std::function<void()> wake_;
    ByteQueue queue_;
    std::atomic<bool> lost_{false};
    mutable std::mutex lostMutex_;
    std::string lostReason_;
    std::thread reader_;
};

} // namespace horavox
