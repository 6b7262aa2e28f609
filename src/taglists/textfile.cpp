#include "taglists/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringConverter>

#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace lumo {

namespace {

QString &legacyName()
{
    static QString name;
    return name;
}

// Letters and digits only, lower case: "Shift_JIS", "SHIFT-JIS" and "shiftjis" are one name.
QByteArray squeezed(const QByteArray &name)
{
    QByteArray out;
    for (const char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
        else if (c >= 'A' && c <= 'Z')
            out += char(c - 'A' + 'a');
    }
    return out;
}

bool isShiftJisName(const QByteArray &name)
{
    static const QSet<QByteArray> names{"shiftjis", "sjis",  "xsjis",     "cp932",   "ms932",
                                        "windows31j", "windows932", "mskanji", "xmscp932"};
    return names.contains(squeezed(name));
}

bool isUtf8Name(const QByteArray &name)
{
    return squeezed(name) == "utf8";
}

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

// One byte encoding of files without a mark.
struct Codec {
#ifdef Q_OS_WIN
    UINT codePage = CP_UTF8;
    bool isUtf8() const { return codePage == CP_UTF8; }
#else
    QByteArray name; // a converter name Qt knows (through ICU); empty for UTF-8
    bool isUtf8() const { return name.isEmpty(); }
#endif
    bool operator==(const Codec &) const = default;
};

#ifdef Q_OS_WIN

// Qt for Windows is built without ICU here: the code pages go through the
// system's own conversion.
std::optional<Codec> codecNamed(const QByteArray &name)
{
    if (isUtf8Name(name))
        return Codec{CP_UTF8};
    if (isShiftJisName(name))
        return Codec{932};
    const QByteArray s = squeezed(name);
    const QByteArray digits = s.startsWith("cp") ? s.mid(2) : s.startsWith("windows") ? s.mid(7) : QByteArray();
    bool ok = false;
    const uint cp = digits.toUInt(&ok);
    if (ok && IsValidCodePage(cp))
        return Codec{cp};
    return std::nullopt;
}

Codec systemCodec()
{
    return Codec{GetACP()};
}

std::optional<QString> decodeClean(const Codec &codec, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    const int n = MultiByteToWideChar(codec.codePage, MB_ERR_INVALID_CHARS, bytes.constData(), int(bytes.size()),
                                      nullptr, 0);
    if (n <= 0)
        return std::nullopt;
    QString text(n, Qt::Uninitialized);
    MultiByteToWideChar(codec.codePage, MB_ERR_INVALID_CHARS, bytes.constData(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(text.data()), n);
    return text;
}

QString decodeLossy(const Codec &codec, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    const int n = MultiByteToWideChar(codec.codePage, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString text(qMax(n, 0), Qt::Uninitialized);
    if (n > 0)
        MultiByteToWideChar(codec.codePage, 0, bytes.constData(), int(bytes.size()),
                            reinterpret_cast<wchar_t *>(text.data()), n);
    return text;
}

std::optional<QByteArray> encodeRaw(const Codec &codec, const QString &text)
{
    if (text.isEmpty())
        return QByteArray();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    BOOL usedDefault = FALSE;
    // UTF-8 takes no default character.
    BOOL *used = codec.isUtf8() ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(codec.codePage, 0, wide, int(text.size()), nullptr, 0, nullptr, used);
    if (n <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(n, Qt::Uninitialized);
    WideCharToMultiByte(codec.codePage, 0, wide, int(text.size()), bytes.data(), n, nullptr, used);
    return bytes;
}

QString codecName(const Codec &codec)
{
    return codec.isUtf8() ? QStringLiteral("UTF-8") : QStringLiteral("CP%1").arg(codec.codePage);
}

#else

constexpr auto kDecoderFlags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

std::optional<Codec> codecNamed(const QByteArray &name)
{
    const QByteArray s = squeezed(name);
    // ASCII is what the C locale reports; UTF-8 reads all of it and more.
    if (isUtf8Name(name) || s.isEmpty() || s == "ansix341968" || s == "ascii" || s == "usascii" || s == "646")
        return Codec{};
    const QByteArray known = isShiftJisName(name) ? QByteArray("Shift_JIS") : name;
    if (!QStringDecoder(known.constData()).isValid())
        return std::nullopt;
    return Codec{known};
}

// The locale's codeset; QStringConverter::System is UTF-8 on Unix whatever the locale says.
Codec systemCodec()
{
    QByteArray codeset;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(nullptr))) {
        codeset = nl_langinfo_l(CODESET, loc);
        freelocale(loc);
    }
    return codecNamed(codeset).value_or(Codec{});
}

QStringDecoder decoderFor(const Codec &codec)
{
    if (codec.isUtf8())
        return QStringDecoder(QStringConverter::Utf8, kDecoderFlags);
    return QStringDecoder(codec.name.constData(), kDecoderFlags);
}

std::optional<QString> decodeClean(const Codec &codec, const QByteArray &bytes)
{
    QStringDecoder d = decoderFor(codec);
    QString text = d.decode(bytes);
    if (!d.isValid() || d.hasError())
        return std::nullopt;
    return text;
}

QString decodeLossy(const Codec &codec, const QByteArray &bytes)
{
    QStringDecoder d = decoderFor(codec);
    return d.decode(bytes);
}

std::optional<QByteArray> encodeRaw(const Codec &codec, const QString &text)
{
    QStringEncoder e = codec.isUtf8() ? QStringEncoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless)
                                      : QStringEncoder(codec.name.constData(), QStringConverter::Flag::Stateless);
    QByteArray bytes = e.encode(text);
    if (!e.isValid() || e.hasError())
        return std::nullopt;
    return bytes;
}

QString codecName(const Codec &codec)
{
    return codec.isUtf8() ? QStringLiteral("UTF-8") : QString::fromLatin1(codec.name);
}

#endif

// The bytes, or nothing when the codec cannot hold the text: a round trip
// that changes the text (a substitute or best-fit character) counts as failure.
std::optional<QByteArray> encodeClean(const Codec &codec, const QString &text)
{
    std::optional<QByteArray> bytes = encodeRaw(codec, text);
    if (!bytes || decodeClean(codec, *bytes) != text)
        return std::nullopt;
    return bytes;
}

Codec legacyCodec()
{
    if (!legacyName().isEmpty()) {
        if (const auto named = codecNamed(legacyName().toLatin1()))
            return *named;
    }
    return systemCodec();
}

std::optional<Codec> shiftJisCodec()
{
    return codecNamed("Shift_JIS");
}

QString decodeWithoutMark(const QByteArray &bytes, TextEncoding &encoding, bool &clean)
{
    const Codec legacy = legacyCodec();
    struct Candidate {
        TextEncoding encoding;
        std::optional<Codec> codec;
    };
    // Shift_JIS reads most UTF-8 beyond ASCII as some other kanji, while
    // Shift_JIS text is hardly ever valid UTF-8: UTF-8 is asked first.
    QList<Candidate> candidates;
    if (!isAscii(bytes))
        candidates.append({TextEncoding::Utf8, Codec{}});
    candidates.append({TextEncoding::System, legacy});
    candidates.append({TextEncoding::ShiftJis, shiftJisCodec()});
    QList<Codec> tried;
    for (const Candidate &c : candidates) {
        if (!c.codec || tried.contains(*c.codec))
            continue;
        tried.append(*c.codec);
        if (std::optional<QString> text = decodeClean(*c.codec, bytes)) {
            encoding = *c.codec == legacy ? TextEncoding::System : c.encoding;
            clean = true;
            return *text;
        }
    }
    encoding = TextEncoding::System;
    clean = false;
    return decodeLossy(legacy, bytes);
}

QString decodeUtf16(const QByteArray &body, QStringConverter::Encoding which, bool &clean)
{
    QStringDecoder d(which, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = d.decode(body);
    clean = !d.hasError();
    return text;
}

} // namespace

void setLegacyCodePage(const QString &name)
{
    legacyName() = name;
}

QString legacyCodePage()
{
    return codecName(legacyCodec());
}

QString undecodableNotice(const QString &path)
{
    static QSet<QString> told;
    if (told.contains(path))
        return QString();
    told.insert(path);
    return path + QStringLiteral("\nを読み込めませんでした（文字コードが不明です）．\nこのファイルは書き換えません．");
}

QStringList splitLines(const QString &text)
{
    QStringList lines;
    QString current;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(current);
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            current.append(c);
        }
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

QString decodeText(const QByteArray &bytes, TextEncoding *encoding, bool *clean)
{
    TextEncoding enc = TextEncoding::System;
    bool ok = true;
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        enc = TextEncoding::Utf8Bom;
        const QByteArray body = bytes.mid(3);
        const std::optional<QString> strict = decodeClean(Codec{}, body);
        ok = strict.has_value();
        text = strict ? *strict : decodeLossy(Codec{}, body);
    } else if (bytes.startsWith("\xFF\xFE")) {
        enc = TextEncoding::Utf16LE;
        text = decodeUtf16(bytes.mid(2), QStringConverter::Utf16LE, ok);
    } else if (bytes.startsWith("\xFE\xFF")) {
        enc = TextEncoding::Utf16BE;
        text = decodeUtf16(bytes.mid(2), QStringConverter::Utf16BE, ok);
    } else {
        text = decodeWithoutMark(bytes, enc, ok);
    }
    if (encoding)
        *encoding = enc;
    if (clean)
        *clean = ok;
    return text;
}

