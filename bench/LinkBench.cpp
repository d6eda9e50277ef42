// The line benchmarks, run in one process: the real MainWindow (offscreen, shown) with its
// ProgramState, connected by 连接's own handler to a pty board published as COM19.
//
//  - latency: board write -> the byte stored in DeviceClock and both labels refreshed. The
//    time is taken in a slot connected to ByteReceived after the window's own handler, so
//    it runs once DecodeStatusByte has returned. One byte at a time, at random gaps.
//    Floor: a bare poll()/read() loop on the same pty, in blocks taken in turns with Horavox's.
//  - ingest: the board writes as fast as the pty takes it; every byte is checked in order.
//    Floor: the bare read loop, same check.
//  - pacing: the design-time melody with the real 500 ms pause, timed by the board when
//    each code is complete. Floor: a bare write + sleep_for(500 ms) loop on the same pty,
//    one melody each in turns.
//  - chime: the byte that completes hh:00 -> the first code at the board, against the
//    100 ms tick (the tick times come from an event filter on the window's timer). Only
//    the first code is timed, so these melodies run with a pause that returns at once.
//  - backlog: 115 200 baud of status bytes (11 520 bytes/s) during a whole melody.
//
// With --smoke everything runs briefly with a short melody, and the exit status says
// whether every row was produced with no byte lost or reordered and the right codes sent.

#include "BenchSupport.h"
#include "MainWindow.h"
#include "Melody.h"
#include "PtyBoard.h"
#include "SerialLink.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>

namespace horavox::bench {
namespace {

struct Settings {
    std::size_t latencyBytes = 10000;
    int ingestS = 30;
    std::size_t floodLimit = 0; // bytes; 0 = as many as the time allows
    int melodies = 5;           // over 100 intervals, so that p99 is not simply the maximum
    int chimes = 20;
    std::string melody = kDesignMelody;
    bool smoke = false;
};

// Everything a check found wrong; the smoke run fails when this is not empty.
std::vector<std::string> g_faults;
int g_rows = 0;

void Fault(const std::string& what) {
    std::fprintf(stderr, "bench_link: %s\n", what.c_str());
    g_faults.push_back(what);
}

void Emit(const Row& r) {
    PrintRow(r);
    ++g_rows;
}

// Runs the UI thread's event loop while `work` runs on a thread of its own.
void WithEventLoop(const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

// Arrival times kept by the receiving side, waited for by the sending side.
class Arrivals {
public:
    void Arrived(Clock::time_point at) {
        {
            std::lock_guard lock(mutex_);
            times_.push_back(at);
        }
        cv_.notify_all();
    }
    bool WaitFor(std::size_t count, Clock::duration timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return times_.size() >= count; });
    }
    std::vector<Clock::time_point> Times() {
        std::lock_guard lock(mutex_);
        return times_;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Clock::time_point> times_;
};

// The slave end of the board's pty, opened the way the port opens it, for the floors.
class BareLine {
public:
    explicit BareLine(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("cannot open " + path);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(fd_, TCSANOW, &tio);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~BareLine() {
        Stop();
        ::close(fd_);
    }
    BareLine(const BareLine&) = delete;
    BareLine& operator=(const BareLine&) = delete;

    // A reader thread: poll(), read(), hand each byte with the time read() returned.
    void Read(std::function<void(std::uint8_t, Clock::time_point)> onByte) {
        ::pipe2(stop_, O_CLOEXEC);
        reader_ = std::thread([this, onByte = std::move(onByte)] {
            std::uint8_t buffer[4096];
            for (;;) {
                pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0)
                    continue;
                if (fds[1].revents != 0)
                    return;
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                const auto now = Clock::now();
                for (ssize_t i = 0; i < n; ++i)
                    onByte(buffer[i], now);
            }
        });
    }
    void Stop() {
        if (!reader_.joinable())
            return;
        const char stop = 1;
        (void)!::write(stop_[1], &stop, 1);
        reader_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    bool Write(const char* bytes, std::size_t n) { return ::write(fd_, bytes, n) == ssize_t(n); }

private:
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread reader_;
};

std::int32_t Field(const DeviceClock& c, int selector) {
    const std::int32_t fields[] = {c.tempTens, c.tempOnes,   c.tempTenths, c.hourTens,
                                   c.hourOnes, c.minuteTens, c.minuteOnes};
    return fields[selector];
}

class Rig {
public:
    explicit Rig(const Settings& settings)
        : settings_(settings), board_(dir_.Path(), 19), window_(state_) {
        ::setenv("HORAVOX_PORT_DIR", dir_.Path().c_str(), 1);
        window_.Link().SetDiagnosticSink([](const std::string& line) { Fault(line); });
        window_.编辑框1->setText(QString::fromStdString(settings_.melody));
        window_.ShowCentred();
    }

