#include "Text.h"

#include <QTest>

#include <limits>

using namespace horavox;

Q_DECLARE_METATYPE(std::string)

class TstText : public QObject {
    Q_OBJECT
private slots:
    void textToInt_data();
    void textToInt();
    void intToText_data();
    void intToText();
    void cp936_data();
    void cp936();
    void fullWidthFoldKeepsOtherPairs();
};

// Rows are code page 936 byte strings, written as C escapes where they are not ASCII.
void TstText::textToInt_data() {
    QTest::addColumn<std::string>("text");
    QTest::addColumn<qint32>("value");
    auto row = [](const char* name, std::string text, qint32 value) {
        QTest::newRow(name) << text << value;
    };
    row("plain", "19", 19);
    row("leading blank", " 7", 7);
    row("every white space", " \t\n\v\f\r42", 42);
    row("trailing letters", "7abc", 7);
    row("plus", "+12", 12);
    row("minus", "-3", -3);
    row("zero", "0", 0);
    row("empty", "", 0);
    row("letters only", "abc", 0);
    row("sign only", "-", 0);
    row("two signs", "+-5", 0);
    row("blank after sign", "- 5", 0);
    row("leading zeros", "0009600", 9600);
    row("stops at dot", "12.9", 12);
    row("full-width digits", "\xA3\xB1\xA3\xB9", 19);
    row("full-width seven", "\xA3\xB7", 7);
    row("full-width minus", "\xA3\xAD\xA3\xB3", -3);
    row("full-width plus",
        "\xA3\xAB"
        "8",
        8);
    row("ideographic space",
        "\xA1\xA1"
        "5",
        5);
    row("mixed widths",
        "1\xA3\xB2"
        "3",
        123);
    row("chinese after digits", "19\xB6\xCB\xBF\xDA", 19);
    row("chinese before digits",
        "\xB6\xCB"
        "19",
        0);
    row("wave dash is no blank",
        "\xA1\xAB"
        "5",
        0);
    // A lead byte owns the next byte: 0x81 0x35 is one character, not "5".
    row("trail byte is not a digit",
        "\x81"
        "5",
        0);
    row("max", "2147483647", std::numeric_limits<qint32>::max());
    row("min", "-2147483648", std::numeric_limits<qint32>::min());
    row("overflow saturates", "2147483648", std::numeric_limits<qint32>::max());
    row("underflow saturates", "-2147483649", std::numeric_limits<qint32>::min());
    row("huge saturates", std::string(1000, '9'), std::numeric_limits<qint32>::max());
    row("huge negative saturates", "-" + std::string(1000, '9'),
        std::numeric_limits<qint32>::min());
    row("huge with zeros first", std::string(50, '0') + "42", 42);
}

void TstText::textToInt() {
    QFETCH(std::string, text);
    QFETCH(qint32, value);
    QCOMPARE(TextToInt(text), value);
}

void TstText::intToText_data() {
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("zero") << 0 << QByteArray("0");
    QTest::newRow("digit") << 7 << QByteArray("7");
    QTest::newRow("two digits") << 15 << QByteArray("15");
    QTest::newRow("negative") << -42 << QByteArray("-42");
    QTest::newRow("max") << std::numeric_limits<qint32>::max() << QByteArray("2147483647");
    QTest::newRow("min") << std::numeric_limits<qint32>::min() << QByteArray("-2147483648");
}

void TstText::intToText() {
    QFETCH(qint32, value);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(IntToText(value)), text);
    QCOMPARE(TextToInt(IntToText(value)), value);
}

void TstText::cp936_data() {
    QTest::addColumn<QString>("unicode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << QStringLiteral("L1,L2,") << QByteArray("L1,L2,");
    QTest::newRow("degree sign") << QStringLiteral("25.6℃") << QByteArray("25.6\xA1\xE6");
    QTest::newRow("full-width digit") << QStringLiteral("１９") << QByteArray("\xA3\xB1\xA3\xB9");
    QTest::newRow("full-width comma") << QStringLiteral("L1，L2") << QByteArray("L1\xA3\xACL2");
    QTest::newRow("ideographic space") << QStringLiteral("\u3000") << QByteArray("\xA1\xA1");
    QTest::newRow("chinese") << QStringLiteral("请连接设备")
                             << QByteArray("\xC7\xEB\xC1\xAC\xBD\xD3\xC9\xE8\xB1\xB8");
    QTest::newRow("euro is one byte") << QStringLiteral("€") << QByteArray("\x80");
    QTest::newRow("emoji becomes ?") << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
    QTest::newRow("copyright sign") << QStringLiteral("©") << QByteArray("?");
    QTest::newRow("lone surrogate")
        << QString(QChar(0xD800)) + QStringLiteral("x") << QByteArray("?x");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TstText::cp936() {
    QFETCH(QString, unicode);
    QFETCH(QByteArray, bytes);
    const Text encoded = ToCp936(unicode);
    QCOMPARE(QByteArray::fromStdString(encoded), bytes);
    if (!bytes.contains('?'))
        QCOMPARE(FromCp936(encoded), unicode);
}

void TstText::fullWidthFoldKeepsOtherPairs() {
    // Letters and signs fold; Chinese characters and the degree sign stay as they were.
    QCOMPARE(QByteArray::fromStdString(FoldFullWidth("\xA3\xC1\xA1\xEE\xA1\xE6\xC7\xEB")),
             QByteArray("A*\xA1\xE6\xC7\xEB"));
}

QTEST_APPLESS_MAIN(TstText)
#include "tst_text.moc"
