#include "LinkTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define HORAVOX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HORAVOX_ASAN 1
#endif
#endif
#ifdef HORAVOX_ASAN
// The heap in use, from the sanitizer runtime (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace horavox;
using namespace horavox::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::size_t CountEntries(const char* dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

std::size_t OpenDescriptors() {
    return CountEntries("/proc/self/fd");
}

std::size_t Threads() {
    return CountEntries("/proc/self/task");
}

// The memory the process holds: its resident pages. AddressSanitizer keeps every freed
// block in quarantine (up to 256 MB), which would swamp that figure, so there it is the
// heap in use instead.
long long MemoryInUse() {
#ifdef HORAVOX_ASAN
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
#endif
}

// The usual lock directory of serial ports, where other programs look too.
std::string LockDirectory() {
    struct stat st {};
    return ::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) ? "/run/lock" : "/var/lock";
}

// The lock file other programs use for a device: LCK.. and the name under /dev, with "/"
// as "_" (so /dev/pts/3 is LCK..pts_3).
std::string LockFileOf(const std::string& device) {
    char resolved[PATH_MAX];
    std::string name = ::realpath(device.c_str(), resolved) ? resolved : device;
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    std::replace(name.begin(), name.end(), '/', '_');
    return LockDirectory() + "/LCK.." + name;
}

long LockFilePid(const std::string& path) {
    std::ifstream in(path);
    long pid = 0;
    return in >> pid ? pid : 0;
}

// Lock files that name this process: none may remain once its links are closed.
QStringList OwnLockFiles() {
    QStringList own;
    for (const auto& e : std::filesystem::directory_iterator(LockDirectory())) {
        const std::string name = e.path().filename().string();
        if (name.rfind("LCK..", 0) == 0 && LockFilePid(e.path().string()) == ::getpid())
            own << QString::fromStdString(name);
    }
    return own;
}

// A byte stream without short periods, so that a lost or doubled run of bytes (also one of
// 256 or 4096) is seen as a wrong byte.
std::uint8_t FloodByte(std::uint64_t i) {
    return static_cast<std::uint8_t>((i ^ (i >> 8) ^ (i >> 16)) & 0xFFu);
}

// The board floods the line from its own thread until stopped.
class Flood {
public:
    explicit Flood(PtyBoard& board)
        : thread_([this, &board] {
              std::string chunk(4096, '\0');
              while (!stop_) {
                  const std::uint64_t base = sent_.load();
                  for (std::size_t i = 0; i < chunk.size(); ++i)
                      chunk[i] = static_cast<char>(FloodByte(base + i));
                  sent_ += board.SendWithin(chunk, 100ms);
              }
          }) {}
    ~Flood() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::uint64_t Sent() const { return sent_.load(); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::thread thread_;
};

int FloodSeconds() {
    const int s = qEnvironmentVariableIntValue("HORAVOX_FLOOD_SECONDS");
    return s > 0 ? s : 10;
}

} // namespace

// What the program does when the board misbehaves or the line goes away: pty boards pulled
// out, floods, ports that cannot be had, and a second process that ends during a flood.
class TstFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hangUp_data();
    void hangUp();
    void openCloseCycles();
    void flood();
    void closeDuringFlood();
    void secondLinkOnAPortInUse();
    void lockFiles_data();
    void lockFiles();
    void portsThatCannotBeOpened_data();
    void portsThatCannotBeOpened();
    void deviceWithoutPermission();

private:
    void Connect();
    void ExpectIdleForASecond(const char* after);

    std::unique_ptr<TempPortDir> dir_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
    std::vector<std::string> diagnostics_;
    QList<std::chrono::milliseconds> pauses_;
};

void TstFaults::initTestCase() {
    dir_ = std::make_unique<TempPortDir>();
    UsePortDir(*dir_);
}

