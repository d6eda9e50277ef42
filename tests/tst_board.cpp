#include "LinkTestSupport.h"
#include "WavTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/stat.h>

using namespace horavox;
using namespace horavox::testing;
using namespace std::chrono_literals;

// The virtual board as its own process (horavox-board), against the very window of the
// program in this process: the test sets the melody, presses 连接 and reads the board's log.
class TstBoard : public QObject {
    Q_OBJECT
private slots:
    void chimeIsLoggedAndRecorded();
    void stopsCleanly_data();
    void stopsCleanly();
    void refusesAPublishedPort();
    void unreadReportsAreDropped();
};

namespace {

// A running board and everything it printed so far.
class BoardProcess {
public:
    explicit BoardProcess(const QStringList& args) {
        process_.setProgram(QStringLiteral(HORAVOX_BOARD_EXE));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
    }
    ~BoardProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QStringList Lines() {
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        return output_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The first line starting with `prefix`, waiting for it up to `timeout`.
    QString WaitForLine(const QString& prefix, std::chrono::milliseconds timeout) {
        QDeadlineTimer deadline(timeout);
        for (;;) {
            for (const QString& line : Lines())
                if (line.startsWith(prefix))
                    return line;
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return {};
            QTest::qWait(20);
        }
    }
    bool Stop(int signal) {
        ::kill(static_cast<pid_t>(process_.processId()), signal);
        return process_.waitForFinished(5000);
    }
    QProcess& Process() { return process_; }

private:
    QProcess process_;
    QString output_;
};

bool Exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

// The board's clock runs into 07:00, the window plays its melody, and the board names each
// code, times it, sums the melody up and writes the WAV of it.
void TstBoard::chimeIsLoggedAndRecorded() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wavPath = dir.filePath(QStringLiteral("chime.wav"));
    BoardProcess board({"--dir", dir.path(), "--port", "23", "--start", "06:59:58", "--speed", "2",
                        "--interval", "100", "--temp", "19.5", "--wav", wavPath});
    const QString portDir = board.WaitForLine(QStringLiteral("HORAVOX_PORT_DIR="), 5s);
    QCOMPARE(portDir, QStringLiteral("HORAVOX_PORT_DIR=") + dir.path());
    qputenv("HORAVOX_PORT_DIR", portDir.mid(17).toUtf8());

    ProgramState state; // the real 500 ms pause
    MainWindow window(state);
    window.编辑框1->setText(QStringLiteral("L1,M5,H7,"));
    window.编辑框_端口号->setText(QStringLiteral("23"));
    window.ShowCentred();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.按钮1, Qt::LeftButton);
    QVERIFY(window.Link().IsOpen());
    QTRY_COMPARE_WITH_TIMEOUT(window.标签5->text(), QStringLiteral("19.5℃"), 5000);

    QVERIFY(!board.WaitForLine(QStringLiteral("melody 1 "), 15s).isEmpty());
    QCOMPARE(state.lastChimeHour, 7);
    QTRY_COMPARE_WITH_TIMEOUT(window.标签4->text(), QStringLiteral("07:00"), 5000);
    QVERIFY(board.Stop(SIGTERM));
    QCOMPARE(board.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(board.Process().exitCode(), 0);
    QVERIFY(!Exists(dir.filePath(QStringLiteral("com23"))));
    QVERIFY(QFileInfo(dir.path()).isDir()); // the folder was given, so it stays

    const QStringList lines = board.Lines();
    QVERIFY(lines[1].startsWith(QStringLiteral("port COM23 ") + portDir.mid(17) + "/com23 -> "));
    QCOMPARE(lines[2], QStringLiteral("clock 06:59:58 temp 19.5 bytes 01 19 25 30 46 55 69"));
    QVERIFY(lines.contains(QStringLiteral("clock 07:00:00 temp 19.5 bytes 01 19 25 30 47 50 60")));
    QCOMPARE(lines.last(), QStringLiteral("stopped"));

    const QRegularExpression noteLine(QStringLiteral(R"(^note (\d+\.\d{3}) (-?\d+) (\S+)$)"));
    QStringList names;
    QList<int> codes;
    QList<double> times;
    for (const QString& line : lines) {
        if (!line.startsWith(QStringLiteral("note ")))
            continue;
        const auto m = noteLine.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        times.append(m.captured(1).toDouble());
        codes.append(m.captured(2).toInt());
        names.append(m.captured(3));
    }
    QCOMPARE(codes, (QList<int>{1, 12, 21, 0}));
    QCOMPARE(names, (QStringList{"L1", "M5", "H7", "end"}));
    QCOMPARE(times.first(), 0.0);
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] > 0.45 && times[i] - times[i - 1] < 1.5,
                 qPrintable(QString::number(times[i] - times[i - 1])));
    const QString summary = QStringLiteral("melody 1 notes 3 seconds %1 wav %2")
                                .arg(times.last(), 0, 'f', 3)
                                .arg(wavPath);
    QVERIFY2(lines.contains(summary), qPrintable(lines.join('\n')));

    const WavData wav = ReadWav(wavPath);
    QVERIFY(wav.ok);
    QCOMPARE(wav.channels, 1);
    QCOMPARE(wav.bitsPerSample, 16);
    const std::size_t tone = static_cast<std::size_t>(wav.sampleRate) / 2;
    QCOMPARE(wav.samples.size(), 3 * tone); // the closing 0 stops the sound
    const double expected[] = {261.63, 783.99, 1975.53};
    for (std::size_t n = 0; n < 3; ++n) {
        const double hz = ZeroCrossingFrequency(wav.samples, n * tone, tone, wav.sampleRate);
        QVERIFY2(std::abs(hz / expected[n] - 1) < 0.005, qPrintable(QString::number(hz)));
    }
}

