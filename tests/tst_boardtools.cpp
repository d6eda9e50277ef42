#include "BoardClock.h"
#include "BoardOptions.h"
#include "DeviceClock.h"
#include "NoteLog.h"
#include "Wav.h"
#include "WavTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace horavox;
using namespace horavox::board;
using namespace horavox::testing;
using namespace std::chrono_literals;

// The virtual board's parts without its pty: what it reports, how it names and times the
// codes it hears, how it sounds them, and its command line.
class TstBoardTools : public QObject {
    Q_OBJECT
private slots:
    void timeOfDay_data();
    void timeOfDay();
    void temperature_data();
    void temperature();
    void statusBytesReadBackByTheProgram_data();
    void statusBytesReadBackByTheProgram();
    void clockRuns_data();
    void clockRuns();
    void noteNamesAndPitches_data();
    void noteNamesAndPitches();
    void codesFromBytesAndMelodies();
    void logLines();
    void renderedTones();
    void wavFileRoundTrip();
    void wavPaths_data();
    void wavPaths();
    void options_data();
    void options();
    void helpNamesEveryOption();
};

void TstBoardTools::timeOfDay_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("second"); // -1: refused
    QTest::newRow("HH:MM:SS") << "06:59:55" << 6 * 3600 + 59 * 60 + 55;
    QTest::newRow("HH:MM") << "20:00" << 20 * 3600;
    QTest::newRow("one-digit hour") << "7:05" << 7 * 3600 + 5 * 60;
    QTest::newRow("midnight") << "00:00:00" << 0;
    QTest::newRow("last second") << "23:59:59" << kSecondsPerDay - 1;
    QTest::newRow("hour 24") << "24:00" << -1;
    QTest::newRow("minute 60") << "12:60" << -1;
    QTest::newRow("second 60") << "12:00:60" << -1;
    QTest::newRow("one-digit minute") << "12:5" << -1;
    QTest::newRow("hour only") << "12" << -1;
    QTest::newRow("trailing colon") << "12:05:" << -1;
    QTest::newRow("too many fields") << "12:00:00:00" << -1;
    QTest::newRow("sign") << "-1:00" << -1;
    QTest::newRow("three-digit hour") << "012:00" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TstBoardTools::timeOfDay() {
    QFETCH(QString, text);
    QFETCH(int, second);
    const auto parsed = ParseTimeOfDay(text.toStdString());
    QCOMPARE(parsed.value_or(-1), second);
    if (parsed)
        QCOMPARE(ParseTimeOfDay(FormatTimeOfDay(*parsed)).value_or(-1), second);
}

void TstBoardTools::temperature_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tenths"); // -1: refused
    QTest::addColumn<QString>("shown");
    QTest::newRow("one decimal") << "25.6" << 256 << "25.6";
    QTest::newRow("whole") << "5" << 50 << "05.0";
    QTest::newRow("zero") << "0" << 0 << "00.0";
    QTest::newRow("highest") << "99.9" << 999 << "99.9";
    QTest::newRow("three digits") << "100" << -1 << "";
    QTest::newRow("two decimals") << "25.65" << -1 << "";
    QTest::newRow("negative") << "-1" << -1 << "";
    QTest::newRow("no decimal after point") << "25." << -1 << "";
    QTest::newRow("no whole part") << ".5" << -1 << "";
    QTest::newRow("word") << "warm" << -1 << "";
}

void TstBoardTools::temperature() {
    QFETCH(QString, text);
    QFETCH(int, tenths);
    QFETCH(QString, shown);
    const auto parsed = ParseTemperature(text.toStdString());
    QCOMPARE(parsed.value_or(-1), tenths);
    if (parsed)
        QCOMPARE(QString::fromStdString(FormatTemperature(*parsed)), shown);
}

void TstBoardTools::statusBytesReadBackByTheProgram_data() {
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QByteArray>("temperature");
    QTest::newRow("before seven") << 6 * 3600 + 59 * 60 + 55 << 256
                                  << QByteArray::fromHex("02152630465569") << QByteArray("06:59")
                                  << QByteArray("25.6");
    QTest::newRow("full hour") << 20 * 3600 << 999 << QByteArray::fromHex("09192932405060")
                               << QByteArray("20:00") << QByteArray("99.9");
    QTest::newRow("midnight, 0 degrees") << 0 << 0 << QByteArray::fromHex("00102030405060")
                                         << QByteArray("00:00") << QByteArray("00.0");
    QTest::newRow("seconds are not reported")
        << 23 * 3600 + 59 * 60 + 59 << 5 << QByteArray::fromHex("00102532435569")
        << QByteArray("23:59") << QByteArray("00.5");
}

