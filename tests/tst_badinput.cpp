#include "LinkTestSupport.h"
#include "Melody.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <climits>
#include <memory>
#include <random>

using namespace horavox;
using namespace horavox::testing;
using namespace std::chrono_literals;

namespace {

// The codes the melody rules give for a byte string, read entry by entry: the first byte of
// each three names the octave, the second (or the first, for a lone last byte) the degree.
std::vector<std::int32_t> ExpectedCodes(const Text& bytes) {
    std::vector<std::int32_t> codes;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const char first = bytes[at];
        const char last = bytes[at + 1 < bytes.size() ? at + 1 : at];
        const std::int32_t degree = last >= '0' && last <= '9' ? last - '0' : 0;
        codes.push_back(first == 'L'   ? degree
                        : first == 'M' ? degree + 7
                        : first == 'H' ? degree + 14
                                       : 1);
    }
    return codes;
}

// NUL-free noise: every byte value 1..255, fixed seed so that a failure can be repeated.
Text Noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(1, 255);
    Text out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(byte(random));
    return out;
}

QString Repeat(const QString& unit, qsizetype times) {
    return unit.repeated(times);
}

} // namespace

Q_DECLARE_METATYPE(std::string)

// Whatever the user types into the window: port and baud texts of any kind and length,
// and melodies far beyond anything sensible. Nothing may crash, hang or misbehave, and the
// results are the ones the reading rules give.
class TstBadInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void portAndBaudTexts_data();
    void portAndBaudTexts();
    void longMelodiesAreCutEveryThreeBytes_data();
    void longMelodiesAreCutEveryThreeBytes();
    void melodiesThroughTheWindow_data();
    void melodiesThroughTheWindow();

private:
    std::unique_ptr<TempPortDir> dir_;
    std::unique_ptr<PtyBoard> com1_;
    std::unique_ptr<PtyBoard> com19_;
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<MainWindow> window_;
    std::vector<std::string> diagnostics_;
    qsizetype pauses_ = 0;
};

void TstBadInput::initTestCase() {
    dir_ = std::make_unique<TempPortDir>();
    UsePortDir(*dir_);
    com1_ = std::make_unique<PtyBoard>(dir_->Path(), 1);
    com19_ = std::make_unique<PtyBoard>(dir_->Path(), 19);
}

void TstBadInput::init() {
    state_ = std::make_unique<ProgramState>();
    pauses_ = 0;
    state_->pause = [this](std::chrono::milliseconds d) {
        QCOMPARE(d, 500ms);
        ++pauses_;
    };
    window_ = std::make_unique<MainWindow>(*state_);
    diagnostics_.clear();
    window_->Link().SetDiagnosticSink(
        [this](const std::string& line) { diagnostics_.push_back(line); });
    com1_->ClearReceived();
    com19_->ClearReceived();
}

void TstBadInput::cleanup() {
    window_.reset();
    state_.reset();
}

