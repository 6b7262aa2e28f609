#include "tools/numbers.h"
#include "tools/renban.h"
#include "tools/replace.h"
#include "tools/textlines.h"

#include <QLocale>
#include <QTest>

using namespace tools;

Q_DECLARE_METATYPE(tools::NumberRadix)

class TestTextOps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English)); }

    void replace_data();
    void replace();
    void replaceLocaleAware();
    void searchFromSelection_data();
    void searchFromSelection();
    void selectionLines_data();
    void selectionLines();

    void splitDigitRun_data();
    void splitDigitRun();
    void radixHelpers();
    void addition_data();
    void addition();

    void renbanItems_data();
    void renbanItems();
    void renbanPreview_data();
    void renbanPreview();
    void renbanGridRows();
    void renbanPlaceLines();
};

void TestTextOps::replace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("count");

    QTest::newRow("ignore case") << "ABC abc Abc" << "abc" << "X" << true << "X X X" << 3;
    QTest::newRow("case sensitive") << "ABC abc Abc" << "abc" << "X" << false << "ABC X Abc" << 1;
    QTest::newRow("no overlap") << "aaaa" << "aa" << "a" << false << "aa" << 2;
    QTest::newRow("replacement holds search") << "ab" << "a" << "aa" << false << "aab" << 1;
    QTest::newRow("ignore case keeps other letters") << "Wire w1 WIRE" << "w1" << "W2" << true << "Wire W2 WIRE" << 1;
    QTest::newRow("same text") << "ABC" << "ABC" << "ABC" << true << "ABC" << 1;
    QTest::newRow("empty replacement deletes") << "a-b-c" << "-" << "" << false << "abc" << 2;
    QTest::newRow("empty search") << "abc" << "" << "x" << false << "abc" << 0;
    QTest::newRow("full-width letters fold") << "ａｂｃ" << "ＡＢＣ" << "x" << true << "x" << 1;
    QTest::newRow("japanese") << "端子台 端子" << "端子" << "TB" << false << "TB台 TB" << 2;
    QTest::newRow("match at end") << "xxab" << "ab" << "-" << true << "xx-" << 1;
    QTest::newRow("longer than text") << "ab" << "abc" << "-" << true << "ab" << 0;
}

void TestTextOps::replace()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(bool, ignoreCase);
    QFETCH(QString, expected);
    QFETCH(int, count);
    qsizetype n = -1;
    QCOMPARE(ReplaceString(text, search, replacement, ignoreCase, &n), expected);
    QCOMPARE(n, qsizetype(count));
}

void TestTextOps::replaceLocaleAware()
{
    // Where upper-casing changes the length the match still lands on its own characters.
    QCOMPARE(ReplaceString(QStringLiteral("Maße maße"), QStringLiteral("MASSE"), QStringLiteral("x"), true),
             QStringLiteral("Maße maße"));
    QCOMPARE(ReplaceString(QStringLiteral("ßa Xa"), QStringLiteral("xA"), QStringLiteral("-"), true),
             QStringLiteral("ßa -"));
    QLocale::setDefault(QLocale(QLocale::Turkish));
    QCOMPARE(ReplaceString(QStringLiteral("i İ"), QStringLiteral("i"), QStringLiteral("x"), true),
             QStringLiteral("x x"));
    QLocale::setDefault(QLocale(QLocale::English));
}

void TestTextOps::searchFromSelection_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one line") << "ABC" << "ABC";
    QTest::newRow("crlf") << "AB\r\nCD" << "AB";
    QTest::newRow("paragraph separator") << QStringLiteral("AB") + QChar(0x2029) + "CD" << "AB";
    QTest::newRow("starts with break") << "\r\nCD" << "";
}

void TestTextOps::searchFromSelection()
{
    QFETCH(QString, selected);
    QFETCH(QString, expected);
    QCOMPARE(SearchTextFromSelection(selected), expected);
}

void TestTextOps::selectionLines_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("joined");
    QTest::newRow("leading spaces and final break") << "  ab\r\ncd\r\n" << QStringList{"  ab", "cd"} << "ab\r\ncd";
    QTest::newRow("lf and cr") << "a\nb\rc" << QStringList{"a", "b", "c"} << "a\r\nb\r\nc";
    QTest::newRow("ideographic space kept") << "　a\t" << QStringList{"　a\t"} << "　a";
    QTest::newRow("empty middle line") << "a\r\n\r\nb" << QStringList{"a", "", "b"} << "a\r\n\r\nb";
}

void TestTextOps::selectionLines()
{
    QFETCH(QString, selected);
    QFETCH(QStringList, lines);
    QFETCH(QString, joined);
    QCOMPARE(SplitSelectionLines(selected), lines);
    QCOMPARE(JoinSelectionLines(lines), joined);
}

