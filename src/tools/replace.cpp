#include "tools/replace.h"

#include <QLocale>

namespace tools {

QString ReplaceString(const QString &text, const QString &search, const QString &replacement,
                      bool ignoreCase, qsizetype *count)
{
    if (count)
        *count = 0;
    const qsizetype n = search.size();
    if (n == 0 || text.size() < n)
        return text;

    const QLocale locale;
    QString upperText;
    QString upperSearch;
    // When upper-casing keeps every length, positions in the upper-cased text
    // are positions in the text; otherwise (ß -> SS and the like) compare
    // window by window so a match never lands off its characters.
    bool aligned = true;
    if (ignoreCase) {
        upperText = locale.toUpper(text);
        upperSearch = locale.toUpper(search);
        aligned = upperText.size() == text.size() && upperSearch.size() == n;
    }
    const QString &haystack = ignoreCase ? upperText : text;
    const QString &needle = ignoreCase ? upperSearch : search;

    auto nextMatch = [&](qsizetype from) -> qsizetype {
        if (aligned)
            return haystack.indexOf(needle, from, Qt::CaseSensitive);
        for (qsizetype i = from; i + n <= text.size(); ++i) {
            if (locale.toUpper(text.mid(i, n)) == upperSearch)
                return i;
        }
        return -1;
    };

    QString out;
    qsizetype done = 0;
    qsizetype replaced = 0;
    for (qsizetype at = nextMatch(0); at >= 0; at = nextMatch(done)) {
        out += QStringView(text).sliced(done, at - done);
        out += replacement;
        done = at + n;
        ++replaced;
        if (done + n > text.size())
            break;
    }
    if (replaced == 0)
        return text;
    out += QStringView(text).sliced(done);
    if (count)
        *count = replaced;
    return out;
}

QString SearchTextFromSelection(const QString &selected)
{
    for (qsizetype i = 0; i < selected.size(); ++i) {
        const char16_t c = selected.at(i).unicode();
        if (c == u'\r' || c == u'\n' || c == 0x2029)
            return selected.left(i);
    }
    return selected;
}

} // namespace tools
