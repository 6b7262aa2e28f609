// The main window as a user first meets it: tabs, captions, defaults, and
// what it leaves in its files at close.

#include "app/lumoxunit.h"
#include "cad/connection.h"
#include "app/targetcadform.h"
#include "widgets/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "common/files.h"
#include <QTimer>
#include <QToolButton>

using namespace lumo;
using testing::readRaw;
using testing::writeRaw;

namespace {

// A folder this process cannot write to. chmod is enough for a user, but
// root writes past it: there the folder is made immutable too, and where
// that is not allowed either (some containers) it is placed under a plain
// file, where every write fails as well.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString &path)
        : m_path(path)
    {
        QDir().mkpath(m_path);
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
        if (writable())
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_path}) == 0 && !writable();
        if (writable()) {
            const QString blocker = m_path + QStringLiteral(".file");
            writeRaw(blocker, "x");
            m_path = blocker + QStringLiteral("/LumoEdit");
        }
    }
    ~ReadOnlyFolder()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString file(const QString &name) const { return m_path + QLatin1Char('/') + name; }

private:
    bool writable() const
    {
        QFile probe(file(QStringLiteral(".probe")));
        if (!probe.open(QIODevice::WriteOnly))
            return false;
        probe.remove();
        return true;
    }
    QString m_path;
    bool m_immutable = false;
};

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    FilePaths paths;


