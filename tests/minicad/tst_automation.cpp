// The automation objects driven the way lumoedit drives them: through the
// typed facade and the connection steps, over the in-process table.

#include "cad/connection.h"
#include "minicad/automation/application.h"

#include <QJsonObject>
#include <QtTest>

using namespace minicad;

namespace {

const QString kProgId = QStringLiteral("Minicad.Test");

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const cad::AutomationError &e) {
        return e.message();
    }
    return {};
}

QJsonObject content(const Drawing &d)
{
    QJsonObject o = d.toJson().object();
    o.remove(QStringLiteral("handseed"));
    o.remove(QStringLiteral("erased")); // an undone copy leaves its handle erased: history, not content
    return o;
}

struct Fixture {
    std::shared_ptr<Drawing> d = std::make_shared<Drawing>();
    std::shared_ptr<Session> host = Session::with(d);
    cad::InProcessRunningObjects objects;
    cad::RecordingWindowOps windows;
    QString t1, t2, t3, lockedText, relay, relayLocked;

    Fixture()
    {
        d->addLayer(QStringLiteral("A"));
        d->addLayer(QStringLiteral("AB"));
        t1 = d->addText(QStringLiteral("A"), QStringLiteral("R1"), {0, 20, 0});
        t2 = d->addText(QStringLiteral("A"), QStringLiteral("R2"), {0, 10, 0}, 2, {30, 10, 0});
        t3 = d->addText(QStringLiteral("0"), QStringLiteral("X3"), {0, 0, 0});
        lockedText = d->addText(QStringLiteral("AB"), QStringLiteral("R9"), {0, 40, 0});
        d->addBlockDefinition(QStringLiteral("RELAY"),
                              {attributeDefinition(QStringLiteral("NAME"), QStringLiteral("機器名"), QStringLiteral("RY")),
                               attributeDefinition(QStringLiteral("SPEC"), QStringLiteral("仕様"), QString())});
        relay = d->addBlockReference(QStringLiteral("A"), QStringLiteral("RELAY"), {100, 0, 0},
                                     {{QStringLiteral("NAME"), QStringLiteral("RY1")}});
        relayLocked = d->addBlockReference(QStringLiteral("AB"), QStringLiteral("RELAY"), {200, 0, 0});
        d->setLayerLocked(QStringLiteral("AB"), true);
        d->clearUndoHistory();
        objects.publish(kProgId, makeApplication(host));
        cad::setPlatform(&objects, &windows);
        cad::targetProgID() = kProgId;
    }
    ~Fixture() { cad::setPlatform(nullptr, nullptr); }

    cad::Application app() { return cad::AttachCad(); }
    cad::Document doc() { return app().activeDocument(); }
    cad::Object raw(const QString &what)
    {
        const cad::Document document = doc();
        if (what == QLatin1String("app"))
            return app().object();
        if (what == QLatin1String("doc"))
            return document.object();
        if (what == QLatin1String("text"))
            return document.handleToObject(t1).object();
        if (what == QLatin1String("insert"))
            return document.handleToObject(relay).object();
        if (what == QLatin1String("attribute"))
            return document.handleToObject(relay).getAttributes().at(0).object();
        if (what == QLatin1String("layers"))
            return cad::toObject(document.object()->get(QStringLiteral("Layers")));
        if (what == QLatin1String("sets")) {
            document.addSelectionSet(QStringLiteral("S"));
            return cad::toObject(document.object()->get(QStringLiteral("SelectionSets")));
        }
        if (what == QLatin1String("set"))
            return document.addSelectionSet(QStringLiteral("S")).object();
        if (what == QLatin1String("blocks"))
            return cad::toObject(document.object()->get(QStringLiteral("Blocks")));
        return {};
    }
};

} // namespace

