// Stress of the link's byte queue and port threads. Plain C++ without Qt, so that a
// ThreadSanitizer build sees nothing but our own synchronisation: producers against the
// drain, a stop while the queue is full, the reader thread against writes, destruction
// and a hang-up of the line.

#include "ByteQueue.h"
#include "PosixPort.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace horavox;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void Fail(const char* what, int line) {
    std::fprintf(stderr, "stress_link.cpp:%d: check failed: %s\n", line, what);
    std::exit(1);
}

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            Fail(#cond, __LINE__);                                                                 \
    } while (0)

// A byte stream without short periods: losing, doubling or reordering any run of bytes
// (also a multiple of 256) shows up as a wrong byte.
std::uint8_t Pattern(std::uint64_t i) {
    return static_cast<std::uint8_t>((i ^ (i >> 8) ^ (i >> 16)) & 0xFFu);
}

// Lets the consumer sleep until the queue's wake-up arrives, counting the wake-ups.
struct Waker {
    std::mutex mutex;
    std::condition_variable cv;
    std::uint64_t wakes = 0;
    void Wake() {
        {
            std::lock_guard lock(mutex);
            ++wakes;
        }
        cv.notify_one();
    }
    // Waits for a wake-up beyond `seen`, at most `timeout`; returns the count.
    std::uint64_t WaitBeyond(std::uint64_t seen, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        cv.wait_for(lock, timeout, [&] { return wakes > seen; });
        return wakes;
    }
};

// Several producers push 8-byte records (producer, sequence, check byte) through a small
// queue; the consumer drains on wake-ups only and checks every record in order per producer.
void ProducersAgainstTheDrain() {
    constexpr int kProducers = 3;
    constexpr std::uint32_t kRecords = 60000;
    constexpr std::size_t kCapacity = 512;
    Waker waker;
    ByteQueue queue(kCapacity, [&] { waker.Wake(); });
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&queue, p] {
            for (std::uint32_t seq = 0; seq < kRecords;) {
                // Batches of one to four records in one push.
                const std::uint32_t n = std::min<std::uint32_t>(1 + seq % 4, kRecords - seq);
                std::vector<std::uint8_t> batch;
                for (std::uint32_t k = 0; k < n; ++k, ++seq) {
                    const std::array<std::uint8_t, 8> rec = {
                        static_cast<std::uint8_t>(p),
                        static_cast<std::uint8_t>(seq),
                        static_cast<std::uint8_t>(seq >> 8),
                        static_cast<std::uint8_t>(seq >> 16),
                        static_cast<std::uint8_t>(seq >> 24),
                        0xA5,
                        static_cast<std::uint8_t>(static_cast<std::uint32_t>(p) ^ seq),
                        0x5A};
                    batch.insert(batch.end(), rec.begin(), rec.end());
                }
                CHECK(queue.Push(batch));
            }
        });
    }
    std::array<std::uint32_t, kProducers> next{};
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> carry;
    std::uint64_t total = 0;
    std::uint64_t drains = 0;
    std::uint64_t seenWakes = 0;
    const std::uint64_t expected = std::uint64_t{kProducers} * kRecords * 8;
    const auto deadline = Clock::now() + 60s;
    while (total < expected) {
        CHECK(Clock::now() < deadline);
        seenWakes = waker.WaitBeyond(seenWakes, 100ms);
        // A push may overshoot the capacity by less than one batch, never more.
        CHECK(queue.Size() < kCapacity + 4 * 8);
        queue.TakeAll(out);
        ++drains;
        total += out.size();
        carry.insert(carry.end(), out.begin(), out.end());
        std::size_t i = 0;
        for (; i + 8 <= carry.size(); i += 8) {
            const std::uint8_t* r = carry.data() + i;
            CHECK(r[0] < kProducers);
            const std::uint32_t seq = std::uint32_t{r[1]} | std::uint32_t{r[2]} << 8 |
                                      std::uint32_t{r[3]} << 16 | std::uint32_t{r[4]} << 24;
            CHECK(seq == next[r[0]]);
            CHECK(r[5] == 0xA5 && r[7] == 0x5A);
            CHECK(r[6] == static_cast<std::uint8_t>(std::uint32_t{r[0]} ^ seq));
            ++next[r[0]];
        }
        carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(i));
    }
    for (auto& t : producers)
        t.join();
    CHECK(total == expected);
    CHECK(carry.empty());
    for (std::uint32_t n : next)
        CHECK(n == kRecords);
    // At most one wake-up is outstanding per drain.
    std::lock_guard lock(waker.mutex);
    CHECK(waker.wakes <= drains + 1);
    std::printf("queue: %llu bytes from %d producers in %llu drains, %llu wake-ups\n",
                static_cast<unsigned long long>(total), kProducers,
                static_cast<unsigned long long>(drains),
                static_cast<unsigned long long>(waker.wakes));
}

