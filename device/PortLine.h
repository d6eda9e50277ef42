#pragma once

#include "ByteQueue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace horavox {

// What every platform's port shares: the queue its reader fills and the "line lost" state,
// set once by whichever thread notices the hang-up first.
class PortLine {
public:
    // Over a minute of the board's 9600 baud while the UI thread is held, yet delivered in a
    // fraction of a second, so that the window keeps answering (a click, a close) under a
    // flood; a 4 MB queue kept it busy for many seconds at a time. A full queue holds the
    // reader back instead of dropping bytes.
    static constexpr std::size_t kDefaultQueueCapacity = 64u << 10;

    // Moves what the reader received into `out`, oldest first.
    void TakeReceived(std::vector<std::uint8_t>& out) { queue_.TakeAll(out); }
    std::size_t Queued() const { return queue_.Size(); }
    // True once the line hung up or failed; the port is then of no further use.
    bool Lost() const { return lost_.load(std::memory_order_acquire); }
    std::string LostReason() const {
        std::lock_guard lock(lostMutex_);
        return lostReason_;
    }

protected:
    PortLine(std::function<void()> wake, std::size_t queueCapacity)
        : wake_(wake), queue_(queueCapacity, std::move(wake)) {}

    // Records the first reason the line was lost and wakes the owner to close it.
    void MarkLost(std::string reason) {
        {
            std::lock_guard lock(lostMutex_);
            if (lost_.load(std::memory_order_relaxed))
                return;
            lostReason_ = std::move(reason);
            lost_.store(true, std::memory_order_release);
        }
        if (wake_)
            wake_();
    }

    const std::function<void()> wake_;
    ByteQueue queue_;

private:
    std::atomic<bool> lost_{false};
    mutable std::mutex lostMutex_;
    std::string lostReason_;
};

} // namespace horavox