// The bytes the board sends decode, in the program's own decoder, to the time and
// temperature it was told to show.
void TstBoardTools::statusBytesReadBackByTheProgram() {
    QFETCH(int, second);
    QFETCH(int, tenths);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, time);
    QFETCH(QByteArray, temperature);
    const auto sent = StatusBytes(second, tenths);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(sent.data()), 7), bytes);
    DeviceClock clock;
    for (std::uint8_t b : sent)
        StoreStatusByte(clock, b);
    QCOMPARE(QByteArray::fromStdString(TimeText(clock)), time);
    QCOMPARE(QByteArray::fromStdString(TemperatureText(clock)), temperature + "\xA1\xE6");
}

void TstBoardTools::clockRuns_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("elapsedMs");
    QTest::addColumn<QString>("shows");
    QTest::newRow("at start") << "06:59:55" << 1.0 << 0 << "06:59:55";
    QTest::newRow("just before the hour") << "06:59:55" << 1.0 << 4999 << "06:59:59";
    QTest::newRow("the hour") << "06:59:55" << 1.0 << 5000 << "07:00:00";
    QTest::newRow("past midnight") << "23:59:59" << 1.0 << 1000 << "00:00:00";
    QTest::newRow("a minute per second") << "06:00" << 60.0 << 1000 << "06:01:00";
    QTest::newRow("half speed") << "06:00" << 0.5 << 1999 << "06:00:00";
    QTest::newRow("half speed, two seconds") << "06:00" << 0.5 << 2000 << "06:00:01";
    QTest::newRow("days go by") << "06:00" << 86400.0 << 1500 << "18:00:00";
}

void TstBoardTools::clockRuns() {
    QFETCH(QString, start);
    QFETCH(double, speed);
    QFETCH(int, elapsedMs);
    QFETCH(QString, shows);
    const BoardClock clock(*ParseTimeOfDay(start.toStdString()), speed);
    QCOMPARE(QString::fromStdString(
                 FormatTimeOfDay(clock.SecondOfDay(std::chrono::milliseconds(elapsedMs)))),
             shows);
}

void TstBoardTools::noteNamesAndPitches_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("hz");
    QTest::newRow("0") << 0 << "end" << 0.0;
    QTest::newRow("L1 = C4") << 1 << "L1" << 261.63;
    QTest::newRow("L6 = A4") << 6 << "L6" << 440.0;
    QTest::newRow("L7 = B4") << 7 << "L7" << 493.88;
    QTest::newRow("M1 = C5") << 8 << "M1" << 523.25;
    QTest::newRow("M3 = E5") << 10 << "M3" << 659.26;
    QTest::newRow("M4 = F5") << 11 << "M4" << 698.46;
    QTest::newRow("M7 = B5") << 14 << "M7" << 987.77;
    QTest::newRow("H1 = C6") << 15 << "H1" << 1046.50;
    QTest::newRow("H7 = B6") << 21 << "H7" << 1975.53;
    QTest::newRow("22") << 22 << "?" << 0.0;
    QTest::newRow("-1") << -1 << "?" << 0.0;
    QTest::newRow("largest") << 2147483647 << "?" << 0.0;
}

void TstBoardTools::noteNamesAndPitches() {
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(double, hz);
    QCOMPARE(QString::fromStdString(NoteName(code)), name);
    QVERIFY2(std::abs(NoteFrequency(code) - hz) < 0.01,
             qPrintable(QString::number(NoteFrequency(code), 'f', 3)));
}

// Codes are cut every four bytes whatever the chunks they came in, least significant byte
// first and signed; a 0 closes a melody and the next code starts another.
void TstBoardTools::codesFromBytesAndMelodies() {
    NoteLog log;
    const NoteLog::Clock::time_point t0{};
    const QByteArray wire = QByteArray::fromHex("01000000"
                                                "09000000"
                                                "00000000"
                                                "00000000"
                                                "feffffff"
                                                "15000000"
                                                "00000000"
                                                "05000000");
    std::vector<NoteLog::Note> notes;
    std::vector<NoteLog::Melody> melodies;
    for (qsizetype i = 0; i < wire.size(); ++i) {
        // A code arrives every 500 ms, its bytes 1 ms apart; the time is its first byte's.
        const auto at = t0 + 500ms * (i / 4) + 1ms * (i % 4);
        const auto event = log.Add(static_cast<std::uint8_t>(wire[i]), at);
        QCOMPARE(event.has_value(), i % 4 == 3);
        if (!event)
            continue;
        QVERIFY(event->note);
        notes.push_back(*event->note);
        if (event->melody)
            melodies.push_back(*event->melody);
    }
    QCOMPARE(notes.size(), std::size_t{8});
    const std::int32_t codes[] = {1, 9, 0, 0, -2, 21, 0, 5};
    const NoteLog::Clock::duration since[] = {0ms, 500ms, 1000ms, 0ms, 0ms, 500ms, 1000ms, 0ms};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        QCOMPARE(notes[i].code, codes[i]);
        QCOMPARE(notes[i].sinceStart, since[i]);
    }
    QCOMPARE(melodies.size(), std::size_t{3});
    QCOMPARE(melodies[0].notes, (std::vector<std::int32_t>{1, 9}));
    QCOMPARE(melodies[0].length, NoteLog::Clock::duration(1000ms));
    QCOMPARE(melodies[1].notes, std::vector<std::int32_t>{}); // a melody of no notes
    QCOMPARE(melodies[2].notes, (std::vector<std::int32_t>{-2, 21}));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(melodies[static_cast<std::size_t>(i)].number, i + 1);
        QVERIFY(melodies[static_cast<std::size_t>(i)].finished);
    }
    const auto unfinished = log.Unfinished();
    QVERIFY(unfinished);
    QCOMPARE(unfinished->number, 4);
    QCOMPARE(unfinished->notes, std::vector<std::int32_t>{5});
    QVERIFY(!unfinished->finished);
    // Half a code is not a note.
    QVERIFY(!log.Add(0, t0 + 5s));
    QVERIFY(!log.Add(0, t0 + 5s));
}

