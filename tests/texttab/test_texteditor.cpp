// The editor's tracking, status display, undo and clipboard commands.

#include "../common/cadfixture.h"
#include "../common/testmain.h"
#include "../common/formfixture.h"
#include "cad/tracking.h"
#include "texttab/lumo.h"
#include "widgets/lineeditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumo;
using testing::CadFixture;
using testing::FormFixture;

class TestTextEditor : public QObject {
    Q_OBJECT

    void snapshotOfThree(FormFixture &form)
    {
        textArray.clear();
        for (int i = 0; i < 3; ++i) {
            Lumo e;
            e.sHnd = QString::number(i + 1);
            e.insPt = {10, 100.0 - 10 * i, 0};
            textArray << e;
        }
        form->SynEdit1->setLines({"a", "b", "c", "d", "e"});
        form->Edit1->setText("10");
        form->Edit2->setText("-5");
        form->CheckBox9->setChecked(true);
    }

    void caretTo(FormFixture &form, int line)
    {
        QTextCursor c(form->SynEdit1->document()->findBlockByNumber(line - 1));
        form->SynEdit1->setTextCursor(c);
    }

    void track(FormFixture &form, int line)
    {
        caretTo(form, line);
        form->SynEdit1Click();
    }

private Q_SLOTS:
    void init() { textArray.clear(); }

    void markerGeometry()
    {
        const cad::Marker m = cad::markerFor(1000, 600, 3, false, 0.05);
        QCOMPARE(QPoint(m.tipX, m.tipY), QPoint(500, 300));
        QCOMPARE(QPoint(m.upperX, m.upperY), QPoint(450, 275));
        QCOMPARE(QPoint(m.lowerX, m.lowerY), QPoint(450, 325));
        QCOMPARE(m.colour, QColor(255, 100, 100));
    }

    void trackingBeyondTheSnapshot()
    {
        CadFixture cad;
        FormFixture form;
        cad.giveWindows();
        snapshotOfThree(form);
        track(form, 5);
        QCOMPARE(cad.drawing().viewCenter().x, 30.0);
        QCOMPARE(cad.drawing().viewCenter().y, 70.0);
        QCOMPARE(cad.calls("ZoomCenter"), 2);
        const qsizetype firstMarkers = cad.windows.markers.size();
        const QString firstLastCall = cad.windows.calls.value(cad.windows.calls.size() - 1);
        // The same line again tracks nothing.
        track(form, 5);
        QCOMPARE(cad.calls("ZoomCenter"), 2);
        track(form, 2);
        QCOMPARE(cad.drawing().viewCenter().y, 90.0);
        // The marker goes on the CAD's document window.
        const cad::WindowHandle window = cad.documentWindow();
        if (window == 0)
            QSKIP("this CAD has no window ids to mark (minicad has them only on X11; the test host runs offscreen)");
        QCOMPARE(firstMarkers, 1);
        QCOMPARE(firstLastCall, QStringLiteral("DrawMarker(%1)").arg(window));
    }

    void noTrackingInAttributeModeOrWithPanOff()
    {
        CadFixture cad;
        FormFixture form;
        snapshotOfThree(form);
        form->ATTmode = true;
        track(form, 5);
        QCOMPARE(cad.calls("ZoomCenter"), 0);
        QCOMPARE(form->CaretY_Old, 5);
        form->ATTmode = false;
        form->CheckBox9->setChecked(false);
        track(form, 4);
        QCOMPARE(cad.calls("ZoomCenter"), 0);
    }

    void badStepShowsTheErrorAndKeepsTheLine()
    {
        CadFixture cad;
        FormFixture form;
        snapshotOfThree(form);
        form->Edit1->setText("abc");
        track(form, 5);
        QCOMPARE(form.messages.messages.size(), 1);
        QCOMPARE(form->CaretY_Old, 0);
    }

