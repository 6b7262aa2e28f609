// Several drawings open at once, through the automation objects: the
// Documents collection, names, the active drawing, and objects that keep
// addressing their own drawing.

#include "protocol/automation.h"
#include "minicad/automation/application.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace minicad;

namespace {

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const cad::AutomationError &e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

cad::Object obj(const QVariant &v)
{
    return cad::toObject(v);
}

QString nameOf(const cad::Object &doc)
{
    return doc->get(QStringLiteral("Name")).toString();
}

} // namespace

class TestDocuments : public QObject {
    Q_OBJECT

    std::shared_ptr<Session> session;
    cad::Object app;
    cad::Object documents;

private slots:
    void init()
    {
        session = std::make_shared<Session>();
        session->add();
        app = makeApplication(session);
        documents = obj(app->get(QStringLiteral("Documents")));
    }

    void collectionNamesAndClosing()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("panel.json"));
        Drawing saved;
        saved.addText(QStringLiteral("0"), QStringLiteral("IN FILE"), {0, 0, 0});
        saved.saveFile(file);

        const cad::Object first = obj(app->get(QStringLiteral("ActiveDocument")));
        QCOMPARE(nameOf(first), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(first->get(QStringLiteral("FullName")).toString(), QString());
        const cad::Object added = obj(documents->call(QStringLiteral("Add")));
        QCOMPARE(nameOf(added), QStringLiteral("Drawing2.dwg"));
        const cad::Object opened = obj(documents->call(QStringLiteral("Open"), {file}));
        QCOMPARE(nameOf(opened), QStringLiteral("panel.json"));
        QCOMPARE(opened->get(QStringLiteral("FullName")).toString(), file);
        QCOMPARE(obj(opened->get(QStringLiteral("ModelSpace")))->get(QStringLiteral("Count")).toInt(), 1);
        QCOMPARE(documents->get(QStringLiteral("Count")).toInt(), 3);
        QVERIFY(opened->get(QStringLiteral("Active")).toBool());
        QVERIFY(!first->get(QStringLiteral("Active")).toBool());

        // Item takes an index from 0 or a name, letter case ignored.
        QCOMPARE(nameOf(obj(documents->call(QStringLiteral("Item"), {0}))), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(nameOf(obj(documents->call(QStringLiteral("Item"), {QStringLiteral("DRAWING2.DWG")}))),
                 QStringLiteral("Drawing2.dwg"));
        QCOMPARE(errorOf([&] { documents->call(QStringLiteral("Item"), {3}); }), QStringLiteral("Invalid index"));
        QCOMPARE(errorOf([&] { documents->call(QStringLiteral("Item"), {QStringLiteral("nope.dwg")}); }),
                 QStringLiteral("Key not found"));
        QVERIFY(errorOf([&] { documents->call(QStringLiteral("Open"), {dir.filePath(QStringLiteral("no.json"))}); })
                    != QStringLiteral("<no error>"));
        QCOMPARE(documents->get(QStringLiteral("Count")).toInt(), 3);

        // Closing the active drawing activates another; its objects are cut
        // off, entities too, while the others serve on.
        const cad::Object space = obj(opened->get(QStringLiteral("ModelSpace")));
        const cad::Object entity = obj(space->call(QStringLiteral("Item"), {0}));
        opened->call(QStringLiteral("Close"), {false});
        QCOMPARE(documents->get(QStringLiteral("Count")).toInt(), 2);
        QCOMPARE(nameOf(obj(app->get(QStringLiteral("ActiveDocument")))), QStringLiteral("Drawing2.dwg"));
        for (const auto &use : std::initializer_list<std::function<void()>>{
                 [&] { nameOf(opened); }, [&] { entity->get(QStringLiteral("TextString")); },
                 [&] { space->get(QStringLiteral("Count")); }})
            QVERIFY(errorOf(use).contains(QLatin1String("disconnected")));
        QCOMPARE(nameOf(first), QStringLiteral("Drawing1.dwg"));

        // A drawing never saved keeps its number; new ones count on.
        first->call(QStringLiteral("Close"));
        QCOMPARE(nameOf(obj(documents->call(QStringLiteral("Add")))), QStringLiteral("Drawing3.dwg"));

        // Close with SaveChanges and a name writes the drawing first.
        const QString target = dir.filePath(QStringLiteral("kept.json"));
        added->call(QStringLiteral("Close"), {true, target});
        QVERIFY(QFile::exists(target));
        documents->call(QStringLiteral("Close"));
        QCOMPARE(documents->get(QStringLiteral("Count")).toInt(), 0);
        QVERIFY(errorOf([&] { app->get(QStringLiteral("ActiveDocument")); }).contains(QLatin1String("No document")));
    }

    void documentKeepsAddressingItsDrawing()
    {
        const cad::Object first = obj(app->get(QStringLiteral("ActiveDocument")));
        const QString h0 = session->drawing(0)->addText(QStringLiteral("0"), QStringLiteral("ZERO"), {0, 0, 0});
        const cad::Object second = obj(documents->call(QStringLiteral("Add")));
        const QString h1 = session->drawing(1)->addText(QStringLiteral("0"), QStringLiteral("ONE"), {0, 0, 0});
        // Handles are unique only inside a drawing.
        QCOMPARE(h0, h1);

        // The earlier document still reads and writes drawing 0, and its
        // undo history and selection sets are its own.
        const auto text = [](const cad::Object &doc, const QString &h) {
            return obj(doc->call(QStringLiteral("HandleToObject"), {h}));
        };
        second->call(QStringLiteral("StartUndoMark"));
        text(second, h1)->put(QStringLiteral("TextString"), QStringLiteral("ONE+"));
        second->call(QStringLiteral("EndUndoMark"));
        text(first, h0)->put(QStringLiteral("TextString"), QStringLiteral("ZERO+"));
        QCOMPARE(session->drawing(0)->find(h0)->text, QStringLiteral("ZERO+"));
        QCOMPARE(session->drawing(1)->find(h1)->text, QStringLiteral("ONE+"));
        QVERIFY(session->drawing(1)->undo());
        QCOMPARE(session->drawing(1)->find(h1)->text, QStringLiteral("ONE"));
        QCOMPARE(session->drawing(0)->find(h0)->text, QStringLiteral("ZERO+"));

        obj(first->get(QStringLiteral("SelectionSets")))->call(QStringLiteral("Add"), {QStringLiteral("SS")});
        obj(second->get(QStringLiteral("SelectionSets")))->call(QStringLiteral("Add"), {QStringLiteral("SS")});
        QCOMPARE(session->drawing(0)->selectionSetCount(), 1);
        QCOMPARE(session->drawing(1)->selectionSetCount(), 1);

        // Putting ActiveDocument activates, as does Activate.
        app->put(QStringLiteral("ActiveDocument"), cad::fromObject(first));
        QCOMPARE(session->activeIndex(), 0);
        second->call(QStringLiteral("Activate"));
        QCOMPARE(session->activeIndex(), 1);
        app->call(QStringLiteral("ZoomCenter"), {cad::fromPoint({7, 8, 0}), 12.0});
        QCOMPARE(session->drawing(1)->viewSize(), 12.0);
        QVERIFY(session->drawing(0)->viewSize() != 12.0);
    }

    void pickHappensInTheActiveDrawing()
    {
        const cad::Object first = obj(app->get(QStringLiteral("ActiveDocument")));
        const QString h = session->drawing(0)->addText(QStringLiteral("0"), QStringLiteral("ZERO"), {0, 0, 0});
        const cad::Object second = obj(documents->call(QStringLiteral("Add")));
        session->drawing(1)->addText(QStringLiteral("0"), QStringLiteral("ONE"), {0, 0, 0});
        const auto setOf = [](const cad::Object &doc) {
            return obj(obj(doc->get(QStringLiteral("SelectionSets")))->call(QStringLiteral("Add"), {QStringLiteral("P")}));
        };
        const cad::Object inFirst = setOf(first), inSecond = setOf(second);

        // Drawing 0 is not in front: the user cannot pick in it.
        session->queuePick({h});
        QVERIFY(errorOf([&] { inFirst->call(QStringLiteral("SelectOnScreen")); }).startsWith(QLatin1String("*Cancel*")));
        QCOMPARE(session->queuedPickCount(), 1); // the answer waits for a pick that can happen

        inSecond->call(QStringLiteral("SelectOnScreen"));
        QCOMPARE(inSecond->get(QStringLiteral("Count")).toInt(), 1);
        QCOMPARE(obj(inSecond->call(QStringLiteral("Item"), {0}))->get(QStringLiteral("TextString")).toString(),
                 QStringLiteral("ONE"));

        // While a pick waits, the drawing in front stays there.
        session->setWaitForPick(true);
        QTimer::singleShot(0, this, [&] {
            QVERIFY(session->pickPending());
            QVERIFY(errorOf([&] { first->call(QStringLiteral("Activate")); }).startsWith(QLatin1String("Busy")));
            session->queuePick({h});
        });
        inSecond->call(QStringLiteral("Clear"));
        inSecond->call(QStringLiteral("SelectOnScreen"));
        QCOMPARE(session->activeIndex(), 1);
        QCOMPARE(inSecond->get(QStringLiteral("Count")).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDocuments)
#include "tst_documents.moc"
