#include "LinkTestSupport.h"
#include "Melody.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace horavox;
using namespace horavox::testing;

// Note codes and the cutting of melodies, checked on the bytes the board receives and on
// the pauses the player asks for (recorded, not waited for).
class TstMelody : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void noteCode_data();
    void noteCode();
    void playback_data();
    void playback();
    void notConnectedStillPaces();
    void textIsReadOnce();
    void testButtonPlaysWithoutTouchingTheChime();

private:
    void Connect();

    std::unique_ptr<TempPortDir> dir_;
    std::unique_ptr<PtyBoard> board_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
    QList<std::chrono::milliseconds> pauses_;
    // Bytes the board had received when each pause began.
    QList<std::size_t> receivedAtPause_;
};

void TstMelody::initTestCase() {
    dir_ = std::make_unique<TempPortDir>();
    UsePortDir(*dir_);
}

void TstMelody::init() {
    board_ = std::make_unique<PtyBoard>(dir_->Path(), 19);
    state_ = std::make_unique<ProgramState>();
    pauses_.clear();
    receivedAtPause_.clear();
    state_->pause = [this](std::chrono::milliseconds d) {
        pauses_.append(d);
        // Let each note reach the board before the next one, as the real pause would.
        if (window_->Link().IsOpen())
            board_->WaitForBytes(4 * static_cast<std::size_t>(pauses_.size()),
                                 std::chrono::seconds(2));
        receivedAtPause_.append(board_->ReceivedCount());
    };
    window_ = std::make_unique<MainWindow>(*state_);
    window_->Link().SetDiagnosticSink([](const std::string&) {});
}

void TstMelody::cleanup() {
    window_.reset();
    state_.reset();
    board_.reset();
}

void TstMelody::Connect() {
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
}

void TstMelody::noteCode_data() {
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("code");
    const char* low[] = {"L1", "L2", "L3", "L4", "L5", "L6", "L7"};
    for (int i = 0; i < 7; ++i) {
        QTest::newRow(low[i]) << QByteArray(low[i]) << i + 1;
        QByteArray m = low[i];
        m[0] = 'M';
        QTest::newRow(m.constData()) << m << i + 8;
        QByteArray h = low[i];
        h[0] = 'H';
        QTest::newRow(h.constData()) << h << i + 15;
    }
    QTest::newRow("L0") << QByteArray("L0") << 0;
    QTest::newRow("H9") << QByteArray("H9") << 23;
    QTest::newRow("Lx") << QByteArray("Lx") << 0;
    QTest::newRow("Hx") << QByteArray("Hx") << 14;
    QTest::newRow("lower-case l") << QByteArray("l1") << 1;
    QTest::newRow("lower-case h") << QByteArray("h7") << 1;
    QTest::newRow("other letter") << QByteArray("X5") << 1;
    QTest::newRow("lone H") << QByteArray("H") << 14;
    QTest::newRow("lone L") << QByteArray("L") << 0;
    QTest::newRow("lone M") << QByteArray("M") << 7;
    QTest::newRow("lone digit") << QByteArray("5") << 1;
    QTest::newRow("full-width degree is not a digit") << QByteArray("H\xA3") << 14;
}

void TstMelody::noteCode() {
    QFETCH(QByteArray, token);
    QFETCH(int, code);
    QCOMPARE(NoteCode(std::string_view(token.constData(), static_cast<std::size_t>(token.size()))),
             code);
}

void TstMelody::playback_data() {
    QTest::addColumn<QString>("melody");
    QTest::addColumn<QList<std::int32_t>>("codes"); // closing 0 not included
    using Codes = QList<std::int32_t>;
    QTest::newRow("empty") << "" << Codes{};
    QTest::newRow("H1") << "H1" << Codes{15};
    QTest::newRow("L1") << "L1" << Codes{1};
    QTest::newRow("L1,") << "L1," << Codes{1};
    QTest::newRow("L1,,") << "L1,," << Codes{1, 1};
    QTest::newRow("L12,M3,") << "L12,M3," << Codes{1, 1, 1};
    QTest::newRow("X5,L2") << "X5,L2" << Codes{1, 2};
    QTest::newRow("l1") << "l1" << Codes{1};
    QTest::newRow("L1;L2|") << "L1;L2|" << Codes{1, 2};
    QTest::newRow("H") << "H" << Codes{14};
    QTest::newRow("L") << "L" << Codes{0};
    // A full-width comma is two bytes in code page 936 and is cut blindly.
    QTest::newRow("full-width comma") << QStringLiteral("L1，L2") << Codes{1, 1};
    QTest::newRow("design-time melody")
        << QString::fromLatin1(kDesignMelody)
        << Codes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
}

void TstMelody::playback() {
    QFETCH(QString, melody);
    QFETCH(QList<std::int32_t>, codes);
    Connect();
    window_->编辑框1->setText(melody);
    window_->PlayMelody();
    QVERIFY(board_->WaitForBytes(4 * (static_cast<std::size_t>(codes.size()) + 1),
                                 std::chrono::seconds(5)));
    QCOMPARE(Bytes(board_->ReceivedBytes()), EncodeCodes(codes + QList<std::int32_t>{0}));
    // One 500 ms pause after every note, the last one included, and none for the closing 0.
    QCOMPARE(pauses_.size(), codes.size());
    for (auto d : pauses_)
        QCOMPARE(d, std::chrono::milliseconds(500));
    for (qsizetype i = 0; i < receivedAtPause_.size(); ++i)
        QCOMPARE(receivedAtPause_[i], 4 * static_cast<std::size_t>(i + 1));
    QCOMPARE(MelodyCodes(ToCp936(melody)), std::vector<std::int32_t>(codes.begin(), codes.end()));
}

void TstMelody::notConnectedStillPaces() {
    window_->PlayMelody();
    QCOMPARE(pauses_.size(), 21);
    QTest::qWait(50);
    QCOMPARE(board_->ReceivedCount(), std::size_t{0});
}

void TstMelody::textIsReadOnce() {
    Connect();
    window_->编辑框1->setText(QStringLiteral("L1,L2,L3"));
    auto record = state_->pause;
    state_->pause = [&](std::chrono::milliseconds d) {
        window_->编辑框1->setText(QStringLiteral("H7,H7,H7,H7"));
        record(d);
    };
    window_->PlayMelody();
    QVERIFY(board_->WaitForBytes(16, std::chrono::seconds(5)));
    QCOMPARE(DecodeCodes(board_->ReceivedBytes()), (QList<std::int32_t>{1, 2, 3, 0}));
}

void TstMelody::testButtonPlaysWithoutTouchingTheChime() {
    Connect();
    window_->编辑框1->setText(QStringLiteral("M1,M2"));
    state_->lastChimeHour = 9;
    QTest::mouseClick(window_->按钮2, Qt::LeftButton);
    QVERIFY(board_->WaitForBytes(12, std::chrono::seconds(5)));
    QCOMPARE(DecodeCodes(board_->ReceivedBytes()), (QList<std::int32_t>{8, 9, 0}));
    QCOMPARE(state_->lastChimeHour, 9);
}

QTEST_MAIN(TstMelody)
#include "tst_melody.moc"