void TestTextOps::splitDigitRun_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("fromEnd");
    QTest::addColumn<QStringList>("parts");
    QTest::newRow("last run") << "A1-B09" << true << QStringList{"A1-B", "09", ""};
    QTest::newRow("first run") << "A1-B09" << false << QStringList{"A", "1", "-B09"};
    QTest::newRow("trimmed") << " No.7 " << true << QStringList{"No.", "7", ""};
    QTest::newRow("full-width digits are no digits") << "ＡＢ１２" << true << QStringList{"ＡＢ１２", "", ""};
    QTest::newRow("suffix") << "0009X" << false << QStringList{"", "0009", "X"};
}

void TestTextOps::splitDigitRun()
{
    QFETCH(QString, text);
    QFETCH(bool, fromEnd);
    QFETCH(QStringList, parts);
    const DigitRun run = SplitDigitRun(text, fromEnd);
    QCOMPARE((QStringList{run.prefix, run.digits, run.suffix}), parts);
}

void TestTextOps::radixHelpers()
{
    QVERIFY(IsHexDigits(u"09afAF"));
    QVERIFY(IsHexDigits(u""));
    QVERIFY(!IsHexDigits(u"FG"));
    QVERIFY(!IsHexDigits(u" 1"));
    QVERIFY(IsOctalDigits(u"0717"));
    QVERIFY(IsOctalDigits(u""));
    QVERIFY(!IsOctalDigits(u"08"));
    QCOMPARE(OctalToInt(u"17"), 15);
    QCOMPARE(OctalToInt(u""), 0);
    // Each digit at its decimal value: the callers check for octal digits.
    bool ok = false;
    QCOMPARE(OctalToInt(u"18", &ok), 16);
    QVERIFY(ok);
    QCOMPARE(OctalToInt(u"19"), 17);
    OctalToInt(u"1a", &ok);
    QVERIFY(!ok);
    QCOMPARE(IntToOctal(8, 2), QStringLiteral("10"));
    QCOMPARE(IntToOctal(0, 3), QStringLiteral("000"));
    QCOMPARE(IntToOctal(0, 0), QString());
    QCOMPARE(IntToOctal(-5, 3), QStringLiteral("-05"));
    QCOMPARE(IntToOctal(-8, 1), QStringLiteral("-10"));
    QCOMPARE(PadDecimal(-5, 3), QStringLiteral("-05"));
    QCOMPARE(PadDecimal(std::numeric_limits<qint32>::min(), 2), QStringLiteral("-2147483648"));
    QCOMPARE(PadHex(-1, 2), QStringLiteral("FFFFFFFF"));
    qint32 v = 0;
    QVERIFY(ParseDecimal(u"-2147483648", &v));
    QCOMPARE(v, std::numeric_limits<qint32>::min());
    QVERIFY(!ParseDecimal(u"2147483648", &v));
    QVERIFY(!ParseDecimal(u"1a", &v));
    QVERIFY(!ParseDecimal(u"", &v));
    QVERIFY(!ParseDecimal(u"-", &v));
    QVERIFY(ParseHex(u"ffffffff", &v));
    QCOMPARE(v, -1);
    QVERIFY(!ParseHex(u"100000000", &v));
}

