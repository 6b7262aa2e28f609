// Writes the width-folding corpus with the portable mapping's results, for
// the Wine test to compare with LCMapStringW. One case a line:
//   name TAB input TAB PortableToZen TAB PortableToHan
// each text as UTF-16 code units in hex, separated by spaces.

#include "tools/zenhanutil.h"

#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QTextStream>

#include <cstdio>

namespace {

QString units(const QString &s)
{
    QStringList out;
    for (const QChar c : s)
        out << QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    return out.join(QLatin1Char(' '));
}

QString hex(char32_t c)
{
    return QStringLiteral("%1").arg(quint32(c), 4, 16, QLatin1Char('0')).toUpper();
}

QList<QPair<QString, QString>> corpus()
{
    QList<QPair<QString, QString>> cases;
    auto one = [&cases](const char *group, char32_t c) {
        cases.append({QLatin1String(group) + QStringLiteral(" U+") + hex(c), QString::fromUcs4(&c, 1)});
    };
    auto range = [&one](const char *group, char32_t from, char32_t to) {
        for (char32_t c = from; c <= to; ++c)
            one(group, c);
    };
    range("ascii", 0x20, 0x7E);
    range("fullwidth", 0xFF01, 0xFF5E);
    one("fullwidth", 0x3000);
    range("halfkana", 0xFF61, 0xFF9F);
    range("katakana", 0x30A1, 0x30FE);
    range("hiragana", 0x3041, 0x3096);
    range("marks", 0x3099, 0x309C);
    for (char32_t c : {0x00A2, 0x00A3, 0x00A5, 0x00A6, 0x00AC, 0x00AF, 0x20A9, 0x2018, 0x2019, 0x201C, 0x201D, 0x2212,
                       0x301C, 0x3001, 0x3002, 0x300C, 0x300D, 0x30FB, 0x2985, 0x2986, 0x00B7, 0x2502, 0x2190, 0x25A0})
        one("symbol", c);
    range("symbol", 0xFFE0, 0xFFEE);
    range("symbol", 0xFF5F, 0xFF60);
    // A half-width letter with each sound mark, composing or not.
    for (char16_t c = 0xFF66; c <= 0xFF9D; ++c) {
        for (char16_t mark : {char16_t(0xFF9E), char16_t(0xFF9F)}) {
            QString s;
            s.append(QChar(c)).append(QChar(mark));
            cases.append({QStringLiteral("sound U+") + hex(c) + QStringLiteral("+") + hex(mark), s});
        }
    }
    const char16_t loneHigh[] = {0xD842, u'A', 0};
    const QList<QPair<const char *, QString>> strings = {
        {"text kanji", QStringLiteral("漢字の配線図")},
        {"text mixed", QStringLiteral("ﾓｰﾀｰ M-1 (ｶﾞｲﾄﾞ) 電源 AC200V")},
        {"text voiced run", QStringLiteral("ｶﾞｷﾞｸﾞﾊﾟﾋﾟﾌﾟｳﾞ")},
        {"text stray mark", QStringLiteral("ﾜﾞ ﾞﾟ")},
        {"text numbers", QStringLiteral("－１．５ ＋２，０")},
        {"text surrogates", QStringLiteral("𠮷野家 😀 ｱ")},
        {"text lone surrogate", QString::fromUtf16(loneHigh)},
        {"text empty", QString()},
    };
    for (const auto &s : strings)
        cases.append({QLatin1String(s.first), s.second});
    return cases;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    QTextStream out(&file);
    for (const auto &c : corpus()) {
        out << c.first << '\t' << units(c.second) << '\t' << units(zenHanUtil::PortableToZen(c.second)) << '\t'
            << units(zenHanUtil::PortableToHan(c.second)) << '\n';
    }
    return 0;
}
