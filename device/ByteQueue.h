#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace horavox {

// First-in, first-out queue between the port's reader thread and the UI thread.
// When it holds `capacity` bytes the reader waits instead of dropping: the kernel's
// buffer and then the sender are held back, so nothing received is ever lost while
// memory stays bounded. `wake` is called (outside the lock) when bytes arrive and no
// wake-up is outstanding, so a busy reader posts at most one notification per drain.
class ByteQueue {
public:
    ByteQueue(std::size_t capacity, std::function<void()> wake);

    // Appends bytes; blocks while the queue is full. Returns false once stopped.
    bool Push(std::span<const std::uint8_t> bytes);
    // Moves everything queued into `out` (which is cleared first) and re-arms the wake-up.
    void TakeAll(std::vector<std::uint8_t>& out);
    // Makes a waiting or later Push return false at once.
    void Stop();
    std::size_t Size() const;
    std::size_t Capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    const std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable spaceFreed_;
    std::vector<std::uint8_t> bytes_;
    bool stopped_ = false;
    bool wakePending_ = false;
};

} // namespace horavox
