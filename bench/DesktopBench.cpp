// The desktop benchmarks, run against the real executables on an X server (Xvfb):
//  - start-up: exec -> the program's top-level window is mapped, Horavox vs the floor window;
//  - RSS 3 s after start;
//  - a connected run: Horavox, connected by a click on 连接 (xdotool) to a pty board that
//    reports every second, beside the floor window running the same 100 ms timer, for RSS
//    over time and the CPU time used while idle; then a short phase in which every report
//    changes both labels, and a full hour, which Horavox must still answer with its melody.
//
// "Mapped" is the MapNotify the X server sends for the program's own top-level window (the
// one whose _NET_WM_PID is the child's pid); this program listens on the root window for it,
// so nothing polls and the time is read when the event arrives.

#include "BenchSupport.h"
#include "PtyBoard.h"

#include <xcb/xcb.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>

namespace horavox::bench {
namespace {

class XServer {
public:
    XServer() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            throw std::runtime_error("cannot connect to the X server (is DISPLAY set?)");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_PID";
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr);
        netWmPid_ = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        xcb_flush(connection_);
    }
    ~XServer() { xcb_disconnect(connection_); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Drops the events of earlier runs.
    void Drain() {
        while (xcb_generic_event_t* ev = xcb_poll_for_event(connection_))
            std::free(ev);
    }

    // Waits for the MapNotify of a top-level window of `pid`; the time is when it arrived.
    bool WaitForMap(pid_t pid, Clock::duration timeout, xcb_window_t& window,
                    Clock::time_point& at) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            while (xcb_generic_event_t* ev = xcb_poll_for_event(connection_)) {
                const auto now = Clock::now();
                const bool map = (ev->response_type & 0x7f) == XCB_MAP_NOTIFY;
                const xcb_window_t w = map ? reinterpret_cast<xcb_map_notify_event_t*>(ev)->window
                                           : xcb_window_t{XCB_WINDOW_NONE};
                std::free(ev);
                if (map && WindowPid(w) == pid) {
                    window = w;
                    at = now;
                    return true;
                }
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || xcb_connection_has_error(connection_))
                return false;
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()));
        }
    }

private:
    pid_t WindowPid(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, netWmPid_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = -1;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<std::uint32_t*>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t netWmPid_ = XCB_ATOM_NONE;
};

struct Program {
    pid_t pid = -1;
    Clock::time_point started;
    Clock::time_point mapped;
    xcb_window_t window = 0;
    double MapMs() const { return Ms(mapped - started); }
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Starts `exe` on the X server with extra environment; its output goes to /dev/null.
pid_t Spawn(const std::string& exe, const std::vector<std::string>& args, const Environment& env) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    for (const auto& [key, value] : env)
        ::setenv(key.c_str(), value.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
}

void Stop(Program& p) {
    if (p.pid <= 0)
        return;
    ::kill(p.pid, SIGTERM);
    int status = 0;
    ::waitpid(p.pid, &status, 0);
    p.pid = -1;
}

Program Launch(XServer& x, const std::string& exe, const std::vector<std::string>& args = {},
               const Environment& env = {}) {
    x.Drain();
    Program p;
    p.started = Clock::now();
    p.pid = Spawn(exe, args, env);
    if (!x.WaitForMap(p.pid, std::chrono::seconds(20), p.window, p.mapped)) {
        Stop(p);
        throw std::runtime_error(exe + ": no window was mapped within 20 s");
    }
    return p;
}

// CPU time of all threads in ns, from the scheduler's own account (finer than clock ticks).
long long SchedNs(pid_t pid) {
    long long total = 0;
    std::error_code ec;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        total += std::atoll(ReadFirstLine(task.path().string() + "/schedstat").c_str());
    }
    return total;
}

struct CpuUse {
    long long ticks = 0; // utime + stime, clock ticks
    long long ns = 0;    // the scheduler's run time of all threads
    CpuUse operator-(const CpuUse& o) const { return {ticks - o.ticks, ns - o.ns}; }
    double TickPercent(int seconds) const {
        return 100.0 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) /
               seconds;
    }
    double SchedPercent(int seconds) const {
        return 100.0 * static_cast<double>(ns) / 1e9 / seconds;
    }
};

CpuUse CpuNow(pid_t pid) {
    return {CpuTicks(pid), SchedNs(pid)};
}

bool HasOpen(pid_t pid, const std::string& device) {
    std::error_code ec;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code readError;
        if (std::filesystem::read_symlink(fd.path(), readError).string() == device)
            return true;
    }
    return false;
}