void TstFaults::init() {
    state_ = std::make_unique<ProgramState>();
    pauses_.clear();
    state_->pause = [this](std::chrono::milliseconds d) { pauses_.append(d); };
    window_ = std::make_unique<MainWindow>(*state_);
    diagnostics_.clear();
    window_->Link().SetDiagnosticSink(
        [this](const std::string& line) { diagnostics_.push_back(line); });
}

void TstFaults::cleanup() {
    window_.reset();
    state_.reset();
    QVERIFY2(OwnLockFiles().isEmpty(), qPrintable(OwnLockFiles().join(' ')));
}

void TstFaults::Connect() {
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
}

void TstFaults::ExpectIdleForASecond(const char* after) {
    // A reader spinning on a dead descriptor would use the whole second; the bound is
    // generous for a loaded machine and sanitizer builds.
    const auto before = ProcessCpuTime();
    QTest::qWait(1000);
    const auto used = ProcessCpuTime() - before;
    qInfo("CPU time in the second after %s: %lld us", after, static_cast<long long>(used.count()));
    QVERIFY(used < 200ms);
}

void TstFaults::hangUp_data() {
    QTest::addColumn<QString>("when");
    QTest::newRow("idle") << "idle";
    QTest::newRow("while bytes stream in") << "streaming";
    QTest::newRow("in the middle of a melody") << "melody";
}

