#include "minicad/dxf/dxfbinary.h"

#include "minicad/dxf/dxfindex.h"

#include <QLocale>

#include <charconv>
#include <cstring>

namespace minicad {

namespace {

enum class ValueType { String, Double, Int16, Int32, Int64, Bool, Chunk };

ValueType typeOf(int code)
{
    auto in = [code](int from, int to) { return code >= from && code <= to; };
    if (in(310, 319) || code == 1004)
        return ValueType::Chunk;
    if (in(290, 299))
        return ValueType::Bool;
    if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) || in(1060, 1070))
        return ValueType::Int16;
    if (in(90, 99) || in(420, 429) || in(440, 459) || code == 1071)
        return ValueType::Int32;
    if (in(160, 169))
        return ValueType::Int64;
    if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059))
        return ValueType::Double;
    return ValueType::String;
}

template<typename T>
T little(const char *p)
{
    std::make_unsigned_t<T> v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v |= std::make_unsigned_t<T>(static_cast<unsigned char>(p[i])) << (8 * i);
    return static_cast<T>(v);
}

template<typename T>
void putLittle(QByteArray &out, T value)
{
    const auto v = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

// The shortest text that reads back to the same double; unlike values we
// write ourselves, a negative zero keeps its sign.
QByteArray realText(double v)
{
    QByteArray s = QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
    if (!s.contains('.') && !s.contains('e') && !s.contains('n') && !s.contains('i'))
        s += ".0";
    return s;
}

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

template<typename T>
bool parseInt(QByteArrayView text, T &v)
{
    const QByteArrayView t = trimmed(text);
    const char *from = t.data();
    const char *to = t.data() + t.size();
    if (from != to && *from == '+')
        ++from;
    const auto r = std::from_chars(from, to, v);
    return from != to && r.ec == std::errc() && r.ptr == to;
}

} // namespace

bool isBinaryDxf(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayView(kBinarySentinel, kBinarySentinelSize));
}

QByteArray binaryCode(int code, bool wideCodes)
{
    QByteArray out;
    if (wideCodes) {
        putLittle<quint16>(out, quint16(code));
    } else if (code < 255) {
        out += char(code);
    } else {
        out += char(255);
        putLittle<quint16>(out, quint16(code));
    }
    return out;
}

bool binaryValue(int code, QByteArrayView text, QByteArray &out)
{
    switch (typeOf(code)) {
    case ValueType::String:
        if (text.contains('\0'))
            return false;
        out += text;
        out += '\0';
        return true;
    case ValueType::Chunk: {
        const QByteArrayView t = trimmed(text);
        const QByteArray bytes = QByteArray::fromHex(t.toByteArray());
        if (t.size() % 2 != 0 || bytes.size() * 2 != t.size() || bytes.size() > 255)
            return false;
        out += char(bytes.size());
        out += bytes;
        return true;
    }
    case ValueType::Double: {
        const QByteArrayView t = trimmed(text);
        const char *from = t.data();
        const char *to = t.data() + t.size();
        if (from != to && *from == '+')
            ++from;
        double v = 0;
        const auto r = std::from_chars(from, to, v);
        if (from == to || r.ec != std::errc() || r.ptr != to)
            return false;
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        putLittle<quint64>(out, bits);
        return true;
    }
    case ValueType::Int16: {
        qint16 v = 0;
        if (!parseInt(text, v))
            return false;
        putLittle<qint16>(out, v);
        return true;
    }
    case ValueType::Int32: {
        qint32 v = 0;
        if (!parseInt(text, v))
            return false;
        putLittle<qint32>(out, v);
        return true;
    }
    case ValueType::Int64: {
        qint64 v = 0;
        if (!parseInt(text, v))
            return false;
        putLittle<qint64>(out, v);
        return true;
    }
    case ValueType::Bool: {
        quint8 v = 0;
        if (!parseInt(text, v))
            return false;
        out += char(v);
        return true;
    }
    }
    return false;
}