class TestAutomation : public QObject {
    Q_OBJECT
private slots:
    void attachAndLockedLayerList();
    void tempSelectionSetReusesLowerCaseSet();
    void tempSelectionSetIsAddedAndDeleted();
    void pickEditAndUndoThroughTheFacade();
    void cancelledPickLeavesTheSetEmpty();
    void selectAllWithFilters();
    void attributesAndBlockDefinitions();
    void viewVariablesAndWindows();
    void erasedObjectsFailCleanly();
    void memberNamesIgnoreCase();
    void memberLookupByName_data();
    void memberLookupByName();
    void errors_data();
    void errors();
    void tenThousandTextsReadQuickly();
};

void TestAutomation::attachAndLockedLayerList()
{
    Fixture f;
    QVERIFY(cad::IsCadRunning());
    const cad::Document doc = f.doc();
    QCOMPARE(doc.layerCount(), 3);
    const QString list = cad::LockedLayerList(doc);
    QCOMPARE(list, QStringLiteral("\tAB\t"));
    QVERIFY(cad::IsLayerLocked(list, QStringLiteral("AB")));
    QVERIFY(!cad::IsLayerLocked(list, QStringLiteral("A")));
    f.d->setLayerLocked(QStringLiteral("AB"), false);
    QCOMPARE(cad::LockedLayerList(doc), QStringLiteral("\t"));
}

void TestAutomation::tempSelectionSetReusesLowerCaseSet()
{
    Fixture f;
    const quint64 old = f.d->addSelectionSet(QStringLiteral("sstemp"));
    f.d->selectAll(old, {});
    cad::Document doc = f.doc();
    cad::SelectionSet set = cad::GetTempSelectionSet(doc);
    QVERIFY(!set.isNull());
    QCOMPARE(set.name(), QStringLiteral("sstemp"));
    QCOMPARE(set.count(), 0);
    QCOMPARE(doc.selectionSetCount(), 1);
    {
        cad::TempSelectionSetGuard guard(set);
    }
    QCOMPARE(f.d->selectionSetCount(), 0);
}

void TestAutomation::tempSelectionSetIsAddedAndDeleted()
{
    Fixture f;
    f.d->addSelectionSet(QStringLiteral("OTHER"));
    cad::Document doc = f.doc();
    cad::SelectionSet set = cad::GetTempSelectionSet(doc);
    QCOMPARE(set.name(), QStringLiteral("SSTEMP"));
    QCOMPARE(doc.selectionSetCount(), 2);
    QCOMPARE(doc.selectionSet(1).name(), QStringLiteral("SSTEMP"));
    {
        cad::TempSelectionSetGuard guard(set);
    }
    QCOMPARE(f.d->selectionSetCount(), 1);
    QCOMPARE(f.d->selectionSetAt(0).name, QStringLiteral("OTHER"));
    // The set object of the deleted set fails, it does not dangle.
    QCOMPARE(errorOf([&] { set.count(); }), QStringLiteral("Object was erased: the selection set was deleted"));
}