void TestTextOps::addition_data()
{
    QTest::addColumn<NumberRadix>("radix");
    QTest::addColumn<bool>("fromEnd");
    QTest::addColumn<int>("digits");
    QTest::addColumn<int>("amount");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto D = NumberRadix::Decimal;
    const auto H = NumberRadix::Hexadecimal;
    const auto O = NumberRadix::Octal;
    QTest::newRow("dec W012") << D << true << 2 << 1 << "W012" << "W013";
    QTest::newRow("dec W099") << D << true << 2 << 1 << "W099" << "W100";
    QTest::newRow("dec W999 grows") << D << true << 2 << 1 << "W999" << "W1000";
    QTest::newRow("dec last run") << D << true << 2 << 1 << "A1-B09" << "A1-B10";
    QTest::newRow("dec trailing blank gone") << D << true << 2 << 1 << "No.7 " << "No.8";
    QTest::newRow("dec first run") << D << false << 2 << 1 << "A1-B09" << "A2-B09";
    QTest::newRow("dec first run carry") << D << false << 2 << 1 << "0009X" << "0010X";
    QTest::newRow("dec minus one") << D << true << 2 << -1 << "W010" << "W009";
    QTest::newRow("dec negative keeps width") << D << true << 2 << -10 << "005" << "-05";
    QTest::newRow("dec negative in text") << D << true << 2 << -10 << "W05" << "W-5";
    QTest::newRow("dec full-width digits") << D << true << 2 << 1 << "ＡＢ１２" << "ＡＢ１２";
    QTest::newRow("dec no digits keeps blanks") << D << true << 2 << 1 << " abc " << " abc ";
    QTest::newRow("dec eleven digits") << D << true << 2 << 1 << "99999999999" << "00000000001";
    QTest::newRow("dec wraps") << D << true << 2 << 1 << "2147483647" << "-2147483648";
    QTest::newRow("dec empty") << D << true << 2 << 1 << "" << "";
    QTest::newRow("dec amount zero") << D << true << 2 << 0 << "No.7 " << "No.7 ";
    QTest::newRow("hex IO3F") << H << true << 2 << 1 << "IO3F" << "IO40";
    QTest::newRow("hex IOff grows") << H << true << 2 << 1 << "IOff" << "IO100";
    QTest::newRow("hex IOFG") << H << true << 2 << 1 << "IOFG" << "IOFG";
    QTest::newRow("hex short text") << H << true << 2 << 1 << "7" << "08";
    QTest::newRow("hex negative two's complement") << H << true << 2 << -1 << "X00" << "XFFFFFFFF";
    QTest::newRow("hex wraps to zero") << H << true << 8 << 1 << "FFFFFFFF" << "00000000";
    QTest::newRow("hex blank") << H << true << 2 << 1 << "   " << "   ";
    QTest::newRow("hex trailing space not hex") << H << true << 2 << 1 << "IO3F " << "IO3F ";
    QTest::newRow("hex empty") << H << true << 2 << 1 << "" << "";
    QTest::newRow("hex from-start ignored") << H << false << 2 << 1 << "1A1A" << "1A1B";
    QTest::newRow("oct P07") << O << true << 2 << 1 << "P07" << "P10";
    QTest::newRow("oct P08") << O << true << 2 << 1 << "P08" << "P08";
    QTest::newRow("oct negative") << O << true << 3 << -9 << "P005" << "P-04";
    QTest::newRow("oct width 1 grows") << O << true << 1 << 1 << "A7" << "A10";
    QTest::newRow("oct empty") << O << true << 2 << 1 << "" << "";
}

void TestTextOps::addition()
{
    QFETCH(NumberRadix, radix);
    QFETCH(bool, fromEnd);
    QFETCH(int, digits);
    QFETCH(int, amount);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    AdditionSettings s;
    s.radix = radix;
    s.fromEnd = fromEnd;
    s.digitCount = digits;
    s.amount = amount;
    bool changed = true;
    QCOMPARE(AddToNumber(text, s, &changed), expected);
    QCOMPARE(changed, expected != text);
}

void TestTextOps::renbanItems_data()
{
    QTest::addColumn<NumberRadix>("radix");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QStringList>("items");

    const auto D = NumberRadix::Decimal;
    QStringList defaults;
    for (int i = 0; i < 16; ++i)
        defaults << QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
    QTest::newRow("defaults") << D << "" << "00" << "" << "1" << "16" << defaults;
    QTest::newRow("prefix suffix upper") << D << "w" << "1" << "-a" << "2" << "3" << QStringList{"W1-A", "W3-A", "W5-A"};
    QTest::newRow("008") << D << "" << "008" << "" << "1" << "3" << QStringList{"008", "009", "010"};
    QTest::newRow("98 grows") << D << "" << "98" << "" << "1" << "4" << QStringList{"98", "99", "100", "101"};
    QTest::newRow("counting down below zero") << D << "" << "02" << "" << "-1" << "4" << QStringList{"02", "01", "00", "-1"};
    QTest::newRow("hex 0e") << NumberRadix::Hexadecimal << "" << "0e" << "" << "1" << "3" << QStringList{"0E", "0F", "10"};
    QTest::newRow("octal 06") << NumberRadix::Octal << "" << "06" << "" << "1" << "3" << QStringList{"06", "07", "10"};
    QTest::newRow("fixed text") << D << "ab" << "" << "" << "1" << "3" << QStringList{"AB", "AB", "AB"};
    QTest::newRow("fixed text empty count") << D << "ab" << "" << "" << "1" << "" << QStringList{};
    QTest::newRow("count zero") << D << "" << "00" << "" << "1" << "0" << QStringList{};
    QTest::newRow("empty count is one") << D << "" << "5" << "" << "1" << "" << QStringList{"5"};
    QTest::newRow("unreadable step is one") << D << "" << "1" << "" << "x" << "2" << QStringList{"1", "2"};
    QTest::newRow("only a-z upper-cased") << D << "ａb" << "1" << "ß" << "1" << "1" << QStringList{"ａB1ß"};
    QTest::newRow("octal 8 at its decimal value") << NumberRadix::Octal << "" << "08" << "" << "1" << "3" << QStringList{"10", "11", "12"};
    QTest::newRow("octal letter invalid") << NumberRadix::Octal << "" << "0a" << "" << "1" << "3" << QStringList{};
    QTest::newRow("unreadable decimal start is one") << D << "" << "1a" << "" << "1" << "3" << QStringList{"01", "02", "03"};
    QTest::newRow("unreadable hex start is one") << NumberRadix::Hexadecimal << "" << "123456789" << "" << "1" << "2" << QStringList{"000000001", "000000002"};
}