// A producer blocked on a full queue returns false at once when the queue stops; what was
// queued stays there, and later pushes fail too. The stop races the push on purpose.
void StopWhileFull() {
    for (int round = 0; round < 200; ++round) {
        ByteQueue queue(64, {});
        const std::vector<std::uint8_t> block(64, 0x42);
        std::atomic<int> results{0};
        std::atomic<bool> returned{false};
        std::thread producer([&] {
            int ok = 0;
            while (queue.Push(block))
                ++ok;
            results = ok;
            returned = true;
        });
        if (round % 2 == 0) {
            while (queue.Size() < 64)
                std::this_thread::yield();
        }
        if (round % 4 == 0)
            std::this_thread::sleep_for(1ms);
        queue.Stop();
        const auto deadline = Clock::now() + 5s;
        while (!returned)
            CHECK(Clock::now() < deadline);
        producer.join();
        CHECK(results.load() <= 1); // the queue holds only one block before it is full
        CHECK(!queue.Push(block));
        std::vector<std::uint8_t> out;
        queue.TakeAll(out);
        CHECK(out.size() == 64u * static_cast<std::size_t>(results.load()));
    }
    std::printf("queue: 200 stops while full\n");
}

// The board's side of a pty: writes the pattern and reads (and throws away) what the port
// writes, until told to stop. Non-blocking, so that stopping never waits on the line.
class PtyPeer {
public:
    PtyPeer() {
        char name[256] = {};
        CHECK(::openpty(&master_, &slave_, name, nullptr, nullptr) == 0);
        slavePath_ = name;
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer() {
        Stop();
        if (master_ >= 0)
            ::close(master_);
        ::close(slave_);
    }
    const std::string& SlavePath() const { return slavePath_; }

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Closes the master end: the cable is pulled. Only once the peer's thread is stopped.
    void HangUp() {
        Stop();
        ::close(master_);
        master_ = -1;
    }
    std::uint64_t Sent() const { return sent_.load(); }

private:
    void Run() {
        std::array<std::uint8_t, 1024> chunk{};
        std::array<std::uint8_t, 4096> sink{};
        while (!stop_) {
            pollfd fd{master_, POLLIN | POLLOUT, 0};
            if (::poll(&fd, 1, 10) <= 0)
                continue;
            if (fd.revents & POLLIN)
                (void)!::read(master_, sink.data(), sink.size());
            if (fd.revents & POLLOUT) {
                const std::uint64_t base = sent_.load();
                for (std::size_t i = 0; i < chunk.size(); ++i)
                    chunk[i] = Pattern(base + i);
                const ssize_t n = ::write(master_, chunk.data(), chunk.size());
                if (n > 0)
                    sent_ += static_cast<std::uint64_t>(n);
            }
        }
    }

    int master_ = -1;
    int slave_ = -1; // held so that the port closing its end is no hang-up of the master
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sent_{0};
};

// Checks that what the port delivered is the start of the board's stream, in order.
struct StreamCheck {
    std::uint64_t received = 0;
    void Take(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) {
            CHECK(b == Pattern(received));
            ++received;
        }
    }
};

