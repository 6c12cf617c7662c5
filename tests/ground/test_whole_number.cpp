// The one reader of decimal whole numbers: signs, blanks, the 32-bit range.
#include "ground/whole_number.h"

#include <QtTest>

using namespace segmora;

class TestWholeNumber : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blanks"); // leading blanks allowed
        QTest::addColumn<bool>("plus");   // "+" allowed
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("value");

        QTest::newRow("digits") << "42" << false << true << true << 42;
        QTest::newRow("leading zeros") << "007" << false << true << true << 7;
        QTest::newRow("minus") << "-3" << false << false << true << -3;
        QTest::newRow("plus") << "+3" << false << true << true << 3;
        QTest::newRow("plus not allowed") << "+3" << false << false << false << 0;
        QTest::newRow("sign alone") << "-" << false << true << false << 0;
        QTest::newRow("empty") << "" << true << true << false << 0;
        QTest::newRow("blanks only") << "   " << true << true << false << 0;
        QTest::newRow("leading blanks") << "  -12" << true << true << true << -12;
        QTest::newRow("leading blanks not allowed") << " 12" << false << true << false << 0;
        QTest::newRow("blank after the sign") << "- 12" << true << true << false << 0;
        QTest::newRow("trailing blank") << "12 " << true << true << false << 0;
        QTest::newRow("tab") << "\t12" << true << true << false << 0;
        QTest::newRow("fraction") << "3.5" << true << true << false << 0;
        QTest::newRow("two signs") << "--3" << true << true << false << 0;
        QTest::newRow("hexadecimal") << "0x10" << true << true << false << 0;
        QTest::newRow("largest") << "2147483647" << false << true << true << 2147483647;
        QTest::newRow("beyond the largest") << "2147483648" << false << true << false << 0;
        QTest::newRow("smallest") << "-2147483648" << false << true << true << int(-2147483648LL);
        QTest::newRow("beyond the smallest") << "-2147483649" << false << true << false << 0;
        QTest::newRow("very long") << QString(40, QLatin1Char('9')) << false << true << false << 0;
        QTest::newRow("long run of zeros")
            << QString(40, QLatin1Char('0')) + QStringLiteral("5") << false << true << true << 5;
        QTest::newRow("Arabic-Indic digits")
            << QStringLiteral("\u0661\u0662") << false << true << false << 0;
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(bool, blanks);
        QFETCH(bool, plus);
        QFETCH(bool, readable);
        QFETCH(int, value);
        const std::optional<int> parsed =
            ParseWholeNumber(text, WholeNumberRules{.leadingBlanks = blanks, .plusSign = plus});
        QCOMPARE(parsed.has_value(), readable);
        if (readable)
            QCOMPARE(*parsed, value);
    }
};

QTEST_GUILESS_MAIN(TestWholeNumber)
#include "test_whole_number.moc"
