// The target CAD dialog: its list file, the selection rules and the fields.

#include "cad/connection.h"
#include "app/targetcadform.h"
#include "taglists/textfile.h"
#include "widgets/messagebox.h"

#include <QLineEdit>
#include <QScreen>
#include <QListWidget>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace lumo;

class TestTargetCadForm : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("TargetCAD_APIVersion.txt")); }
    void writeList(const QStringList &lines) { QVERIFY(writeTextFile(path(), lines, TextEncoding::Utf8Bom)); }
    QStringList fileLines()
    {
        TextFile f;
        if (!readTextFile(path(), f))
            return {QStringLiteral("<unreadable>")};
        return f.lines;
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(path());
        cad::targetProgID() = cad::kDefaultProgID;
    }
    void cleanup() { setLegacyCodePage(QString()); }

    void centredOnTheScreenNotOnTheOwner()
    {
        QWidget owner;
        owner.setGeometry(10, 10, 328, 320);
        owner.show();
        TTargetCADForm form(path(), &owner);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QPoint offset = form.frameGeometry().center() - owner.screen()->availableGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1, %2").arg(offset.x()).arg(offset.y())));
        form.hide();
    }

    void captionNameBySubstring()
    {
        writeList({"Other\tAutoCAD.Application.24", "BricsCAD V23\tBricscadApp.AcadApplication.23"});
        QCOMPARE(TTargetCADForm::captionNameFor(path(), cad::kDefaultProgID), QStringLiteral("BricsCAD V23"));
        QVERIFY(TTargetCADForm::captionNameFor(path(), QStringLiteral("Missing.App")).isNull());
        QVERIFY(TTargetCADForm::captionNameFor(dir.filePath("none.txt"), cad::kDefaultProgID).isNull());
    }

    void showSelectsFirstSortedMatch()
    {
        writeList({"b\tBricscadApp.AcadApplication.23", "a\tBricscadApp.AcadApplication", "c\tOther"});
        TTargetCADForm form(path());
        form.FormShow();
        QCOMPARE(form.entries(), (QStringList{"a\tBricscadApp.AcadApplication", "b\tBricscadApp.AcadApplication.23",
                                              "c\tOther"}));
        QCOMPARE(form.selectedIndex(), 0);
        QCOMPARE(form.nameField(), QStringLiteral("a"));
        QCOMPARE(form.progIdField(), QStringLiteral("BricscadApp.AcadApplication"));
    }

    void lineWithoutTabIsAllProgId()
    {
        writeList({"JustAProgID", "n\tBricscadApp.AcadApplication\textra"});
        TTargetCADForm form(path());
        form.FormShow();
        QCOMPARE(form.progIdField(), QStringLiteral("BricscadApp.AcadApplication\textra"));
        form.ListBox1->setCurrentRow(0);
        form.ListBox1Click();
        QCOMPARE(form.nameField(), QString());
        QCOMPARE(form.progIdField(), QStringLiteral("JustAProgID"));
    }

    void addDuplicateSelectsFirstEqual()
    {
        writeList({"A\tx.y"});
        TTargetCADForm form(path());
        form.FormShow();
        form.Edit1->setText("a");
        form.Edit2->setText("X.Y");
        form.SpeedButton1Click();
        QCOMPARE(form.entries().size(), 2);
        QCOMPARE(form.selectedIndex(), 0);
        QCOMPARE(fileLines().size(), 2);
    }

    void deleteSelectsNeighbour_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("selected");
        QTest::newRow("second of three selects the first") << 3 << 1 << 0;
        QTest::newRow("first of three selects the new first") << 3 << 0 << 0;
        QTest::newRow("last of three selects the one above") << 3 << 2 << 1;
        QTest::newRow("only entry selects none") << 1 << 0 << -1;
    }
    void deleteSelectsNeighbour()
    {
        QFETCH(int, count);
        QFETCH(int, removed);
        QFETCH(int, selected);
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << QStringLiteral("n%1\tP.%1").arg(i);
        writeList(lines);
        TTargetCADForm form(path());
        form.FormShow();
        form.ListBox1->setCurrentRow(removed);
        form.SpeedButton2Click();
        QCOMPARE(form.entries().size(), count - 1);
        QCOMPARE(form.selectedIndex(), selected);
        QCOMPARE(fileLines(), form.entries());
        if (selected < 0) {
            QCOMPARE(form.nameField(), QString());
            QCOMPARE(QFileInfo(path()).size(), 3); // only the mark is left
        }
    }

    void changeKeepsPosition()
    {
        writeList({"a\t1", "b\t2", "c\t3"});
        TTargetCADForm form(path());
        form.FormShow();
        form.ListBox1->setCurrentRow(0);
        form.ListBox1Click();
        form.Edit1->setText("z");
        QTest::keyClick(form.Edit1, Qt::Key_Return); // Enter does "変更"
        QCOMPARE(form.entries(), (QStringList{"z\t1", "b\t2", "c\t3"}));
        QCOMPARE(fileLines(), form.entries());
        TTargetCADForm again(path());
        again.FormShow();
        QCOMPARE(again.entries(), (QStringList{"b\t2", "c\t3", "z\t1"}));
    }

    // A list copied from a Windows machine, under a UTF-8 locale.
    void shiftJisListKeepsItsBytes()
    {
        setLegacyCodePage(QStringLiteral("UTF-8"));
        auto sjis = [](const QString &text) { return QByteArray(QStringEncoder("Shift_JIS").encode(text)); };
        const auto writeRaw = [this](const QByteArray &bytes) {
            QFile f(path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        const auto readRaw = [this] {
            QFile f(path());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        writeRaw(sjis(QStringLiteral("図面CAD\tBricscadApp.AcadApplication\r\n")));
        QCOMPARE(TTargetCADForm::captionNameFor(path(), cad::kDefaultProgID), QStringLiteral("図面CAD"));
        {
            TTargetCADForm form(path());
            form.FormShow();
            QCOMPARE(form.nameField(), QStringLiteral("図面CAD"));
            form.Edit1->setText(QStringLiteral("線番CAD"));
            form.Edit2->setText(QStringLiteral("Other.App"));
            form.SpeedButton1Click();
            QCOMPARE(readRaw(), sjis(QStringLiteral("図面CAD\tBricscadApp.AcadApplication\r\n線番CAD\tOther.App\r\n")));
        }
        // Bytes no encoding reads: told once, and no command replaces the file.
        const QByteArray broken("\x85\x40\tBricscadApp.AcadApplication\r\n");
        writeRaw(broken);
        widgets::MessageRecorder messages;
        TTargetCADForm::captionNameFor(path(), cad::kDefaultProgID);
        TTargetCADForm form(path());
        form.FormShow();
        QCOMPARE(messages.messages.size(), 1);
        QVERIFY(messages.messages[0].text.startsWith(path() + QStringLiteral("\nを読み込めませんでした")));
        form.SpeedButton3Click();
        form.SpeedButton2Click();
        QCOMPARE(messages.messages.size(), 3); // each refused write is reported
        QCOMPARE(readRaw(), broken);
    }

    void missingFileKeepsPreviousContents()
    {
        writeList({"a\t1"});
        TTargetCADForm form(path());
        form.FormShow();
        QFile::remove(path());
        form.FormShow();
        QCOMPARE(form.entries(), QStringList{"a\t1"});
    }
};

QTEST_MAIN(TestTargetCadForm)
#include "test_targetcadform.moc"