void TestAutomation::pickEditAndUndoThroughTheFacade()
{
    Fixture f;
    const QJsonObject before = content(*f.d);
    cad::Document doc = f.doc();
    cad::SelectionSet set = cad::GetTempSelectionSet(doc);
    cad::TempSelectionSetGuard guard(set);
    f.host->queuePick({f.t1, f.relay, f.t2, f.lockedText});
    const cad::SelectionFilter filter = cad::entityTypeFilter(QStringLiteral("TEXT"));
    set.clear();
    set.selectOnScreen(filter.types, filter.data);
    QCOMPARE(set.count(), 3);
    QCOMPARE(set.item(0).handle(), f.t1);
    QCOMPARE(set.item(1).alignment(), 2);
    QCOMPARE(set.item(1).textAlignmentPoint(), (cad::Point{30, 10, 0}));
    QCOMPARE(set.item(0).insertionPoint(), (cad::Point{0, 20, 0}));
    QCOMPARE(set.item(2).layer(), QStringLiteral("AB"));
    QCOMPARE(set.item(0).entityName(), QStringLiteral("AcDbText"));

    {
        cad::UndoGroup group(doc);
        doc.handleToObject(f.t1).setTextString(QStringLiteral("edited"));
        const cad::Entity copy = doc.handleToObject(f.t2).copy();
        QVERIFY(copy.handle() != f.t2);
        QCOMPARE(copy.textString(), QStringLiteral("R2"));
        copy.setTextString(QStringLiteral("new"));
        copy.setAlignment(0);
        copy.setInsertionPoint({0, 0, 5});
        doc.handleToObject(f.t3).erase();
        QCOMPARE(errorOf([&] { doc.handleToObject(f.lockedText).setTextString(QStringLiteral("x")); }),
                 QStringLiteral("On locked layer"));
        QCOMPARE(doc.getVariable(QStringLiteral("UNDOCTL")).toInt(), 9); // a group is open
        group.close();
    }
    QCOMPARE(doc.getVariable(QStringLiteral("UNDOCTL")).toInt(), 1);
    doc.regen(0);
    QCOMPARE(f.d->undoGroupCount(), 1);
    QVERIFY(f.d->undo());
    QCOMPARE(content(*f.d), before);
}

void TestAutomation::cancelledPickLeavesTheSetEmpty()
{
    Fixture f;
    cad::SelectionSet set = cad::GetTempSelectionSet(f.doc());
    f.host->queuePickCancel();
    QCOMPARE(errorOf([&] { set.selectOnScreen({0}, {QStringLiteral("TEXT")}); }), QStringLiteral("*Cancel*"));
    QCOMPARE(set.count(), 0);
    // Without filter arrays at all, as a script may call it.
    f.host->queuePick({f.t3});
    QVariantList none;
    set.object()->invoke(QStringLiteral("SelectOnScreen"), cad::InvokeKind::Method, none);
    QCOMPARE(set.count(), 1);
}

void TestAutomation::selectAllWithFilters()
{
    Fixture f;
    cad::SelectionSet set = cad::GetTempSelectionSet(f.doc());
    set.select(5, {0, 1}, {QStringLiteral("TEXT"), QStringLiteral("*R*")});
    QCOMPARE(set.count(), 3);
    QCOMPARE(set.item(2).textString(), QStringLiteral("R9"));
    set.clear();
    // Filter types as a plain variant array of numbers work as well.
    QVariantList args{5, QVariant(), QVariant(), QVariantList{0, 2, 66}, QVariantList{QStringLiteral("INSERT"), QStringLiteral("*"), 1}};
    set.object()->invoke(QStringLiteral("Select"), cad::InvokeKind::Method, args);
    QCOMPARE(set.count(), 2);
    QCOMPARE(set.item(0).name(), QStringLiteral("RELAY"));
    // Select adds to what the set holds and never twice.
    set.select(5, {0}, {QStringLiteral("INSERT")});
    QCOMPARE(set.count(), 2);
}