    void Run() {
        // The bare loops need the line while the program has it closed. Latency and pacing
        // take turns with their floors, so that both see the same machine.
        const auto ingestFloor = IngestFloor();
        Latency();
        Ingest(ingestFloor);
        Pacing();
        Chime();
        Backlog();
    }

private:
    void Reconnect() {
        window_.ConnectDevice();
        if (!window_.Link().IsOpen())
            throw std::runtime_error("连接 did not open COM19");
    }

    // Sends bytes first.. one at a time at random gaps of 0..500 us; returns the latencies.
    std::vector<double> PingPong(Arrivals& arrivals, std::size_t first, std::size_t count) {
        std::vector<Clock::time_point> sent(count);
        std::mt19937 random(static_cast<std::mt19937::result_type>(first));
        std::uniform_int_distribution<int> gapUs(0, 500);
        for (std::size_t i = 0; i < count; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
            const char byte = static_cast<char>(StatusByte(first + i));
            sent[i] = Clock::now();
            board_.Send(std::string_view(&byte, 1));
            if (!arrivals.WaitFor(i + 1, std::chrono::seconds(2))) {
                Fault(Format("latency: byte %zu never arrived", first + i));
                break;
            }
        }
        const auto arrived = arrivals.Times();
        std::vector<double> us;
        for (std::size_t i = 0; i < arrived.size() && i < count; ++i)
            us.push_back(Us(arrived[i] - sent[i]));
        return us;
    }

    // Blocks of 1000 bytes, the bare read loop's and Horavox's in turn.
    void Latency() {
        std::fprintf(stderr, "link: latency, %zu bytes and as many for the floor\n",
                     settings_.latencyBytes);
        constexpr std::size_t kBlock = 1000;
        std::vector<double> us, floorUs;
        std::size_t wrong = 0;
        for (std::size_t first = 0; first < settings_.latencyBytes; first += kBlock) {
            const std::size_t count = std::min(kBlock, settings_.latencyBytes - first);
            window_.Link().Close();
            {
                Arrivals arrivals;
                BareLine line(board_.SlavePath());
                line.Read([&](std::uint8_t, Clock::time_point at) { arrivals.Arrived(at); });
                const auto f = PingPong(arrivals, first, count);
                floorUs.insert(floorUs.end(), f.begin(), f.end());
            }
            Reconnect();
            Arrivals arrivals;
            std::size_t index = first;
            auto connection = QObject::connect(
                &window_.Link(), &SerialLink::ByteReceived, &window_, [&](qint32 value) {
                    const auto now = Clock::now();
                    if (value != StatusByte(index++) || value >> 4 > 6 ||
                        Field(state_.deviceClock, value >> 4) != (value & 15))
                        ++wrong;
                    arrivals.Arrived(now);
                });
            std::vector<double> block;
            WithEventLoop([&] { block = PingPong(arrivals, first, count); });
            QObject::disconnect(connection);
            us.insert(us.end(), block.begin(), block.end());
        }
        if (wrong != 0 || us.size() != settings_.latencyBytes)
            Fault(Format("latency: %zu of %zu bytes wrong or missing",
                         wrong + settings_.latencyBytes - us.size(), settings_.latencyBytes));
        const Summary s = Summarize(us), floor = Summarize(floorUs);
        auto text = [](const Summary& v) {
            return Format("p50 %.0f us, p99 %.0f us, max %.0f us", v.median, v.p99, v.max);
        };
        Emit({Format("byte -> DeviceClock + labels, pty, n=%zu", s.n), text(s),
              text(floor) + " (bare read loop)",
              Format("p99 %+.0f us (%.1f x)", s.p99 - floor.p99, s.p99 / floor.p99), "p99 < 2 ms",
              Verdict(s.p99 < 2000)});
    }

