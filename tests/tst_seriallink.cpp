#include "LinkTestSupport.h"
#include "PortPath.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <thread>

#include <termios.h>

using namespace horavox;
using namespace horavox::testing;

// The serial link and the 连接 command against pty boards published as COMn.
class TstSerialLink : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void portPaths_data();
    void portPaths();
    void settingsAreClamped();
    void designTimeTextsOpenCom19With8N1();
    void portTexts_data();
    void portTexts();
    void reconnectClosesTheFirstPortFirst();
    void sendOnClosedAndOpenLinks();
    void bytesReachTheLabelsInOrder();
    void failedOpens_data();
    void failedOpens();
    void hangUpLeavesTheProcessIdleAndReconnects();
    void burstWhileTheUiThreadIsHeld();

private:
    std::unique_ptr<TempPortDir> dir_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
    std::vector<std::string> diagnostics_;
};

void TstSerialLink::initTestCase() {
    dir_ = std::make_unique<TempPortDir>();
    UsePortDir(*dir_);
}

void TstSerialLink::init() {
    state_ = std::make_unique<ProgramState>();
    state_->pause = [](std::chrono::milliseconds) {};
    window_ = std::make_unique<MainWindow>(*state_);
    diagnostics_.clear();
    window_->Link().SetDiagnosticSink(
        [this](const std::string& line) { diagnostics_.push_back(line); });
}

void TstSerialLink::cleanup() {
    window_.reset();
    state_.reset();
}

void TstSerialLink::portPaths_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << 1 << QString() << "/dev/ttyS0";
    QTest::newRow("COM32") << 32 << QString() << "/dev/ttyS31";
    QTest::newRow("COM33") << 33 << QString() << "/dev/ttyUSB0";
    QTest::newRow("COM64") << 64 << QString() << "/dev/ttyUSB31";
    QTest::newRow("COM65") << 65 << QString() << "/dev/ttyACM0";
    QTest::newRow("COM96") << 96 << QString() << "/dev/ttyACM31";
    QTest::newRow("COM97 has no device") << 97 << QString() << "";
    QTest::newRow("port folder") << 19 << "/tmp/ports"
                                 << "/tmp/ports/com19";
    QTest::newRow("port folder with slash") << 7 << "/tmp/ports/"
                                            << "/tmp/ports/com7";
    QTest::newRow("port folder beyond 96") << 200 << "/p"
                                           << "/p/com200";
}

void TstSerialLink::portPaths() {
    QFETCH(int, number);
    QFETCH(QString, dir);
    QFETCH(QString, path);
    const QByteArray d = dir.toUtf8();
    QCOMPARE(QString::fromStdString(PortDevicePath(number, dir.isNull() ? nullptr : d.constData())),
             path);
}

void TstSerialLink::settingsAreClamped() {
    SerialLink link;
    QCOMPARE(link.PortNumber(), 1);
    QCOMPARE(link.BaudRate(), 9600);
    QCOMPARE(link.IoTimeout(), std::chrono::milliseconds(1000));
    const struct {
        std::int32_t in, port, baud, stop;
    } rows[] = {{0, 1, 0, 1}, {-3, 1, 0, 1}, {2, 2, 2, 2},
                {3, 3, 3, 3}, {4, 4, 4, 3},  {INT32_MIN, 1, 0, 1}};
    for (const auto& r : rows) {
        link.SetPortNumber(r.in);
        link.SetBaudRate(r.in);
        link.SetStopBits(r.in);
        QCOMPARE(link.PortNumber(), r.port);
        QCOMPARE(link.BaudRate(), r.baud);
        QCOMPARE(link.StopBits(), r.stop);
    }
}

void TstSerialLink::designTimeTextsOpenCom19With8N1() {
    PtyBoard board(dir_->Path(), 19);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    QCOMPARE(window_->Link().DevicePath(), board.LinkPath());
    const termios tio = board.SlaveSettings();
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
    QVERIFY(tio.c_cflag & CREAD);
    QVERIFY(tio.c_cflag & CLOCAL);
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QVERIFY(diagnostics_.empty());
}