void TestAutomation::attributesAndBlockDefinitions()
{
    Fixture f;
    cad::Document doc = f.doc();
    const QList<cad::Entity> atts = doc.handleToObject(f.relay).getAttributes();
    QCOMPARE(atts.size(), 2);
    QCOMPARE(atts[0].tagString(), QStringLiteral("NAME"));
    QCOMPARE(atts[0].textString(), QStringLiteral("RY1"));
    QCOMPARE(atts[0].entityName(), QStringLiteral("AcDbAttribute"));
    QCOMPARE(atts[1].textString(), QString());
    atts[1].setTextString(QStringLiteral("24V"));
    QCOMPARE(doc.handleToObject(atts[1].handle()).textString(), QStringLiteral("24V"));
    const QList<cad::Entity> locked = doc.handleToObject(f.relayLocked).getAttributes();
    QCOMPARE(errorOf([&] { locked[0].setTextString(QStringLiteral("x")); }), QStringLiteral("On locked layer"));

    // The block table: the two layouts, then the definitions.
    QCOMPARE(doc.blockCount(), 3);
    QCOMPARE(doc.block(0).name(), QStringLiteral("*Model_Space"));
    QCOMPARE(doc.block(0).count(), f.d->modelSpaceCount());
    QCOMPARE(doc.block(1).count(), 0);
    const cad::Block relay = doc.block(2);
    QCOMPARE(relay.name(), QStringLiteral("RELAY"));
    QCOMPARE(relay.count(), 2);
    QCOMPARE(relay.item(0).entityName(), QStringLiteral("AcDbAttributeDefinition"));
    QCOMPARE(relay.item(0).objectName(), QStringLiteral("AcDbAttributeDefinition"));
    QCOMPARE(relay.item(0).tagString(), QStringLiteral("NAME"));
    QCOMPARE(relay.item(1).promptString(), QStringLiteral("仕様"));
    QCOMPARE(relay.item(0).textString(), QStringLiteral("RY"));
    // An attribute reference has no prompt, as in the CAD.
    QVERIFY(errorOf([&] { atts[0].promptString(); }).startsWith(QStringLiteral("Unknown name")));
}

void TestAutomation::viewVariablesAndWindows()
{
    Fixture f;
    cad::Application app = f.app();
    cad::Document doc = app.activeDocument();
    QCOMPARE(app.hwnd(), cad::WindowHandle(0));
    QCOMPARE(doc.hwnd(), cad::WindowHandle(0));
    QCOMPARE(doc.screenSize(), (QList<int>{1000, 600}));
    app.zoomCenter({5, 6, 0}, 33.5);
    QCOMPARE(doc.viewSize(), 33.5);
    QCOMPARE(f.d->viewCenter(), (Point{5, 6, 0}));
    f.host->setApplicationWindow(0x1234);
    f.host->setDocumentWindow(f.d.get(), 0x5678);
    f.host->setScreenSize(f.d.get(), {1920, 1080});
    QCOMPARE(app.hwnd(), cad::WindowHandle(0x1234));
    QCOMPARE(doc.hwnd(), cad::WindowHandle(0x5678));
    QCOMPARE(doc.screenSize(), (QList<int>{1920, 1080}));
}

void TestAutomation::erasedObjectsFailCleanly()
{
    Fixture f;
    cad::Document doc = f.doc();
    const cad::Entity held = doc.handleToObject(f.t1);
    const cad::Entity attribute = doc.handleToObject(f.relay).getAttributes().at(0);
    doc.handleToObject(f.t1).erase();
    doc.handleToObject(f.relay).erase();
    QCOMPARE(errorOf([&] { held.textString(); }), QStringLiteral("Object was erased"));
    QCOMPARE(errorOf([&] { attribute.textString(); }), QStringLiteral("Object was erased"));
    QCOMPARE(errorOf([&] { doc.handleToObject(f.t1); }), QStringLiteral("Object was erased"));
    QCOMPARE(errorOf([&] { doc.handleToObject(QStringLiteral("FFFFFF")); }), QStringLiteral("Unknown handle"));
    QCOMPARE(errorOf([&] { doc.handleToObject(QStringLiteral("not hex")); }), QStringLiteral("Unknown handle"));
    QCOMPARE(errorOf([&] { held.erase(); }), QStringLiteral("Object was erased"));
    // Undo brings the entity back under its handle; the old object works again.
    f.d->undo();
    f.d->undo();
    QCOMPARE(held.textString(), QStringLiteral("R1"));
    QCOMPARE(attribute.textString(), QStringLiteral("RY1"));
    // While gone, every kind's members are looked up, so the call can say what happened.
    held.erase();
    QVERIFY(minicad::hasMember(held.object(), QStringLiteral("GetAttributes")));
    QVERIFY(!minicad::hasMember(held.object(), QStringLiteral("Nope")));
    QCOMPARE(errorOf([&] { held.object()->call(QStringLiteral("GetAttributes")); }), QStringLiteral("Object was erased"));
}