void TstFaults::hangUp() {
    QFETCH(QString, when);
    PtyBoard board(dir_->Path(), 19);
    Connect();
    QVERIFY(SendBytes(board, TimeBytes(9, 41)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("09:41"), 5000);

    QByteArray delivered;
    QObject receiver; // ends the connection with this scope
    connect(&window_->Link(), &SerialLink::ByteReceived, &receiver,
            [&delivered](qint32 v) { delivered.append(static_cast<char>(v)); });
    QByteArray streamed;
    if (when == "idle") {
        board.HangUp();
    } else if (when == "streaming") {
        // Selectors 7..15 name no field, so the clock keeps 09:41 whatever arrives.
        for (int i = 0; i < 256 * 1024; ++i)
            streamed.append(static_cast<char>(0x70 + (i * 37 + i / 131) % 0x90));
        std::atomic<bool> done{false};
        std::thread sender([&] {
            const qsizetype half = streamed.size() / 2;
            for (qsizetype at = 0; at < half; at += 1024) {
                (void)SendBytes(board, streamed.mid(at, 1024));
                std::this_thread::sleep_for(200us);
            }
            // The rest in one go, and the line goes while the kernel still holds some of it.
            (void)SendBytes(board, streamed.mid(half));
            board.HangUp();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        sender.join();
    } else {
        window_->编辑框1->setText(QStringLiteral("L1,L2,L3,L4,L5,L6,L7,M1,"));
        std::vector<Clock::time_point> at;
        state_->pause = [&](std::chrono::milliseconds d) {
            pauses_.append(d);
            at.push_back(Clock::now());
            if (pauses_.size() <= 3)
                board.WaitForBytes(4 * static_cast<std::size_t>(pauses_.size()), 2s);
            if (pauses_.size() == 3)
                board.HangUp();
        };
        window_->PlayMelody();
        const auto end = Clock::now();
        state_->pause = [this](std::chrono::milliseconds d) { pauses_.append(d); };
        // The rest of the melody still paces, note by note, and the closing 0 is tried too.
        QCOMPARE(pauses_.size(), 8);
        for (auto d : pauses_)
            QCOMPARE(d, 500ms);
        QCOMPARE(DecodeCodes(board.ReceivedBytes()), (QList<std::int32_t>{1, 2, 3}));
        // Each write after the hang-up fails at once, far inside the write time-out.
        at.push_back(end);
        for (std::size_t i = 3; i < at.size(); ++i)
            QVERIFY(at[i] - at[i - 1] < window_->Link().IoTimeout());
    }

    // An unplugged adapter takes its device node with it; the name must not lead to
    // whatever pty the system hands out next.
    ::unlink(board.LinkPath().c_str());
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Link().IsOpen(), 5000);
    QVERIFY(!window_->Link().Send("abcd"));
    QTRY_COMPARE_WITH_TIMEOUT(diagnostics_.size(), std::size_t{1}, 5000);
    QVERIFY2(QString::fromStdString(diagnostics_.front()).contains("lost COM19"),
             diagnostics_.front().c_str());
    if (when == "streaming") {
        // What arrived before the line went is the start of what was sent, in order.
        qInfo("%lld of %lld streamed bytes arrived before the hang-up",
              static_cast<long long>(delivered.size()), static_cast<long long>(streamed.size()));
        QVERIFY(!delivered.isEmpty());
        QVERIFY(streamed.startsWith(delivered));
    }
    ExpectIdleForASecond(qPrintable("a hang-up " + when));

    // The window still answers: labels keep the last time, a melody plays silently, and
    // 连接 without the board fails with one more line.
    QCOMPARE(window_->标签4->text(), QStringLiteral("09:41"));
    pauses_.clear();
    window_->PlayMelody();
    QCOMPARE(pauses_.size(), when == "melody" ? 8 : 21);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(!window_->Link().IsOpen());
    QCOMPARE(diagnostics_.size(), std::size_t{2});

    // The board comes back and 连接 opens it again.
    board.Reconnect();
    board.ClearReceived();
    Connect();
    QVERIFY(SendBytes(board, TimeBytes(9, 42)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("09:42"), 5000);
    window_->编辑框1->setText(QStringLiteral("M1"));
    window_->PlayMelody();
    QVERIFY(board.WaitForBytes(8, 5s));
    QCOMPARE(DecodeCodes(board.ReceivedBytes()), (QList<std::int32_t>{8, 0}));
}

void TstFaults::openCloseCycles() {
    PtyBoard board(dir_->Path(), 19);
    const std::string lockFile = LockFileOf(board.SlavePath());
    auto cycle = [&] {
        QTest::mouseClick(window_->按钮1, Qt::LeftButton);
        const bool open = window_->Link().IsOpen();
        window_->Link().Close();
        return open;
    };
    // Warm-up: the first opens create caches (thread stacks, Qt's event queue) that stay.
    for (int i = 0; i < 50; ++i)
        QVERIFY(cycle());
    const std::size_t fds = OpenDescriptors();
    const std::size_t threads = Threads();
    const long long memory = MemoryInUse();
    int opened = 0;
    for (int i = 0; i < 1000; ++i)
        opened += cycle() ? 1 : 0;
    QCOMPARE(opened, 1000);
    QCOMPARE(::access(lockFile.c_str(), F_OK), -1);
    QCOMPARE(OpenDescriptors(), fds);
    // A joined thread leaves the task list a moment after the join returns.
    QTRY_COMPARE_WITH_TIMEOUT(Threads(), threads, 5000);
    const long long growth = MemoryInUse() - memory;
    qInfo("1000 open/close cycles: %zu descriptors, %zu threads, memory %+lld KB", fds, threads,
          growth / 1024);
    QVERIFY(growth < 4ll << 20); // a leak of 4 KB per cycle would show
    QVERIFY(diagnostics_.empty());
    // And the link still works after all that.
    Connect();
    QCOMPARE(LockFilePid(lockFile), static_cast<long>(::getpid()));
    QVERIFY(SendBytes(board, TimeBytes(6, 5)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("06:05"), 5000);
}

void TstFaults::flood() {
    const int seconds = FloodSeconds();
    PtyBoard board(dir_->Path(), 19);
    Connect();
    std::uint64_t received = 0;
    std::uint64_t wrong = 0;
    std::uint64_t firstWrong = 0;
    QObject receiver; // ends the connection with this scope
    connect(&window_->Link(), &SerialLink::ByteReceived, &receiver, [&](qint32 v) {
        if (static_cast<std::uint8_t>(v) != FloodByte(received) && wrong++ == 0)
            firstWrong = received;
        ++received;
    });
    const long long memoryBefore = MemoryInUse();
    long long memoryPeak = memoryBefore;
    const auto start = Clock::now();
    Flood flood(board);
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        QTest::qWait(100);
        memoryPeak = std::max(memoryPeak, MemoryInUse());
    }
    flood.Stop();
    const std::uint64_t sent = flood.Sent();
    // The window takes everything still queued, then nothing more comes; the rate counts
    // the bytes the window has taken, up to the last one.
    QTRY_VERIFY_WITH_TIMEOUT(received == sent, 60000);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    memoryPeak = std::max(memoryPeak, MemoryInUse());
    qInfo("flood: %llu bytes in %.1f s = %.0f bytes/s, %llu lost or wrong, memory peak %+lld KB",
          static_cast<unsigned long long>(sent), elapsed, static_cast<double>(sent) / elapsed,
          static_cast<unsigned long long>(sent - received + wrong),
          (memoryPeak - memoryBefore) / 1024);
    QVERIFY2(wrong == 0, qPrintable(QString("first wrong byte at %1").arg(firstWrong)));
    QCOMPARE(received, sent);
    QVERIFY(sent > 0);
    QVERIFY(window_->Link().IsOpen());
    // A full queue holds the reader back, so however long the flood lasts the window's
    // memory stays within a few queues' worth and the buffers Qt keeps.
    QVERIFY(memoryPeak - memoryBefore < 32ll << 20);
    QVERIFY(diagnostics_.empty());
}

void TstFaults::closeDuringFlood() {
    PtyBoard board(dir_->Path(), 19);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HORAVOX_PORT_DIR", QString::fromStdString(dir_->Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    probe.setProcessEnvironment(env);
    Flood flood(board);
    probe.start(HORAVOX_WINDOW_PROBE, {"close-on-request"});
    QVERIFY(probe.waitForStarted(10000));
    auto readLine = [&probe] {
        const auto deadline = Clock::now() + 30s;
        while (!probe.canReadLine() && probe.state() == QProcess::Running &&
               Clock::now() < deadline)
            probe.waitForReadyRead(100);
        return probe.readLine().trimmed();
    };
    QCOMPARE(readLine(), QByteArray("connected"));
    // Long enough for the queue to fill and the window to fall behind the flood.
    QTest::qWait(2000);
    const std::uint64_t sentBefore = flood.Sent();
    const auto requested = Clock::now();
    probe.write("close\n");
    QVERIFY(probe.waitForFinished(30000));
    const auto ended = Clock::now();
    flood.Stop();
    const QList<QByteArray> words = readLine().split(' ');
    QCOMPARE(words.size(), 4);
    QCOMPARE(words[0], QByteArray("closing"));
    const Clock::time_point closing{std::chrono::nanoseconds(words[3].toLongLong())};
    using std::chrono::milliseconds;
    const auto answered = std::chrono::duration_cast<milliseconds>(closing - requested);
    const auto shutDown = std::chrono::duration_cast<milliseconds>(ended - closing);
    qInfo("close during a flood (%s bytes taken, %llu sent): the window took the request after "
          "%lld ms, the process ended %lld ms after the close, exit code %d",
          words[1].constData(), static_cast<unsigned long long>(sentBefore),
          static_cast<long long>(answered.count()), static_cast<long long>(shutDown.count()),
          probe.exitCode());
    const QByteArray errors = probe.readAllStandardError();
    QVERIFY2(!errors.contains("Sanitizer") && !errors.contains("runtime error"),
             errors.constData());
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(words[2], QByteArray("open"));
    QVERIFY(words[1].toLongLong() > 0);
    QVERIFY(shutDown < 1s);
    // Between two requests the window delivers at most a queue's worth of bytes, so it
    // answers within a fraction of a second; the bound allows for debug and sanitizer
    // builds on a loaded machine.
    QVERIFY(answered < 5s);
}

void TstFaults::secondLinkOnAPortInUse() {
    PtyBoard board(dir_->Path(), 19);
    Connect();
    const std::string lockFile = LockFileOf(board.SlavePath());
    QCOMPARE(LockFilePid(lockFile), static_cast<long>(::getpid()));

    // A second link of this process: the kernel lock refuses it.
    SerialLink second;
    std::vector<std::string> secondSays;
    second.SetDiagnosticSink([&](const std::string& l) { secondSays.push_back(l); });
    second.SetPortNumber(19);
    QVERIFY(!second.Open());
    QCOMPARE(secondSays.size(), std::size_t{1});
    QVERIFY2(QString::fromStdString(secondSays.front()).contains("in use"),
             secondSays.front().c_str());

    // Another process: the lock file names a live program and it gives up at once.
    QProcess probe;
    probe.start(HORAVOX_WINDOW_PROBE, {"open", "19"});
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(probe.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(probe.readAllStandardError());
    QVERIFY2(said.contains("locked by another program"), qPrintable(said));

    // The first link is untouched: its lock file, its bytes both ways.
    QCOMPARE(LockFilePid(lockFile), static_cast<long>(::getpid()));
    QVERIFY(window_->Link().IsOpen());
    QVERIFY(SendBytes(board, TimeBytes(8, 15)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("08:15"), 5000);
    window_->编辑框1->setText(QStringLiteral("H7"));
    window_->PlayMelody();
    QVERIFY(board.WaitForBytes(8, 5s));
    QCOMPARE(DecodeCodes(board.ReceivedBytes()), (QList<std::int32_t>{21, 0}));
    QVERIFY(diagnostics_.empty());
    window_->Link().Close();
    QCOMPARE(::access(lockFile.c_str(), F_OK), -1);
}

void TstFaults::lockFiles_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("opens");
    // pid 1 always exists; the ended process is made in the test.
    QTest::newRow("a live program's lock") << "1" << false;
    QTest::newRow("the lock of a program that has ended") << "ended" << true;
    QTest::newRow("a lock without a number") << "garbage" << true;
    QTest::newRow("an empty lock") << "" << true;
}

void TstFaults::lockFiles() {
    QFETCH(QString, content);
    QFETCH(bool, opens);
    PtyBoard board(dir_->Path(), 19);
    const std::string lockFile = LockFileOf(board.SlavePath());
    if (content == "ended") {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        QVERIFY(child > 0);
        ::waitpid(child, nullptr, 0);
        content = QString::number(child);
    }
    {
        std::ofstream out(lockFile);
        if (!out)
            QSKIP("the lock directory is not writable here");
        out << content.rightJustified(10).toStdString() << "\n";
    }
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QCOMPARE(window_->Link().IsOpen(), opens);
    if (opens) {
        // A stale lock is taken over and given back on close.
        QCOMPARE(LockFilePid(lockFile), static_cast<long>(::getpid()));
        QVERIFY(diagnostics_.empty());
        window_->Link().Close();
        QCOMPARE(::access(lockFile.c_str(), F_OK), -1);
    } else {
        QCOMPARE(diagnostics_.size(), std::size_t{1});
        QVERIFY2(QString::fromStdString(diagnostics_.front()).contains("locked by another program"),
                 diagnostics_.front().c_str());
        QCOMPARE(LockFilePid(lockFile), 1l); // somebody else's lock is left alone
        ::unlink(lockFile.c_str());
    }
}

void TstFaults::portsThatCannotBeOpened_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("entry"); // what the port folder holds as com<port>
    QTest::addColumn<QString>("reason");
    QTest::newRow("a port that does not exist") << "40"
                                                << "9600"
                                                << ""
                                                << "No such file";
    QTest::newRow("a board unplugged for good") << "41"
                                                << "9600"
                                                << "dangling link"
                                                << "No such file";
    QTest::newRow("a file that is no port") << "42"
                                            << "9600"
                                            << "file"
                                            << "not a serial port";
    QTest::newRow("a folder") << "43"
                              << "9600"
                              << "folder"
                              << "Is a directory";
    QTest::newRow("no device mapped") << "97"
                                      << "9600"
                                      << "no port folder"
                                      << "no device is mapped";
    QTest::newRow("a baud rate the driver refuses") << "19"
                                                    << "0"
                                                    << "board"
                                                    << "baud rate 0 is not supported";
}

void TstFaults::portsThatCannotBeOpened() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    PtyBoard board(dir_->Path(), 19);
    const std::string path = dir_->Path() + "/com" + port.toStdString();
    if (entry == "dangling link")
        QCOMPARE(::symlink("/dev/horavox-no-such-device", path.c_str()), 0);
    else if (entry == "file")
        std::ofstream(path) << "not a tty\n";
    else if (entry == "folder")
        QVERIFY(std::filesystem::create_directory(path));
    else if (entry == "no port folder")
        qunsetenv("HORAVOX_PORT_DIR");
    const std::size_t fds = OpenDescriptors();
    window_->编辑框_端口号->setText(port);
    window_->编辑框_波特率->setText(baud);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    UsePortDir(*dir_);
    if (entry != "board")
        std::filesystem::remove(path);

    QVERIFY(!window_->Link().IsOpen());
    QVERIFY(!window_->Link().Send("abcd"));
    QCOMPARE(diagnostics_.size(), std::size_t{1});
    const QString line = QString::fromStdString(diagnostics_.front());
    QVERIFY2(line.contains("COM" + port) && line.contains(reason), qPrintable(line));
    // A failed open leaves nothing behind: no descriptor, no lock file.
    QCOMPARE(OpenDescriptors(), fds);
    QVERIFY(OwnLockFiles().isEmpty());
    // The window goes on as before and connects to a port that works.
    QCOMPARE(window_->标签4->text(), QStringLiteral("请连接设备"));
    window_->编辑框_端口号->setText(QStringLiteral("19"));
    window_->编辑框_波特率->setText(QStringLiteral("9600"));
    Connect();
    QVERIFY(SendBytes(board, TimeBytes(7, 7)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("07:07"), 5000);
}

void TstFaults::deviceWithoutPermission() {
    // The port folder must be open to the user under test; the device node itself is not.
    ::chmod(dir_->Path().c_str(), 0755);
    PtyBoard board(dir_->Path(), 19);
    bool opened = true;
    std::string line;
    if (::geteuid() == 0) {
        // Root opens any node, so the open runs in a child process as "nobody".
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            QSKIP("there is no user nobody to run the case as");
        const uid_t uid = nobody->pw_uid;
        const gid_t gid = nobody->pw_gid;
        int channel[2];
        QCOMPARE(::pipe(channel), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(channel[0]);
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(3);
            SerialLink link;
            std::string said;
            link.SetDiagnosticSink([&](const std::string& l) { said += l; });
            link.SetPortNumber(19);
            const std::string report = (link.Open() ? "1" : "0") + said;
            (void)!::write(channel[1], report.data(), report.size());
            ::_exit(0);
        }
        ::close(channel[1]);
        char buffer[1024];
        std::string report;
        for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
            report.append(buffer, static_cast<std::size_t>(n));
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child could not run");
        QVERIFY(!report.empty());
        opened = report[0] == '1';
        line = report.substr(1);
    } else {
        // A user's own node with every permission taken away.
        QCOMPARE(::chmod(board.SlavePath().c_str(), 0), 0);
        SerialLink link;
        link.SetDiagnosticSink([&](const std::string& l) { line += l; });
        link.SetPortNumber(19);
        opened = link.Open();
        ::chmod(board.SlavePath().c_str(), 0620);
    }
    qInfo("%s", line.c_str());
    QVERIFY(!opened);
    QVERIFY2(QString::fromStdString(line).contains("COM19") &&
                 QString::fromStdString(line).contains("Permission denied") &&
                 QString::fromStdString(line).contains("dialout"),
             line.c_str());
}

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