    // Floods the board's line for `seconds`; `received` is the receiving side's count.
    // Returns per-second rates and the largest count written but not yet received.
    struct Flood {
        std::size_t sent = 0;
        std::size_t maxInFlight = 0;
        long maxRssKb = 0;
        std::vector<double> perSecond;
        Clock::time_point start;
    };
    Flood RunFlood(int seconds, const std::atomic<std::size_t>& received) {
        Flood f;
        std::atomic<bool> stop{false};
        std::atomic<std::size_t> sent{0};
        std::thread watcher([&] {
            std::size_t lastCount = 0;
            auto lastAt = Clock::now();
            for (int tick = 1; !stop.load(); ++tick) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const std::size_t got = received.load();
                f.maxInFlight = std::max(f.maxInFlight, sent.load() - std::min(sent.load(), got));
                f.maxRssKb = std::max(f.maxRssKb, RssKb(::getpid()));
                if (tick % 20 == 0) {
                    const auto now = Clock::now();
                    f.perSecond.push_back(static_cast<double>(got - lastCount) /
                                          std::chrono::duration<double>(now - lastAt).count());
                    lastCount = got;
                    lastAt = now;
                }
            }
        });
        f.start = Clock::now();
        const auto end = f.start + std::chrono::seconds(seconds);
        std::string chunk(4096, '\0');
        while (Clock::now() < end && (settings_.floodLimit == 0 || sent < settings_.floodLimit)) {
            const std::size_t base = sent.load();
            for (std::size_t i = 0; i < chunk.size(); ++i)
                chunk[i] = static_cast<char>(StatusByte(base + i));
            board_.Send(chunk);
            sent.store(base + chunk.size());
        }
        f.sent = sent.load();
        // Everything written must come out at the far end.
        const auto drainDeadline = Clock::now() + std::chrono::seconds(60);
        while (received.load() < f.sent && Clock::now() < drainDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
        watcher.join();
        return f;
    }

    struct IngestResult {
        double bytesPerS = 0;
        Summary perSecond;
    };

    IngestResult IngestFloor() {
        const int seconds = std::max(1, settings_.ingestS / 6);
        std::fprintf(stderr, "link: ingest floor, %d s\n", seconds);
        std::atomic<std::size_t> received{0};
        std::atomic<std::size_t> wrong{0};
        Clock::time_point last;
        BareLine line(board_.SlavePath());
        line.Read([&](std::uint8_t byte, Clock::time_point at) {
            const std::size_t i = received.load(std::memory_order_relaxed);
            if (byte != StatusByte(i))
                wrong.fetch_add(1);
            last = at;
            received.store(i + 1);
        });
        const Flood f = RunFlood(seconds, received);
        line.Stop();
        if (wrong != 0 || received != f.sent)
            Fault("ingest floor: bytes lost or out of order");
        return {static_cast<double>(received.load()) /
                    std::chrono::duration<double>(last - f.start).count(),
                Summarize(f.perSecond)};
    }

    void Ingest(const IngestResult& floor) {
        std::fprintf(stderr, "link: ingest, %d s\n", settings_.ingestS);
        std::atomic<std::size_t> received{0};
        std::size_t wrong = 0;
        Clock::time_point last;
        auto connection = QObject::connect(
            &window_.Link(), &SerialLink::ByteReceived, &window_, [&](qint32 value) {
                const std::size_t i = received.load(std::memory_order_relaxed);
                if (value != StatusByte(i))
                    ++wrong;
                last = Clock::now();
                received.store(i + 1, std::memory_order_release);
            });
        const long rssBefore = RssKb(::getpid());
        Flood f;
        WithEventLoop([&] { f = RunFlood(settings_.ingestS, received); });
        QObject::disconnect(connection);
        // The labels show what the clock holds, and the clock what the stream said last.
        DeviceClock expected;
        for (std::size_t i = 0; i < f.sent; ++i)
            StoreStatusByte(expected, StatusByte(i));
        QCoreApplication::processEvents();
        const bool labelsRight = expected == state_.deviceClock &&
                                 window_.标签4->text() == FromCp936(TimeText(expected)) &&
                                 window_.标签5->text() == FromCp936(TemperatureText(expected));
        const std::size_t lost = f.sent - received.load();
        if (lost != 0 || wrong != 0 || !labelsRight)
            Fault(Format("ingest: %zu lost, %zu out of order, labels %s", lost, wrong,
                         labelsRight ? "right" : "WRONG"));
        const double rate = static_cast<double>(received.load()) /
                            std::chrono::duration<double>(last - f.start).count();
        const Summary s = Summarize(f.perSecond);
        Emit({Format("ingest: pty flood, %d s, labels refreshed per byte", settings_.ingestS),
              Format("%.0f kB/s (per s: min %.0f, median %.0f, max %.0f); %zu lost, %zu out of "
                     "order; max in flight %.0f kB, RSS %+.1f MB",
                     rate / 1000, s.min / 1000, s.median / 1000, s.max / 1000, lost, wrong,
                     static_cast<double>(f.maxInFlight) / 1000,
                     static_cast<double>(f.maxRssKb - rssBefore) / 1024),
              Format("%.0f kB/s (bare read loop)", floor.bytesPerS / 1000),
              Format("%.3f x pty; %.2f x 300 kB/s", rate / floor.bytesPerS, rate / 300000),
              ">= 300 kB/s, zero loss", Verdict(rate >= 300000 && lost == 0 && wrong == 0)});
    }

