#pragma once

#include "LineSettings.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace horavox {

#ifdef _WIN32
class WinPort;
using NativePort = WinPort;
#else
class PosixPort;
using NativePort = PosixPort;
#endif

// The program's serial port object (端口1). Settings are only stored until the next Open.
// Bytes are read off the UI thread into a queue and raised here, on the thread that owns
// the link, as one ByteReceived per byte in arrival order.
class SerialLink : public QObject {
    Q_OBJECT
public:
    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    void SetPortNumber(std::int32_t number) { portNumber_ = number < 1 ? 1 : number; }
    std::int32_t PortNumber() const { return portNumber_; }
    void SetBaudRate(std::int32_t baud) { settings_.baudRate = baud < 0 ? 0 : baud; }
    std::int32_t BaudRate() const { return settings_.baudRate; }
    void SetStopBits(std::int32_t stopBits);
    std::int32_t StopBits() const { return settings_.stopBits; }
    void SetParityCheck(bool on) { settings_.parityCheck = on; }
    bool ParityCheck() const { return settings_.parityCheck; }
    std::int32_t DataBits() const { return settings_.dataBits; }
    std::chrono::milliseconds IoTimeout() const { return settings_.ioTimeout; }

    // Closes the port if open (dropping bytes not yet delivered), opens COMn afresh with the
    // stored settings and starts receiving. False when the port could not be opened.
    bool Open();
    // Writes the bytes, blocking the caller until done, failed or timed out. False at once
    // when the link is not open; true at once for no bytes on an open link.
    bool Send(std::string_view bytes);
    // Stops receiving, closes the port and drops what was not delivered.
    void Close();
    bool IsOpen() const;

    // Raises ByteReceived for everything queued so far. Runs by itself whenever the owning
    // thread is free; the timer tick calls it first so that no tick overtakes a byte.
    void DeliverPending();

    // The device path of the last Open, for diagnostics and tests.
    const std::string& DevicePath() const { return devicePath_; }

    // Where the one-line diagnostics go (standard error unless replaced).
    void SetDiagnosticSink(std::function<void(const std::string&)> sink);

signals:
    void ByteReceived(qint32 value);

private:
    void Diagnose(const std::string& line);
    void PostDelivery();

    std::int32_t portNumber_ = 1;
    LineSettings settings_;
    std::string devicePath_;
    std::unique_ptr<NativePort> port_;
    std::vector<std::uint8_t> delivering_;
    std::uint64_t generation_ = 0;
    std::function<void(const std::string&)> diagnostic_;
};

} // namespace horavox
