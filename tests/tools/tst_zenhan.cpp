#include "tools/widthcommands.h"
#include "tools/zenhanutil.h"

#include <QRandomGenerator>
#include <QTest>

using namespace zenHanUtil;

namespace {

using Conversion = void (*)(QString &);

const QHash<QString, Conversion> &conversionByName()
{
    static const QHash<QString, Conversion> table = {
        {"KanaHanToZen", KanaHanToZen},       {"KanaZenToHan", KanaZenToHan},
        {"DigitHanToZen", DigitHanToZen},     {"DigitZenToHan", DigitZenToHan},
        {"NumericHanToZen", NumericHanToZen}, {"NumericZenToHan", NumericZenToHan},
        {"AlphaHanToZen", AlphaHanToZen},     {"AlphaZenToHan", AlphaZenToHan},
        {"SymbolHanToZen", SymbolHanToZen},   {"SymbolZenToHan", SymbolZenToHan},
        {"AllToZen", AllToZen},               {"AllToHan", AllToHan},
    };
    return table;
}

QString u(std::initializer_list<char16_t> codes)
{
    QString s;
    for (char16_t c : codes)
        s.append(QChar(c));
    return s;
}

} // namespace

class TestZenHan : public QObject {
    Q_OBJECT
private slots:
    void tableShapes();
    void starredSymbolRows();
    void kanaRowOrder();
    void conversions_data();
    void conversions();
    void roundTripAscii();
    void roundTripKana();
    void submenuOrder();
    void parensOnly_data();
    void parensOnly();
    void gridZenKeepsSpaces();
};

void TestZenHan::tableShapes()
{
    QCOMPARE(DigitTable().size(), 10);
    QCOMPARE(NumericTable().size(), 14);
    QCOMPARE(AlphaTable().size(), 52);
    QCOMPARE(SymbolTable().size(), 33);
    QCOMPARE(KanaTable().size(), 84);
    QCOMPARE(NumericTable().at(10).zen, QStringLiteral("＋"));
    QCOMPARE(NumericTable().at(13).han, QStringLiteral(","));
    QCOMPARE(AlphaTable().at(26).han, QStringLiteral("a"));
}

void TestZenHan::starredSymbolRows()
{
    const auto &t = SymbolTable();
    // Row numbers counted from 1, as the table is read.
    QCOMPARE(t.at(1).zen, u({0x201D}));
    QCOMPARE(t.at(1).han, QStringLiteral("\""));
    QCOMPARE(t.at(6).zen, u({0x2019}));
    QCOMPARE(t.at(7).zen, u({0x3000}));
    QCOMPARE(t.at(7).han, QStringLiteral(" "));
    QCOMPARE(t.at(27).zen, u({0x2018}));
    QCOMPARE(t.at(27).han, QStringLiteral("`"));
    QCOMPARE(t.at(29).han, QStringLiteral("}"));
    QCOMPARE(t.at(30).han, QStringLiteral("|"));
    QCOMPARE(t.at(32).zen, u({0xFFE5}));
    QCOMPARE(t.at(32).han, QStringLiteral("\\"));
    // Every unstarred row follows the +U+FEE0 rule.
    const QSet<int> starred = {1, 6, 7, 27, 32};
    for (int i = 0; i < t.size(); ++i) {
        if (!starred.contains(i))
            QCOMPARE(t.at(i).zen.at(0).unicode(), char16_t(t.at(i).han.at(0).unicode() + 0xFEE0));
    }
}

void TestZenHan::kanaRowOrder()
{
    const auto &t = KanaTable();
    for (int i = 0; i < 26; ++i)
        QCOMPARE(t.at(i).han.size(), 2); // the two-character rows come first
    QCOMPARE(t.at(0).zen, QStringLiteral("ヴ"));
    QCOMPARE(t.at(21).zen, QStringLiteral("パ"));
    QCOMPARE(t.at(26).han, u({0xFF66}));
    QCOMPARE(t.at(36).zen, QStringLiteral("ー"));
    QCOMPARE(t.at(81).han, u({0xFF9D}));
    QCOMPARE(t.at(81).zen, QStringLiteral("ン"));
    QCOMPARE(t.at(83).zen, QStringLiteral("」"));
}

