// Micro-benchmarks (Google Benchmark) of the work done per received byte and per command:
// DecodeStatusByte with its label refresh on the real window (offscreen, shown), the handler
// of one 100 ms tick, TextToInt and the cutting of a melody into codes. Each runs in repetitions;
// the row gives the median repetition and the spread over them. The floors are the nearest
// plain-C++ equivalent.

#include "BenchSupport.h"
#include "MainWindow.h"
#include "Melody.h"
#include "PtyBoard.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <map>

namespace horavox::bench {
namespace {

MainWindow* g_window = nullptr;

// The same byte stream the line benchmarks use: every call changes one label's text.
const std::array<std::uint8_t, 1024>& Bytes() {
    static const auto bytes = [] {
        std::array<std::uint8_t, 1024> b{};
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = StatusByte(i);
        return b;
    }();
    return bytes;
}

void DecodeStatusByte(benchmark::State& state) {
    const auto& bytes = Bytes();
    std::size_t i = 0;
    for (auto _ : state)
        g_window->DecodeStatusByte(bytes[i++ & 1023]);
}

// What the window does on every tick of 时钟1 while connected and idle: deliver nothing,
// find no chime due.
void TickHandler(benchmark::State& state) {
    for (auto _ : state)
        g_window->CheckHourlyChime();
}

void StoreStatusByteOnly(benchmark::State& state) {
    const auto& bytes = Bytes();
    DeviceClock clock;
    std::size_t i = 0;
    for (auto _ : state) {
        StoreStatusByte(clock, bytes[i++ & 1023]);
        benchmark::DoNotOptimize(clock);
    }
}

void TextToIntOf(benchmark::State& state, std::string_view text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(TextToInt(text));
    }
}

void FromChars(benchmark::State& state, std::string_view text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        std::int32_t value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        benchmark::DoNotOptimize(value);
    }
}

void CutMelody(benchmark::State& state) {
    const std::string_view melody = kDesignMelody;
    for (auto _ : state) {
        benchmark::DoNotOptimize(melody);
        benchmark::DoNotOptimize(MelodyCodes(melody));
    }
}

// Keeps the time per iteration (ns) of every repetition, by benchmark name.
class Collector : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                times[run.benchmark_name()].push_back(run.GetAdjustedRealTime());
        }
    }
    std::map<std::string, std::vector<double>> times;
};

std::string NsSpread(const Summary& s) {
    return Format("%.1f ns/op (min %.1f, max %.1f)", s.median, s.min, s.max);
}

} // namespace
} // namespace horavox::bench

int main(int argc, char** argv) {
    using namespace horavox::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    horavox::ProgramState state;
    horavox::MainWindow window(state);
    window.ShowCentred();
    QCoreApplication::processEvents();
    g_window = &window;
    horavox::TempPortDir dir;
    horavox::PtyBoard board(dir.Path(), 19);
    qputenv("HORAVOX_PORT_DIR", QByteArray::fromStdString(dir.Path()));
    window.ConnectDevice();
    window.DecodeStatusByte(0x51); // minute 1x: no chime can be due

    const long repetitions = Option(argc, argv, "repetitions", 7);
    std::string repetitionFlag = Format("--benchmark_repetitions=%ld", repetitions);
    std::string minTimeFlag = "--benchmark_min_time=0.2";
    char* args[] = {argv[0], repetitionFlag.data(), minTimeFlag.data()};
    int count = 3;
    benchmark::Initialize(&count, args);

    const std::string_view fullWidth = "\xA3\xB1\xA3\xB9\xA3\xB2\xA3\xB0\xA3\xB0"; // １９２００
    const std::string_view saturating = "99999999999999999999";
    benchmark::RegisterBenchmark("DecodeStatusByte", DecodeStatusByte);
    benchmark::RegisterBenchmark("StoreStatusByte", StoreStatusByteOnly);
    benchmark::RegisterBenchmark("Tick", TickHandler);
    benchmark::RegisterBenchmark("TextToInt/9600", TextToIntOf, std::string_view("9600"));
    benchmark::RegisterBenchmark("TextToInt/fullwidth", TextToIntOf, fullWidth);
    benchmark::RegisterBenchmark("TextToInt/saturating", TextToIntOf, saturating);
    benchmark::RegisterBenchmark("from_chars/9600", FromChars, std::string_view("9600"));
    benchmark::RegisterBenchmark("from_chars/19200", FromChars, std::string_view("19200"));
    benchmark::RegisterBenchmark("MelodyCodes", CutMelody);
    Collector collector;
    std::fprintf(stderr, "micro: %ld repetitions each\n", repetitions);
    benchmark::RunSpecifiedBenchmarks(&collector);

    auto get = [&](const char* name) { return Summarize(collector.times[name]); };
    const Summary decode = get("DecodeStatusByte"), store = get("StoreStatusByte");
    PrintRow({"micro: DecodeStatusByte + label refresh (a label changes every call)",
              NsSpread(decode) + Format("; %.0f %% of the 3333 ns a byte has at 300 kB/s",
                                        100 * decode.median / 3333.3),
              NsSpread(store) + " (StoreStatusByte alone)",
              Format("%+.1f ns", decode.median - store.median), "report ns/op", "-"});
    const Summary tick = get("Tick");
    PrintRow({"micro: one tick's handler (CheckHourlyChime, connected, nothing pending)",
              NsSpread(tick) + Format("; %.2g %% of a core at 10 ticks/s", tick.median * 1e-6), "-",
              "-", "report ns/op", "-"});
    struct {
        const char* label;
        const char* name;
        const char* floor;
    } const ints[] = {{"\"9600\"", "TextToInt/9600", "from_chars/9600"},
                      {"full-width \"19200\"", "TextToInt/fullwidth", "from_chars/19200"},
                      {"20 nines (saturates)", "TextToInt/saturating", nullptr}};
    for (const auto& row : ints) {
        const Summary s = get(row.name);
        if (row.floor) {
            const Summary f = get(row.floor);
            PrintRow({Format("micro: TextToInt(%s)", row.label), NsSpread(s),
                      NsSpread(f) + " (std::from_chars, ASCII)",
                      Format("%.1f x", s.median / f.median), "report ns/op", "-"});
        } else {
            PrintRow({Format("micro: TextToInt(%s)", row.label), NsSpread(s), "-", "-",
                      "report ns/op", "-"});
        }
    }
    const Summary cut = get("MelodyCodes");
    PrintRow({"micro: MelodyCodes(design-time melody, 21 codes)",
              NsSpread(cut) + Format("; %.1f ns a note", cut.median / 21), "-", "-", "report ns/op",
              "-"});
    benchmark::Shutdown();
    return 0;
}