void TstBadInput::portAndBaudTexts_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<int>("baudRate");
    const QString mb = QString(1 << 20, QLatin1Char('9'));
    const QString noise = QString::fromUtf8(QByteArray::fromStdString(Noise(1 << 20, 7)));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("1 MB of nines") << mb << mb << INT_MAX << INT_MAX;
    QTest::newRow("1 MB of letters") << QString(1 << 20, 'x') << QString(1 << 20, 'x') << 1 << 0;
    QTest::newRow("1 MB of noise after the numbers")
        << "19," + noise << "9600;" + noise << 19 << 9600;
    // The box holds 32767 characters, as the platform's edit boxes do: a number behind a
    // megabyte of blanks is not in it any more.
    QTest::newRow("1 MB of blanks before the numbers")
        << QString(1 << 20, ' ') + "19" << QString(1 << 20, '\t') + "9600" << 1 << 0;
    QTest::newRow("blanks up to the box's limit, then the numbers")
        << QString(32765, ' ') + "19" << QString(32763, '\t') + "9600" << 19 << 9600;
    QTest::newRow("just past 32 bits") << "2147483648"
                                       << "4294967296" << INT_MAX << INT_MAX;
    QTest::newRow("just inside 32 bits") << "2147483647"
                                         << "+0009600" << INT_MAX << 9600;
    QTest::newRow("negative overflow") << "-2147483649"
                                       << "-99999999999999999999" << 1 << 0;
    QTest::newRow("full-width") << QStringLiteral("１９") << QStringLiteral("９６００") << 19
                                << 9600;
    QTest::newRow("full-width signs")
        << QStringLiteral("－１９") << QStringLiteral("＋９６００") << 1 << 9600;
    QTest::newRow("mixed widths") << QStringLiteral("1９x") << QStringLiteral("９6０0") << 19
                                  << 9600;
    QTest::newRow("ideographic space and tab")
        << QStringLiteral("\u3000\t１９") << QStringLiteral("\u3000９６００") << 19 << 9600;
    QTest::newRow("emoji before") << emoji + "19" << emoji + "9600" << 1 << 0;
    QTest::newRow("emoji after") << "19" + emoji << "9600" + emoji << 19 << 9600;
    // Invisible characters the code page cannot hold are a "?" like any other.
    QTest::newRow("zero-width space inside") << QStringLiteral("1\u200B9") << "9600" << 1 << 9600;
    QTest::newRow("byte order mark before") << QStringLiteral("\uFEFF19") << "9600" << 1 << 9600;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "19"
                                    << "9600" << 1 << 9600;
    QTest::newRow("NUL inside") << QString("1") + QChar(0) + "9"
                                << "96" + QString(QChar(0)) + "00" << 1 << 96;
    QTest::newRow("Chinese") << QStringLiteral("端口19") << QStringLiteral("九六〇〇") << 1 << 0;
    QTest::newRow("other scripts' digits")
        << QStringLiteral("١٩") << QStringLiteral("९६००") << 1 << 0;
    QTest::newRow("superscripts") << QStringLiteral("¹⁹") << QStringLiteral("⁹⁶⁰⁰") << 1 << 0;
    QTest::newRow("signs only") << "+-"
                                << "--9600" << 1 << 0;
}

void TstBadInput::portAndBaudTexts() {
    QFETCH(QString, port);
    QFETCH(QString, baud);
    QFETCH(int, portNumber);
    QFETCH(int, baudRate);
    window_->编辑框_端口号->setText(port);
    window_->编辑框_波特率->setText(baud);
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QCOMPARE(window_->Link().PortNumber(), portNumber);
    QCOMPARE(window_->Link().BaudRate(), baudRate);
    // Only COM1 and COM19 have boards here, and a baud rate of 0 is refused.
    const bool opens = (portNumber == 1 || portNumber == 19) && baudRate > 0;
    QCOMPARE(window_->Link().IsOpen(), opens);
    QCOMPARE(diagnostics_.size(), std::size_t{opens ? 0u : 1u});
    if (opens) {
        PtyBoard& board = portNumber == 1 ? *com1_ : *com19_;
        QVERIFY(SendBytes(board, TimeBytes(12, 34)));
        QTRY_COMPARE_WITH_TIMEOUT(window_->标签4->text(), QStringLiteral("12:34"), 5000);
    }
}

