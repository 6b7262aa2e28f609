#pragma once
// The two tag list files: tags (with prompts) for the TEXT tab's attribute
// lines and tag sets for the attribute grid.

#include "taglists/textfile.h"

#include <QStringList>

namespace lumo {

inline const QString kTextTagListFile = QStringLiteral("LumoEditTagList.txt");
inline const QString kTagSetListFile = QStringLiteral("LumoEdit2ATagList.txt");

QStringList builtinTextTags();
QStringList builtinTagSets();

// The order of the program's sorted lists: letter case ignored, punctuation
// before digits before letters, as the Windows list controls sort.
bool listLess(const QString &a, const QString &b);
void sortTagItems(QStringList &items);

// One list file, the encoding it is written back in, and what the file held
// when the program last read or wrote it.
struct TagListFile {
    QString path;
    TextEncoding encoding = TextEncoding::System; // as read at start-up
    QByteArray seenDigest;                        // empty: the file was missing
    QStringList seenLines;                        // the lines last read or written
    // Some reading in this run found bytes no encoding reads cleanly: the file
    // is never written by this run, so its bytes survive.
    bool keepAsIs = false;
};

enum class SaveResult { Written, Unchanged, LeftAlone, Failed };

// Start-up load: every line, blank ones too, or false when the file is missing
// or unreadable (the caller keeps its built-in items). A file no encoding
// reads cleanly gives its lossy lines and sets `keepAsIs`.
bool loadTagListAtStart(TagListFile &file, QStringList &items);
// Reload: the non-blank lines, unchanged; false when the file cannot be read.
bool reloadTagList(TagListFile &file, QStringList &items);
// Writes the items unless the file was changed on disk (in an editor) since
// the program last read or wrote it: that edit is kept for the next start.
// Items equal to the lines last seen (in any order) leave the file byte for byte.
SaveResult saveTagList(TagListFile &file, const QStringList &items, QString *error = nullptr);

// A line with nothing left after removing characters up to U+0020 from both ends.
bool isBlankLine(const QString &line);

} // namespace lumo