QByteArray binaryValueText(int code, QByteArrayView bytes)
{
    const char *p = bytes.data();
    switch (typeOf(code)) {
    case ValueType::String:
        return bytes.endsWith('\0') ? bytes.chopped(1).toByteArray() : bytes.toByteArray();
    case ValueType::Chunk:
        return bytes.isEmpty() ? QByteArray() : bytes.sliced(1).toByteArray().toHex().toUpper();
    case ValueType::Double: {
        if (bytes.size() < 8)
            return {};
        const quint64 bits = little<quint64>(p);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return realText(v);
    }
    case ValueType::Int16:
        return bytes.size() < 2 ? QByteArray() : QByteArray::number(little<qint16>(p));
    case ValueType::Int32:
        return bytes.size() < 4 ? QByteArray() : QByteArray::number(little<qint32>(p));
    case ValueType::Int64:
        return bytes.size() < 8 ? QByteArray() : QByteArray::number(little<qint64>(p));
    case ValueType::Bool:
        return bytes.isEmpty() ? QByteArray() : QByteArray::number(uint(static_cast<unsigned char>(p[0])));
    }
    return {};
}

void tokenizeBinary(DxfIndex &x, const QByteArray &bytes)
{
    x.binary = true;
    x.prefix = bytes.left(kBinarySentinelSize);
    const char *data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype pos = kBinarySentinelSize;
    if (pos >= n)
        x.fail(int(pos), QStringLiteral("the binary DXF file is empty"));
    // The file opens with (0, SECTION): a second zero byte means two-byte codes.
    x.wideCodes = n > pos + 1 && data[pos + 1] == 0;

    auto need = [&](qsizetype count, qsizetype start, int code) {
        if (pos + count > n)
            x.fail(int(start), code < 0 ? QStringLiteral("unexpected end of file: EOF is missing")
                                        : QStringLiteral("the value of group code %1 is missing: the file ends early")
                                              .arg(code));
    };
    x.pairs.reserve(n / 10);
    for (;;) {
        const qsizetype start = pos;
        need(1, start, -1);
        int code = 0;
        if (x.wideCodes) {
            need(2, start, -1);
            code = little<quint16>(data + pos);
            pos += 2;
        } else {
            code = static_cast<unsigned char>(data[pos++]);
            if (code == 255) {
                need(2, start, -1);
                code = little<quint16>(data + pos);
                pos += 2;
            }
        }
        if (code > 1071)
            x.fail(int(start), QStringLiteral("group code %1 is out of range").arg(code));

        DxfPair p;
        p.code = code;
        p.line = int(qMin(start, qsizetype(INT_MAX)));
        const QByteArrayView rawCode(data + start, pos - start);
        if (rawCode != binaryCode(code, x.wideCodes))
            p.codeText = rawCode.toByteArray();
        const qsizetype valueStart = pos;
        switch (typeOf(code)) {
        case ValueType::String: {
            const char *nul = static_cast<const char *>(std::memchr(data + pos, 0, size_t(n - pos)));
            if (!nul)
                x.fail(int(start), QStringLiteral("the string of group code %1 is not terminated").arg(code));
            p.value = QByteArray(data + pos, nul - (data + pos));
            pos = nul - data + 1;
            break;
        }
        case ValueType::Chunk: {
            need(1, start, code);
            const int length = static_cast<unsigned char>(data[pos++]);
            need(length, start, code);
            p.value = QByteArray(data + pos, length).toHex().toUpper();
            pos += length;
            break;
        }
        case ValueType::Double: {
            need(8, start, code);
            p.value = binaryValueText(code, QByteArrayView(data + pos, 8));
            pos += 8;
            // A NaN's payload does not survive the text: keep the bytes.
            QByteArray again;
            if (!binaryValue(code, p.value, again) || again != QByteArrayView(data + valueStart, 8))
                p.binary = QByteArray(data + valueStart, 8);
            break;
        }
        case ValueType::Int16:
            need(2, start, code);
            p.value = QByteArray::number(little<qint16>(data + pos));
            pos += 2;
            break;
        case ValueType::Int32:
            need(4, start, code);
            p.value = QByteArray::number(little<qint32>(data + pos));
            pos += 4;
            break;
        case ValueType::Int64:
            need(8, start, code);
            p.value = QByteArray::number(little<qint64>(data + pos));
            pos += 8;
            break;
        case ValueType::Bool:
            need(1, start, code);
            p.value = QByteArray::number(uint(static_cast<unsigned char>(data[pos])));
            pos += 1;
            break;
        }
        const bool eof = code == 0 && p.value == "EOF";
        x.pairs.append(std::move(p));
        if (eof) {
            x.eofPair = int(x.pairs.size() - 1);
            x.tail = bytes.mid(pos);
            return;
        }
    }
}

} // namespace minicad