void TstBadInput::longMelodiesAreCutEveryThreeBytes_data() {
    QTest::addColumn<std::string>("melody");               // code page 936 bytes
    QTest::addColumn<std::vector<std::int32_t>>("period"); // the codes, repeating
    const qsizetype entries = 100000;
    auto row = [&](const char* name, const QString& unit, std::vector<std::int32_t> period) {
        QTest::newRow(name) << ToCp936(Repeat(unit, entries)) << period;
    };
    row("notes", QString::fromLatin1(kDesignMelody),
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21});
    // An emoji is one "?" in code page 936, so it is just a separator here.
    row("emoji separators", QStringLiteral("H5😀"), {19});
    row("emoji notes", QStringLiteral("😀5,"), {1});
    row("zero-width joiner separators", QStringLiteral("M3\u200D"), {10});
    row("variation selector notes", QStringLiteral("L\uFE0F,"), {0});
    // Double-byte characters are cut blindly at byte positions.
    row("full-width comma", QStringLiteral("H7，"), {21, 1, 1, 1});
    row("Chinese", QStringLiteral("连接"), {1, 1});
    row("full-width notes", QStringLiteral("Ｌ１，"), {1, 1});
    QTest::newRow("binary noise") << Noise(3 * static_cast<std::size_t>(entries), 1)
                                  << std::vector<std::int32_t>{};
    QTest::newRow("binary noise of a length not divisible by three")
        << Noise(3 * static_cast<std::size_t>(entries) + 1, 2) << std::vector<std::int32_t>{};
}

void TstBadInput::longMelodiesAreCutEveryThreeBytes() {
    QFETCH(std::string, melody);
    QFETCH(std::vector<std::int32_t>, period);
    const std::vector<std::int32_t> codes = MelodyCodes(melody);
    QCOMPARE(codes.size(), (melody.size() + 2) / 3);
    QVERIFY(codes.size() >= 100000);
    const std::vector<std::int32_t> expected = ExpectedCodes(melody);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] != expected[i] || (!period.empty() && codes[i] != period[i % period.size()]))
            QFAIL(qPrintable(QStringLiteral("entry %1 gives %2").arg(i).arg(codes[i])));
    }
}

void TstBadInput::melodiesThroughTheWindow_data() {
    QTest::addColumn<QString>("melody");
    const QString entries = Repeat(QStringLiteral("L1,"), 100000);
    QTest::newRow("100 000 entries") << entries;
    QTest::newRow("binary noise") << FromCp936(Noise(300000, 3));
    QTest::newRow("emoji and Chinese") << Repeat(QStringLiteral("H1😀M2，连接L7,"), 30000);
}

void TstBadInput::melodiesThroughTheWindow() {
    QFETCH(QString, melody);
    window_->编辑框1->setText(melody);
    // The box keeps what the platform's single-line edit holds; that text is what plays.
    const QString kept = window_->编辑框1->text();
    QVERIFY(kept.size() <= window_->编辑框1->maxLength());
    QVERIFY(melody.startsWith(kept));
    const Text bytes = ToCp936(kept);
    const std::vector<std::int32_t> codes = MelodyCodes(bytes);
    QCOMPARE(codes, ExpectedCodes(bytes));
    qInfo("%lld characters kept of %lld, %zu bytes, %zu notes", static_cast<long long>(kept.size()),
          static_cast<long long>(melody.size()), bytes.size(), codes.size());

    // Not connected: it plays silently, one recorded pause per entry.
    window_->PlayMelody();
    QCOMPARE(pauses_, static_cast<qsizetype>(codes.size()));
    QCOMPARE(com19_->ReceivedCount(), std::size_t{0});

    // Connected: the board gets every code and the closing 0.
    QTest::mouseClick(window_->按钮1, Qt::LeftButton);
    QVERIFY(window_->Link().IsOpen());
    window_->PlayMelody();
    const std::size_t expectedBytes = 4 * (codes.size() + 1);
    QVERIFY(com19_->WaitForBytes(expectedBytes, 30s));
    QList<std::int32_t> sent(codes.begin(), codes.end());
    sent.append(0);
    QCOMPARE(DecodeCodes(com19_->ReceivedBytes()), sent);
    QCOMPARE(com19_->ReceivedCount(), expectedBytes);
    QVERIFY(diagnostics_.empty());
}

QTEST_MAIN(TstBadInput)
#include "tst_badinput.moc"