    std::vector<std::int32_t> ExpectedCodes() const {
        std::vector<std::int32_t> codes = MelodyCodes(settings_.melody);
        codes.push_back(0);
        return codes;
    }

    // Codes as the board read them and when each was complete (its fourth byte arrived).
    struct Wire {
        std::vector<std::int32_t> codes;
        std::vector<Clock::time_point> at;
    };
    static Wire ReadWire(const std::vector<PtyBoard::Received>& bytes) {
        Wire w;
        for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
            std::uint32_t u = 0;
            for (std::size_t k = 0; k < 4; ++k)
                u |= std::uint32_t{bytes[i + k].byte} << (8 * k);
            w.codes.push_back(static_cast<std::int32_t>(u));
            w.at.push_back(bytes[i + 3].at);
        }
        return w;
    }

    // Interval errors (ms) of one melody on the wire; the last is the closing 0's.
    std::vector<double> IntervalErrors(const Wire& w, const char* what) {
        if (w.codes != ExpectedCodes())
            Fault(std::string(what) + ": the board did not receive the melody's codes");
        std::vector<double> errors;
        for (std::size_t i = 1; i < w.at.size(); ++i)
            errors.push_back(Ms(w.at[i] - w.at[i - 1]) - 500);
        return errors;
    }

    std::size_t MelodyBytes() const { return 4 * ExpectedCodes().size(); }

    // One melody from a bare loop on the line; the link must be closed meanwhile.
    std::vector<double> PacingFloor() {
        board_.ClearReceived();
        BareLine line(board_.SlavePath());
        for (std::int32_t code : ExpectedCodes()) {
            const auto bytes = EncodeNoteCode(code);
            line.Write(bytes.data(), bytes.size());
            if (code != 0)
                std::this_thread::sleep_for(kNotePause);
        }
        board_.WaitForBytes(MelodyBytes(), std::chrono::seconds(2));
        return IntervalErrors(ReadWire(board_.ReceivedBytes()), "pacing floor");
    }

    // Floor and Horavox take turns, one melody each, so that both see the same machine.
    void Pacing() {
        std::fprintf(stderr, "link: pacing, %d melodies and as many floor melodies\n",
                     settings_.melodies);
        std::vector<double> errors, closing, floorErrors;
        for (int m = 0; m < settings_.melodies; ++m) {
            window_.Link().Close();
            const auto f = PacingFloor();
            floorErrors.insert(floorErrors.end(), f.begin(), f.end());
            Reconnect();
            board_.ClearReceived();
            WithEventLoop([&] {
                QMetaObject::invokeMethod(
                    &window_, [this] { window_.PlayMelody(); }, Qt::QueuedConnection);
                board_.WaitForBytes(MelodyBytes(), std::chrono::seconds(60));
            });
            const auto e = IntervalErrors(ReadWire(board_.ReceivedBytes()), "pacing");
            errors.insert(errors.end(), e.begin(), e.end());
            if (!e.empty())
                closing.push_back(e.back() + 500);
        }
        auto absolute = [](std::vector<double> v) {
            for (double& x : v)
                x = std::abs(x);
            return Summarize(v);
        };
        const Summary s = absolute(errors), f = absolute(floorErrors);
        const Summary c = Summarize(closing);
        // Like every interval, one closing 0 can meet a busy machine; the typical one decides.
        const bool closingOk = !closing.empty() && std::abs(c.median - 500) < 2;
        Emit(
            {Format("note pacing: %d x the melody (%zu codes + 0), board timestamps",
                    settings_.melodies, ExpectedCodes().size() - 1),
             Format("abs error p50 %.3f, p99 %.3f, max %.3f ms (n=%zu); closing 0 after %.1f ms "
                    "(min %.1f, max %.1f)",
                    s.median, s.p99, s.max, s.n, c.median, c.min, c.max),
             Format("abs error p50 %.3f, p99 %.3f ms (bare write + sleep 500 ms)", f.median, f.p99),
             Format("p99 %+.3f ms", s.p99 - f.p99), "abs error p99 < 2 ms, closing 0 at 500 ms",
             Verdict(s.p99 < 2 && closingOk)});
    }

