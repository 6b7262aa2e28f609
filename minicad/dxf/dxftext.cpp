#include "minicad/dxf/dxftext.h"

#include <QLocale>

#include <cmath>

namespace minicad {

namespace {

bool isAscii(const QByteArray &raw)
{
    for (const char c : raw)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

int hex4(const QString &s, qsizetype at)
{
    if (at + 4 > s.size())
        return -1;
    int v = 0;
    for (qsizetype i = at; i < at + 4; ++i) {
        const int h = hexValue(s[i]);
        if (h < 0)
            return -1;
        v = v * 16 + h;
    }
    return v;
}

// The code page of a \M+n escape.
const char *multibyteCodepage(QChar n)
{
    switch (n.unicode()) {
    case '1': return "ANSI_932";
    case '2': return "ANSI_950";
    case '3': return "ANSI_949";
    case '5': return "ANSI_936";
    default: return nullptr;
    }
}

// \U+XXXX, \M+nXXXX and the caret form of control characters.
QString unescape(const QString &s)
{
    if (!s.contains(QLatin1Char('\\')) && !s.contains(QLatin1Char('^')))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char('^') && i + 1 < s.size()) {
            const ushort n = s[i + 1].unicode();
            if (n == ' ') {
                out += QLatin1Char('^');
                ++i;
                continue;
            }
            if (n >= 0x40 && n <= 0x5F) {
                out += QChar(ushort(n - 0x40));
                ++i;
                continue;
            }
        }
        if (c == QLatin1Char('\\') && i + 2 < s.size() && s[i + 2] == QLatin1Char('+')) {
            const QChar kind = s[i + 1].toUpper();
            if (kind == QLatin1Char('U')) {
                const int v = hex4(s, i + 3);
                if (v >= 0) {
                    out += QChar(ushort(v));
                    i += 6;
                    continue;
                }
            } else if (kind == QLatin1Char('M') && i + 3 < s.size()) {
                const int v = hex4(s, i + 4);
                const char *cp = multibyteCodepage(s[i + 3]);
                if (v >= 0 && cp) {
                    QStringDecoder d(DxfTextCodec::converterFor(QLatin1String(cp)).toLatin1().constData(),
                                     QStringConverter::Flag::Stateless);
                    if (d.isValid()) {
                        const char bytes[2] = {char(v >> 8), char(v & 0xFF)};
                        const QString decoded = d.decode(QByteArray(bytes, 2));
                        if (!d.hasError() && decoded.size() == 1) {
                            out += decoded;
                            i += 7;
                            continue;
                        }
                    }
                }
            }
        }
        out += c;
    }
    return out;
}

// Control characters and the caret itself in the caret form.
QString escapeCarets(const QString &s)
{
    bool plain = true;
    for (const QChar c : s)
        if (c.unicode() < 0x20 || c == QLatin1Char('^'))
            plain = false;
    if (plain)
        return s;
    QString out;
    for (const QChar c : s) {
        if (c == QLatin1Char('^'))
            out += QLatin1String("^ ");
        else if (c.unicode() < 0x20)
            out += QLatin1Char('^') + QChar(ushort(c.unicode() + 0x40));
        else
            out += c;
    }
    return out;
}

QByteArray unicodeEscape(char16_t u)
{
    return "\\U+" + QByteArray::number(uint(u), 16).toUpper().rightJustified(4, '0');
}

} // namespace

DxfTextCodec::DxfTextCodec()
{
    setup(QStringLiteral("AC1009"), QString());
}

QString DxfTextCodec::converterFor(const QString &codepage)
{
    const QString cp = codepage.trimmed().toUpper();
    if (cp == QLatin1String("ANSI_932") || cp == QLatin1String("DOS932"))
        return QStringLiteral("Shift_JIS");
    if (cp == QLatin1String("ANSI_936"))
        return QStringLiteral("GBK");
    if (cp == QLatin1String("ANSI_949"))
        return QStringLiteral("windows-949");
    if (cp == QLatin1String("ANSI_950"))
        return QStringLiteral("Big5");
    if (cp == QLatin1String("ANSI_874"))
        return QStringLiteral("windows-874");
    if (cp.startsWith(QLatin1String("ANSI_125")) && cp.size() == 9)
        return QStringLiteral("windows-") + cp.mid(5);
    if (cp == QLatin1String("UTF8") || cp == QLatin1String("UTF-8"))
        return QStringLiteral("UTF-8");
    return {};
}