// The lines scripts and tests read.
void TstBoardTools::logLines() {
    QCOMPARE(FormatNote({1, 0ms}), std::string("note 0.000 1 L1"));
    QCOMPARE(FormatNote({0, 10502ms}), std::string("note 10.502 0 end"));
    QCOMPARE(FormatNote({-7, 1500ms}), std::string("note 1.500 -7 ?"));
    QCOMPARE(FormatMelody({1, std::vector<std::int32_t>(21, 1), 10502ms, true}),
             std::string("melody 1 notes 21 seconds 10.502"));
    QCOMPARE(FormatMelody({2, {3}, 0ms, false}),
             std::string("melody 2 notes 1 seconds 0.000 unfinished"));
    QVERIFY(NoteLog().Unfinished() == std::nullopt);
}

// 500 ms per code at the code's pitch, silence for a code without one, and no click at the
// edges of a tone.
void TstBoardTools::renderedTones() {
    const std::vector<std::int32_t> codes = {1, 22, 15, 21};
    const auto samples = RenderMelody(codes);
    const std::size_t tone = kWavSampleRate / 2;
    QCOMPARE(samples.size(), codes.size() * tone);
    const double expected[] = {261.63, 0.0, 1046.50, 1975.53};
    for (std::size_t n = 0; n < codes.size(); ++n) {
        const std::size_t first = n * tone;
        if (expected[n] == 0.0) {
            QVERIFY(std::all_of(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                samples.begin() + static_cast<std::ptrdiff_t>(first + tone),
                                [](std::int16_t s) { return s == 0; }));
            continue;
        }
        const double hz = ZeroCrossingFrequency(samples, first, tone, kWavSampleRate);
        QVERIFY2(std::abs(hz / expected[n] - 1) < 0.002, qPrintable(QString::number(hz)));
        QCOMPARE(samples[first], std::int16_t{0});
        QVERIFY(std::abs(samples[first + tone - 1]) < 100);
        const auto loudest =
            *std::max_element(samples.begin() + static_cast<std::ptrdiff_t>(first),
                              samples.begin() + static_cast<std::ptrdiff_t>(first + tone));
        QVERIFY(loudest > 10000);
    }
}

void TstBoardTools::wavFileRoundTrip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto samples = RenderMelody({8, 0});
    const QString path = dir.filePath(QStringLiteral("m.wav"));
    QVERIFY(WriteWav(path.toStdString(), samples));
    const WavData wav = ReadWav(path);
    QVERIFY(wav.ok);
    QCOMPARE(wav.format, 1);
    QCOMPARE(wav.channels, 1);
    QCOMPARE(wav.sampleRate, kWavSampleRate);
    QCOMPARE(wav.bitsPerSample, 16);
    QCOMPARE(wav.samples, samples);
    // No melody: a valid file without samples.
    QVERIFY(WriteWav(path.toStdString(), {}));
    QVERIFY(ReadWav(path).ok);
    QVERIFY(ReadWav(path).samples.empty());
    QVERIFY(!WriteWav(dir.filePath(QStringLiteral("no/such/folder.wav")).toStdString(), samples));
}

void TstBoardTools::wavPaths_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("result");
    QTest::newRow("first") << "chime.wav" << 1 << "chime.wav";
    QTest::newRow("second") << "chime.wav" << 2 << "chime-2.wav";
    QTest::newRow("last extension only") << "out/a.tar.wav" << 12 << "out/a.tar-12.wav";
    QTest::newRow("dot in the folder") << "/tmp/a.b/chime" << 3 << "/tmp/a.b/chime-3";
    QTest::newRow("hidden file") << ".chime" << 2 << ".chime-2";
    QTest::newRow("hidden file in a folder") << "x/.chime" << 2 << "x/.chime-2";
}

