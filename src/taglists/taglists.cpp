#include "taglists/taglists.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace lumo {

QStringList builtinTextTags()
{
    return {QStringLiteral("JCMNT1:コメント１"), QStringLiteral("JCMNT2:コメント２"), QStringLiteral("NAME:機器名"),
            QStringLiteral("NAME1:機器名１"), QStringLiteral("SENBAN:線番")};
}

QStringList builtinTagSets()
{
    return {QStringLiteral("I/Oコメント,PIN1,IOADRS,JCMNT1,JCMNT2"), QStringLiteral("機器,NAME,NAME1,SPEC,TYPE"),
            QStringLiteral("図枠IFS,CST,CST1,TITLE,TITLE1,DWGNO,REVNO,PAGEN,PAGEM,ENAM,EDATE,CNAM,CDATE,ANAM,ADATE"),
            QStringLiteral("図枠TTL,BITEM7,BITEM5,ZITEM2,ZITEM3,ZITEM1,ZSHEET,FILE3,ZITEM10,ZITEM9,ZITEM8,BITEM2,"
                           "ZITEM5,BITEM3,ZITEM6,BITEM4,ZITEM7,ZSEIHIN,PAGE"),
            QStringLiteral("線番,SENBAN")};
}

bool listLess(const QString &a, const QString &b)
{
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Japanese, QLocale::Japan));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator.compare(a, b) < 0;
}

void sortTagItems(QStringList &items)
{
    std::stable_sort(items.begin(), items.end(), listLess);
}

bool isBlankLine(const QString &line)
{
    for (const QChar c : line) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

namespace {

QByteArray digestOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&f);
    return hash.result();
}

// The lists are kept sorted, so the order of the lines says nothing.
bool sameItems(QStringList a, QStringList b)
{
    if (a.size() != b.size())
        return false;
    a.sort();
    b.sort();
    return a == b;
}

} // namespace

bool loadTagListAtStart(TagListFile &file, QStringList &items)
{
    if (!QFileInfo::exists(file.path))
        return false;
    TextFile text;
    if (!readTextFile(file.path, text))
        return false;
    file.encoding = text.encoding;
    file.seenDigest = digestOf(file.path);
    file.seenLines = text.lines;
    file.keepAsIs = file.keepAsIs || text.undecodable;
    items = text.lines;
    return true;
}

bool reloadTagList(TagListFile &file, QStringList &items)
{
    TextFile text;
    if (!readTextFile(file.path, text))
        return false;
    file.seenDigest = digestOf(file.path);
    file.seenLines = text.lines;
    file.keepAsIs = file.keepAsIs || text.undecodable;
    items.clear();
    for (const QString &line : text.lines) {
        if (!isBlankLine(line))
            items.append(line);
    }
    return true;
}

SaveResult saveTagList(TagListFile &file, const QStringList &items, QString *error)
{
    if (file.keepAsIs || digestOf(file.path) != file.seenDigest)
        return SaveResult::LeftAlone;
    if (!file.seenDigest.isEmpty() && sameItems(items, file.seenLines))
        return SaveResult::Unchanged;
    if (!writeTextFile(file.path, items, file.encoding, error))
        return SaveResult::Failed;
    file.seenDigest = digestOf(file.path);
    file.seenLines = items;
    return SaveResult::Written;
}

} // namespace lumo
