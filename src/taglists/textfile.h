#pragma once
// Plain text files beside the executable (settings, target CAD list, tag
// lists): read with byte-order-mark detection, written atomically in the
// encoding they were read in.

#include <QString>
#include <QStringList>

namespace lumo {

enum class TextEncoding {
    System,    // the legacy code page (ANSI on Windows, the locale's elsewhere), no mark
    Utf8Bom,
    Utf16LE,   // with mark
    Utf16BE,   // with mark
};

struct TextFile {
    QStringList lines;
    TextEncoding encoding = TextEncoding::System;
};

// Lines end at CR LF, lone CR or lone LF; a final line break adds no line.
// Returns false (and leaves `out` alone) when the file cannot be read.
bool readTextFile(const QString &path, TextFile &out, QString *error = nullptr);
QStringList splitLines(const QString &text);
QString decodeText(const QByteArray &bytes, TextEncoding *encoding);

// Joins the lines with CR LF (the last one too) and replaces the file
// atomically. Text the legacy code page cannot hold is written as UTF-8
// with a mark instead of being lost.
bool writeTextFile(const QString &path, const QStringList &lines, TextEncoding encoding, QString *error = nullptr);
QByteArray encodeText(const QString &text, TextEncoding encoding, TextEncoding *used);

// The legacy code page used for files without a byte-order mark: the
// system's by default; tests name another one (e.g. "Shift_JIS").
void setLegacyCodePage(const QString &name);
QString legacyCodePage();

// The directory of the running executable, with a trailing separator.
QString executableDir();
QString besideExecutable(const QString &fileName);

} // namespace lumo
