#pragma once

// What the benchmark programs share: summaries of samples, the rows they print for
// scripts/bench to put into one table, the board's byte streams and /proc readings.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

namespace horavox::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
inline double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Nearest-rank percentile of sorted samples, q in [0, 1].
inline double Percentile(const std::vector<double>& sorted, double q) {
    if (sorted.empty())
        return std::nan("");
    const auto n = static_cast<double>(sorted.size());
    auto rank = static_cast<std::size_t>(std::ceil(q * n));
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

struct Summary {
    std::size_t n = 0;
    double min = std::nan("");
    double p25 = std::nan("");
    double median = std::nan("");
    double p75 = std::nan("");
    double p99 = std::nan("");
    double max = std::nan("");
};

inline Summary Summarize(std::vector<double> samples) {
    Summary s;
    std::sort(samples.begin(), samples.end());
    s.n = samples.size();
    if (samples.empty())
        return s;
    s.min = samples.front();
    s.max = samples.back();
    s.p25 = Percentile(samples, 0.25);
    s.p75 = Percentile(samples, 0.75);
    s.p99 = Percentile(samples, 0.99);
    // The true median (mean of the middle pair for an even count).
    const std::size_t mid = samples.size() / 2;
    s.median = samples.size() % 2 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
    return s;
}

// printf into a std::string.
template <typename... A> std::string Format(const char* format, A... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, format, args...);
    return out;
}

// One line of the table. Fields are plain ASCII so that the table lines up in any terminal.
struct Row {
    std::string figure;   // what is measured, with its sample size or duration
    std::string measured; // median and spread of Horavox
    std::string floor;    // the same measured on the floor, or "-"
    std::string vsFloor;  // ratio or delta to the floor
    std::string target;
    std::string verdict; // "met", "MISSED" or "-" where no target applies
};

inline std::string Verdict(bool met) {
    return met ? "met" : "MISSED";
}

// Rows go to standard output as "ROW<TAB>field<TAB>..."; everything else a benchmark says
// goes to standard error, so scripts/bench can collect the rows of several programs.
inline void PrintRow(const Row& r) {
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", r.figure.c_str(), r.measured.c_str(),
                r.floor.c_str(), r.vsFloor.c_str(), r.target.c_str(), r.verdict.c_str());
    std::fflush(stdout);
}

// Facts for the table's heading, as "INFO<TAB>key<TAB>value".
inline void PrintInfo(const std::string& key, const std::string& value) {
    std::printf("INFO\t%s\t%s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

// A reproducible stream of status bytes as a board might send them: every field 0..6 with
// a decimal digit, except that the minute's tens digit is never 0, so no stream ever
// completes a full hour and sets off the chime by accident.
inline std::uint8_t StatusByte(std::uint64_t index) {
    std::uint64_t z = index + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const auto field = static_cast<unsigned>(z % 7);
    auto digit = static_cast<unsigned>((z >> 8) % 10);
    if (field == 5)
        digit = 1 + static_cast<unsigned>((z >> 8) % 5);
    return static_cast<std::uint8_t>(field << 4 | digit);
}

// Integer option from the command line, "--name=value"; `fallback` when absent.
inline long Option(int argc, char** argv, std::string_view name, long fallback) {
    const std::string prefix = "--" + std::string(name) + "=";
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.substr(0, prefix.size()) == prefix)
            return std::strtol(argv[i] + prefix.size(), nullptr, 10);
    }
    return fallback;
}

inline std::string StringOption(int argc, char** argv, std::string_view name) {
    const std::string prefix = "--" + std::string(name) + "=";
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.substr(0, prefix.size()) == prefix)
            return std::string(arg.substr(prefix.size()));
    }
    return {};
}

inline bool Flag(int argc, char** argv, std::string_view name) {
    const std::string flag = "--" + std::string(name);
    for (int i = 1; i < argc; ++i) {
        if (flag == argv[i])
            return true;
    }
    return false;
}

// A "Key:   value kB" line of /proc/<pid>/status or smaps_rollup, in kB; -1 if absent.
inline long ProcKb(pid_t pid, const char* file, std::string_view key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() &&
            line[key.size()] == ':')
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    }
    return -1;
}

inline long RssKb(pid_t pid) {
    return ProcKb(pid, "status", "VmRSS");
}

// utime + stime of all the process's threads, in clock ticks (/proc/<pid>/stat).
inline long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    // After the command come state (field 3) ... utime (14) and stime (15).
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return utime + stime;
}

inline std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace horavox::bench
