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

// Case-insensitive list order, as the combo boxes keep their items.
void sortTagItems(QStringList &items);

// One list file and the encoding it is written back in.
struct TagListFile {
    QString path;
    TextEncoding encoding = TextEncoding::System; // as read at start-up
};

// Start-up load: every line, blank ones too, or false when the file is missing
// or unreadable (the caller keeps its built-in items).
bool loadTagListAtStart(TagListFile &file, QStringList &items);
// Reload: the non-blank lines, unchanged; false when the file cannot be read.
bool reloadTagList(const TagListFile &file, QStringList &items);
bool saveTagList(const TagListFile &file, const QStringList &items, QString *error = nullptr);

// A line with nothing left after removing characters up to U+0020 from both ends.
bool isBlankLine(const QString &line);

} // namespace lumo