void TstBoard::stopsCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("ownFolder"); // --dir of a folder that does not exist yet
    QTest::newRow("Ctrl+C") << int{SIGINT} << false;
    QTest::newRow("SIGTERM") << int{SIGTERM} << false;
    QTest::newRow("hang-up") << int{SIGHUP} << false;
    QTest::newRow("SIGTERM, folder made by the board") << int{SIGTERM} << true;
}

// Whatever the board published is gone after a stop: the link, and the folder it made.
void TstBoard::stopsCleanly() {
    QFETCH(int, signal);
    QFETCH(bool, ownFolder);
    QTemporaryDir parent;
    QVERIFY(parent.isValid());
    const QString asked = parent.filePath(QStringLiteral("ports"));
    BoardProcess board(ownFolder ? QStringList{"--dir", asked} : QStringList{});
    const QString line = board.WaitForLine(QStringLiteral("HORAVOX_PORT_DIR="), 5s);
    QVERIFY(!line.isEmpty());
    const QString portDir = line.mid(17);
    if (ownFolder)
        QCOMPARE(portDir, asked);
    QVERIFY(QFileInfo(portDir + "/com19").isSymLink());
    QVERIFY(!board.WaitForLine(QStringLiteral("clock "), 5s).isEmpty());
    QVERIFY(board.Stop(signal));
    QCOMPARE(board.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(board.Process().exitCode(), 0);
    QCOMPARE(board.Lines().last(), QStringLiteral("stopped"));
    QVERIFY(!Exists(portDir + "/com19"));
    QVERIFY(!Exists(portDir));
}

// A second board on a line that is still published leaves it alone.
void TstBoard::refusesAPublishedPort() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BoardProcess first({"--dir", dir.path()});
    QVERIFY(!first.WaitForLine(QStringLiteral("port "), 5s).isEmpty());
    const QString target = QFileInfo(dir.filePath(QStringLiteral("com19"))).symLinkTarget();
    BoardProcess second({"--dir", dir.path()});
    QVERIFY(second.Process().waitForFinished(5000));
    QCOMPARE(second.Process().exitCode(), 1);
    QVERIFY(QString::fromUtf8(second.Process().readAllStandardError()).contains("in use"));
    QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("com19"))).symLinkTarget(), target);
    QVERIFY(first.Stop(SIGTERM));
    // A link left behind by a board that is gone (its pty with it) is taken over.
    const QString stale = dir.filePath(QStringLiteral("com19"));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), stale));
    BoardProcess third({"--dir", dir.path()});
    QVERIFY(!third.WaitForLine(QStringLiteral("port "), 5s).isEmpty());
    QVERIFY(QFileInfo(stale).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    QVERIFY(third.Stop(SIGTERM));
    QCOMPARE(third.Process().exitCode(), 0);
}

// A board nobody listens to must not block on a full line; what nobody read is dropped.
void TstBoard::unreadReportsAreDropped() {
    TempPortDir dir;
    PtyBoard pty(dir.Path(), 19);
    QVERIFY(pty.Send(std::string(2000, '\x26')));
    // The pty hands the bytes to the slave end a moment after the write.
    QTRY_COMPARE_WITH_TIMEOUT(pty.UnreadByProgram(), std::size_t{2000}, 5000);
    pty.DropUnread();
    QCOMPARE(pty.UnreadByProgram(), std::size_t{0});
}

QTEST_MAIN(TstBoard)
#include "tst_board.moc"
