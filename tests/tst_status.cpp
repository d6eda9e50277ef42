#include "Commands.h"
#include "MainWindow.h"

#include <QLabel>
#include <QTest>

using namespace horavox;

// What the board reports reaches DeviceClock and the two status labels.
class TstStatus : public QObject {
    Q_OBJECT
private slots:
    void beforeAnyByte();
    void decode_data();
    void decode();
    void unknownSelectorStillComposes();
};

void TstStatus::beforeAnyByte() {
    ProgramState state;
    MainWindow window(state);
    QCOMPARE(window.标签4->text(), QStringLiteral("请连接设备"));
    QCOMPARE(window.标签5->text(), QStringLiteral("请连接设备"));
}

void TstStatus::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("temperature");
    QTest::newRow("time 12:34") << QByteArray("\x31\x42\x53\x64") << "12:34"
                                << QStringLiteral("00.0℃");
    QTest::newRow("temperature 25.6")
        << QByteArray("\x02\x15\x26") << "00:00" << QStringLiteral("25.6℃");
    QTest::newRow("first byte FF") << QByteArray("\xFF") << "00:00" << QStringLiteral("00.0℃");
    QTest::newRow("09.0") << QByteArray("\x00\x19", 2) << "00:00" << QStringLiteral("09.0℃");
    QTest::newRow("digits above 9")
        << QByteArray("\x3A\x4F") << "1015:00" << QStringLiteral("00.0℃");
    QTest::newRow("12:124") << QByteArray("\x31\x42\x64\x5C") << "12:124"
                            << QStringLiteral("00.0℃");
    QTest::newRow("same selector overwrites")
        << QByteArray("\x61\x65") << "00:05" << QStringLiteral("00.0℃");
    QTest::newRow("selectors 7..15 ignored")
        << QByteArray("\x31\x71\x85\xF9\x42") << "12:00" << QStringLiteral("00.0℃");
    QTest::newRow("all fields") << QByteArray("\x33\x42\x55\x69\x01\x18\x27") << "32:59"
                                << QStringLiteral("18.7℃");
}

void TstStatus::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, time);
    QFETCH(QString, temperature);
    ProgramState state;
    MainWindow window(state);
    for (char byte : bytes)
        window.DecodeStatusByte(static_cast<quint8>(byte));
    QCOMPARE(window.标签4->text(), time);
    QCOMPARE(window.标签5->text(), temperature);
}

void TstStatus::unknownSelectorStillComposes() {
    ProgramState state;
    state.deviceClock.hourOnes = 7;
    MainWindow window(state);
    const DeviceClock before = state.deviceClock;
    window.DecodeStatusByte(0x70);
    QCOMPARE(state.deviceClock, before);
    QCOMPARE(window.标签4->text(), QStringLiteral("07:00"));
    QCOMPARE(window.标签5->text(), QStringLiteral("00.0℃"));
}

QTEST_MAIN(TstStatus)
#include "tst_status.moc"