bool WaitUntil(const std::function<bool()>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Presses 连接 the way a user does. The button lies at (232..304, menu bar + 24..48) of the
// window; (260, 57) is on it for any menu bar between 15 and 30 pixels high. If the click
// missed, the keyboard is used: focus starts in the port box, two tabs reach the button.
bool PressConnect(const Program& p, const std::string& device) {
    const std::string id = std::to_string(p.window);
    auto run = [](const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    };
    auto connected = [&] { return HasOpen(p.pid, device); };
    run("xdotool mousemove --window " + id + " 260 57 click 1");
    if (WaitUntil(connected, std::chrono::seconds(2)))
        return true;
    run("xdotool windowfocus --sync " + id + " key Tab Tab space");
    return WaitUntil(connected, std::chrono::seconds(2));
}

std::string MsSpread(const Summary& s) {
    return Format("%.1f ms (min %.1f, max %.1f)", s.median, s.min, s.max);
}
std::string MbSpread(const Summary& s) {
    return Format("%.1f MB (min %.1f, max %.1f)", s.median / 1024, s.min / 1024, s.max / 1024);
}

void StartUpAndRss(XServer& x, const std::string& horavox, const std::string& floorExe, int runs,
                   int rssAfterMs) {
    std::vector<double> mapH, mapF, rssH, rssF;
    // Run 0 warms the page cache and the font cache for both and is not counted; the order
    // alternates so that neither program always runs just after the other.
    for (int run = 0; run <= runs; ++run) {
        for (int k = 0; k < 2; ++k) {
            const bool isHoravox = (run + k) % 2 == 0;
            Program p = Launch(x, isHoravox ? horavox : floorExe);
            std::this_thread::sleep_until(p.started + std::chrono::milliseconds(rssAfterMs));
            const long rss = RssKb(p.pid);
            Stop(p);
            if (run == 0)
                continue;
            (isHoravox ? mapH : mapF).push_back(p.MapMs());
            (isHoravox ? rssH : rssF).push_back(static_cast<double>(rss));
        }
        std::fprintf(stderr, "  start-up run %d/%d\n", run, runs);
    }
    const Summary h = Summarize(mapH), f = Summarize(mapF);
    const double ratio = h.median / f.median;
    PrintRow({Format("start-up: exec -> window mapped (Xvfb MapNotify), n=%d", runs), MsSpread(h),
              MsSpread(f), Format("%.2f x", ratio), "<= 1.2 x floor", Verdict(ratio <= 1.2)});
    const Summary rh = Summarize(rssH), rf = Summarize(rssF);
    const double delta = (rh.median - rf.median) / 1024;
    PrintRow({Format("memory: RSS %.0f s after start, n=%d", rssAfterMs / 1000.0, runs),
              MbSpread(rh), MbSpread(rf), Format("%+.1f MB", delta), "<= floor + 5 MB",
              Verdict(delta <= 5)});
}

void ConnectedRun(XServer& x, const std::string& horavox, const std::string& floorExe, int soakS,
                  int cpuS, int reportMs, int busyS) {
    TempPortDir dir;
    PtyBoard board(dir.Path(), 19);
    Program h = Launch(x, horavox, {}, {{"HORAVOX_PORT_DIR", dir.Path()}});
    // The idle floor runs the same 100 ms timer as Horavox's chime check, doing nothing.
    Program f = Launch(x, floorExe, {"--tick"});
    std::fprintf(stderr, "  horavox pid %d, floor pid %d\n", static_cast<int>(h.pid),
                 static_cast<int>(f.pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!PressConnect(h, board.SlavePath())) {
        Stop(h);
        Stop(f);
        throw std::runtime_error("Horavox did not open the board's port after 连接");
    }
    const auto connected = Clock::now();

    // The board reports all seven digits every `reportMs`. Like a real clock its minute
    // moves once every 60 reports (09:10 onwards, so never a full hour) and the temperature's
    // tenths every 5. In the busy phase both labels change on every report.
    std::atomic<bool> stop{false}, busy{false};
    std::thread reporter([&] {
        for (int i = 0; reportMs > 0 && !stop.load(); ++i) {
            const int minute = busy ? 10 * (1 + i / 10 % 5) + i % 10 : 10 + i / 60 % 50;
            const int tenths = busy ? i % 10 : i / 5 % 10;
            board.Send({0x02, 0x13, static_cast<std::uint8_t>(0x20 | tenths), 0x30, 0x49,
                        static_cast<std::uint8_t>(0x50 | minute / 10),
                        static_cast<std::uint8_t>(0x60 | minute % 10)});
            std::this_thread::sleep_until(connected +
                                          std::chrono::milliseconds(reportMs) * (i + 1));
        }
    });

    struct Sample {
        double atS;
        long horavoxKb, floorKb;
    };
    std::vector<Sample> samples;
    const auto end = connected + std::chrono::seconds(soakS);
    const auto cpuStart = end - std::chrono::seconds(cpuS);
    CpuUse cpuH0, cpuF0;
    bool cpuStarted = false;
    for (auto next = connected + std::chrono::seconds(3);; next += std::chrono::seconds(5)) {
        if (!cpuStarted && next >= cpuStart) {
            std::this_thread::sleep_until(cpuStart);
            cpuH0 = CpuNow(h.pid), cpuF0 = CpuNow(f.pid);
            cpuStarted = true;
        }
        if (next > end)
            next = end;
        std::this_thread::sleep_until(next);
        samples.push_back(
            {std::chrono::duration<double>(next - connected).count(), RssKb(h.pid), RssKb(f.pid)});
        if (next == end)
            break;
        if (samples.size() % 12 == 0)
            std::fprintf(stderr, "  connected run %.0f/%d s\n", samples.back().atS, soakS);
    }
    const CpuUse cpuH = CpuNow(h.pid) - cpuH0, cpuF = CpuNow(f.pid) - cpuF0;
    CpuUse busyH, busyF;
    if (busyS > 0) {
        busy = true;
        const CpuUse h0 = CpuNow(h.pid), f0 = CpuNow(f.pid);
        std::this_thread::sleep_for(std::chrono::seconds(busyS));
        busyH = CpuNow(h.pid) - h0, busyF = CpuNow(f.pid) - f0;
    }
    stop = true;
    reporter.join();

    // Still alive and following the board after all that: a completed 07:00 must start the
    // melody, whose first code (L1 = 1) reaches the board at the next tick.
    board.ClearReceived();
    board.Send({0x30, 0x47, 0x50, 0x60});
    const bool followed =
        board.WaitForBytes(4, std::chrono::seconds(2)) && board.ReceivedBytes()[0].byte == 1;
    Stop(h);
    Stop(f);
    if (!followed)
        throw std::runtime_error("after the connected run Horavox did not chime at 07:00");

    // The scheduler's run time (ns) is the account utime + stime are rounded from; at 0.1 %
    // one clock tick is a sixth of a minute's budget, so the ns figure decides.
    auto cpuRow = [&](const std::string& figure, const CpuUse& hu, const CpuUse& fu, int seconds) {
        const double ph = hu.SchedPercent(seconds), pf = fu.SchedPercent(seconds);
        PrintRow(
            {figure,
             Format("%.3f %% of a core (utime+stime %lld ticks = %.2f %%)", ph, hu.ticks,
                    hu.TickPercent(seconds)),
             Format("%.3f %% (%lld ticks; floor window + the same 100 ms timer)", pf, fu.ticks),
             Format("%+.3f %%", ph - pf), "< 0.1 % of a core", Verdict(ph < 0.1)});
    };
    cpuRow(Format("idle CPU: connected, board reports every %d ms, last %d s of the run", reportMs,
                  cpuS),
           cpuH, cpuF, cpuS);
    if (busyS > 0)
        cpuRow(Format("idle CPU, worst case: every report changes both labels, %d s", busyS), busyH,
               busyF, busyS);

    // No growth: once the first third of the run is over, RSS never again rises above what
    // it reached in that first third (a page or two of allocator slack allowed).
    long plateau = 0, later = 0;
    for (const auto& s : samples) {
        if (s.atS <= soakS / 3.0)
            plateau = std::max(plateau, s.horavoxKb);
        else
            later = std::max(later, s.horavoxKb);
    }
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const double deltaMb = static_cast<double>(last.horavoxKb - last.floorKb) / 1024;
    const bool noGrowth = later <= plateau + 8;
    PrintRow({Format("memory: RSS after %d s connected to a reporting board", soakS),
              Format("%.1f MB (at 3 s %.1f, max after first third %+ld kB)",
                     static_cast<double>(last.horavoxKb) / 1024,
                     static_cast<double>(first.horavoxKb) / 1024, later - plateau),
              Format("%.1f MB (at 3 s %.1f)", static_cast<double>(last.floorKb) / 1024,
                     static_cast<double>(first.floorKb) / 1024),
              Format("%+.1f MB", deltaMb), "<= floor + 5 MB, no growth",
              Verdict(deltaMb <= 5 && noGrowth)});
}

} // namespace
} // namespace horavox::bench