void TestAutomation::memberNamesIgnoreCase()
{
    Fixture f;
    cad::Object text = f.raw(QStringLiteral("text"));
    QCOMPARE(text->get(QStringLiteral("textstring")).toString(), QStringLiteral("R1"));
    QCOMPARE(text->get(QStringLiteral("TEXTSTRING")).toString(), QStringLiteral("R1"));
    text->put(QStringLiteral("tExTsTrInG"), QStringLiteral("r1"));
    QCOMPARE(f.d->find(f.t1)->text, QStringLiteral("r1"));
    cad::Object doc = f.raw(QStringLiteral("doc"));
    QVERIFY(cad::toObject(doc->call(QStringLiteral("handletoobject"), {f.t2})));
    QCOMPARE(doc->call(QStringLiteral("getvariable"), {QStringLiteral("viewsize")}).toDouble(), 100.0);
}

void TestAutomation::memberLookupByName_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("member");
    QTest::addColumn<bool>("known");
    const auto row = [](const char *object, const char *member, bool known) {
        QTest::addRow("%s.%s", object, member) << QString::fromLatin1(object) << QString::fromLatin1(member) << known;
    };
    row("app", "ActiveDocument", true);
    row("app", "zoomcenter", true);
    row("app", "TextString", false);
    row("doc", "HANDLETOOBJECT", true);
    row("doc", "Nope", false);
    row("text", "TextString", true);
    row("text", "Handle", true);
    row("text", "GetAttributes", false); // a block reference's member
    row("text", "Name", false);
    row("insert", "GetAttributes", true);
    row("insert", "Name", true);
    row("insert", "TextString", false);
    row("attribute", "TagString", true);
    row("attribute", "PromptString", false); // only definitions have prompts
    row("layers", "Item", true);
    row("layers", "Lock", false);
    row("set", "SelectOnScreen", true);
    row("blocks", "Count", true);
}

// What the lookup says agrees with what a call does: a known member is not
// "Unknown name", an unknown one is.
void TestAutomation::memberLookupByName()
{
    QFETCH(QString, object);
    QFETCH(QString, member);
    QFETCH(bool, known);
    Fixture f;
    const cad::Object o = f.raw(object);
    QCOMPARE(minicad::hasMember(o, member), known);
    if (!known)
        QCOMPARE(errorOf([&] { o->get(member); }), QStringLiteral("Unknown name: %1").arg(member));
}