void DxfTextCodec::setup(const QString &version, const QString &codepage)
{
    // AC1021 (2007) and later are UTF-8 whatever the code page says.
    m_utf8 = version.trimmed().toUpper() >= QLatin1String("AC1021");
    QString name = m_utf8 ? QStringLiteral("UTF-8") : converterFor(codepage);
    if (name.isEmpty())
        name = QStringLiteral("windows-1252");
    if (name == QLatin1String("UTF-8"))
        m_utf8 = true;
    QStringDecoder probe(name.toLatin1().constData());
    if (!probe.isValid())
        name = QStringLiteral("windows-1252");
    m_name = name;
    if (m_utf8) {
        m_decoder = QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    } else {
        m_decoder = QStringDecoder(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
        if (!m_decoder.isValid()) { // Qt without ICU: Latin-1 keeps every byte
            m_decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
            m_encoder = QStringEncoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
            m_name = QStringLiteral("ISO-8859-1");
        }
    }
}

QString DxfTextCodec::encodingName() const
{
    return m_name;
}

QString DxfTextCodec::decode(const QByteArray &raw) const
{
    QString s;
    if (isAscii(raw)) {
        s = QString::fromLatin1(raw);
    } else {
        m_decoder.resetState();
        s = m_decoder.decode(raw);
    }
    return unescape(s);
}

QByteArray DxfTextCodec::encode(const QString &text) const
{
    const QString s = escapeCarets(text);
    bool ascii = true;
    for (const QChar c : s)
        if (c.unicode() >= 0x80)
            ascii = false;
    if (ascii)
        return s.toLatin1();
    if (m_utf8)
        return s.toUtf8();
    // The converter replaces what the code page lacks without telling, so
    // what does not read back the same is written as \U+XXXX.
    auto readsBack = [this](const QByteArray &bytes, QStringView text) {
        m_decoder.resetState();
        return !bytes.isEmpty() && QString(m_decoder.decode(bytes)) == text;
    };
    m_encoder.resetState();
    const QByteArray whole = m_encoder.encode(s);
    if (readsBack(whole, s))
        return whole;
    QByteArray out;
    for (const QChar c : s) {
        if (c.unicode() < 0x80) {
            out += char(c.unicode());
            continue;
        }
        m_encoder.resetState();
        const QByteArray b = m_encoder.encode(QStringView(&c, 1));
        if (readsBack(b, QStringView(&c, 1)))
            out += b;
        else
            out += unicodeEscape(c.unicode());
    }
    return out;
}

namespace {

// Lead and trail bytes of CP932; single bytes are ASCII and half-width katakana.
bool wellFormedCp932(QByteArrayView v)
{
    for (qsizetype i = 0; i < v.size(); ++i) {
        const auto c = static_cast<unsigned char>(v[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF))
            continue;
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) || i + 1 >= v.size())
            return false;
        const auto t = static_cast<unsigned char>(v[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC)
            return false;
    }
    return true;
}

bool isJapanese(char16_t u)
{
    return (u >= 0x3000 && u <= 0x30FF)     // punctuation, hiragana, katakana
        || (u >= 0x4E00 && u <= 0x9FFF)     // kanji
        || (u >= 0xFF01 && u <= 0xFF5E);    // full-width forms
}

} // namespace

bool DxfTextCodec::isShiftJis(const QList<QByteArrayView> &values)
{
    QStringDecoder sjis(converterFor(QStringLiteral("ANSI_932")).toLatin1().constData(),
                        QStringConverter::Flag::Stateless);
    if (!sjis.isValid())
        return false;
    bool notUtf8 = false, japanese = false;
    for (const QByteArrayView v : values) {
        bool ascii = true;
        for (const char c : v)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii)
            continue;
        if (!wellFormedCp932(v))
            return false;
        sjis.resetState();
        const QString text = sjis.decode(v);
        if (sjis.hasError())
            return false;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            // Unmapped bytes come out as a replacement, a substitute or the
            // private-use area: not text a program wrote.
            if (u == 0xFFFD || u == 0x1A || (u >= 0xE000 && u <= 0xF8FF))
                return false;
            japanese = japanese || isJapanese(u);
        }
        if (!notUtf8) {
            QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = utf8.decode(v); // the decoder works when the result is taken
            notUtf8 = utf8.hasError() || decoded.isEmpty();
        }
    }
    return notUtf8 && japanese;
}

QByteArray formatReal(double value)
{
    if (value == 0)
        value = 0; // no "-0"
    QByteArray s = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    if (!s.contains('.') && !s.contains('e') && !s.contains('n') && !s.contains('i'))
        s += ".0";
    return s;
}

} // namespace minicad