private Q_SLOTS:
    void init()
    {
        for (const char *name : {"LumoEdit.ini", "t.txt", "LumoEditTagList.txt", "LumoEdit2ATagList.txt"})
            QFile::remove(dir.filePath(QLatin1String(name)));
        paths.settings = dir.filePath("LumoEdit.ini");
        paths.targetCadList = dir.filePath("t.txt");
        paths.textTagList = dir.filePath("LumoEditTagList.txt");
        paths.tagSetList = dir.filePath("LumoEdit2ATagList.txt");
    }

    void tabsAndCaptions()
    {
        TLumoMainForm form(paths);
        QCOMPARE(form.windowTitle(), QStringLiteral("LumoEdit"));
        QCOMPARE(form.PageControl1->count(), 3);
        QCOMPARE(form.PageControl1->tabText(0), QStringLiteral("TEXT, 属性編集"));
        QCOMPARE(form.PageControl1->tabText(1), QStringLiteral(" 属性編集"));
        QCOMPARE(form.PageControl1->tabText(2), QStringLiteral("TEXT 検索・編集"));
        QCOMPARE(form.PageControl1->currentIndex(), 0);
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(form.size(), QSize(328, 320));
        QCOMPARE(form.StatusPanel0->width(), 150);
        QCOMPARE(form.StatusPanel1->width(), 100);
        QCOMPARE(form.Timer1->interval(), 200);
        QVERIFY(form.Timer1->isActive());

        QStringList captions;
        for (QToolButton *b : {form.SpeedButton1, form.SpeedButton2, form.SpeedButton6, form.SpeedButton8,
                               form.SpeedButton7, form.SpeedButton3, form.SpeedButton5, form.SpeedButton4,
                               form.SpeedButton10, form.SpeedButton12, form.SpeedButton11, form.SpeedButton13,
                               form.SpeedButton16, form.SpeedButton17, form.SpeedButton18, form.SpeedButton14,
                               form.SpeedButton15})
            captions << b->text();
        QCOMPARE(captions, (QStringList{"TEXT", "更新(Ctrl+Enter)", "整列", "ATTR", "CAD", "すべて選択", "中止", "Undo",
                                        "取得", "中止", "更新", "UNDO", "取得順", "文字順", "数字順", "検索", "更新"}));
        // Disabled until there is something to write, stop or undo.
        for (QToolButton *b : {form.SpeedButton2, form.SpeedButton6, form.SpeedButton5, form.SpeedButton4,
                               form.SpeedButton12, form.SpeedButton11, form.SpeedButton15})
            QVERIFY2(!b->isEnabled(), qPrintable(b->text()));
        QCOMPARE(form.Label4->text(), QStringLiteral("※固定セルのクリックですべて選択"));

        QStringList menu;
        for (QAction *a : form.PopupMenu1->actions())
            menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(menu, (QStringList{"クリア", "カット", "コピー", "ペースト", "-", "すべて全角に", "選択範囲を全角に", "-",
                                    "すべて半角に", "選択範囲を半角に", "-", "すべての半角 ( ) を全角に ", "-",
                                    "その他のすべてを変換", "-", "すべて置換", "選択範囲を置換", "-", "すべて加算",
                                    "選択範囲を加算", "-", "連番作成", "-", "■ タグリストを編集（メモ帳を起動）",
                                    "■ タグリストを再読み込み", "-", "バージョン情報", "-", "取り消し"}));
        QCOMPARE(form.conversionItems.size(), 10);
        QCOMPARE(form.conversionItems.first()->text(), QStringLiteral("半角カタカナを全角に"));
        QCOMPARE(form.conversionItems.last()->text(), QStringLiteral("全角記号を半角に"));
    }

    void defaultsWithoutSettingsFile()
    {
        TLumoMainForm form(paths);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(form.pos(), QPoint((screen.width() - form.width()) / 2, (screen.height() - form.height()) / 2));
        QCOMPARE(cad::targetProgID(), QStringLiteral("BricscadApp.AcadApplication"));
        for (QCheckBox *on : {form.CheckBox1, form.CheckBox2, form.CheckBox4, form.CheckBox8, form.CheckBox5,
                              form.CheckBox7})
            QVERIFY2(on->isChecked(), qPrintable(on->text()));
        for (QCheckBox *off : {form.CheckBox3, form.CheckBox6, form.CheckBox9})
            QVERIFY2(!off->isChecked(), qPrintable(off->text()));
        QCOMPARE(form.ComboBox1->count(), 5);
        QCOMPARE(form.ComboBox1->currentIndex(), 0);
        QCOMPARE(form.ComboBox1->itemText(0), QStringLiteral("JCMNT1:コメント１"));
        QCOMPARE(form.ComboBox2->count(), 5);
        QCOMPARE(form.ComboBox2->itemText(0), QStringLiteral("I/Oコメント,PIN1,IOADRS,JCMNT1,JCMNT2"));
        QCOMPARE(form.startCol, -1);
        QCOMPARE(form.startRow, -1);
    }

    void tagIndexFromSettings_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("selected");
        QTest::newRow("in range") << 3 << 3;
        QTest::newRow("beyond the list selects item 0") << 7 << 0;
        QTest::newRow("-1 selects nothing") << -1 << -1;
    }
    void tagIndexFromSettings()
    {
        QFETCH(int, stored);
        QFETCH(int, selected);
        writeRaw(paths.settings, QStringLiteral("[LumoEdit]\nAttTagIndex1=%1\nAttTagIndex2=%1\n").arg(stored).toLatin1());
        TLumoMainForm form(paths);
        QCOMPARE(form.ComboBox1->currentIndex(), selected);
        QCOMPARE(form.ComboBox2->currentIndex(), selected);
    }

    void captionFromTargetList()
    {
        writeRaw(paths.settings, "[Target]\nProgID=BricscadApp.AcadApplication\n");
        writeRaw(paths.targetCadList, "BricsCAD V23\tBricscadApp.AcadApplication.23\r\n");
        TLumoMainForm form(paths);
        QCOMPARE(form.windowTitle(), QStringLiteral("LumoEdit [ BricsCAD V23 ]"));
    }

    void switchingTabsEmptiesPanels()
    {
        TLumoMainForm form(paths);
        form.setStatusPanel(0, QStringLiteral("Row = 1"));
        form.setStatusPanel(1, QStringLiteral("selRows = 0"));
        form.PageControl1->setCurrentIndex(2);
        QCOMPARE(form.statusPanel(0), QString());
        QCOMPARE(form.statusPanel(1), QString());
    }

    // Every count label, with the longest text a real drawing gives it, shows
    // all of it inside the fixed-size window.
    void countLabelsShowTheirWholeText()
    {
        TLumoMainForm form(paths);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The TEXT tab's progress label takes the place of "すべて選択" during a run.
        form.SpeedButton3->hide();
        form.Label2->show();
        const struct {
            QLabel *label;
            int page;
            const char *text;
        } cases[] = {
            {form.Label1, 0, "取得データ数 = 12345"},
            {form.Label2, 0, "JCMNT1 : 12345 / 12345"},
            {form.Label3, 1, "INSERT = 12345 / 12345"},
            {form.Label5, 2, "12345 / 12345"},
        };
        for (const auto &c : cases) {
            form.PageControl1->setCurrentIndex(c.page);
            QWidget *page = form.PageControl1->currentWidget();
            c.label->setText(QString::fromUtf8(c.text));
            page->layout()->activate();
            const QRect inPage(c.label->mapTo(page, QPoint(0, 0)), c.label->size());
            QVERIFY2(c.label->width() >= c.label->sizeHint().width() && page->rect().contains(inPage),
                     c.text);
        }
    }

    void closeWritesSettingsAndTagLists()
    {
        writeRaw(paths.settings, "; mine\n[Extra]\nKeep=1\n");
        {
            TLumoMainForm form(paths);
            form.move(40, 60);
            form.CheckBox3->setChecked(true);
            form.ComboBox2->setCurrentIndex(2);
            cad::targetProgID() = QStringLiteral("AutoCAD.Application.24");
            form.close();
        }
        const QByteArray ini = readRaw(paths.settings);
        for (const char *expected : {"; mine\r\n[Extra]\r\nKeep=1\r\n", "Sentou=1\r\n", "AttTagIndex2=2\r\n",
                                     "AttTag=JCMNT1:", "[Target]\r\nProgID=AutoCAD.Application.24\r\n"})
            QVERIFY2(ini.contains(expected), expected);
        // No tag list files before: the built-in items are written, sorted.
        QVERIFY(readRaw(paths.tagSetList).startsWith("I/O"));
        QCOMPARE(readRaw(paths.textTagList).count("\r\n"), 5);

        TLumoMainForm again(paths);
        QVERIFY(again.CheckBox3->isChecked());
        QCOMPARE(again.ComboBox2->currentIndex(), 2);
        QCOMPARE(cad::targetProgID(), QStringLiteral("AutoCAD.Application.24"));
    }

    void unwritableFilesDoNotBlockClose()
    {
        const QString blocker = dir.filePath("blocker");
        writeRaw(blocker, "x");
        FilePaths bad = paths;
        bad.settings = blocker + QStringLiteral("/LumoEdit.ini");
        bad.textTagList = blocker + QStringLiteral("/a.txt");
        bad.tagSetList = blocker + QStringLiteral("/b.txt");
        widgets::MessageRecorder recorder;
        TLumoMainForm form(bad);
        form.show();
        QVERIFY(form.close());
        QVERIFY(!form.isVisible());
        QCOMPARE(recorder.messages.size(), 1);
    }

    // Unzipped into Program Files or onto a read-only share: nothing is said
    // at start; the close tells once which files were lost and still closes;
    // the "CAD" dialog's writes say so too.
    void readOnlyFolderIsToldAtCloseOnly()
    {
        QTemporaryDir scratch;
        ReadOnlyFolder folder(scratch.filePath(QStringLiteral("LumoEdit")));
        FilePaths ro;
        ro.settings = folder.file(QStringLiteral("lumoedit.ini"));
        ro.targetCadList = folder.file(QStringLiteral("TargetCAD_APIVersion.txt"));
        ro.textTagList = folder.file(QStringLiteral("LumoEditTagList.txt"));
        ro.tagSetList = folder.file(QStringLiteral("LumoEdit2ATagList.txt"));
        widgets::MessageRecorder recorder;
        {
            TLumoMainForm form(ro);
            form.show();
            QVERIFY(recorder.messages.isEmpty());

            form.TargetCADForm->Edit1->setText(QStringLiteral("AutoCAD"));
            form.TargetCADForm->Edit2->setText(QStringLiteral("AutoCAD.Application"));
            form.TargetCADForm->SpeedButton1Click(); // "追加"
            QCOMPARE(recorder.messages.size(), 1);
            const QString dialogText = recorder.messages[0].text;
            QVERIFY2(dialogText.contains(QDir::toNativeSeparators(ro.targetCadList)), qPrintable(dialogText));
            QVERIFY2(dialogText.contains(QStringLiteral("ターゲット CAD の一覧の変更は")), qPrintable(dialogText));
            recorder.messages.clear();

            QVERIFY(form.close());
            QVERIFY(!form.isVisible());
        }
        QCOMPARE(recorder.messages.size(), 1); // once, though the window was destroyed after the close
        const widgets::Message &m = recorder.messages[0];
        QCOMPARE(int(m.kind), int(widgets::MessageKind::Warning));
        for (const QString &path : {ro.settings, ro.textTagList, ro.tagSetList})
            QVERIFY2(m.text.contains(QDir::toNativeSeparators(path)), qPrintable(m.text));
        QVERIFY2(m.text.contains(QStringLiteral("設定")) && m.text.contains(QStringLiteral("とタグリストの変更は失われます")),
                 qPrintable(m.text));
        QVERIFY2(m.text.contains(QStringLiteral("書き込みのできる場所")), qPrintable(m.text));
    }

