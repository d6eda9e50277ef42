#include "Commands.h"
#include "LinkTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

using namespace horavox;
using namespace horavox::testing;
using namespace std::chrono_literals;

// The whole program against a pty board in real time: the real 500 ms pauses, the real
// 100 ms timer, short melodies.
class TstEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void fullHourPlaysAndBytesWaitTheirTurn();
    void chimeStartsBehindTheAboutBox();
    void testButtonPlaysTheMelody();

private:
    void CheckPacing(const std::vector<PtyBoard::Received>& bytes, int notes);

    std::unique_ptr<TempPortDir> dir_;
    std::unique_ptr<PtyBoard> board_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
};

void TstEndToEnd::initTestCase() {
    dir_ = std::make_unique<TempPortDir>();
    UsePortDir(*dir_);
}

void TstEndToEnd::init() {
    board_ = std::make_unique<PtyBoard>(dir_->Path(), 19);
    state_ = std::make_unique<ProgramState>(); // the real pause
    window_ = std::make_unique<MainWindow>(*state_);
    window_->编辑框1->setText(QStringLiteral("L1,M2,H3,"));
    window_->ShowCentred();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
}

void TstEndToEnd::cleanup() {
    window_.reset();
    state_.reset();
    board_.reset();
}

// Codes arrive one per 500 ms pause, and the closing 0 one pause after the last note. The
// bounds only catch a missing or doubled pause; the benchmarks measure the precision.
void TstEndToEnd::CheckPacing(const std::vector<PtyBoard::Received>& bytes, int notes) {
    QCOMPARE(bytes.size(), 4 * static_cast<std::size_t>(notes + 1));
    for (int i = 1; i <= notes; ++i) {
        const auto gap = bytes[4 * static_cast<std::size_t>(i)].at -
                         bytes[4 * static_cast<std::size_t>(i - 1)].at;
        QVERIFY2(gap >= 450ms && gap < 1500ms,
                 qPrintable(
                     QStringLiteral("gap %1 lasted %2 ms")
                         .arg(i)
                         .arg(std::chrono::duration_cast<std::chrono::milliseconds>(gap).count())));
    }
}

void TstEndToEnd::fullHourPlaysAndBytesWaitTheirTurn() {
    QList<qint32> decoded;
    std::vector<std::chrono::steady_clock::time_point> decodedAt;
    connect(&window_->Link(), &SerialLink::ByteReceived, this, [&](qint32 v) {
        decoded.append(v);
        decodedAt.push_back(std::chrono::steady_clock::now());
    });
    QVERIFY(SendBytes(*board_, TimeBytes(6, 59)));
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("06:59"), 5000);
    QTest::qWait(300);
    QVERIFY(board_->ReceivedCount() == 0);

    // Once the first note is on the wire, the board reports more while the melody plays.
    const QByteArray during("\x02\x15\x26\x61\x62", 5);
    std::atomic<bool> sentDuring{false};
    std::jthread reporter([&] {
        if (board_->WaitForBytes(4, 10s)) {
            sentDuring = SendBytes(*board_, during);
        }
    });
    QVERIFY(SendBytes(*board_, TimeBytes(7, 0)));
    // The chime starts from the timer, so the event loop must run while waiting.
    QTRY_VERIFY_WITH_TIMEOUT(board_->ReceivedCount() >= 16, 10000);
    reporter.join();
    QVERIFY(sentDuring);
    const auto received = board_->ReceivedBytes();
    QCOMPARE(DecodeCodes(received), (QList<std::int32_t>{1, 9, 17, 0}));
    CheckPacing(received, 3);
    QCOMPARE(state_->lastChimeHour, 7);

    // Everything the board sent during the melody is decoded afterwards, in order.
    QTRY_COMPARE_WITH_TIMEOUT(window_->标签5->text(), QStringLiteral("25.6℃"), 5000);
    QCOMPARE(window_->标签4->text(), QStringLiteral("07:02"));
    QList<qint32> expected;
    for (char c : TimeBytes(6, 59) + TimeBytes(7, 0) + during)
        expected.append(static_cast<quint8>(c));
    QCOMPARE(decoded, expected);
    // ... and not before the pause after the last note (H3) is over.
    const auto lastNoteAt = received[8].at;
    for (std::size_t i = 8; i < decodedAt.size(); ++i)
        QVERIFY(decodedAt[i] >= lastNoteAt + 400ms);
    // No second chime for the same hour.
    board_->ClearReceived();
    QVERIFY(SendBytes(*board_, TimeBytes(7, 0)));
    QTest::qWait(400);
    QCOMPARE(board_->ReceivedCount(), std::size_t{0});
}

void TstEndToEnd::chimeStartsBehindTheAboutBox() {
    bool sawBox = false;
    bool complete = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!sawBox) {
            sawBox = true;
            SendBytes(*board_, TimeBytes(8, 0));
        }
        complete = board_->ReceivedCount() >= 16;
        if (complete)
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start(20);
    QTimer::singleShot(20s, this, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->reject();
    });
    window_->关于->trigger();
    poll.stop();
    QVERIFY(sawBox);
    QVERIFY(complete);
    QCOMPARE(DecodeCodes(board_->ReceivedBytes()), (QList<std::int32_t>{1, 9, 17, 0}));
    QCOMPARE(state_->lastChimeHour, 8);
}

void TstEndToEnd::testButtonPlaysTheMelody() {
    window_->编辑框1->setText(QStringLiteral("H1,L7"));
    QTest::mouseClick(window_->按钮2, Qt::LeftButton);
    QVERIFY(board_->WaitForBytes(12, 5s));
    const auto received = board_->ReceivedBytes();
    QCOMPARE(DecodeCodes(received), (QList<std::int32_t>{15, 7, 0}));
    CheckPacing(received, 2);
    QCOMPARE(state_->lastChimeHour, 0);
}

QTEST_MAIN(TstEndToEnd)
#include "tst_endtoend.moc"