void TestZenHan::conversions_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("voiced run") << "KanaHanToZen" << "ｶﾞｷﾞｸﾞ" << "ガギグ";
    QTest::newRow("semi-voiced") << "KanaHanToZen" << "ﾊﾟﾋﾟﾎﾟ" << "パピポ";
    QTest::newRow("vu") << "KanaHanToZen" << "ｳﾞｧ" << "ヴァ";
    QTest::newRow("wa + stray mark") << "KanaHanToZen" << "ﾜﾞ" << "ワﾞ";
    QTest::newRow("lone marks") << "KanaHanToZen" << "ﾞﾟ" << "ﾞﾟ";
    QTest::newRow("punctuation kept") << "KanaHanToZen" << u({0xFF61, 0xFF64, 0xFF65}) << u({0xFF61, 0xFF64, 0xFF65});
    QTest::newRow("brackets and long mark") << "KanaHanToZen" << "｢ｺｰﾄﾞ｣" << "「コード」";
    QTest::newRow("zen voiced splits") << "KanaZenToHan" << "ガ" << "ｶﾞ";
    QTest::newRow("zen word") << "KanaZenToHan" << "パネル「ヴ」" << "ﾊﾟﾈﾙ｢ｳﾞ｣";
    QTest::newRow("zen without half form") << "KanaZenToHan" << "ヮヰヱヵヶ" << "ヮヰヱヵヶ";

    QTest::newRow("digits only on -1.5") << "DigitHanToZen" << "-1.5" << "-１.５";
    QTest::newRow("numerics on -1.5") << "NumericHanToZen" << "-1.5" << "－１．５";
    QTest::newRow("numerics comma plus") << "NumericHanToZen" << "+1,000" << "＋１，０００";
    QTest::newRow("numerics back") << "NumericZenToHan" << "－１．５" << "-1.5";
    QTest::newRow("digits back keep signs") << "DigitZenToHan" << "－１．５" << "－1．5";

    QTest::newRow("alphabet both cases") << "AlphaHanToZen" << "Az-9" << "Ａｚ-9";
    QTest::newRow("alphabet back") << "AlphaZenToHan" << "ＡｂＣ１" << "AbC１";

    QTest::newRow("symbol quote") << "SymbolHanToZen" << "\"" << u({0x201D});
    QTest::newRow("symbol space") << "SymbolHanToZen" << "a b" << "a　b";
    QTest::newRow("symbol backslash") << "SymbolHanToZen" << "\\" << u({0xFFE5});
    QTest::newRow("symbol apostrophe grave") << "SymbolHanToZen" << "'`" << u({0x2019, 0x2018});
    QTest::newRow("symbol letters untouched") << "SymbolHanToZen" << "A(1)" << "A（1）";
    QTest::newRow("symbol back quote yen") << "SymbolZenToHan" << u({0x201D, 0xFFE5}) << "\"\\";
    QTest::newRow("symbol back fullwidth quote kept") << "SymbolZenToHan" << u({0xFF02}) << u({0xFF02});

    QTest::newRow("AllToZen ascii") << "AllToZen" << "A1 (b)" << "Ａ１　（ｂ）";
    QTest::newRow("AllToZen quote") << "AllToZen" << "\"~" << u({0xFF02, 0xFF5E});
    QTest::newRow("AllToZen kana composes") << "AllToZen" << "ｶﾞﾊﾟｳﾞﾜﾞ" << "ガパヴヷ";
    QTest::newRow("AllToZen lone mark") << "AllToZen" << "ﾞｱ" << "゛ア";
    QTest::newRow("AllToZen mark after non-composable") << "AllToZen" << "ｱﾞ" << "ア゛";
    QTest::newRow("AllToZen kana punctuation") << "AllToZen" << u({0xFF61, 0xFF62, 0xFF63, 0xFF64, 0xFF65})
                                               << "。「」、・";
    QTest::newRow("AllToZen surrogate passes") << "AllToZen" << QString::fromUtf8("𠮷a") << QString::fromUtf8("𠮷ａ");
    QTest::newRow("AllToZen empty") << "AllToZen" << "" << "";
    QTest::newRow("AllToHan splits voiced") << "AllToHan" << "ガパヴ" << "ｶﾞﾊﾟｳﾞ";
    QTest::newRow("AllToHan grows") << "AllToHan" << "ダイオード" << "ﾀﾞｲｵｰﾄﾞ";
    QTest::newRow("AllToHan hiragana kept") << "AllToHan" << "ひらがな漢字" << "ひらがな漢字";
    QTest::newRow("AllToHan ideographic space") << "AllToHan" << "Ａ　Ｂ" << "A B";
    QTest::newRow("AllToHan curly quotes straight") << "AllToHan" << u({0x2018, 0x2019, 0x201C, 0x201D}) << "''\"\"";
    QTest::newRow("AllToZen straight quotes stay U+FF0x") << "AllToZen" << "'\"" << u({0xFF07, 0xFF02});
    QTest::newRow("AllToZen white parens and forms") << "AllToZen" << u({0x2985, 0x2986, 0xFFE8, 0xFFE9, 0xFFED})
                                                       << u({0xFF5F, 0xFF60, 0x2502, 0x2190, 0x25A0});
    QTest::newRow("AllToHan white parens and forms") << "AllToHan" << u({0xFF5F, 0xFF60, 0x2502, 0x2193, 0x25CB})
                                                       << u({0x2985, 0x2986, 0xFFE8, 0xFFEC, 0xFFEE});
    QTest::newRow("AllToHan surrogate passes") << "AllToHan" << QString::fromUtf8("𠮷Ａ") << QString::fromUtf8("𠮷A");
}

