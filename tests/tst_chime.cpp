#include "HourlyChime.h"
#include "MainWindow.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace horavox;

// The hourly chime, driven by the status bytes the board sends and one tick after each
// step, as the 100 ms timer would.
class TstChime : public QObject {
    Q_OBJECT
private slots:
    void sequences_data();
    void sequences();
    void hourIsRememberedBeforePlaying();
};

namespace {

QByteArray At(int hourTens, int hourOnes, int minuteTens, int minuteOnes) {
    QByteArray out;
    out.append(static_cast<char>(0x30 | hourTens));
    out.append(static_cast<char>(0x40 | hourOnes));
    out.append(static_cast<char>(0x50 | minuteTens));
    out.append(static_cast<char>(0x60 | minuteOnes));
    return out;
}

QByteArray At(int hour, int minute) {
    return At(hour / 10, hour % 10, minute / 10, minute % 10);
}

} // namespace

void TstChime::sequences_data() {
    // Each step is a run of status bytes followed by one tick.
    QTest::addColumn<QList<QByteArray>>("steps");
    QTest::addColumn<QList<int>>("playedAt"); // the step indices at which the melody starts
    QTest::addColumn<int>("lastChimeHour");
    using Steps = QList<QByteArray>;
    using Played = QList<int>;
    QTest::newRow("never connected") << Steps{{}, {}, {}} << Played{} << 0;
    QTest::newRow("10:00 first time") << Steps{At(10, 0)} << Played{0} << 10;
    QTest::newRow("10:00 repeated") << Steps{At(10, 0), At(10, 0), {}, {}} << Played{0} << 10;
    QTest::newRow("10:00 10:01 10:00") << Steps{At(10, 0), At(10, 1), At(10, 0)} << Played{0} << 10;
    QTest::newRow("10:00 then 11:00")
        << Steps{At(10, 0), At(10, 59), At(11, 0)} << Played{0, 2} << 11;
    QTest::newRow("05:00") << Steps{At(5, 0)} << Played{} << 0;
    QTest::newRow("21:00") << Steps{At(21, 0)} << Played{} << 0;
    QTest::newRow("06:00") << Steps{At(6, 0)} << Played{0} << 6;
    QTest::newRow("20:00") << Steps{At(20, 0)} << Played{0} << 20;
    QTest::newRow("a day: 20:00 then 06:00 then 20:00")
        << Steps{At(20, 0), At(6, 0), At(20, 0)} << Played{0, 1, 2} << 20;
    QTest::newRow("hour ones 12 counts as 12") << Steps{At(0, 12, 0, 0)} << Played{0} << 12;
    QTest::newRow("1 and 15 make 25") << Steps{At(1, 15, 0, 0)} << Played{} << 0;
    QTest::newRow("minute ones 10 is no full hour") << Steps{At(1, 0, 0, 10)} << Played{} << 0;
    QTest::newRow("minute tens 6 is no full hour") << Steps{At(1, 0, 6, 0)} << Played{} << 0;
    // 09:59 -> 10:00 with the hour digit first: the tick between sees 10:59, then 10:00.
    QTest::newRow("digits one tick apart")
        << Steps{At(9, 59), QByteArray("\x31\x40"), QByteArray("\x50"), QByteArray("\x60")}
        << Played{3} << 10;
    // An intermediate state that reads as a full hour chimes like any other: 07:59 -> 08:00
    // sent minutes first shows 07:00 for one tick.
    QTest::newRow("intermediate full hour counts")
        << Steps{At(7, 59), QByteArray("\x50\x60"), QByteArray("\x48")} << Played{1, 2} << 8;
    QTest::newRow("all four bytes before one tick") << Steps{At(7, 59), At(8, 0)} << Played{1} << 8;
}

void TstChime::sequences() {
    QFETCH(QList<QByteArray>, steps);
    QFETCH(QList<int>, playedAt);
    QFETCH(int, lastChimeHour);
    ProgramState state;
    int step = -1;
    QList<int> played;
    // A one-note melody: every play asks for exactly one pause.
    state.pause = [&](std::chrono::milliseconds) { played.append(step); };
    MainWindow window(state);
    window.时钟1->stop(); // the steps below are the ticks
    window.编辑框1->setText(QStringLiteral("L1"));
    for (step = 0; step < steps.size(); ++step) {
        for (char byte : steps[step])
            window.DecodeStatusByte(static_cast<quint8>(byte));
        window.CheckHourlyChime();
    }
    QCOMPARE(played, playedAt);
    QCOMPARE(state.lastChimeHour, lastChimeHour);
}

void TstChime::hourIsRememberedBeforePlaying() {
    ProgramState state;
    std::int32_t seenDuringPlay = -1;
    state.pause = [&](std::chrono::milliseconds) { seenDuringPlay = state.lastChimeHour; };
    MainWindow window(state);
    window.时钟1->stop();
    window.编辑框1->setText(QStringLiteral("L1"));
    for (char byte : At(13, 0))
        window.DecodeStatusByte(static_cast<quint8>(byte));
    window.CheckHourlyChime();
    QCOMPARE(seenDuringPlay, 13);
    // And the pure rule on its own, for the bounds.
    DeviceClock clock;
    std::int32_t last = 0;
    clock.hourTens = 2;
    QVERIFY(ChimeDue(clock, last));
    QCOMPARE(last, 20);
    QVERIFY(!ChimeDue(clock, last));
}

QTEST_MAIN(TstChime)
#include "tst_chime.moc"
