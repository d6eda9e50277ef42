#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <termios.h>

namespace horavox {

// The board's side of a serial line, made of a pseudo-terminal: its slave end is
// published as "comN" in a port folder (what HORAVOX_PORT_DIR points at), so the program
// opens it as COMn. The board sends status bytes through the master end and collects
// what the program writes, each byte stamped with the time it was read.
class PtyBoard {
public:
    using Clock = std::chrono::steady_clock;
    struct Received {
        std::uint8_t byte;
        Clock::time_point at;
    };

    // Creates the pty and publishes it as `portDir`/com`portNumber`.
    PtyBoard(std::string portDir, int portNumber);
    ~PtyBoard();
    PtyBoard(const PtyBoard&) = delete;
    PtyBoard& operator=(const PtyBoard&) = delete;

    bool Send(std::string_view bytes);
    bool Send(std::initializer_list<std::uint8_t> bytes);
    // Writes as much of `bytes` as the line takes within `timeout` and returns how many went
    // out. Unlike Send it never waits for ever, so a flood can stop once the far end stops
    // reading.
    std::size_t SendWithin(std::string_view bytes, std::chrono::milliseconds timeout);

    // Everything received so far (a copy), oldest first.
    std::vector<Received> ReceivedBytes() const;
    std::size_t ReceivedCount() const;
    void ClearReceived();
    // Waits until at least `count` bytes have arrived or `timeout` passed.
    bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) const;

    // Closes the master end: for the program this is a cable pulled out.
    void HangUp();
    // A fresh pty, published under the same name, as if the board were plugged in again.
    void Reconnect();
    bool Connected() const;

    // Bytes sent that nobody has read off the slave end yet, and dropping them: a line
    // without a listener loses what the board sends, a pty would block the board instead.
    std::size_t UnreadByProgram() const;
    void DropUnread();

    // The line settings the program left on the slave end.
    termios SlaveSettings() const;
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& SlavePath() const { return slavePath_; }

private:
    void Create();
    void Destroy();
    void ReadLoop();

    std::string portDir_;
    int portNumber_;
    std::string linkPath_;
    std::string slavePath_;
    int master_ = -1;
    int slave_ = -1; // kept open so the line does not hang up when the program closes it
    int stopPipe_[2] = {-1, -1};
    std::thread reader_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Received> received_;
};

// A fresh, empty temporary folder, removed with everything in it when this goes away.
class TempPortDir {
public:
    TempPortDir();
    ~TempPortDir();
    TempPortDir(const TempPortDir&) = delete;
    TempPortDir& operator=(const TempPortDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace horavox