void TestZenHan::conversions()
{
    QFETCH(QString, function);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QString s = input;
    conversionByName().value(function)(s);
    QCOMPARE(s, expected);
}

void TestZenHan::roundTripAscii()
{
    QRandomGenerator rng(20240605);
    for (int n = 0; n < 500; ++n) {
        QString s;
        const int len = int(rng.bounded(0, 40));
        for (int i = 0; i < len; ++i)
            s.append(QChar(char16_t(rng.bounded(0x20, 0x7F))));
        QString zen = s;
        AllToZen(zen);
        for (QChar c : zen)
            QVERIFY2(c.unicode() > 0x7F, qPrintable(zen));
        QString back = zen;
        AllToHan(back);
        QCOMPARE(back, s);
    }
}

void TestZenHan::roundTripKana()
{
    // Half-width letters, and the sound marks only right after a letter they compose with.
    QList<QString> tokens;
    for (char16_t c = 0xFF61; c <= 0xFF9D; ++c)
        tokens.append(QString(QChar(c)));
    for (const char *base : {"ｳ", "ｶ", "ｷ", "ｸ", "ｹ", "ｺ", "ｻ", "ｼ", "ｽ", "ｾ", "ｿ", "ﾀ", "ﾁ", "ﾂ", "ﾃ", "ﾄ",
                                "ﾊ", "ﾋ", "ﾌ", "ﾍ", "ﾎ"})
        tokens.append(QString::fromUtf8(base) + QStringLiteral("ﾞ"));
    for (const char *base : {"ﾊ", "ﾋ", "ﾌ", "ﾍ", "ﾎ"})
        tokens.append(QString::fromUtf8(base) + QStringLiteral("ﾟ"));
    QRandomGenerator rng(77);
    for (int n = 0; n < 500; ++n) {
        QString s;
        const int len = int(rng.bounded(0, 20));
        for (int i = 0; i < len; ++i)
            s += tokens.at(int(rng.bounded(qsizetype(tokens.size()))));
        QString zen = s;
        AllToZen(zen);
        for (QChar c : zen)
            QVERIFY2(c.unicode() < 0xFF61 || c.unicode() > 0xFF9F, qPrintable(zen));
        QString back = zen;
        AllToHan(back);
        QCOMPARE(back, s);
        // The table conversion agrees with the folding on these letters.
        QString table = s;
        KanaHanToZen(table);
        if (!s.contains(QChar(char16_t(0xFF61))) && !s.contains(QChar(char16_t(0xFF64)))
            && !s.contains(QChar(char16_t(0xFF65))))
            QCOMPARE(table, zen);
    }
}

void TestZenHan::submenuOrder()
{
    // The shared handler tells the items apart by position: caption and function must pair up.
    const QList<QPair<QString, QString>> expected = {
        {"半角カタカナを全角に", "ｶﾞ"}, {"全角カタカナを半角に", "ガ"},
        {"半角数字(0..9)を全角に", "-1"}, {"全角数字(0..9)を半角に", "－１"},
        {"半角数値(0..9+-.,)を全角に", "-1"}, {"全角数値(0..9+-.,)を半角に", "－１"},
        {"半角アルファベット(A..Z)を全角に", "a"}, {"全角アルファベット(A..Z)を半角に", "ａ"},
        {"半角記号を全角に", "\\"}, {"全角記号を半角に", "￥"},
    };
    const QStringList results = {"ガ", "ｶﾞ", "-１", "－1", "－１", "-1", "ａ", "a", "￥", "\\"};
    for (int i = 0; i < tools::kWidthSubmenuSize; ++i) {
        const tools::WidthMenuItem &item = tools::WidthSubmenuItem(i);
        QCOMPARE(QString::fromUtf8(item.caption), expected.at(i).first);
        QString s = expected.at(i).second;
        item.convert(s);
        QCOMPARE(s, results.at(i));
    }
}

void TestZenHan::parensOnly_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("half") << "(A)" << "（A）";
    QTest::newRow("others stay") << "[x]{y}（z）<w>" << "[x]{y}（z）<w>";
    QTest::newRow("unbalanced") << "))(" << "））（";
}

void TestZenHan::parensOnly()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    tools::ParensToZen(input);
    QCOMPARE(input, expected);
}

void TestZenHan::gridZenKeepsSpaces()
{
    QString s = QStringLiteral("a b　c");
    tools::AllToZenExceptSpaces(s);
    QCOMPARE(s, QStringLiteral("ａ ｂ ｃ"));
}

QTEST_APPLESS_MAIN(TestZenHan)
#include "tst_zenhan.moc"