    void statusDisplay()
    {
        CadFixture cad;
        FormFixture form;
        snapshotOfThree(form);
        form->SynEdit1->setLines({"a", "b", "c", "d", "e", "", ""});
        caretTo(form, 5);
        form->Timer1Timer();
        QCOMPARE(form->Label1->text(), QStringLiteral("取得データ数 = 5"));
        QCOMPARE(form->statusPanel(0), QStringLiteral("Row = 5 / 5 Col= 1"));
        QCOMPARE(form->statusPanel(1), QStringLiteral("selRows = 0"));
        QCOMPARE(form->SynEdit1->backgroundColour(), QColor(0xDD, 0xFF, 0xFD));
        form->ATTmode = true;
        form->Timer1Timer();
        QCOMPARE(form->SynEdit1->backgroundColour(), QColor(0xFF, 0xFF, 0x00));
        QCOMPARE(form->Label1->text(), QStringLiteral("取得データ数 = 3"));
        caretTo(form, 3);
        form->Timer1Timer();
        QCOMPARE(form->SynEdit1->backgroundColour(), QApplication::palette().color(QPalette::Base));
        // Other tabs keep what they wrote.
        form->PageControl1->setCurrentIndex(1);
        form->setStatusPanel(0, "grid");
        form->Timer1Timer();
        QCOMPARE(form->statusPanel(0), QStringLiteral("grid"));
    }

    void selectedLineCount_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("rows");
        QTest::newRow("nothing") << "" << 0;
        QTest::newRow("inside one line") << "bc" << 1;
        QTest::newRow("ends at a line start") << "a\nb\n" << 2;
        QTest::newRow("ends inside a line") << "a\nb\nc" << 3;
    }
    void selectedLineCount()
    {
        QFETCH(QString, selected);
        QFETCH(int, rows);
        QCOMPARE(lumo::selectedLineCount(selected), rows);
    }

    void undoIsTwoStaged()
    {
        FormFixture form;
        form->SynEdit1->setLines({"before"});
        form->UndoMark(true);
        form->SynEdit1->setLines({"after tool"});
        QVERIFY(form->SpeedButton4->isEnabled());
        form->SynEdit1->setFocus();
        form->SynEdit1->moveCursor(QTextCursor::End);
        QTest::keyClicks(form->SynEdit1, "xy");
        QCOMPARE(form->SynEdit1->lines(), QStringList{"after toolxy"});
        form->SpeedButton4Click();
        QCOMPARE(form->SynEdit1->lines(), QStringList{"after tool"});
        form->SpeedButton4Click();
        QCOMPARE(form->SynEdit1->lines(), QStringList{"before"});
        QVERIFY(!form->SpeedButton4->isEnabled());
        QVERIFY(!form->undoFlag);
    }

    void clearCutCopyPaste()
    {
        FormFixture form;
        form->N20Click(); // clearing an empty editor still saves a mark
        QVERIFY(form->undoFlag);
        QVERIFY(form->SpeedButton4->isEnabled());

        form->UndoMark(false);
        form->SynEdit1->setLines({"abc", "def"});
        QApplication::clipboard()->setText("stale");
        form->N11Click(); // nothing selected: an empty text
        QCOMPARE(QApplication::clipboard()->text(), QString());

        QTextCursor c = form->SynEdit1->textCursor();
        c.setPosition(1);
        c.setPosition(6, QTextCursor::KeepAnchor);
        form->SynEdit1->setTextCursor(c);
        bool cancel = false;
        form->SynEdit1KeyPress(QChar(24), Qt::ControlModifier, &cancel);
        QVERIFY(cancel);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("bc\nde"));
        QCOMPARE(form->SynEdit1->lines(), QStringList{"af"});
        QVERIFY(!form->undoFlag); // cut sets no mark; the editor's own undo brings it back
        QVERIFY(form->SynEdit1->canUndo());

        form->N12Click();
        QVERIFY(form->undoFlag);
        QCOMPARE(form->SynEdit1->lines(), (QStringList{"abc", "def"}));
    }

    void popupEnablingRule()
    {
        FormFixture form;
        form->PopupMenu1Popup();
        for (QAction *a : {form->N1, form->N4, form->N7, form->N14, form->N2, form->N5, form->N8, form->N10,
                           form->N11, form->N15})
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        for (QAction *a : {form->N20, form->N12, form->N28, form->N17, form->N39, form->N40, form->N25})
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));
        form->SynEdit1->setLines({"x"});
        form->PopupMenu1Popup();
        QVERIFY(form->N1->isEnabled());
        QVERIFY(!form->N2->isEnabled());
        form->SynEdit1->selectAll();
        form->PopupMenu1Popup();
        QVERIFY(form->N2->isEnabled());
        QVERIFY(form->N10->isEnabled());
    }
};

LUMO_SUITE_MAIN(TestTextEditor)
#include "test_texteditor.moc"