bool readTextFile(const QString &path, TextFile &out, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
    TextFile result;
    bool clean = true;
    result.lines = splitLines(decodeText(bytes, &result.encoding, &clean));
    result.undecodable = !clean;
    out = result;
    return true;
}

QByteArray encodeText(const QString &text, TextEncoding encoding, TextEncoding *used)
{
    const bool withoutMark = encoding == TextEncoding::System || encoding == TextEncoding::Utf8
                             || encoding == TextEncoding::ShiftJis;
    if (withoutMark) {
        const std::optional<Codec> codec = encoding == TextEncoding::System ? legacyCodec()
                                           : encoding == TextEncoding::Utf8 ? Codec{}
                                                                            : shiftJisCodec();
        std::optional<QByteArray> bytes;
        if (codec)
            bytes = encodeClean(*codec, text);
        if (bytes) {
            if (used)
                *used = encoding;
            return *bytes;
        }
        encoding = TextEncoding::Utf8Bom;
    }
    if (used)
        *used = encoding;
    switch (encoding) {
    case TextEncoding::Utf16LE: {
        QStringEncoder e(QStringConverter::Utf16LE);
        return QByteArray("\xFF\xFE", 2) + QByteArray(e.encode(text));
    }
    case TextEncoding::Utf16BE: {
        QStringEncoder e(QStringConverter::Utf16BE);
        return QByteArray("\xFE\xFF", 2) + QByteArray(e.encode(text));
    }
    default:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    }
}

bool writeTextFile(const QString &path, const QStringList &lines, TextEncoding encoding, QString *error)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    f.write(encodeText(text, encoding, nullptr));
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

QString executableDir()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString besideExecutable(const QString &fileName)
{
    return executableDir() + fileName;
}

} // namespace lumo
