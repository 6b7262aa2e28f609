#pragma once
// Line helpers shared by the text tools when they work on an editor selection.

#include <QString>
#include <QStringList>

namespace tools {

// Removes every character with a code up to U+0020 from both ends; the
// ideographic space U+3000 stays.
QString TrimBlanks(const QString &s);

// Empty after TrimBlanks.
bool IsBlankLine(const QString &s);

// Splits a selected text into lines at CR LF, CR, LF or U+2029 (the paragraph
// separator Qt's text widgets put into a selection). A final line break does
// not start another line.
QStringList SplitSelectionLines(const QString &text);

// Joins the lines with CR LF and trims blanks from both ends of the whole:
// the text that replaces the selection after a tool has worked on it.
QString JoinSelectionLines(const QStringList &lines);

} // namespace tools