    void Chime() {
        std::fprintf(stderr, "link: chime latency, %d runs\n", settings_.chimes);
        // Only the first code is timed, so the notes need not be paced here.
        const auto pause = state_.pause;
        state_.pause = [](std::chrono::milliseconds) {};
        struct TickRecorder : QObject {
            std::mutex mutex;
            std::vector<Clock::time_point> ticks;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Timer) {
                    std::lock_guard lock(mutex);
                    ticks.push_back(Clock::now());
                }
                return QObject::eventFilter(watched, event);
            }
        } recorder;
        window_.时钟1->installEventFilter(&recorder);
        std::vector<double> latency, overhead;
        WithEventLoop([&] {
            std::mt19937 random(11);
            std::uniform_int_distribution<int> phaseMs(0, 99);
            for (int run = 0; run < settings_.chimes; ++run) {
                // hh:01 first (minute digit before the hour, so no hh:00 forms early), then
                // at a random phase of the tick the byte that makes it hh:00.
                const int hour = 6 + run % 15;
                board_.Send({0x61, static_cast<std::uint8_t>(0x30 | hour / 10),
                             static_cast<std::uint8_t>(0x40 | hour % 10), 0x50});
                std::this_thread::sleep_for(std::chrono::milliseconds(150 + phaseMs(random)));
                board_.ClearReceived();
                const auto sent = Clock::now();
                board_.Send({0x60});
                if (!board_.WaitForBytes(MelodyBytes(), std::chrono::seconds(2))) {
                    Fault(Format("chime: no melody for %02d:00", hour));
                    continue;
                }
                const auto wire = ReadWire(board_.ReceivedBytes());
                if (wire.codes != ExpectedCodes())
                    Fault("chime: the board did not receive the melody's codes");
                const auto first = board_.ReceivedBytes().front().at;
                latency.push_back(Ms(first - sent));
                std::lock_guard lock(recorder.mutex);
                Clock::time_point tick{};
                for (auto t : recorder.ticks)
                    if (t <= first)
                        tick = t;
                overhead.push_back(Ms(first - tick));
            }
            // Leave the full hour, so that no later stream's hour digit sets off a chime.
            board_.Send({0x51});
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        });
        if (state_.deviceClock.minuteTens != 1)
            Fault("chime: the clock did not leave the full hour");
        window_.时钟1->removeEventFilter(&recorder);
        state_.pause = pause;
        const Summary s = Summarize(latency), o = Summarize(overhead);
        Emit({Format("chime: hh:00 byte -> first code on the wire, n=%zu", s.n),
              Format("median %.1f ms, min %.1f, max %.1f; tick -> wire max %.3f ms", s.median,
                     s.min, s.max, o.max),
              "100 ms tick", Format("max - tick %+.1f ms", s.max - 100), "max <= 110 ms",
              Verdict(s.n == static_cast<std::size_t>(settings_.chimes) && s.max <= 110)});
    }

