// The two tag list files through the main window: start-up, reload, the
// editor command and the save at close.

#include "../common/files.h"
#include "../common/formfixture.h"
#include "app/targetcadform.h"
#include "taglists/taglists.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include "cad/connection.h"
#include <QTest>

using namespace lumo;
using testing::FormFixture;
using testing::readRaw;
using testing::writeRaw;

namespace {

QByteArray sjis(const QString &text)
{
    QStringEncoder e("Shift_JIS");
    return e.encode(text);
}

QStringList items(const QComboBox *box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// The window on files that exist before it starts.
struct Started {
    QTemporaryDir dir;
    widgets::MessageRecorder messages;
    std::unique_ptr<TLumoMainForm> form;
    FilePaths paths;
    explicit Started(const std::function<void(const FilePaths &)> &prepare)
    {
        paths.settings = dir.filePath("LumoEdit.ini");
        paths.targetCadList = dir.filePath("TargetCAD_APIVersion.txt");
        paths.textTagList = dir.filePath("LumoEditTagList.txt");
        paths.tagSetList = dir.filePath("LumoEdit2ATagList.txt");
        prepare(paths);
        form = std::make_unique<TLumoMainForm>(paths);
    }
};

} // namespace

class TestTagLists : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { setLegacyCodePage(QStringLiteral("Shift_JIS")); }
    void cleanup() { setLegacyCodePage(QString()); }

    void firstCloseWritesTheBuiltInsInTheLegacyCodePage()
    {
        Started s([](const FilePaths &) {});
        s.form->close();
        const QByteArray text = readRaw(s.paths.textTagList);
        QCOMPARE(text, sjis(QStringLiteral("JCMNT1:コメント１\r\nJCMNT2:コメント２\r\nNAME:機器名\r\nNAME1:機器名１\r\nSENBAN:線番\r\n")));
        QVERIFY(readRaw(s.paths.tagSetList).startsWith(sjis(QStringLiteral("I/Oコメント,PIN1"))));
    }

    void legacyFileIsReadAndSorted()
    {
        Started s([](const FilePaths &p) {
            writeRaw(p.textTagList, sjis(QStringLiteral("b:二\rA:一\na:三\r\n")));
        });
        QCOMPARE(items(s.form->ComboBox1), (QStringList{"A:一", "a:三", "b:二"}));
    }

    void blankLinesAtStartButNotAfterReload()
    {
        Started s([](const FilePaths &p) { writeRaw(p.textTagList, "X:1\r\n\r\n  \r\nY:2\r\n"); });
        QCOMPARE(s.form->ComboBox1->count(), 4);
        s.form->N40Click();
        QCOMPARE(items(s.form->ComboBox1), (QStringList{"X:1", "Y:2"}));
    }

