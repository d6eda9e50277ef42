#include "SerialLink.h"

#include "NativePort.h"
#include "PortPath.h"

#include <QMetaObject>

#include <cstdio>

namespace horavox {

SerialLink::SerialLink(QObject* parent) : QObject(parent) {
    diagnostic_ = [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    };
}

SerialLink::~SerialLink() {
    Close();
}

void SerialLink::SetStopBits(std::int32_t stopBits) {
    settings_.stopBits = stopBits < 1 ? 1 : (stopBits > 3 ? 3 : stopBits);
}

void SerialLink::SetDiagnosticSink(std::function<void(const std::string&)> sink) {
    diagnostic_ = std::move(sink);
}

void SerialLink::Diagnose(const std::string& line) {
    if (diagnostic_)
        diagnostic_(line);
}

void SerialLink::PostDelivery() {
    // Runs on the reader thread. Qt drops a queued call whose receiver is gone, and
    // Close() joins the reader before the link can go away.
    QMetaObject::invokeMethod(this, &SerialLink::DeliverPending, Qt::QueuedConnection);
}

bool SerialLink::Open() {
    Close();
    const std::string name = "COM" + std::to_string(portNumber_);
    devicePath_ = PortDevicePath(portNumber_);
    if (devicePath_.empty()) {
        Diagnose("horavox: cannot open " + name + ": no device is mapped to this port number " +
                 "(COM1-96, or set HORAVOX_PORT_DIR)");
        return false;
    }
    OpenFailure failure;
    port_ = NativePort::Open(
        devicePath_, settings_, [this] { PostDelivery(); }, failure);
    if (!port_) {
        std::string line =
            "horavox: cannot open " + name + " (" + devicePath_ + "): " + failure.reason;
        if (!failure.hint.empty())
            line += "; " + failure.hint;
        Diagnose(line);
        return false;
    }
    return true;
}

bool SerialLink::Send(std::string_view bytes) {
    if (!IsOpen())
        return false;
    if (bytes.empty())
        return true;
    return port_->Write(bytes);
}

void SerialLink::Close() {
    if (port_) {
        ++generation_;
        port_.reset();
    }
}

bool SerialLink::IsOpen() const {
    return port_ && !port_->Lost();
}

void SerialLink::DeliverPending() {
    if (!port_)
        return;
    const std::uint64_t generation = generation_;
    // The reader pushes its last bytes before it marks the line lost, so when the flag is
    // seen here first, everything the line ever delivered is in this batch.
    const bool lost = port_->Lost();
    port_->TakeReceived(delivering_);
    // A local copy: a handler may reopen or close the link, which must not pull the
    // bytes out from under this loop.
    std::vector<std::uint8_t> batch;
    batch.swap(delivering_);
    for (std::uint8_t byte : batch) {
        if (generation != generation_)
            return;
        emit ByteReceived(static_cast<qint32>(byte));
    }
    batch.clear();
    if (delivering_.capacity() < batch.capacity())
        delivering_.swap(batch);
    if (lost && generation == generation_) {
        // Bytes received before the hang-up are delivered above, then the port is closed.
        Diagnose("horavox: lost COM" + std::to_string(portNumber_) + " (" + devicePath_ +
                 "): " + port_->LostReason() + "; press 连接 to open it again");
        Close();
    }
}

} // namespace horavox