    void Backlog() {
        constexpr double kRate = 115200.0 / 10; // 8N1: ten bits a byte
        std::fprintf(stderr, "link: backlog, 115200 baud during a melody\n");
        std::atomic<std::size_t> received{0};
        std::size_t wrong = 0;
        Clock::time_point lastDecoded, melodyDone;
        auto connection = QObject::connect(&window_.Link(), &SerialLink::ByteReceived, &window_,
                                           [&](qint32 value) {
                                               const std::size_t i = received.load();
                                               if (value != StatusByte(i))
                                                   ++wrong;
                                               lastDecoded = Clock::now();
                                               received.store(i + 1);
                                           });
        board_.ClearReceived();
        // A board sends at line rate whatever happens: a serial line without flow control
        // cannot hold it back, so what the pty refuses once its buffers are full is what a
        // real line would lose. The board keeps it and counts it; it never waits long for room.
        std::size_t due = 0, sent = 0, maxBehind = 0, maxRefused = 0;
        Clock::time_point lastSent;
        WithEventLoop([&] {
            const auto start = Clock::now();
            bool started = false;
            std::string chunk;
            // At line rate until the closing 0 is on the wire; the melody starts after 0.5 s.
            while (board_.ReceivedCount() < MelodyBytes()) {
                const auto now = Clock::now();
                if (!started && now - start >= std::chrono::milliseconds(500)) {
                    QMetaObject::invokeMethod(
                        &window_,
                        [&] {
                            window_.PlayMelody();
                            melodyDone = Clock::now();
                        },
                        Qt::QueuedConnection);
                    started = true;
                }
                due = static_cast<std::size_t>(kRate *
                                               std::chrono::duration<double>(now - start).count());
                chunk.clear();
                for (std::size_t i = sent; i < due; ++i)
                    chunk.push_back(static_cast<char>(StatusByte(i)));
                if (!chunk.empty()) {
                    // SendWithin counts its time in whole ms, so 2 ms lets it wait at most
                    // one for room.
                    sent += board_.SendWithin(chunk, std::chrono::milliseconds(2));
                    lastSent = Clock::now();
                }
                maxRefused = std::max(maxRefused, due - sent);
                maxBehind = std::max(maxBehind, sent - std::min(sent, received.load()));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            // What the line refused still goes out, late, so that the order can be checked.
            chunk.clear();
            for (std::size_t i = sent; i < due; ++i)
                chunk.push_back(static_cast<char>(StatusByte(i)));
            if (!chunk.empty() && board_.Send(chunk)) {
                sent = due;
                lastSent = Clock::now();
            }
            const auto deadline = Clock::now() + std::chrono::seconds(30);
            while (received.load() < sent && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        });
        QObject::disconnect(connection);
        const auto errors = IntervalErrors(ReadWire(board_.ReceivedBytes()), "backlog");
        double worst = 0;
        for (double e : errors)
            worst = std::max(worst, std::abs(e));
        const std::size_t lost = sent - received.load();
        if (lost != 0 || wrong != 0)
            Fault(Format("backlog: %zu lost, %zu out of order", lost, wrong));
        Emit({"backlog: 115200 baud (11.5 kB/s) during the melody",
              Format("%zu bytes, %zu lost, %zu out of order, %zu refused by the full line; drain "
                     "%.1f ms after the last byte (%.1f ms after the melody); max queued %.0f kB; "
                     "pacing abs error max %.3f ms",
                     sent, lost, wrong, maxRefused, Ms(lastDecoded - lastSent),
                     Ms(lastDecoded - melodyDone), static_cast<double>(maxBehind) / 1000, worst),
              "-", "-", "every byte delivered in order",
              Verdict(lost == 0 && wrong == 0 && maxRefused == 0)});
    }

    Settings settings_;
    TempPortDir dir_;
    PtyBoard board_;
    ProgramState state_;
    MainWindow window_;
};

} // namespace
} // namespace horavox::bench

int main(int argc, char** argv) {
    using namespace horavox::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Settings s;
    s.smoke = Flag(argc, argv, "smoke");
    if (s.smoke) {
        s.latencyBytes = 500;
        s.ingestS = 1;
        s.floodLimit = 1u << 20;
        s.melodies = 1;
        s.chimes = 3;
        s.melody = "L1,M2,H3,";
    }
    s.latencyBytes = static_cast<std::size_t>(
        Option(argc, argv, "latency-bytes", static_cast<long>(s.latencyBytes)));
    s.ingestS = static_cast<int>(Option(argc, argv, "ingest-s", s.ingestS));
    s.melodies = static_cast<int>(Option(argc, argv, "melodies", s.melodies));
    s.chimes = static_cast<int>(Option(argc, argv, "chimes", s.chimes));

    PrintInfo("qt", Format("%s (built against %s)", qVersion(), QT_VERSION_STR));
    PrintInfo("build", HORAVOX_BENCH_BUILD);
    try {
        Rig rig(s);
        rig.Run();
    } catch (const std::exception& e) {
        Fault(e.what());
    }
    constexpr int kRows = 5;
    if (s.smoke) {
        std::printf("bench_link smoke: %d of %d rows, %zu faults\n", g_rows, kRows,
                    g_faults.size());
        return g_rows == kRows && g_faults.empty() ? 0 : 1;
    }
    return g_faults.empty() ? 0 : 1;
}
