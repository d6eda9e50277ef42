// horavox-board: a virtual alarm-clock board on a pseudo-terminal (see --help).

#include "BoardClock.h"
#include "BoardOptions.h"
#include "NoteLog.h"
#include "PtyBoard.h"
#include "Wav.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace horavox;
using namespace horavox::board;
using namespace std::chrono_literals;

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
    stopRequested = 1;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A reader of the log that went away must not end the board before it cleans up.
    std::signal(SIGPIPE, SIG_IGN);
}

// Every line is flushed at once: scripts and tests read the log while the board runs.
void Line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "horavox-board: %s\n", message.c_str());
    return 1;
}

int LocalSecondOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

std::string Hex(const std::array<std::uint8_t, 7>& bytes) {
    std::string out;
    char buffer[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, " %02X", b);
        out += buffer;
    }
    return out;
}

// Anything at the link's place but a link left behind by a board that is gone belongs to
// someone else.
bool PlaceIsFree(const std::string& linkPath) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) != 0)
        return true;
    return S_ISLNK(st.st_mode) && ::stat(linkPath.c_str(), &st) != 0;
}

// The port folder: a fresh temporary one, or the one asked for (made if missing).
class PortFolder {
public:
    explicit PortFolder(const std::string& asked) {
        if (asked.empty()) {
            temp_ = std::make_unique<TempPortDir>();
            path_ = temp_->Path();
        } else {
            std::error_code ec;
            if (!fs::exists(asked, ec)) {
                created_ = fs::create_directory(asked, ec);
                if (!created_)
                    throw std::runtime_error("cannot create the folder " + asked + ": " +
                                             ec.message());
            } else if (!fs::is_directory(asked, ec)) {
                throw std::runtime_error(asked + " is not a folder");
            }
            path_ = asked;
        }
        path_ = fs::absolute(path_).lexically_normal().string();
        if (path_.size() > 1 && path_.back() == '/')
            path_.pop_back();
    }
    ~PortFolder() {
        std::error_code ec;
        if (created_)
            fs::remove(path_, ec); // only when empty: someone else may have put files there
    }
    PortFolder(const PortFolder&) = delete;
    PortFolder& operator=(const PortFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::unique_ptr<TempPortDir> temp_;
    std::string path_;
    bool created_ = false;
};

class Board {
public:
    Board(const BoardOptions& options, PtyBoard& pty)
        : options_(options), pty_(pty),
          clock_(options.start.value_or(LocalSecondOfDay()), options.speed) {}

    void Run() {
        const auto started = PtyBoard::Clock::now();
        auto nextReport = started;
        while (!stopRequested) {
            const auto now = PtyBoard::Clock::now();
            if (now >= nextReport) {
                Report(clock_.SecondOfDay(now - started));
                nextReport += options_.interval;
                if (nextReport <= now) // fell behind: report on time again, do not catch up
                    nextReport = now + options_.interval;
            }
            Listen();
            // Short waits keep a stop request from waiting for the next report.
            const auto wait = std::min<PtyBoard::Clock::duration>(nextReport - now, 50ms);
            pty_.WaitForBytes(seen_ + 1,
                              std::chrono::duration_cast<std::chrono::milliseconds>(wait));
        }
        Listen();
        if (const auto melody = log_.Unfinished())
            Finish(*melody);
    }

private:
    void Report(int secondOfDay) {
        // Nobody has read the last reports: the program is not listening (yet).
        if (pty_.UnreadByProgram() > 1024)
            pty_.DropUnread();
        const auto bytes = StatusBytes(secondOfDay, options_.temperatureTenths);
        pty_.Send(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        if (secondOfDay / 60 != lastMinute_) {
            lastMinute_ = secondOfDay / 60;
            Line("clock " + FormatTimeOfDay(secondOfDay) + " temp " +
                 FormatTemperature(options_.temperatureTenths) + " bytes" + Hex(bytes));
        }
    }

    void Listen() {
        if (pty_.ReceivedCount() <= seen_)
            return;
        const auto received = pty_.ReceivedBytes();
        for (std::size_t i = seen_; i < received.size(); ++i) {
            const auto event = log_.Add(received[i].byte, received[i].at);
            if (!event)
                continue;
            Line(FormatNote(*event->note));
            if (event->melody)
                Finish(*event->melody);
        }
        seen_ = received.size();
    }

    void Finish(const NoteLog::Melody& melody) {
        std::string line = FormatMelody(melody);
        if (!options_.wav.empty()) {
            const std::string path = WavPathFor(options_.wav, melody.number);
            if (WriteWav(path, RenderMelody(melody.notes)))
                line += " wav " + path;
            else
                Fail("cannot write " + path);
        }
        Line(line);
    }

    const BoardOptions& options_;
    PtyBoard& pty_;
    BoardClock clock_;
    NoteLog log_;
    std::size_t seen_ = 0;
    int lastMinute_ = -1;
};

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseBoardOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "horavox-board: %s\nTry horavox-board --help.\n",
                     parsed.error.c_str());
        return 2;
    }
    const BoardOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(BoardUsage().c_str(), stdout);
        return 0;
    }
    InstallSignalHandlers(); // before the pty's reader thread starts, so it inherits them

    try {
        PortFolder folder(options.dir);
        const std::string linkPath = folder.Path() + "/com" + std::to_string(options.port);
        if (!PlaceIsFree(linkPath))
            return Fail(linkPath + " is in use; pick another --port or --dir");
        {
            PtyBoard pty(folder.Path(), options.port);
            Line("HORAVOX_PORT_DIR=" + folder.Path());
            Line("port COM" + std::to_string(options.port) + " " + pty.LinkPath() + " -> " +
                 pty.SlavePath());
            Board board(options, pty);
            board.Run();
        } // unpublishes the line
        Line("stopped");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}