void TstBoardTools::wavPaths() {
    QFETCH(QString, path);
    QFETCH(int, number);
    QFETCH(QString, result);
    QCOMPARE(QString::fromStdString(WavPathFor(path.toStdString(), number)), result);
}

void TstBoardTools::options_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");   // empty: accepted
    QTest::addColumn<QString>("summary"); // the fields parsed
    const QString defaults = "port 19 dir  start - speed 1 temp 256 interval 1000 wav  help 0";
    QTest::newRow("none") << QStringList{} << "" << defaults;
    QTest::newRow("all") << QStringList{"--port",     "5",       "--dir", "/x",     "--start",
                                        "06:59:55",   "--speed", "2.5",   "--temp", "30.1",
                                        "--interval", "200",     "--wav", "a.wav"}
                         << ""
                         << "port 5 dir /x start 25195 speed 2.5 temp 301 interval 200 wav a.wav "
                            "help 0";
    QTest::newRow("name=value") << QStringList{"--port=7", "--start=6:00"} << ""
                                << "port 7 dir  start 21600 speed 1 temp 256 interval 1000 wav  "
                                   "help 0";
    QTest::newRow("help") << QStringList{"--help"} << ""
                          << "port 19 dir  start - speed 1 temp 256 interval 1000 wav  help 1";
    QTest::newRow("port 0") << QStringList{"--port", "0"} << "--port 0: expected"
                            << "";
    QTest::newRow("port word") << QStringList{"--port", "x"} << "--port x: expected"
                               << "";
    QTest::newRow("speed 0") << QStringList{"--speed", "0"} << "--speed 0: expected"
                             << "";
    QTest::newRow("speed inf") << QStringList{"--speed", "inf"} << "--speed inf: expected"
                               << "";
    QTest::newRow("interval 5") << QStringList{"--interval", "5"} << "--interval 5: expected"
                                << "";
    QTest::newRow("temp 100") << QStringList{"--temp", "100"} << "--temp 100: expected"
                              << "";
    QTest::newRow("bad start") << QStringList{"--start", "7"} << "--start 7: expected"
                               << "";
    QTest::newRow("empty dir") << QStringList{"--dir="} << "--dir : expected"
                               << "";
    QTest::newRow("missing value") << QStringList{"--wav"} << "--wav needs a value"
                                   << "";
    QTest::newRow("unknown") << QStringList{"--loud"} << "unknown option --loud"
                             << "";
    QTest::newRow("positional") << QStringList{"19"} << "unknown option 19"
                                << "";
    QTest::newRow("help with value") << QStringList{"--help=yes"} << "--help takes no value"
                                     << "";
}

void TstBoardTools::options() {
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    QFETCH(QString, summary);
    std::vector<std::string> argv;
    for (const QString& a : args)
        argv.push_back(a.toStdString());
    const ParsedOptions parsed = ParseBoardOptions(argv);
    if (!error.isEmpty()) {
        QVERIFY(!parsed.options);
        QVERIFY2(QString::fromStdString(parsed.error).startsWith(error), parsed.error.c_str());
        return;
    }
    QVERIFY2(parsed.options, parsed.error.c_str());
    const BoardOptions& o = *parsed.options;
    const QString got = QStringLiteral("port %1 dir %2 start %3 speed %4 temp %5 interval %6 "
                                       "wav %7 help %8")
                            .arg(o.port)
                            .arg(QString::fromStdString(o.dir))
                            .arg(o.start ? QString::number(*o.start) : QStringLiteral("-"))
                            .arg(o.speed)
                            .arg(o.temperatureTenths)
                            .arg(o.interval.count())
                            .arg(QString::fromStdString(o.wav))
                            .arg(o.help ? 1 : 0);
    QCOMPARE(got, summary);
}

// The help text is the log format's documentation: it names every option and every line.
void TstBoardTools::helpNamesEveryOption() {
    const QString help = QString::fromStdString(BoardUsage());
    for (const char* word : {"--port N", "--dir DIR", "--start HH:MM[:SS]", "--speed F", "--temp T",
                             "--interval MS", "--wav FILE", "--help", "HORAVOX_PORT_DIR=DIR",
                             "port COMN", "clock HH:MM:SS temp TT.T bytes", "note S CODE NAME",
                             "melody M notes N seconds S", "unfinished", "stopped"})
        QVERIFY2(help.contains(QLatin1String(word)), word);
}

QTEST_APPLESS_MAIN(TstBoardTools)
#include "tst_boardtools.moc"
