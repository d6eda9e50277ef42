#include "WinPort.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

namespace horavox {

namespace {

std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = n != 0 && text ? std::string(text, n) : "error " + std::to_string(error);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

BYTE StopBitsCode(std::int32_t stopBits) {
    switch (stopBits) {
    case 2: return ONE5STOPBITS;
    case 3: return TWOSTOPBITS;
    default: return ONESTOPBIT;
    }
}

} // namespace

std::unique_ptr<WinPort> WinPort::Open(const std::string& path, const LineSettings& settings,
                                       std::function<void()> wake, OpenFailure& failure,
                                       std::size_t queueCapacity) {
    failure = {};
    // Share mode 0: nobody else may have the port while it is ours.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        failure = {static_cast<int>(error), SystemMessage(error), {}};
        return nullptr;
    }
    auto fail = [&](const char* what) {
        const DWORD error = GetLastError();
        failure = {static_cast<int>(error), std::string(what) + ": " + SystemMessage(error), {}};
        CloseHandle(handle);
        return nullptr;
    };

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return fail("cannot read the line settings");
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = NOPARITY;
    dcb.fParity = settings.parityCheck ? TRUE : FALSE;
    dcb.StopBits = StopBitsCode(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE; // DTR is left as the driver has it
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb))
        return fail("the driver refused the line settings");

    // A read returns as soon as one byte is there, or after the time-out with nothing;
    // a write of n bytes may take up to 1000 + 1000 * n ms.
    const auto timeout = static_cast<DWORD>(settings.ioTimeout.count());
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = timeout;
    timeouts.WriteTotalTimeoutMultiplier = timeout;
    timeouts.WriteTotalTimeoutConstant = timeout;
    if (!SetCommTimeouts(handle, &timeouts))
        return fail("cannot set the time-outs");
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);

    std::unique_ptr<WinPort> port(new WinPort(handle, settings, std::move(wake), queueCapacity));
    port->stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!port->stopEvent_) {
        failure = {static_cast<int>(GetLastError()), "cannot create the reader's stop event", {}};
        return nullptr;
    }
    port->reader_ = std::thread([p = port.get()] { p->ReadLoop(); });
    return port;
}

WinPort::WinPort(void* handle, const LineSettings& settings, std::function<void()> wake,
                 std::size_t queueCapacity)
    : PortLine(std::move(wake), queueCapacity), handle_(handle), settings_(settings) {}

WinPort::~WinPort() {
    if (stopEvent_)
        SetEvent(stopEvent_);
    queue_.Stop();
    if (reader_.joinable())
        reader_.join();
    CloseHandle(handle_);
    if (stopEvent_)
        CloseHandle(stopEvent_);
}

void WinPort::MarkLost(unsigned long error, const char* what) {
    std::string reason = what;
    if (error != 0)
        reason += ": " + SystemMessage(error);
    PortLine::MarkLost(std::move(reason));
}

void WinPort::ReadLoop() {
    std::uint8_t buffer[4096];
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) {
        MarkLost(GetLastError(), "cannot create the read event");
        return;
    }
    for (;;) {
        ResetEvent(ov.hEvent);
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &got, &ov)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) {
                MarkLost(error, "reading failed");
                break;
            }
            HANDLE waits[2] = {ov.hEvent, stopEvent_};
            const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0) {
                CancelIo(handle_);
                GetOverlappedResult(handle_, &ov, &got, TRUE);
                break; // asked to stop
            }
            if (!GetOverlappedResult(handle_, &ov, &got, FALSE)) {
                MarkLost(GetLastError(), "reading failed");
                break;
            }
        }
        if (WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0)
            break;
        if (got > 0 && !queue_.Push({buffer, got}))
            break;
        // got == 0 is the read time-out: nothing arrived, which is no error.
    }
    CloseHandle(ov.hEvent);
}

bool WinPort::Write(std::string_view bytes) {
    if (Lost())
        return false;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handle_, &ov, &written, TRUE); // bounded by the time-outs
    const DWORD error = ok ? 0 : GetLastError();
    CloseHandle(ov.hEvent);
    if (!ok && error != ERROR_OPERATION_ABORTED && error != ERROR_TIMEOUT &&
        error != ERROR_SEM_TIMEOUT)
        MarkLost(error, "writing failed");
    return ok && written == bytes.size();
}

} // namespace horavox
