#include "tools/textlines.h"

namespace tools {

QString TrimBlanks(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 0x20)
        --end;
    return s.mid(begin, end - begin);
}

bool IsBlankLine(const QString &s)
{
    for (const QChar c : s) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

QStringList SplitSelectionLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n' || c == 0x2029) {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            lines.append(current);
            current.clear();
        } else {
            current.append(QChar(c));
        }
    }
    if (!current.isEmpty())
        lines.append(current);
    return lines;
}

QString JoinSelectionLines(const QStringList &lines)
{
    return TrimBlanks(lines.join(QStringLiteral("\r\n")));
}

} // namespace tools
