// Writes the files that lie beside lumoedit.exe in the release, with the
// program's own file code, so they are what the program itself would write:
//   lumo_release_files OUT_DIR PACKAGING_DIR LICENSE_FILE
// - the two tag lists with the built-in items, as the first close writes
//   them on a Japanese Windows (sorted, code page 932, CR LF);
// - the target CAD list, as the "CAD" dialog writes it (CR LF);
// - the guide and the change list in UTF-8 with a byte-order mark, CR LF,
//   so Notepad shows the Japanese text on any Windows;
// - the licence, CR LF.

#include "taglists/taglists.h"
#include "taglists/textfile.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace lumo;

namespace {

bool fail(const QString &what)
{
    std::fprintf(stderr, "lumo_release_files: %s\n", qPrintable(what));
    return false;
}

bool convert(const QString &from, const QString &to, TextEncoding encoding)
{
    TextFile file;
    QString error;
    if (!readTextFile(from, file, &error))
        return fail(from + QStringLiteral(": ") + error);
    if (!writeTextFile(to, file.lines, encoding, &error))
        return fail(to + QStringLiteral(": ") + error);
    return true;
}

bool writeDefaultTagList(const QString &path, QStringList items)
{
    QFile::remove(path);
    // As the window does at its first close: the combo box's sorted items
    // into a file that was missing at start.
    sortTagItems(items);
    TagListFile file;
    file.path = path;
    QString error;
    if (saveTagList(file, items, &error) != SaveResult::Written)
        return fail(path + QStringLiteral(": ") + error);
    return true;
}

bool checkTargetList(const QString &path)
{
    TextFile file;
    if (!readTextFile(path, file))
        return fail(path + QStringLiteral(": cannot be read"));
    for (const QString &line : file.lines) {
        const int tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0 || tab == line.size() - 1)
            return fail(path + QStringLiteral(": not \"name<TAB>ProgID\": ") + line);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return fail(QStringLiteral("usage: lumo_release_files OUT_DIR PACKAGING_DIR LICENSE_FILE")), 2;
    const QDir out(args.at(1));
    const QDir src(args.at(2));
    QDir().mkpath(out.path());
    // A Japanese Windows' ANSI code page, whatever this machine's locale is.
    setLegacyCodePage(QStringLiteral("Shift_JIS"));

    const QString guide = QStringLiteral("はじめにお読みください.txt");
    const QString targets = QStringLiteral("TargetCAD_APIVersion.txt");
    const bool ok = checkTargetList(src.filePath(targets))
                 && writeDefaultTagList(out.filePath(kTextTagListFile), builtinTextTags())
                 && writeDefaultTagList(out.filePath(kTagSetListFile), builtinTagSets())
                 && convert(src.filePath(targets), out.filePath(targets), TextEncoding::System)
                 && convert(src.filePath(QStringLiteral("guide-ja.txt")), out.filePath(guide), TextEncoding::Utf8Bom)
                 && convert(src.filePath(QStringLiteral("CHANGES.txt")), out.filePath(QStringLiteral("CHANGES.txt")),
                            TextEncoding::Utf8Bom)
                 && convert(args.at(3), out.filePath(QStringLiteral("LICENSE.txt")), TextEncoding::Utf8);
    return ok ? 0 : 1;
}
