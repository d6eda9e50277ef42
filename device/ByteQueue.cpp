#include "ByteQueue.h"

#include <utility>

namespace horavox {

ByteQueue::ByteQueue(std::size_t capacity, std::function<void()> wake)
    : capacity_(capacity), wake_(std::move(wake)) {}

bool ByteQueue::Push(std::span<const std::uint8_t> bytes) {
    bool needWake = false;
    {
        std::unique_lock lock(mutex_);
        spaceFreed_.wait(lock, [&] { return stopped_ || bytes_.size() < capacity_; });
        if (stopped_)
            return false;
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        needWake = !wakePending_;
        wakePending_ = true;
    }
    if (needWake && wake_)
        wake_();
    return true;
}

void ByteQueue::TakeAll(std::vector<std::uint8_t>& out) {
    out.clear();
    {
        std::lock_guard lock(mutex_);
        std::swap(out, bytes_);
        wakePending_ = false;
    }
    spaceFreed_.notify_all();
}

void ByteQueue::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    spaceFreed_.notify_all();
}

std::size_t ByteQueue::Size() const {
    std::lock_guard lock(mutex_);
    return bytes_.size();
}

} // namespace horavox
