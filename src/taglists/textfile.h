#pragma once
// Plain text files beside the executable (settings, target CAD list, tag
// lists): read with byte-order-mark detection, written atomically in the
// encoding they were read in.

#include <QString>
#include <QStringList>

namespace lumo {

enum class TextEncoding {
    System,   // the legacy code page (ANSI on Windows, the locale's elsewhere), no mark
    Utf8Bom,
    Utf16LE,  // with mark
    Utf16BE,  // with mark
    Utf8,     // UTF-8 without a mark, where the legacy code page is another one
    ShiftJis, // Shift_JIS (code page 932) without a mark, where the legacy code page is another one
};

struct TextFile {
    QStringList lines;
    TextEncoding encoding = TextEncoding::System;
    // No encoding reads the bytes without loss: `lines` are only a lossy
    // reading, and writing them back would destroy the file.
    bool undecodable = false;
};

// Lines end at CR LF, lone CR or lone LF; a final line break adds no line.
// Returns false (and leaves `out` alone) when the file cannot be read.
bool readTextFile(const QString &path, TextFile &out, QString *error = nullptr);
QStringList splitLines(const QString &text);
// Without a mark: UTF-8 when the bytes are valid UTF-8 beyond ASCII, else the
// legacy code page, else Shift_JIS. `clean` is false when none of them reads
// the bytes without loss (the text is then the legacy code page's lossy reading).
QString decodeText(const QByteArray &bytes, TextEncoding *encoding, bool *clean = nullptr);

// Joins the lines with CR LF (the last one too) and replaces the file
// atomically. Text the encoding cannot hold is written as UTF-8 with a mark
// instead of being lost.
bool writeTextFile(const QString &path, const QStringList &lines, TextEncoding encoding, QString *error = nullptr);
QByteArray encodeText(const QString &text, TextEncoding encoding, TextEncoding *used);

// The legacy code page used for files without a byte-order mark: the
// system's by default; tests name another one (e.g. "Shift_JIS", "UTF-8").
void setLegacyCodePage(const QString &name);
// The name of the legacy code page in effect ("UTF-8", "Shift_JIS", "EUC-JP", "CP932", …).
QString legacyCodePage();

// The message for a file that no encoding reads cleanly, the first time the
// program meets it in this run; a null string afterwards, so it is told once.
QString undecodableNotice(const QString &path);

// The directory of the running executable, with a trailing separator.
QString executableDir();
QString besideExecutable(const QString &fileName);

} // namespace lumo
