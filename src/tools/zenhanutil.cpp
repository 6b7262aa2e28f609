#include "tools/zenhanutil.h"

#include <QHash>

#ifdef Q_OS_WIN
#include "cad/win32/widthfold.h"
#endif

namespace zenHanUtil {

namespace {

constexpr char16_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char16_t kSemiVoicedMark = 0xFF9F;  // ﾟ

// Full-width katakana for U+FF66..U+FF9D, in code-point order.
const char16_t kZenKana[] =
    u"ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン";

QList<WidthPair> makeDigits(bool withSigns)
{
    QList<WidthPair> rows;
    for (char16_t c = u'0'; c <= u'9'; ++c)
        rows.append({QString(QChar(char16_t(c + 0xFEE0))), QString(QChar(c))});
    if (withSigns) {
        for (char16_t c : {u'+', u'-', u'.', u','})
            rows.append({QString(QChar(char16_t(c + 0xFEE0))), QString(QChar(c))});
    }
    return rows;
}

QList<WidthPair> makeAlpha()
{
    QList<WidthPair> rows;
    for (char16_t c = u'A'; c <= u'Z'; ++c)
        rows.append({QString(QChar(char16_t(c + 0xFEE0))), QString(QChar(c))});
    for (char16_t c = u'a'; c <= u'z'; ++c)
        rows.append({QString(QChar(char16_t(c + 0xFEE0))), QString(QChar(c))});
    return rows;
}

QList<WidthPair> makeSymbols()
{
    // The quotes, space and backslash pair with the characters Japanese
    // texts actually use, not with their U+FF0x forms.
    const QHash<char16_t, char16_t> special = {
        {u'"', 0x201D}, {u'\'', 0x2019}, {u' ', 0x3000}, {u'`', 0x2018}, {u'\\', 0xFFE5}};
    const char16_t order[] = u"!\"#$%&' ()*+,-./:;<=>?@[]^_`{}|~\\";
    QList<WidthPair> rows;
    for (const char16_t *p = order; *p; ++p) {
        const char16_t zen = special.value(*p, char16_t(*p + 0xFEE0));
        rows.append({QString(QChar(zen)), QString(QChar(*p))});
    }
    return rows;
}

QList<WidthPair> makeKana()
{
    QList<WidthPair> rows;
    const QString voiced = QStringLiteral("ヴガギグゲゴザジズゼゾダヂヅデドバビブベボ");
    const QString voicedBase = QStringLiteral("ｳｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎ");
    for (qsizetype i = 0; i < voiced.size(); ++i)
        rows.append({voiced.mid(i, 1), voicedBase.mid(i, 1) + QChar(kVoicedMark)});
    const QString semi = QStringLiteral("パピプペポ");
    const QString semiBase = QStringLiteral("ﾊﾋﾌﾍﾎ");
    for (qsizetype i = 0; i < semi.size(); ++i)
        rows.append({semi.mid(i, 1), semiBase.mid(i, 1) + QChar(kSemiVoicedMark)});
    for (char16_t c = 0xFF66; c <= 0xFF9D; ++c)
        rows.append({QString(QChar(kZenKana[c - 0xFF66])), QString(QChar(c))});
    rows.append({QStringLiteral("「"), QString(QChar(char16_t(0xFF62)))});
    rows.append({QStringLiteral("」"), QString(QChar(char16_t(0xFF63)))});
    return rows;
}

void convert(QString &s, const QList<WidthPair> &table, bool toZen)
{
    for (const WidthPair &row : table) {
        if (toZen)
            s.replace(row.han, row.zen, Qt::CaseSensitive);
        else
            s.replace(row.zen, row.han, Qt::CaseSensitive);
    }
}

// Character maps of the portable folding, built once.
struct FoldMaps {
    QHash<char16_t, char16_t> toZen;                 // single characters
    QHash<char16_t, char16_t> toHan;
    QHash<quint32, char16_t> compose;                // (han letter << 16 | mark) -> voiced zen letter
    QHash<char16_t, QString> split;                  // voiced zen letter -> han letter + mark

