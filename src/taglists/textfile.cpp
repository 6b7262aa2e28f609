#include "taglists/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringConverter>

namespace lumo {

namespace {

QString &legacyName()
{
    static QString name;
    return name;
}

QStringDecoder legacyDecoder()
{
    if (!legacyName().isEmpty()) {
        QStringDecoder d(legacyName().toLatin1().constData());
        if (d.isValid())
            return d;
    }
    return QStringDecoder(QStringConverter::System);
}

QStringEncoder legacyEncoder()
{
    if (!legacyName().isEmpty()) {
        QStringEncoder e(legacyName().toLatin1().constData());
        if (e.isValid())
            return e;
    }
    return QStringEncoder(QStringConverter::System);
}

} // namespace

void setLegacyCodePage(const QString &name)
{
    legacyName() = name;
}

QString legacyCodePage()
{
    return legacyName();
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

QString decodeText(const QByteArray &bytes, TextEncoding *encoding)
{
    TextEncoding enc = TextEncoding::System;
    QByteArray body = bytes;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        enc = TextEncoding::Utf8Bom;
        body = bytes.mid(3);
    } else if (bytes.startsWith("\xFF\xFE")) {
        enc = TextEncoding::Utf16LE;
        body = bytes.mid(2);
    } else if (bytes.startsWith("\xFE\xFF")) {
        enc = TextEncoding::Utf16BE;
        body = bytes.mid(2);
    }
    if (encoding)
        *encoding = enc;
    switch (enc) {
    case TextEncoding::Utf8Bom:
        return QString::fromUtf8(body);
    case TextEncoding::Utf16LE: {
        QStringDecoder d(QStringConverter::Utf16LE);
        return d.decode(body);
    }
    case TextEncoding::Utf16BE: {
        QStringDecoder d(QStringConverter::Utf16BE);
        return d.decode(body);
    }
    case TextEncoding::System:
        break;
    }
    QStringDecoder d = legacyDecoder();
    return d.decode(body);
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
    result.lines = splitLines(decodeText(bytes, &result.encoding));
    out = result;
    return true;
}

QByteArray encodeText(const QString &text, TextEncoding encoding, TextEncoding *used)
{
    if (encoding == TextEncoding::System) {
        QStringEncoder e = legacyEncoder();
        const QByteArray bytes = e.encode(text);
        // A round trip that changes the text means the code page could not hold it.
        QStringDecoder d = legacyDecoder();
        if (!e.hasError() && QString(d.decode(bytes)) == text) {
            if (used)
                *used = TextEncoding::System;
            return bytes;
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
