#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace horavox::board {

struct BoardOptions {
    int port = 19;
    std::string dir;          // empty: a fresh temporary folder
    std::optional<int> start; // second of the day; empty: the local time at start
    double speed = 1.0;
    int temperatureTenths = 256;
    std::chrono::milliseconds interval{1000};
    std::string wav; // empty: no WAV files
    bool help = false;
};

struct ParsedOptions {
    std::optional<BoardOptions> options; // empty when `error` says why
    std::string error;
};

// The command line without the program name; "--name value" and "--name=value" alike.
ParsedOptions ParseBoardOptions(const std::vector<std::string>& args);

// The --help text: the options and the lines the board prints.
std::string BoardUsage();

} // namespace horavox::board
