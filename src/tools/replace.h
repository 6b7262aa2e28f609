#pragma once
// The string replace of the text tools.

#include <QString>

namespace tools {

// Replaces every occurrence of `search` by `replacement`, left to right,
// without overlapping and without scanning replaced text again ("aa" -> "a"
// in "aaaa" gives "aa"). With `ignoreCase` text and search are compared after
// locale-aware upper-casing; the text between matches keeps its letters.
// An empty search changes nothing. `count`, when given, receives the number
// of replacements.
QString ReplaceString(const QString &text, const QString &search, const QString &replacement,
                      bool ignoreCase, qsizetype *count = nullptr);

// What the search box is prefilled with from an editor selection: the part
// before its first line break, or the whole selection.
QString SearchTextFromSelection(const QString &selected);

} // namespace tools