int main(int argc, char** argv) {
    using namespace horavox::bench;
    const std::string horavox = StringOption(argc, argv, "horavox");
    const std::string floorExe = StringOption(argc, argv, "floor");
    if (horavox.empty() || floorExe.empty()) {
        std::fprintf(stderr,
                     "usage: %s --horavox=EXE --floor=EXE [--runs=10] [--rss-after-ms=3000] "
                     "[--soak-s=120] [--cpu-s=60] [--report-ms=1000] [--busy-s=30]\n",
                     argv[0]);
        return 2;
    }
    const int runs = static_cast<int>(Option(argc, argv, "runs", 10));
    const int rssAfterMs = static_cast<int>(Option(argc, argv, "rss-after-ms", 3000));
    const int soakS = static_cast<int>(Option(argc, argv, "soak-s", 120));
    const int cpuS = static_cast<int>(std::min<long>(Option(argc, argv, "cpu-s", 60), soakS - 5));
    const int reportMs = static_cast<int>(Option(argc, argv, "report-ms", 1000));
    const int busyS = static_cast<int>(Option(argc, argv, "busy-s", 30));
    std::signal(SIGPIPE, SIG_IGN);
    try {
        XServer x;
        std::fprintf(stderr, "desktop: start-up and RSS, %d runs each\n", runs);
        if (runs > 0)
            StartUpAndRss(x, horavox, floorExe, runs, rssAfterMs);
        std::fprintf(stderr, "desktop: connected run, %d s\n", soakS);
        ConnectedRun(x, horavox, floorExe, soakS, cpuS, reportMs, busyS);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_desktop: %s\n", e.what());
        return 1;
    }
    return 0;
}