void TestAutomation::errors_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("member");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("message");

    const int get = int(cad::InvokeKind::PropertyGet);
    const int put = int(cad::InvokeKind::PropertyPut);
    const int call = int(cad::InvokeKind::Method);
    using V = QVariantList;
    const QVariant pt = cad::fromPoint({1, 2, 3});

    QTest::newRow("unknown member") << "doc" << "Frobnicate" << get << V{} << "Unknown name";
    QTest::newRow("block member on a text") << "text" << "GetAttributes" << call << V{} << "Unknown name";
    QTest::newRow("text member on a reference") << "insert" << "TextString" << get << V{} << "Unknown name";
    QTest::newRow("put read-only") << "text" << "Handle" << put << V{"2A"} << "Member not found";
    QTest::newRow("put a method") << "doc" << "Regen" << put << V{0} << "Member not found";
    QTest::newRow("too few") << "doc" << "HandleToObject" << call << V{} << "Invalid number of parameters";
    QTest::newRow("too many") << "text" << "Copy" << call << V{1} << "Invalid number of parameters";
    QTest::newRow("zoom one arg") << "app" << "ZoomCenter" << call << V{pt} << "Invalid number of parameters";
    QTest::newRow("handle as number") << "doc" << "HandleToObject" << call << V{42} << "Type mismatch";
    QTest::newRow("string as point") << "text" << "InsertionPoint" << put << V{"here"} << "Type mismatch";
    QTest::newRow("point of one number") << "text" << "InsertionPoint" << put << V{V{1.0}} << "Type mismatch";
    QTest::newRow("point as text string") << "text" << "TextString" << put << V{pt} << "Type mismatch";
    QTest::newRow("alignment word") << "text" << "Alignment" << put << V{"left"} << "Type mismatch";
    QTest::newRow("alignment range") << "text" << "Alignment" << put << V{15} << "Invalid input";
    QTest::newRow("zoom height text") << "app" << "ZoomCenter" << call << V{pt, "tall"} << "Type mismatch";
    QTest::newRow("zoom height zero") << "app" << "ZoomCenter" << call << V{pt, 0.0} << "Invalid input";
    QTest::newRow("layer index") << "layers" << "Item" << call << V{3} << "Invalid index";
    QTest::newRow("layer negative") << "layers" << "Item" << call << V{-1} << "Invalid index";
    QTest::newRow("layer name") << "layers" << "Item" << call << V{"NOPE"} << "Key not found";
    QTest::newRow("set index") << "set" << "Item" << call << V{0} << "Invalid index";
    QTest::newRow("sets index") << "sets" << "Item" << call << V{1} << "Invalid index";
    QTest::newRow("sets name") << "sets" << "Item" << call << V{"T"} << "Key not found";
    QTest::newRow("blocks index") << "blocks" << "Item" << call << V{9} << "Invalid index";
    QTest::newRow("duplicate set") << "sets" << "Add" << call << V{"s"} << "Duplicate record name";
    QTest::newRow("unknown variable") << "doc" << "GetVariable" << call << V{"NOSUCHVAR"}
                                      << "Error getting system variable";
    QTest::newRow("select mode") << "set" << "Select" << call << V{2} << "Invalid argument";
    QTest::newRow("filter lengths") << "set" << "Select" << call
                                    << V{5, QVariant(), QVariant(), V{0, 1}, V{"TEXT"}} << "Invalid argument";
    QTest::newRow("filter types not array") << "set" << "SelectOnScreen" << call << V{"0", V{"TEXT"}}
                                            << "Type mismatch";
    QTest::newRow("layer put unknown") << "text" << "Layer" << put << V{"NOPE"} << "Key not found";
    QTest::newRow("regen viewport") << "doc" << "Regen" << call << V{7} << "Invalid argument";
    QTest::newRow("copy attribute") << "attribute" << "Copy" << call << V{} << "Not applicable";
}

void TestAutomation::errors()
{
    QFETCH(QString, target);
    QFETCH(QString, member);
    QFETCH(int, kind);
    QFETCH(QVariantList, args);
    QFETCH(QString, message);
    Fixture f;
    const QJsonObject before = content(*f.d);
    cad::Object o = f.raw(target);
    QVERIFY(o);
    const QString got = errorOf([&] { o->invoke(member, cad::InvokeKind(kind), args); });
    QVERIFY2(got.startsWith(message) && !message.isEmpty(), qPrintable(got));
    QCOMPARE(content(*f.d), before);
}

void TestAutomation::tenThousandTextsReadQuickly()
{
    Fixture f;
    for (int i = 0; i < 10000; ++i)
        f.d->addText(QStringLiteral("A"), QStringLiteral("T%1").arg(i), {double(i), 0, 0});
    QElapsedTimer timer;
    timer.start();
    cad::SelectionSet set = cad::GetTempSelectionSet(f.doc());
    set.select(5, {0, 1}, {QStringLiteral("TEXT"), QStringLiteral("T*")});
    const int n = set.count();
    QCOMPARE(n, 10000);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const cad::Entity e = set.item(i);
        QVERIFY(!e.textString().isEmpty());
        QVERIFY(!e.handle().isEmpty());
        sum += e.insertionPoint().x;
    }
    QCOMPARE(sum, 9999.0 * 10000 / 2);
    qInfo("10,000 texts: select and read TextString, Handle, InsertionPoint in %lld ms", timer.elapsed());
    QVERIFY(timer.elapsed() < 10000);
}

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
