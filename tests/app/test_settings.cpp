// The settings file and the plain text files beside the executable.

#include "app/settings.h"
#include "taglists/taglists.h"

#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "common/files.h"

using namespace lumo;
using testing::readRaw;
using testing::writeRaw;

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path(const char *name = "LumoEdit.ini") const { return dir.filePath(QLatin1String(name)); }


private Q_SLOTS:
    void defaultsWithoutFile()
    {
        IniFile ini;
        ini.load(path("missing.ini"));
        const Settings s = readSettings(ini);
        QVERIFY(!s.left && !s.top);
        QCOMPARE(s.progId, QStringLiteral("BricscadApp.AcadApplication"));
        QVERIFY(s.sort && s.cursor && s.upperCase && s.enter && s.attEnter && s.attEnterDown);
        QVERIFY(!s.sentou && !s.zoomCenter && !s.zoomCenter2);
        QCOMPARE(s.attTagIndex1, 0);
        QCOMPARE(s.attTagIndex2, 0);
        QCOMPARE(s.attTag, QString());
    }

    void roundTripInTableOrder()
    {
        Settings s;
        s.left = -12;
        s.top = 340;
        s.progId = QStringLiteral("AutoCAD.Application.24");
        s.sort = false;
        s.attTag = QStringLiteral("SENBAN:線番");
        s.attTagIndex2 = 3;
        s.cursor = false;
        s.attTagIndex1 = -1;
        s.sentou = true;
        s.upperCase = false;
        s.enter = false;
        s.zoomCenter = true;
        s.attEnter = false;
        s.attEnterDown = false;
        s.zoomCenter2 = true;
        IniFile ini;
        writeSettings(ini, s);
        QVERIFY(ini.save(path()));
        IniFile back;
        back.load(path());
        const Settings r = readSettings(back);
        QCOMPARE(r.left, s.left);
        QCOMPARE(r.top, s.top);
        QCOMPARE(r.progId, s.progId);
        QCOMPARE(r.attTag, s.attTag);
        QCOMPARE(r.attTagIndex1, -1);
        QCOMPARE(r.attTagIndex2, 3);
        QVERIFY(!r.sort && !r.cursor && r.sentou && !r.upperCase && !r.enter && r.zoomCenter && !r.attEnter
                && !r.attEnterDown && r.zoomCenter2);
        QStringList keys;
        for (const QString &line : back.lines())
            keys << line.section(QLatin1Char('='), 0, 0);
        QCOMPARE(keys, (QStringList{"[LumoEdit]", "Left", "Top", "Sort", "AttTag", "AttTagIndex2", "Cursor",
                                    "AttTagIndex1", "Sentou", "UpperCase", "Enter", "ZoomCenter", "AttEnter",
                                    "AttEnterDown", "ZoomCenter2", "", "[Target]", "ProgID"}));
        QVERIFY(readRaw(path()).contains("Sort=0\r\n"));
    }

    void valuesThatAreNotIntegers_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("sort");
        QTest::addColumn<int>("index");
        QTest::newRow("text") << "yes" << true << 0;
        QTest::newRow("decimal") << "1.5" << true << 0;
        QTest::newRow("empty") << "" << true << 0;
        QTest::newRow("zero") << "0" << false << 0;
        QTest::newRow("negative") << "-2" << true << -2;
        QTest::newRow("spaces around") << " 7 " << true << 7;
        QTest::newRow("too large") << "99999999999" << true << 0;
    }
    void valuesThatAreNotIntegers()
    {
        QFETCH(QString, value);
        QFETCH(bool, sort);
        QFETCH(int, index);
        writeRaw(path(), QStringLiteral("[LumoEdit]\r\nSort=%1\r\nAttTagIndex1=%1\r\nLeft=%1\r\n").arg(value).toUtf8());
        IniFile ini;
        ini.load(path());
        const Settings s = readSettings(ini);
        QCOMPARE(s.sort, sort);
        QCOMPARE(s.attTagIndex1, index);
        QCOMPARE(s.left.has_value(), index != 0 || value == "0");
    }

    void progIdOnlyFromTargetSection()
    {
        writeRaw(path(), "[LumoEdit]\nProgID=Wrong.Place\n[target]\nprogid = Right.Place\n");
        IniFile ini;
        ini.load(path());
        QCOMPARE(readSettings(ini).progId, QStringLiteral("Right.Place"));
        writeRaw(path(), "[LumoEdit]\nProgID=Wrong.Place\n");
        ini.load(path());
        QCOMPARE(readSettings(ini).progId, QStringLiteral("BricscadApp.AcadApplication"));
    }

    void rewriteKeepsUnknownContent()
    {
        writeRaw(path(), "; kept comment\r\n[Other]\r\nX=1\r\n[LumoEdit]\r\nSort=1\r\n; inside\r\nMine=abc\r\n");
        IniFile ini;
        ini.load(path());
        Settings s = readSettings(ini);
        s.sort = false;
        writeSettings(ini, s);
        QVERIFY(ini.save(path()));
        const QByteArray bytes = readRaw(path());
        for (const char *kept : {"; kept comment\r\n[Other]\r\nX=1\r\n", "; inside\r\nMine=abc\r\n", "Sort=0\r\n",
                                 "[Target]\r\nProgID=BricscadApp.AcadApplication\r\n"})
            QVERIFY2(bytes.contains(kept), kept);
        QCOMPARE(bytes.count("Sort="), 1);
    }

    void textEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("encoding");
        QTest::newRow("utf-8 mark, mixed line ends") << QByteArray("\xEF\xBB\xBF線番\r\nA\rB\nC")
                                                     << QStringList{"線番", "A", "B", "C"} << int(TextEncoding::Utf8Bom);
        QTest::newRow("utf-16 le") << QByteArray("\xFF\xFE" "A\0\r\0\n\0B\0", 10) << QStringList{"A", "B"}
                                   << int(TextEncoding::Utf16LE);
        QTest::newRow("utf-16 be") << QByteArray("\xFE\xFF\0A\0\n", 6) << QStringList{"A"} << int(TextEncoding::Utf16BE);
        QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n b\r\n") << QStringList{"a", "", " b"}
                                          << int(TextEncoding::System);
    }
    void textEncodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QFETCH(int, encoding);
        writeRaw(path("t.txt"), bytes);
        TextFile f;
        QVERIFY(readTextFile(path("t.txt"), f));
        QCOMPARE(f.lines, lines);
        QCOMPARE(int(f.encoding), encoding);
        // Written back in the encoding it came in, every line ended by CR LF.
        QVERIFY(writeTextFile(path("t.txt"), f.lines, f.encoding));
        TextFile again;
        QVERIFY(readTextFile(path("t.txt"), again));
        QCOMPARE(again.lines, lines);
        QCOMPARE(int(again.encoding), encoding);
    }

    void unwritableFileReportsFailure()
    {
        const QString blocked = dir.filePath("sub");
        writeRaw(blocked, "not a directory");
        QVERIFY(!writeTextFile(blocked + QStringLiteral("/x.ini"), {"a"}, TextEncoding::System));
    }

    void tagListLoadAndReload()
    {
        writeRaw(path("tags.txt"), "\xEF\xBB\xBFNAME:機器名\r\n\r\n   \r\nSENBAN:線番\r\n");
        TagListFile file;
        file.path = path("tags.txt");
        QStringList items = builtinTextTags();
        QVERIFY(loadTagListAtStart(file, items));
        QCOMPARE(items, (QStringList{"NAME:機器名", "", "   ", "SENBAN:線番"}));
        QCOMPARE(int(file.encoding), int(TextEncoding::Utf8Bom));
        QVERIFY(reloadTagList(file, items));
        QCOMPARE(items, (QStringList{"NAME:機器名", "SENBAN:線番"}));
        TagListFile missing;
        missing.path = path("none.txt");
        items = builtinTagSets();
        QVERIFY(!loadTagListAtStart(missing, items));
        QCOMPARE(items, builtinTagSets());
    }

    // The one check against a real locale: its codeset, not Qt's "System"
    // (UTF-8 on Linux whatever the locale), is the legacy code page.
    void shiftJisLocaleIsTheLegacyCodePage()
    {
#ifdef Q_OS_WIN
        QSKIP("the ANSI code page is the system's on Windows");
#else
        QTemporaryDir locales;
        const QString made = locales.filePath("ja_JP.SJIS");
        QProcess def;
        // -c: the charmap is not ASCII compatible, which localedef only warns about.
        def.start("localedef", {"-c", "-i", "ja_JP", "-f", "SHIFT_JIS", made});
        if (!def.waitForFinished(60000) || !QFile::exists(made + "/LC_CTYPE"))
            QSKIP("cannot make the ja_JP.SJIS locale (localedef and the locales package are needed)");
        const QByteArray oldPath = qgetenv("LOCPATH"), oldAll = qgetenv("LC_ALL");
        qputenv("LOCPATH", locales.path().toLocal8Bit());
        qputenv("LC_ALL", "ja_JP.SJIS");
        setLegacyCodePage(QString());
        const QString codePage = legacyCodePage();
        writeTextFile(path("new.txt"), {QStringLiteral("SENBAN:線番")}, TextEncoding::System);
        oldPath.isNull() ? qunsetenv("LOCPATH") : qputenv("LOCPATH", oldPath);
        oldAll.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", oldAll);
        QCOMPARE(codePage, QStringLiteral("Shift_JIS"));
        QCOMPARE(readRaw(path("new.txt")), QByteArray(QStringEncoder("Shift_JIS").encode(QStringLiteral("SENBAN:線番\r\n"))));
#endif
    }

    void tagItemsSortIgnoringCase()
    {
        QStringList items{"b", "A", "a", "C"};
        sortTagItems(items);
        QCOMPARE(items, (QStringList{"A", "a", "b", "C"}));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
