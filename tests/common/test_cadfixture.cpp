// The test CAD with several drawings, on the road of the run: what a test
// builds in drawing(i) is what the tool finds in that drawing, the active
// drawing is the CAD's ActiveDocument, and each drawing keeps its own
// handles, undo history and picks.

#include "common/cadfixture.h"
#include "common/testmain.h"
#include "cad/connection.h"

#include <QDir>
#include <QTest>

namespace {

QString nameOf(const cad::Document &doc)
{
    return doc.object()->get(QStringLiteral("Name")).toString();
}

QString fullNameOf(const cad::Document &doc)
{
    return doc.object()->get(QStringLiteral("FullName")).toString();
}

cad::Document documentAt(int index)
{
    const cad::Object documents = cad::toObject(cad::AttachCad().object()->get(QStringLiteral("Documents")));
    return cad::Document(cad::toObject(documents->call(QStringLiteral("Item"), {index})));
}

} // namespace

class TestCadFixture : public QObject {
    Q_OBJECT

private slots:
    void drawingsOpenActivateAndClose()
    {
        testing::CadFixture cad;
        QCOMPARE(cad.drawingCount(), 1);
        QCOMPARE(cad.activeDrawing(), 0);
        const QString zero = cad.drawing().addText(QStringLiteral("0"), QStringLiteral("ZERO"), {0, 0, 0});

        QCOMPARE(cad.openDrawing(), 1);
        QCOMPARE(cad.activeDrawing(), 1);
        QCOMPARE(cad.drawingCount(), 2);
        // Handles count from the same seed in every new drawing.
        const QString one = cad.drawing().addText(QStringLiteral("0"), QStringLiteral("ONE"), {0, 0, 0});
        QCOMPARE(one, zero);
        cad.clearUndoHistory();

        cad::Document active = cad::AttachCad().activeDocument();
        QCOMPARE(nameOf(active), QStringLiteral("Drawing2.dwg"));
        QCOMPARE(fullNameOf(active), QString());
        QCOMPARE(nameOf(documentAt(0)), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(fullNameOf(documentAt(0)), QString());
        active.handleToObject(one).setTextString(QStringLiteral("ONE+"));
        QCOMPARE(cad.text(one), QStringLiteral("ONE+"));
        QCOMPARE(cad.drawing(0).find(zero)->text, QStringLiteral("ZERO"));
        QCOMPARE(cad.undoGroupCount(), 1);

        const QString path = QDir::tempPath() + QStringLiteral("/制御盤.dwg");
        QCOMPARE(cad.openDrawing(path), 2);
        active = cad::AttachCad().activeDocument();
        QCOMPARE(nameOf(active), QStringLiteral("制御盤.dwg"));
        QCOMPARE(fullNameOf(active), path);
        QCOMPARE(active.blockCount(), 2); // model and paper space only: the new drawing is empty

        // Activating: the CAD's ActiveDocument follows; picks, undo and sets
        // work on the drawing in front.
        cad.activateDrawing(0);
        QCOMPARE(cad.activeDrawing(), 0);
        cad.clearUndoHistory();
        QCOMPARE(cad.undoGroupCount(), 0);
        active = cad::AttachCad().activeDocument();
        QCOMPARE(nameOf(active), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(cad.text(zero), QStringLiteral("ZERO"));
        cad.queuePick({zero});
        cad::SelectionSet set = active.addSelectionSet(QStringLiteral("PICKED"));
        set.selectOnScreen({}, {});
        QCOMPARE(set.count(), 1);
        QCOMPARE(set.item(0).textString(), QStringLiteral("ZERO"));
        QCOMPARE(cad.selectionSetCount(), 1);
        active.handleToObject(zero).setTextString(QStringLiteral("ZERO+"));
        QVERIFY(cad.undo());
        QCOMPARE(cad.text(zero), QStringLiteral("ZERO"));
        QCOMPARE(cad.drawing(1).find(one)->text, QStringLiteral("ONE+"));

        // A drawing changed while another is in front reaches the CAD too.
        cad.drawing(1).addText(QStringLiteral("0"), QStringLiteral("LATE"), {5, 5, 0});
        QCOMPARE(documentAt(1).block(0).count(), 2);
        QCOMPARE(cad.activeDrawing(), 0);

        // Closing moves the later drawings down.
        cad.closeDrawing(1);
        QCOMPARE(cad.drawingCount(), 2);
        QCOMPARE(cad.activeDrawing(), 0);
        QCOMPARE(nameOf(documentAt(1)), QStringLiteral("制御盤.dwg"));
        QCOMPARE(cad.drawing(1).modelSpaceCount(), 0);
        cad.closeDrawing(0);
        QCOMPARE(cad.drawingCount(), 1);
        QCOMPARE(cad.activeDrawing(), 0);
        QCOMPARE(nameOf(cad::AttachCad().activeDocument()), QStringLiteral("制御盤.dwg"));
    }

    void aNewFixtureStartsWithOneDrawingAgain()
    {
        // The host lives on between tests; the fixture starts it afresh.
        testing::CadFixture cad;
        cad.drawing().addText(QStringLiteral("0"), QStringLiteral("A"), {0, 0, 0});
        QCOMPARE(cad.drawingCount(), 1);
        const cad::Document doc = cad::AttachCad().activeDocument();
        QCOMPARE(nameOf(doc), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(cad::toObject(cad::AttachCad().object()->get(QStringLiteral("Documents")))
                     ->get(QStringLiteral("Count")).toInt(), 1);
        QCOMPARE(cad.openDrawing(), 1);
        QCOMPARE(nameOf(cad::AttachCad().activeDocument()), QStringLiteral("Drawing2.dwg"));
    }
};

LUMO_GUILESS_SUITE_MAIN(TestCadFixture)
#include "test_cadfixture.moc"