#ifdef LUMO_RELEASE_STAGE
    // The zip ships the tag lists the packaging tool wrote; they must be byte
    // for byte what the window writes at its first close on a Japanese Windows.
    void shippedTagListsAreWhatTheFirstCloseWrites()
    {
        setLegacyCodePage(QStringLiteral("Shift_JIS"));
        {
            TLumoMainForm form(paths);
            form.close();
        }
        setLegacyCodePage(QString());
        const QString stage = QStringLiteral(LUMO_RELEASE_STAGE);
        for (const QString &name : {kTextTagListFile, kTagSetListFile}) {
            const QByteArray shipped = readRaw(stage + QLatin1Char('/') + name);
            QVERIFY2(!shipped.isEmpty(), qPrintable(name));
            QCOMPARE(readRaw(dir.filePath(name)), shipped);
        }
    }
#endif

    void aboutBox()
    {
        widgets::MessageRecorder recorder;
        TLumoMainForm form(paths);
        form.N25->trigger();
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(int(recorder.messages[0].kind), int(widgets::MessageKind::Information));
        QVERIFY(recorder.messages[0].text.contains("LumoEdit"));
        QVERIFY(recorder.messages[0].text.contains("2Ia"));
        QVERIFY(recorder.messages[0].text.contains("2024.12.27"));
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
