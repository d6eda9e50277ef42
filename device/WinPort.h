#pragma once

#include "LineSettings.h"
#include "PortFailure.h"
#include "PortLine.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace horavox {

// One open COM port on Windows, with the same contract as the POSIX port: exclusive
// open, the line settings applied, a reader thread feeding a ByteQueue, and writes
// bounded by the time-outs. Overlapped I/O lets the reader be stopped at once.
class WinPort : public PortLine {
public:
    static std::unique_ptr<WinPort> Open(const std::string& path, const LineSettings& settings,
                                         std::function<void()> wake, OpenFailure& failure,
                                         std::size_t queueCapacity = kDefaultQueueCapacity);
    ~WinPort();
    WinPort(const WinPort&) = delete;
    WinPort& operator=(const WinPort&) = delete;

    bool Write(std::string_view bytes);

private:
    WinPort(void* handle, const LineSettings& settings, std::function<void()> wake,
            std::size_t queueCapacity);
    void ReadLoop();
    void MarkLost(unsigned long error, const char* what);

    void* handle_;
    void* stopEvent_ = nullptr;
    LineSettings settings_;
    std::thread reader_;
};

} // namespace horavox