void TstSerialLink::portTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("leading blank") << " 7" << 7;
    QTest::newRow("trailing letters") << "7abc" << 7;
    QTest::newRow("full-width") << QStringLiteral("７") << 7;
    QTest::newRow("full-width with ideographic space") << QStringLiteral("\u3000１９") << 19;
    QTest::newRow("zero") << "0" << 1;
    QTest::newRow("negative") << "-3" << 1;
    QTest::newRow("letters only") << "abc" << 1;
    QTest::newRow("empty") << "" << 1;
}

void TstSerialLink::portTexts() {
    QFETCH(QString, text);
    QFETCH(int, port);
    PtyBoard com1(dir_->Path(), 1);
    PtyBoard com7(dir_->Path(), 7);
    PtyBoard com19(dir_->Path(), 19);
    window_->编辑框_端口号->setText(text);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QCOMPARE(window_->Link().PortNumber(), port);
    QVERIFY(window_->Link().IsOpen());
    QCOMPARE(QString::fromStdString(window_->Link().DevicePath()),
             QString::fromStdString(dir_->Path()) + "/com" + QString::number(port));
}

void TstSerialLink::reconnectClosesTheFirstPortFirst() {
    PtyBoard com5(dir_->Path(), 5);
    PtyBoard com6(dir_->Path(), 6);
    window_->编辑框_端口号->setText(QStringLiteral("5"));
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    // The same port again: only a close before the open lets the exclusive open succeed.
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    window_->编辑框_端口号->setText(QStringLiteral("6"));
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    QCOMPARE(window_->Link().DevicePath(), com6.LinkPath());
    // COM5 is free again for anyone else.
    SerialLink other;
    other.SetPortNumber(5);
    QVERIFY(other.Open());
    QVERIFY(diagnostics_.empty());
}

void TstSerialLink::sendOnClosedAndOpenLinks() {
    SerialLink link;
    link.SetDiagnosticSink([](const std::string&) {});
    QVERIFY(!link.Send("abcd"));
    QVERIFY(!link.Send({}));
    PtyBoard board(dir_->Path(), 3);
    link.SetPortNumber(3);
    QVERIFY(link.Open());
    QVERIFY(link.Send({}));
    QVERIFY(link.Send(std::string_view("\x01\x00\x00\x00", 4)));
    QVERIFY(board.WaitForBytes(4, std::chrono::seconds(5)));
    QCOMPARE(Bytes(board.ReceivedBytes()), QByteArray("\x01\x00\x00\x00", 4));
    link.Close();
    QVERIFY(!link.IsOpen());
    QVERIFY(!link.Send("x"));
}

void TstSerialLink::bytesReachTheLabelsInOrder() {
    PtyBoard board(dir_->Path(), 19);
    QSignalSpy spy(&window_->Link(), &SerialLink::ByteReceived);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    QByteArray every(256, '\0');
    for (int i = 0; i < 256; ++i)
        every[i] = static_cast<char>(i);
    // Every byte value once, then a clock and a temperature; the last byte of a field wins.
    const QByteArray status = QByteArray("\x31\x42\x53\x61\x65\x02\x15\x26");
    QVERIFY(SendBytes(board, every + status));
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 256 + status.size(), 5000);
    for (int i = 0; i < spy.count(); ++i)
        QCOMPARE(spy.at(i).at(0).toInt(),
                 static_cast<int>(static_cast<quint8>((every + status)[i])));
    QCOMPARE(window_->标签4->text(), QStringLiteral("12:35"));
    QCOMPARE(window_->标签5->text(), QStringLiteral("25.6℃"));
}

void TstSerialLink::failedOpens_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing port") << "40"
                                  << "9600" << false << "No such file or directory";
    QTest::newRow("busy port") << "19"
                               << "9600" << true << "in use";
    QTest::newRow("baud 0") << "19"
                            << "0" << false << "baud rate 0 is not supported";
    QTest::newRow("baud of letters") << "19"
                                     << "fast" << false << "baud rate 0";
    QTest::newRow("empty baud") << "19"
                                << "" << false << "baud rate 0";
}