std::unique_ptr<PosixPort> OpenPort(const std::string& path, Waker& waker, std::size_t capacity) {
    LineSettings settings;
    settings.ioTimeout = 200ms;
    OpenFailure failure;
    auto port = PosixPort::Open(
        path, settings, [&waker] { waker.Wake(); }, failure, capacity);
    if (!port)
        std::fprintf(stderr, "open %s: %s\n", path.c_str(), failure.reason.c_str());
    CHECK(port != nullptr);
    return port;
}

// The port's reader runs against the owner's writes and drains, and the owner destroys the
// port at varying moments: while bytes stream in, while the small queue is full and the
// reader waits for room, and while a write waits for the line.
void ReaderAgainstWritesAndDestruction() {
    std::uint64_t delivered = 0;
    for (int round = 0; round < 60; ++round) {
        PtyPeer peer;
        Waker waker;
        auto port = OpenPort(peer.SlavePath(), waker, round % 3 == 0 ? 256 : 8192);
        peer.Start();
        StreamCheck check;
        std::vector<std::uint8_t> out;
        const auto until = Clock::now() + std::chrono::milliseconds(2 + round % 7 * 3);
        std::uint64_t seen = 0;
        while (Clock::now() < until) {
            CHECK(port->Write("\x01\x00\x00\x00"));
            if (round % 3 != 0) { // every third round leaves the queue full
                seen = waker.WaitBeyond(seen, 5ms);
                port->TakeReceived(out);
                check.Take(out);
            }
        }
        CHECK(!port->Lost());
        port.reset(); // the reader may be reading, waking us or waiting for room
        peer.Stop();
        CHECK(check.received <= peer.Sent());
        delivered += check.received;
    }
    std::printf("port: 60 destructions under load, %llu bytes checked\n",
                static_cast<unsigned long long>(delivered));
}

// The line is pulled while bytes stream in and a write waits: the reader marks the port
// lost and wakes the owner once, the write gives up, everything received before is intact
// and in order, and the port goes away cleanly afterwards.
void HangUpUnderLoad() {
    for (int round = 0; round < 40; ++round) {
        PtyPeer peer;
        Waker waker;
        auto port = OpenPort(peer.SlavePath(), waker, 4096);
        peer.Start();
        std::atomic<bool> writing{true};
        // A second owner thread only writes (the port takes writes from one thread next to
        // its reader); the hang-up may find it waiting for room on the line.
        std::thread writer([&] {
            const std::string block(256, 'w');
            while (writing)
                (void)port->Write(block);
        });
        StreamCheck check;
        std::vector<std::uint8_t> out;
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + round % 5));
        peer.HangUp();
        std::uint64_t seen = 0;
        const auto deadline = Clock::now() + 5s;
        while (!port->Lost()) {
            CHECK(Clock::now() < deadline);
            seen = waker.WaitBeyond(seen, 10ms);
            port->TakeReceived(out);
            check.Take(out);
        }
        port->TakeReceived(out);
        check.Take(out);
        CHECK(!port->LostReason().empty());
        writing = false;
        writer.join();
        // Once lost, a write fails at once instead of waiting for its time-out.
        const auto before = Clock::now();
        CHECK(!port->Write("x"));
        CHECK(Clock::now() - before < 100ms);
        CHECK(check.received <= peer.Sent());
        port.reset();
    }
    std::printf("port: 40 hang-ups under load\n");
}

} // namespace

int main() {
    ProducersAgainstTheDrain();
    StopWhileFull();
    ReaderAgainstWritesAndDestruction();
    HangUpUnderLoad();
    std::printf("stress_link: all checks passed\n");
    return 0;
}