    FoldMaps()
    {
        auto pair = [this](char16_t han, char16_t zen) {
            toZen.insert(han, zen);
            toHan.insert(zen, han);
        };
        pair(u' ', 0x3000);
        for (char16_t c = 0x21; c <= 0x7E; ++c)
            pair(c, char16_t(c + 0xFEE0));
        pair(0xFF61, 0x3002); // 。
        pair(0xFF62, 0x300C); // 「
        pair(0xFF63, 0x300D); // 」
        pair(0xFF64, 0x3001); // 、
        pair(0xFF65, 0x30FB); // ・
        for (char16_t c = 0xFF66; c <= 0xFF9D; ++c)
            pair(c, kZenKana[c - 0xFF66]);
        pair(kVoicedMark, 0x309B);     // ゛
        pair(kSemiVoicedMark, 0x309C); // ゜
        toHan.insert(0x3099, kVoicedMark);     // combining forms fold the same way
        toHan.insert(0x309A, kSemiVoicedMark);
        const char16_t signs[][2] = {{0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
                                     {0x00AF, 0xFFE3}, {0x00A6, 0xFFE4}, {0x00A5, 0xFFE5},
                                     {0x20A9, 0xFFE6}};
        for (const auto &s : signs)
            pair(s[0], s[1]);
        // White parentheses and the half-width forms of box drawing, arrows
        // and shapes fold as Windows folds them.
        const char16_t forms[][2] = {{0x2985, 0xFF5F}, {0x2986, 0xFF60}, {0xFFE8, 0x2502}, {0xFFE9, 0x2190},
                                     {0xFFEA, 0x2191}, {0xFFEB, 0x2192}, {0xFFEC, 0x2193}, {0xFFED, 0x25A0},
                                     {0xFFEE, 0x25CB}};
        for (const auto &f : forms)
            pair(f[0], f[1]);
        // Curly quotes become straight ones on the way to half width only.
        for (char16_t q : {char16_t(0x2018), char16_t(0x2019)})
            toHan.insert(q, u'\'');
        for (char16_t q : {char16_t(0x201C), char16_t(0x201D)})
            toHan.insert(q, u'"');

        // A letter and a sound mark compose wherever Unicode has the voiced
        // letter (ガ, パ, ヴ, ヷ, ヺ ...); canonical composition tells us which.
        for (char16_t han = 0xFF66; han <= 0xFF9D; ++han) {
            const char16_t zen = kZenKana[han - 0xFF66];
            const char16_t marks[][2] = {{kVoicedMark, 0x3099}, {kSemiVoicedMark, 0x309A}};
            for (const auto &m : marks) {
                QString both;
                both.append(QChar(zen)).append(QChar(m[1]));
                const QString composed = both.normalized(QString::NormalizationForm_C);
                if (composed.size() == 1) {
                    compose.insert(quint32(han) << 16 | m[0], composed.at(0).unicode());
                    split.insert(composed.at(0).unicode(), QString(QChar(han)) + QChar(m[0]));
                }
            }
        }
    }
};

const FoldMaps &foldMaps()
{
    static const FoldMaps maps;
    return maps;
}

#ifdef Q_OS_WIN
// LCMapStringW under the system's default locale; the length may change.
QString lcMap(const QString &s, bool toFullWidth)
{
    const std::u16string folded =
        cad::win32::foldWidth(std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), size_t(s.size())), toFullWidth);
    return QString::fromUtf16(folded.data(), qsizetype(folded.size()));
}
#endif

} // namespace

const QList<WidthPair> &DigitTable()
{
    static const QList<WidthPair> t = makeDigits(false);
    return t;
}
const QList<WidthPair> &NumericTable()
{
    static const QList<WidthPair> t = makeDigits(true);
    return t;
}
const QList<WidthPair> &AlphaTable()
{
    static const QList<WidthPair> t = makeAlpha();
    return t;
}
const QList<WidthPair> &SymbolTable()
{
    static const QList<WidthPair> t = makeSymbols();
    return t;
}
const QList<WidthPair> &KanaTable()
{
    static const QList<WidthPair> t = makeKana();
    return t;
}

void KanaHanToZen(QString &s) { convert(s, KanaTable(), true); }
void KanaZenToHan(QString &s) { convert(s, KanaTable(), false); }
void DigitHanToZen(QString &s) { convert(s, DigitTable(), true); }
void DigitZenToHan(QString &s) { convert(s, DigitTable(), false); }
void NumericHanToZen(QString &s) { convert(s, NumericTable(), true); }
void NumericZenToHan(QString &s) { convert(s, NumericTable(), false); }
void AlphaHanToZen(QString &s) { convert(s, AlphaTable(), true); }
void AlphaZenToHan(QString &s) { convert(s, AlphaTable(), false); }
void SymbolHanToZen(QString &s) { convert(s, SymbolTable(), true); }
void SymbolZenToHan(QString &s) { convert(s, SymbolTable(), false); }

QString PortableToZen(const QString &s)
{
    const FoldMaps &m = foldMaps();
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (i + 1 < s.size()) {
            const char16_t next = s.at(i + 1).unicode();
            if (next == kVoicedMark || next == kSemiVoicedMark) {
                const auto it = m.compose.constFind(quint32(c) << 16 | next);
                if (it != m.compose.cend()) {
                    out.append(QChar(*it));
                    ++i;
                    continue;
                }
            }
        }
        // Surrogates and everything without a full-width form pass through.
        out.append(QChar(m.toZen.value(c, c)));
    }
    return out;
}

QString PortableToHan(const QString &s)
{
    const FoldMaps &m = foldMaps();
    QString out;
    out.reserve(s.size());
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        const auto split = m.split.constFind(c);
        if (split != m.split.cend())
            out.append(*split);
        else
            out.append(QChar(m.toHan.value(c, c)));
    }
    return out;
}

void AllToZen(QString &s)
{
#ifdef Q_OS_WIN
    s = lcMap(s, true);
#else
    s = PortableToZen(s);
#endif
}

void AllToHan(QString &s)
{
#ifdef Q_OS_WIN
    s = lcMap(s, false);
#else
    s = PortableToHan(s);
#endif
}

} // namespace zenHanUtil