    void reloadSelection_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("index beyond the new list") << QByteArray("a\r\nb\r\nc\r\n") << 4 << 0;
        QTest::newRow("index kept") << QByteArray("a\r\nb\r\nc\r\n") << 2 << 2;
        QTest::newRow("nothing selected stays so") << QByteArray("a\r\nb\r\n") << -1 << -1;
        QTest::newRow("all blank") << QByteArray(" \r\n\t\r\n") << 1 << -1;
    }
    void reloadSelection()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, before);
        QFETCH(int, after);
        FormFixture form;
        form->ComboBox2->setCurrentIndex(before);
        writeRaw(form->paths().tagSetList, file);
        form->AG2Click();
        QCOMPARE(form->ComboBox2->currentIndex(), after);
        if (file.trimmed().isEmpty())
            QCOMPARE(form->ComboBox2->count(), 0);
    }

    void missingFileMessages()
    {
        FormFixture form;
        form->N40Click();
        form->AG1Click();
        QCOMPARE(form.messages.texts(),
                 (QStringList{form->paths().textTagList + "\nが、見つかりません．",
                              form->paths().tagSetList + "\nファイルが見つかりません．"}));
        QCOMPARE(form->ComboBox1->count(), 5);
        QVERIFY(!QFile::exists(form->paths().tagSetList));
    }

    void editorGetsThePathAsOneArgument()
    {
        // A folder whose name has a space, as users' folders do.
        QTemporaryDir spaced(QDir::tempPath() + QStringLiteral("/lumo tags XXXXXX"));
        const QString out = spaced.filePath("args.txt");
        const QString script = spaced.filePath("editor.sh");
        writeRaw(script, ("#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > '" + out + "'\n").toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("LUMOEDIT_EDITOR", script.toUtf8());
        FilePaths p;
        p.settings = spaced.filePath("LumoEdit.ini");
        p.targetCadList = spaced.filePath("TargetCAD_APIVersion.txt");
        p.textTagList = spaced.filePath("LumoEditTagList.txt");
        p.tagSetList = spaced.filePath("LumoEdit2ATagList.txt");
        writeRaw(p.textTagList, "T:1\r\n");
        TLumoMainForm form(p);
        form.N39Click();
        QTRY_COMPARE_WITH_TIMEOUT(readRaw(out), ("[" + p.textTagList + "]\n").toUtf8(), 5000);
        qunsetenv("LUMOEDIT_EDITOR");
    }

    void markIsKeptOnWriteBack()
    {
        Started s([](const FilePaths &p) { writeRaw(p.tagSetList, "\xEF\xBB\xBFset,A\r\n"); });
        s.form->close();
        QCOMPARE(readRaw(s.paths.tagSetList), QByteArray("\xEF\xBB\xBFset,A\r\n"));
    }

    void utf16FilesStayUtf16()
    {
        QStringEncoder le(QStringConverter::Utf16LE);
        const QByteArray bytes = QByteArray("\xFF\xFE", 2) + QByteArray(le.encode(QStringLiteral("線番,SENBAN\r\n")));
        Started s([&](const FilePaths &p) { writeRaw(p.tagSetList, bytes); });
        QCOMPARE(items(s.form->ComboBox2), QStringList{"線番,SENBAN"});
        s.form->close();
        QCOMPARE(readRaw(s.paths.tagSetList), bytes);
    }

    void fileEditedOnDiskIsLeftAlone()
    {
        Started s([](const FilePaths &p) { writeRaw(p.textTagList, "A:1\r\n"); });
        writeRaw(s.paths.textTagList, "A:1\r\nB:edited in the editor\r\n");
        s.form->close();
        QCOMPARE(readRaw(s.paths.textTagList), QByteArray("A:1\r\nB:edited in the editor\r\n"));
    }

    void unrepresentableItemForcesUtf8()
    {
        Started s([](const FilePaths &) {});
        s.form->ComboBox1->addItem(QStringLiteral("EMOJI:😀"));
        s.form->close();
        const QByteArray bytes = readRaw(s.paths.textTagList);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.contains(QStringLiteral("EMOJI:😀").toUtf8()));
        QVERIFY(bytes.contains(QStringLiteral("SENBAN:線番").toUtf8()));
    }

    // What a file without a mark is read as, and what the close leaves on disk.
    void codePageDecisions_data()
    {
        QTest::addColumn<QString>("legacy");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("read"); // empty: a lossy reading, not compared
        QTest::addColumn<QString>("added");    // empty: the items stay as read
        QTest::addColumn<QByteArray>("after");
        const QByteArray bom("\xEF\xBB\xBF");
        const QByteArray oneSjis = sjis(QStringLiteral("A:一\r\n"));
        QTest::newRow("UTF-8 locale, Shift_JIS file, edited: stays Shift_JIS")
            << "UTF-8" << sjis(QStringLiteral("SENBAN:線番\r\n")) << QStringList{"SENBAN:線番"} << "NAME:機器名"
            << sjis(QStringLiteral("NAME:機器名\r\nSENBAN:線番\r\n"));
        QTest::newRow("Shift_JIS locale, UTF-8 file, edited: stays UTF-8 without a mark")
            << "Shift_JIS" << QStringLiteral("SENBAN:線番\r\n").toUtf8() << QStringList{"SENBAN:線番"} << "NAME:機器名"
            << QStringLiteral("NAME:機器名\r\nSENBAN:線番\r\n").toUtf8();
        QTest::newRow("bytes no encoding reads are kept")
            << "UTF-8" << QByteArray("A:\x85\x40\xFF\r\n") << QStringList{} << "B:new"
            << QByteArray("A:\x85\x40\xFF\r\n");
        QTest::newRow("unchanged items leave the file byte for byte")
            << "Shift_JIS" << sjis(QStringLiteral("b:二\nA:一")) << QStringList{"b:二", "A:一"} << ""
            << sjis(QStringLiteral("b:二\nA:一"));
        QTest::newRow("① is Shift_JIS") << "Shift_JIS" << oneSjis << QStringList{"A:一"} << "B:①"
                                        << sjis(QStringLiteral("A:一\r\nB:①\r\n"));
        QTest::newRow("𠮷 is not: UTF-8 with a mark")
            << "Shift_JIS" << oneSjis << QStringList{"A:一"} << "B:𠮷"
            << bom + QStringLiteral("A:一\r\nB:𠮷\r\n").toUtf8();
        QTest::newRow("ℵ in a Shift_JIS file under a UTF-8 locale: UTF-8 with a mark")
            << "UTF-8" << oneSjis << QStringList{"A:一"} << "B:ℵ"
            << bom + QStringLiteral("A:一\r\nB:ℵ\r\n").toUtf8();
    }
    void codePageDecisions()
    {
        QFETCH(QString, legacy);
        QFETCH(QByteArray, before);
        QFETCH(QStringList, read);
        QFETCH(QString, added);
        QFETCH(QByteArray, after);
        setLegacyCodePage(legacy);
        QTemporaryDir dir;
        TagListFile file;
        file.path = dir.filePath("LumoEditTagList.txt");
        writeRaw(file.path, before);
        QStringList items = builtinTextTags();
        QVERIFY(loadTagListAtStart(file, items));
        if (!read.isEmpty())
            QCOMPARE(items, read);
        if (!added.isEmpty())
            items.append(added);
        sortTagItems(items);
        saveTagList(file, items);
        QCOMPARE(readRaw(file.path), after);
    }

    // The issue as the user met it: a Shift_JIS list from a Windows machine,
    // opened and closed under a UTF-8 locale without any edit.
    void closeKeepsFilesItCannotOrNeedNotWrite()
    {
        setLegacyCodePage(QStringLiteral("UTF-8"));
        const QByteArray tags = sjis(QStringLiteral("SENBAN:線番\r\nNAME:機器名\r\n"));
        const QByteArray sets("\x90\xFC\x94\xD4,SENBAN\r\n\x85\x40,X\r\n"); // 0x8540 is no character
        const QByteArray ini = sjis(QStringLiteral("; 設定\r\n[LumoEdit]\r\nLeft=1\r\nAttTag=SENBAN:線番\r\n"));
        Started s([&](const FilePaths &p) {
            writeRaw(p.textTagList, tags);
            writeRaw(p.tagSetList, sets);
            writeRaw(p.settings, ini);
        });
        QCOMPARE(items(s.form->ComboBox1), (QStringList{"NAME:機器名", "SENBAN:線番"}));
        QCOMPARE(s.messages.texts(), QStringList{s.paths.tagSetList + "\nを読み込めませんでした（文字コードが不明です）．\n"
                                                                     "このファイルは書き換えません．"});
        s.form->AG2Click(); // a reload does not tell it again
        s.form->close();
        QCOMPARE(readRaw(s.paths.textTagList), tags);
        QCOMPARE(readRaw(s.paths.tagSetList), sets);
        const QByteArray settings = readRaw(s.paths.settings);
        QVERIFY(settings.startsWith(sjis(QStringLiteral("; 設定\r\n[LumoEdit]\r\n"))));
        QVERIFY(settings.contains(sjis(QStringLiteral("AttTag=NAME:機器名\r\n"))));
        QCOMPARE(s.messages.texts().size(), 1);
    }

    void targetListWriteFailureIsReported()
    {
        QTemporaryDir dir;
        writeRaw(dir.filePath("blocker"), "x");
        widgets::MessageRecorder messages;
        TTargetCADForm form(dir.filePath("blocker/TargetCAD_APIVersion.txt"));
        form.Edit1->setText("n");
        form.Edit2->setText("P");
        form.SpeedButton1Click();
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].text.contains("TargetCAD_APIVersion.txt"));
    }

    void okTakesEmptyFields()
    {
        FormFixture form;
        QTimer::singleShot(0, form.form.get(), [&] {
            form->TargetCADForm->Edit1->clear();
            form->TargetCADForm->Edit2->clear();
            form->TargetCADForm->Button1->click();
        });
        form->SpeedButton7Click();
        QCOMPARE(form->windowTitle(), QStringLiteral("LumoEdit [  ]"));
        QCOMPARE(cad::targetProgID(), QString());
        QVERIFY(!cad::IsCadRunning());
        cad::targetProgID() = cad::kDefaultProgID;
    }
};

QTEST_MAIN(TestTagLists)
#include "test_taglists.moc"