void TstSerialLink::failedOpens() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(bool, busy);
    QFETCH(QString, reason);
    PtyBoard board(dir_->Path(), 19);
    SerialLink holder;
    if (busy) {
        holder.SetPortNumber(19);
        QVERIFY(holder.Open());
    }
    window_->编辑框_端口号->setText(port);
    window_->编辑框_波特率->setText(baud);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(!window_->Link().IsOpen());
    QVERIFY(!window_->Link().Send("abcd"));
    // The window says nothing; one line on standard error names the port and the reason.
    QCOMPARE(window_->标签4->text(), QStringLiteral("请连接设备"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(window_->按钮1->text(), QStringLiteral("连接"));
    QCOMPARE(diagnostics_.size(), std::size_t{1});
    const QString line = QString::fromStdString(diagnostics_.front());
    QVERIFY2(line.contains("COM" + port), qPrintable(line));
    QVERIFY2(line.contains(reason), qPrintable(line));
    if (busy) {
        // The first link keeps working.
        QVERIFY(holder.IsOpen());
        QVERIFY(holder.Send("ok"));
        QVERIFY(board.WaitForBytes(2, std::chrono::seconds(5)));
    }
}

void TstSerialLink::hangUpLeavesTheProcessIdleAndReconnects() {
    PtyBoard board(dir_->Path(), 19);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    QVERIFY(SendBytes(board, TimeBytes(9, 41)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("09:41"), 5000);

    board.HangUp();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->Link().IsOpen(), 5000);
    QVERIFY(!window_->Link().Send("abcd"));
    QTRY_COMPARE_WITH_TIMEOUT(diagnostics_.size(), std::size_t{1}, 5000);
    QVERIFY(QString::fromStdString(diagnostics_.front()).contains("lost COM19"));

    // One second of the event loop after the hang-up: the process must stay idle, not spin
    // on the dead descriptor. The bound is generous; a spinning reader uses the whole second.
    const auto before = ProcessCpuTime();
    QTest::qWait(1000);
    const auto used = ProcessCpuTime() - before;
    qInfo("CPU time in the second after the hang-up: %lld us",
          static_cast<long long>(used.count()));
    QVERIFY(used < std::chrono::milliseconds(200));
    QCOMPARE(window_->标签4->text(), QStringLiteral("09:41"));

    board.Reconnect();
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    QVERIFY(SendBytes(board, TimeBytes(9, 42)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("09:42"), 5000);
}

void TstSerialLink::burstWhileTheUiThreadIsHeld() {
    PtyBoard board(dir_->Path(), 19);
    QSignalSpy spy(&window_->Link(), &SerialLink::ByteReceived);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    // Far more than a tty's own buffer holds (yet within the link's queue), sent while the UI
    // thread does nothing else.
    QByteArray burst;
    for (int i = 0; i < 48 * 1024; ++i)
        burst.append(static_cast<char>(0x70 | (i % 16)));
    burst.append(TimeBytes(7, 30));
    bool sent = false;
    std::thread sender([&] { sent = SendBytes(board, burst); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    sender.join();
    QVERIFY(sent);
    QCOMPARE(spy.count(), 0);
    // The next tick decodes everything that waited, in order, before it looks at the clock.
    window_->CheckHourlyChime();
    QCOMPARE(spy.count(), burst.size());
    for (int i = 0; i < spy.count(); ++i) {
        if (spy.at(i).at(0).toInt() != static_cast<quint8>(burst[i]))
            QFAIL(qPrintable(QStringLiteral("byte %1 out of order").arg(i)));
    }
    QCOMPARE(window_->标签4->text(), QStringLiteral("07:30"));
}

QTEST_MAIN(TstSerialLink)
#include "tst_seriallink.moc"
