#include "BoardOptions.h"

#include "BoardClock.h"

#include <charconv>
#include <cmath>

namespace horavox::board {

namespace {

std::optional<long> ParseInteger(const std::string& text, long low, long high) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> ParseSpeed(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0 ||
        value > 86400)
        return std::nullopt;
    return value;
}

} // namespace

ParsedOptions ParseBoardOptions(const std::vector<std::string>& args) {
    BoardOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            if (value)
                return {std::nullopt, name + " takes no value"};
            options.help = true;
            continue;
        }
        const bool known = name == "--port" || name == "--dir" || name == "--start" ||
                           name == "--speed" || name == "--temp" || name == "--interval" ||
                           name == "--wav";
        if (!known)
            return {std::nullopt, "unknown option " + name};
        if (!value) {
            if (i + 1 >= args.size())
                return {std::nullopt, name + " needs a value"};
            value = args[++i];
        }
        const auto bad = [&](const char* expected) {
            return ParsedOptions{std::nullopt, name + " " + *value + ": expected " + expected};
        };
        if (name == "--port") {
            const auto port = ParseInteger(*value, 1, 9999);
            if (!port)
                return bad("a port number 1..9999");
            options.port = static_cast<int>(*port);
        } else if (name == "--dir") {
            if (value->empty())
                return bad("a folder");
            options.dir = *value;
        } else if (name == "--start") {
            options.start = ParseTimeOfDay(*value);
            if (!options.start)
                return bad("a time HH:MM or HH:MM:SS");
        } else if (name == "--speed") {
            const auto speed = ParseSpeed(*value);
            if (!speed)
                return bad("a factor above 0, at most 86400");
            options.speed = *speed;
        } else if (name == "--temp") {
            const auto tenths = ParseTemperature(*value);
            if (!tenths)
                return bad("a temperature 0.0..99.9 with at most one decimal");
            options.temperatureTenths = *tenths;
        } else if (name == "--interval") {
            const auto ms = ParseInteger(*value, 10, 60000);
            if (!ms)
                return bad("milliseconds 10..60000");
            options.interval = std::chrono::milliseconds(*ms);
        } else {
            if (value->empty())
                return bad("a file name");
            options.wav = *value;
        }
    }
    return {options, {}};
}

std::string BoardUsage() {
    return R"(Usage: horavox-board [options]

A virtual Horavox alarm-clock board on a pseudo-terminal. It publishes the line as
DIR/comN, which Horavox opens as COMn when HORAVOX_PORT_DIR=DIR is set, reports its clock
and temperature the way the board does, and logs every melody it is sent.

Options:
  --port N        publish the line as comN, opened as COMN (default 19)
  --dir DIR       the port folder (default: a fresh temporary folder, removed at the end;
                  a DIR that does not exist is created and removed at the end if empty)
  --start HH:MM[:SS]
                  the board's time at start (default: the local time)
  --speed F       board seconds per real second (default 1); with a large F, report
                  often enough (--interval) to report every minute
  --temp T        the temperature shown, 0.0..99.9 (default 25.6)
  --interval MS   how often the board reports, 10..60000 ms (default 1000)
  --wav FILE      write each melody as a WAV file (mono, 16 bit, 22050 Hz): the first to
                  FILE, later ones to FILE-2, FILE-3, ... (before the extension)
  --help          this text

Each report is seven status bytes, one per digit, the field in the high nibble and the
digit in the low one: 0x temperature tens, 1x ones, 2x tenths, 3x hour tens, 4x hour ones,
5x minute tens, 6x minute ones.

What the board hears are 4-byte little-endian codes: 1..7 = L1..L7, 8..14 = M1..M7,
15..21 = H1..H7, 0 ends the melody. It sounds each code for 500 ms in numbered notation
(L1 = C4 261.63 Hz, M1 = C5, H1 = C6, major scale); other codes are silent, and the
closing 0 stops the sound, so a melody of N notes and its 0 sound for N x 0.5 s.

Standard output, one line each, fields separated by one space:
  HORAVOX_PORT_DIR=DIR              first, the setting to start Horavox with
  port COMN DIR/comN -> /dev/pts/K  the published line
  clock HH:MM:SS temp TT.T bytes B0 B1 B2 B3 B4 B5 B6
                                    the first report and each one whose HH:MM changed,
                                    with the bytes sent in hexadecimal
  note S CODE NAME                  a received code: S seconds since the melody's first
                                    code (3 decimals), the code, L1..H7, "end" or "?"
  melody M notes N seconds S[ wav FILE]
                                    after the closing 0: the melody's number, its notes
                                    without the 0, the seconds from the first code to the 0
  melody M notes N seconds S unfinished[ wav FILE]
                                    at the end, for a melody whose closing 0 is missing
  stopped                           the end: the line is unpublished
Errors go to standard error.

Ctrl+C, SIGTERM and SIGHUP stop the board cleanly. Exit status: 0 after a signal, 1 on an
error, 2 for a bad command line.
)";
}

} // namespace horavox::board