void TestTextOps::renbanItems()
{
    QFETCH(NumberRadix, radix);
    QFETCH(QString, prefix);
    QFETCH(QString, start);
    QFETCH(QString, suffix);
    QFETCH(QString, step);
    QFETCH(QString, count);
    QFETCH(QStringList, items);
    const RenbanInput in{radix, prefix, start, suffix, step, count};
    QString error;
    QCOMPARE(RenbanItems(in, &error), items);
    const bool invalid = QByteArray(QTest::currentDataTag()).endsWith("invalid");
    QCOMPARE(!error.isEmpty(), invalid);
    if (invalid)
        QVERIFY(error.contains(start));
}

void TestTextOps::renbanPreview_data()
{
    QTest::addColumn<NumberRadix>("radix");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("preview");
    const auto D = NumberRadix::Decimal;
    QTest::newRow("defaults") << D << "" << "00" << "16" << "[ 00 ] ～ [ 15 ]";
    QTest::newRow("hex 0e") << NumberRadix::Hexadecimal << "" << "0e" << "3" << "[ 0E ] ～ [ 10 ]";
    QTest::newRow("octal 06") << NumberRadix::Octal << "" << "06" << "3" << "[ 06 ] ～ [ 10 ]";
    QTest::newRow("fixed") << D << "ab" << "" << "3" << "[ AB ] x 3";
    QTest::newRow("fixed empty count") << D << "ab" << "" << "" << "[ AB ] x 0";
    QTest::newRow("prefix upper") << D << "w" << "1" << "2" << "[ W1 ] ～ [ W2 ]";
    QTest::newRow("count zero") << D << "" << "00" << "0" << "[ 00 ] ～ [ -1 ]";
    QTest::newRow("empty count zero in decimal") << D << "" << "00" << "" << "[ 00 ] ～ [ -1 ]";
    QTest::newRow("empty count one in hex") << NumberRadix::Hexadecimal << "" << "0e" << "" << "[ 0E ] ～ [ 0E ]";
    QTest::newRow("unreadable start zero") << D << "" << "1a" << "3" << "[ 1A ] ～ [ 02 ]";
    QTest::newRow("octal 9 at its decimal value") << NumberRadix::Octal << "" << "09" << "3" << "[ 09 ] ～ [ 13 ]";
    QTest::newRow("octal letter invalid") << NumberRadix::Octal << "" << "0a" << "3" << "開始数が8進数として正しくありません";
}

void TestTextOps::renbanPreview()
{
    QFETCH(NumberRadix, radix);
    QFETCH(QString, prefix);
    QFETCH(QString, start);
    QFETCH(QString, count);
    QFETCH(QString, preview);
    RenbanInput in;
    in.radix = radix;
    in.prefix = prefix;
    in.start = start;
    in.count = count;
    QCOMPARE(RenbanPreview(in), preview);
}

void TestTextOps::renbanGridRows()
{
    // One cell selected in row 3 of a grid whose last row is 9: rows 3..9.
    RowRange r = RenbanGridRows(3, 3, 3, 9);
    QCOMPARE(r.first, 3);
    QCOMPARE(r.last, 9);
    // Rows 2..4 selected: only those.
    r = RenbanGridRows(2, 4, 2, 9);
    QCOMPARE(r.first, 2);
    QCOMPARE(r.last, 4);
}

void TestTextOps::renbanPlaceLines()
{
    QStringList lines;
    for (int i = 0; i < 8; ++i)
        lines << QStringLiteral("L%1").arg(i);
    QStringList inserted = lines;
    PlaceRenbanLines(inserted, {"A", "B"}, true, 5);
    QCOMPARE(inserted.mid(4, 4), (QStringList{"L4", "A", "B", "L5"}));
    QCOMPARE(inserted.indexOf("L5"), 7);

    QStringList appended = lines;
    PlaceRenbanLines(appended, {"A", "B"}, false, 5);
    QCOMPARE(appended.mid(7), (QStringList{"L7", "A", "B"}));

    QStringList pastEnd = lines;
    PlaceRenbanLines(pastEnd, {"A"}, true, 99);
    QCOMPARE(pastEnd.last(), QStringLiteral("A"));
}

QTEST_APPLESS_MAIN(TestTextOps)
#include "tst_textops.moc"
