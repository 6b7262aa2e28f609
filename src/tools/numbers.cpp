#include "tools/numbers.h"

#include "tools/textlines.h"

#include <limits>

namespace tools {

namespace {

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

qint32 wrapAdd(qint32 a, qint32 b)
{
    return qint32(quint32(a) + quint32(b));
}

// Zeros go between the sign and the digits, so the sign keeps its place.
QString padSigned(bool negative, const QString &digits, int width)
{
    const qsizetype want = qMax<qsizetype>(0, width - (negative ? 1 : 0));
    QString out = digits;
    if (out.size() < want)
        out.prepend(QString(want - out.size(), u'0'));
    return negative ? QStringLiteral("-") + out : out;
}

quint32 magnitude(qint32 value)
{
    return value < 0 ? quint32(0) - quint32(value) : quint32(value);
}

// A run of ASCII digits as a signed 32-bit value; a run beyond the range reads as 0.
qint32 digitRunValue(const QString &digits)
{
    qint64 value = 0;
    for (const QChar c : digits) {
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<qint32>::max())
            return 0;
    }
    return qint32(value);
}

} // namespace

DigitRun SplitDigitRun(const QString &text, bool fromEnd)
{
    const QString s = TrimBlanks(text);
    qsizetype begin = -1;
    qsizetype end = -1;
    if (fromEnd) {
        qsizetype i = s.size();
        while (i > 0 && !isAsciiDigit(s.at(i - 1)))
            --i;
        end = i;
        while (i > 0 && isAsciiDigit(s.at(i - 1)))
            --i;
        begin = i;
    } else {
        qsizetype i = 0;
        while (i < s.size() && !isAsciiDigit(s.at(i)))
            ++i;
        begin = i;
        while (i < s.size() && isAsciiDigit(s.at(i)))
            ++i;
        end = i;
    }
    if (begin >= end)
        return {s, QString(), QString()};
    return {s.left(begin), s.mid(begin, end - begin), s.mid(end)};
}

bool IsHexDigits(QStringView text)
{
    for (const QChar c : text) {
        if (!isAsciiDigit(c) && !(c >= u'A' && c <= u'F') && !(c >= u'a' && c <= u'f'))
            return false;
    }
    return true;
}

bool IsOctalDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'7')
            return false;
    }
    return true;
}

qint32 OctalToInt(QStringView text, bool *ok)
{
    if (ok)
        *ok = true;
    quint32 value = 0;
    for (const QChar c : text) {
        quint32 digit = 0;
        if (isAsciiDigit(c)) {
            digit = c.unicode() - u'0';
        } else if (ok) {
            *ok = false;
        }
        value = value * 8 + digit;
    }
    return qint32(value);
}

QString IntToOctal(qint32 value, int width)
{
    quint32 m = magnitude(value);
    QString digits;
    while (m != 0) {
        digits.prepend(QChar(char16_t(u'0' + m % 8)));
        m /= 8;
    }
    return padSigned(value < 0, digits, width);
}

QString PadDecimal(qint32 value, int width)
{
    return padSigned(value < 0, QString::number(magnitude(value)), width);
}

QString PadHex(qint32 value, int width)
{
    QString digits = QString::number(quint32(value), 16).toUpper();
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), u'0'));
    return digits;
}

bool ParseDecimal(QStringView text, qint32 *value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        if (!isAsciiDigit(text.at(i)))
            return false;
        v = v * 10 + (text.at(i).unicode() - u'0');
        if (v > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<qint32>::max() || v < std::numeric_limits<qint32>::min())
        return false;
    *value = qint32(v);
    return true;
}

bool ParseHex(QStringView text, qint32 *value)
{
    if (text.isEmpty() || text.size() > 8 || !IsHexDigits(text))
        return false;
    *value = qint32(text.toUInt(nullptr, 16));
    return true;
}

QString AddToNumber(const QString &text, const AdditionSettings &settings, bool *changed)
{
    if (changed)
        *changed = false;
    if (settings.amount == 0 || IsBlankLine(text))
        return text;

    QString result;
    if (settings.radix == NumberRadix::Decimal) {
        const DigitRun run = SplitDigitRun(text, settings.fromEnd);
        if (run.digits.isEmpty())
            return text;
        const qint32 sum = wrapAdd(digitRunValue(run.digits), settings.amount);
        result = run.prefix + PadDecimal(sum, int(run.digits.size())) + run.suffix;
    } else {
        const int w = qBound(1, settings.digitCount, 8);
        const qsizetype split = qMax<qsizetype>(0, text.size() - w);
        const QString candidate = text.mid(split);
        if (settings.radix == NumberRadix::Hexadecimal) {
            if (!IsHexDigits(candidate))
                return text;
            const qint32 value = qint32(candidate.toUInt(nullptr, 16));
            result = text.left(split) + PadHex(wrapAdd(value, settings.amount), w);
        } else {
            if (!IsOctalDigits(candidate))
                return text;
            result = text.left(split) + IntToOctal(wrapAdd(OctalToInt(candidate), settings.amount), w);
        }
    }
    if (changed)
        *changed = result != text;
    return result;
}

} // namespace tools
