#include "minicad/host/session.h"
#include "minicad/model/drawing.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace minicad;

namespace {

// Everything but the handle seed, which must never go back.
QJsonObject content(const Drawing &d)
{
    QJsonObject o = d.toJson().object();
    o.remove(QStringLiteral("handseed"));
    o.remove(QStringLiteral("erased")); // an undone addition leaves its handle erased: history, not content
    return o;
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ModelError &e) {
        return e.message();
    }
    return {};
}

// A small drawing: texts on layers A (free) and L (locked), a block with
// two attribute definitions and references of it.
struct Fixture {
    std::shared_ptr<Drawing> owned = std::make_shared<Drawing>();
    Drawing &d = *owned;
    // The host asks the user; the drawing only takes the answer.
    std::shared_ptr<Session> host = Session::with(owned);
    QString t1, t2, aligned, lockedText, relay, relayLocked, plain;
    Fixture()
    {
        d.addLayer(QStringLiteral("A"));
        d.addLayer(QStringLiteral("L"));
        t1 = d.addText(QStringLiteral("A"), QStringLiteral("R1"), {10, 20, 0});
        t2 = d.addText(QStringLiteral("A"), QStringLiteral("R2"), {10, 10, 0});
        aligned = d.addText(QStringLiteral("A"), QStringLiteral("X-1"), {0, 0, 0}, 10, {50, 5, 0});
        lockedText = d.addText(QStringLiteral("L"), QStringLiteral("R9"), {0, 40, 0});
        d.addBlockDefinition(QStringLiteral("RELAY"),
                             {attributeDefinition(QStringLiteral("NAME"), QStringLiteral("機器名"), QStringLiteral("RY"),
                                                  {0, 5, 0}),
                              attributeDefinition(QStringLiteral("SPEC"), QStringLiteral("仕様"), QString(), {0, -5, 0})});
        d.addBlockDefinition(QStringLiteral("PLAIN"), {});
        relay = d.addBlockReference(QStringLiteral("A"), QStringLiteral("RELAY"), {100, 100, 0},
                                    {{QStringLiteral("NAME"), QStringLiteral("RY1")}});
        relayLocked = d.addBlockReference(QStringLiteral("L"), QStringLiteral("RELAY"), {200, 100, 0});
        plain = d.addBlockReference(QStringLiteral("A"), QStringLiteral("PLAIN"), {300, 100, 0});
        d.setLayerLocked(QStringLiteral("L"), true);
        d.clearUndoHistory();
    }
    QString attribute(const QString &ref, int i) const { return d.find(ref)->attributes.at(i).handle; }
};

} // namespace

class TestDrawing : public QObject {
    Q_OBJECT
private slots:
    void handlesAreUniqueUpperHexAndNeverReused();
    void copyKeepsEveryPropertyWithNewHandles();
    void undoGroupRestoresExactly();
    void redoReappliesTheGroup();
    void nestedMarksMakeOneGroup();
    void changesOutsideMarksAreGroupsOfTheirOwn();
    void newChangeDropsRedo();
    void lockedLayerRefuses_data();
    void lockedLayerRefuses();
    void alignmentKeepsPointsTogether();
    void filters_data();
    void filters();
    void badFilters_data();
    void badFilters();
    void selectionSetNames();
    void queuedPicks();
    void pickWaitsForAnswer();
    void pickProviderIsAskedAndAnswered();
    void jsonRoundTrip();
    void malformedJsonChangesNothing_data();
    void malformedJsonChangesNothing();
    void tenThousandTexts();
    void handleSpaceEndsWithoutWrapping();
    void twentyThousandLayersLoadQuickly();
    void alignedAndFitLieBetweenTwoPoints();
};

void TestDrawing::handlesAreUniqueUpperHexAndNeverReused()
{
    Fixture f;
    const QRegularExpression hex(QStringLiteral("^[0-9A-F]+$"));
    QSet<QString> seen;
    for (const QString &h : f.d.modelSpaceHandles()) {
        QVERIFY(hex.match(h).hasMatch());
        QVERIFY(!seen.contains(h));
        seen.insert(h);
        for (const Entity &a : f.d.find(h)->attributes) {
            QVERIFY(hex.match(a.handle).hasMatch());
            QVERIFY(!seen.contains(a.handle));
            seen.insert(a.handle);
        }
    }
    f.d.eraseEntity(f.t1);
    const QString copy = f.d.copyEntity(f.t2);
    QVERIFY(f.d.undo());
    QVERIFY(f.d.undo());
    QCOMPARE(f.d.handleState(copy), HandleState::Erased);
    const QString fresh = f.d.addText(QStringLiteral("A"), QStringLiteral("new"), {});
    QVERIFY(fresh != copy && !seen.contains(fresh));
    QVERIFY(*Drawing::parseHandle(fresh) > *Drawing::parseHandle(copy));
    // Lower-case handles resolve to the same entity.
    QCOMPARE(f.d.find(f.t2.toLower()), f.d.find(f.t2));
}

void TestDrawing::copyKeepsEveryPropertyWithNewHandles()
{
    Fixture f;
    const QString c = f.d.copyEntity(f.aligned);
    Entity original = *f.d.find(f.aligned);
    Entity copy = *f.d.find(c);
    QVERIFY(c != f.aligned);
    copy.handle = original.handle;
    QCOMPARE(copy, original);
    QCOMPARE(f.d.modelSpaceHandles().last(), c);

    const QString r = f.d.copyEntity(f.relay);
    const Entity &ref = *f.d.find(r);
    QCOMPARE(ref.attributes.size(), 2);
    QVERIFY(ref.attributes[0].handle != f.attribute(f.relay, 0));
    QCOMPARE(ref.attributes[0].text, QStringLiteral("RY1"));
    QCOMPARE(f.d.ownerOf(ref.attributes[1].handle)->handle, r);
    // A copy of an entity on a locked layer is made; changing it is not.
    const QString lc = f.d.copyEntity(f.lockedText);
    QCOMPARE(f.d.find(lc)->layer, QStringLiteral("L"));
    QCOMPARE(errorOf([&] { f.d.setTextString(lc, QStringLiteral("x")); }), QStringLiteral("On locked layer"));
    // Attributes and block contents cannot be copied or deleted on their own.
    QVERIFY(!errorOf([&] { f.d.copyEntity(f.attribute(f.relay, 0)); }).isEmpty());
    QVERIFY(!errorOf([&] { f.d.eraseEntity(f.attribute(f.relay, 0)); }).isEmpty());
}

void TestDrawing::undoGroupRestoresExactly()
{
    Fixture f;
    const QJsonObject before = content(f.d);
    const QStringList order = f.d.modelSpaceHandles();
    const QString name = f.attribute(f.relay, 0), rating = f.attribute(f.relay, 1);

    f.d.startUndoMark();
    f.d.setTextString(f.t1, QStringLiteral("changed"));
    f.d.setInsertionPoint(f.t2, {1, 2, 3});
    f.d.setAlignment(f.t1, 4);
    f.d.setTextAlignmentPoint(f.aligned, {7, 7, 0});
    const QString copy = f.d.copyEntity(f.t1);
    f.d.setTextString(copy, QStringLiteral("copied"));
    f.d.eraseEntity(f.t2);
    f.d.setTextString(rating, QStringLiteral("24V"));
    f.d.eraseEntity(f.relay);
    f.d.endUndoMark();
    QCOMPARE(f.d.handleState(f.t2), HandleState::Erased);
    QCOMPARE(f.d.handleState(name), HandleState::Erased); // gone with its reference

    const quint64 rev = f.d.revision();
    QVERIFY(f.d.undo());
    QVERIFY(f.d.revision() > rev);
    QCOMPARE(content(f.d), before);
    QCOMPARE(f.d.modelSpaceHandles(), order);
    QCOMPARE(f.d.handleState(copy), HandleState::Erased);
    QCOMPARE(f.d.handleState(f.t2), HandleState::Live);
    QCOMPARE(f.d.find(f.t2)->insertion, (Point{10, 10, 0}));
    QCOMPARE(f.d.ownerOf(rating)->handle, f.relay);
    QCOMPARE(f.d.find(rating)->text, QString());
    QVERIFY(!f.d.canUndo());
}

void TestDrawing::redoReappliesTheGroup()
{
    Fixture f;
    f.d.startUndoMark();
    f.d.setTextString(f.t1, QStringLiteral("one"));
    const QString copy = f.d.copyEntity(f.t1);
    f.d.eraseEntity(f.t2);
    f.d.endUndoMark();
    const QJsonObject after = content(f.d);
    QVERIFY(f.d.undo());
    QVERIFY(f.d.canRedo());
    QVERIFY(f.d.redo());
    QCOMPARE(content(f.d), after);
    QCOMPARE(f.d.find(copy)->text, QStringLiteral("one"));
    QCOMPARE(f.d.handleState(f.t2), HandleState::Erased);
    QVERIFY(!f.d.redo());
}

void TestDrawing::nestedMarksMakeOneGroup()
{
    Fixture f;
    const QJsonObject before = content(f.d);
    f.d.startUndoMark();
    f.d.setTextString(f.t1, QStringLiteral("a"));
    f.d.startUndoMark();
    f.d.setTextString(f.t2, QStringLiteral("b"));
    f.d.endUndoMark();
    QCOMPARE(f.d.undoMarkDepth(), 1);
    f.d.setTextString(f.aligned, QStringLiteral("c"));
    f.d.endUndoMark();
    f.d.endUndoMark(); // unmatched: ignored
    QCOMPARE(f.d.undoGroupCount(), 1);
    QVERIFY(f.d.undo());
    QCOMPARE(content(f.d), before);
    QVERIFY(!f.d.canUndo());
    // An empty pair records nothing.
    f.d.startUndoMark();
    f.d.endUndoMark();
    QCOMPARE(f.d.undoGroupCount(), 0);
}

void TestDrawing::changesOutsideMarksAreGroupsOfTheirOwn()
{
    Fixture f;
    f.d.setTextString(f.t1, QStringLiteral("a"));
    f.d.setTextString(f.t2, QStringLiteral("b"));
    f.d.setTextString(f.t2, QStringLiteral("b")); // no change, no group
    QCOMPARE(f.d.undoGroupCount(), 2);
    QVERIFY(f.d.undo());
    QCOMPARE(f.d.find(f.t1)->text, QStringLiteral("a"));
    QCOMPARE(f.d.find(f.t2)->text, QStringLiteral("R2"));
    // Undo closes a mark left open.
    f.d.startUndoMark();
    f.d.setTextString(f.t2, QStringLiteral("c"));
    QVERIFY(f.d.undo());
    QCOMPARE(f.d.undoMarkDepth(), 0);
    QCOMPARE(f.d.find(f.t2)->text, QStringLiteral("R2"));
}

void TestDrawing::newChangeDropsRedo()
{
    Fixture f;
    f.d.setTextString(f.t1, QStringLiteral("a"));
    f.d.undo();
    f.d.setTextString(f.t2, QStringLiteral("b"));
    QVERIFY(!f.d.canRedo());
}

void TestDrawing::lockedLayerRefuses_data()
{
    QTest::addColumn<QString>("op");
    QTest::newRow("text string") << "text";
    QTest::newRow("insertion point") << "point";
    QTest::newRow("alignment point") << "alignpoint";
    QTest::newRow("alignment") << "alignment";
    QTest::newRow("delete") << "delete";
    QTest::newRow("move to locked layer") << "tolocked";
    QTest::newRow("move off locked layer") << "offlocked";
    QTest::newRow("attribute of locked reference") << "attribute";
    QTest::newRow("delete locked reference") << "deleteref";
}

void TestDrawing::lockedLayerRefuses()
{
    QFETCH(QString, op);
    Fixture f;
    const QJsonObject before = content(f.d);
    const quint64 rev = f.d.revision();
    const QHash<QString, std::function<void()>> ops{
        {"text", [&] { f.d.setTextString(f.lockedText, QStringLiteral("x")); }},
        {"point", [&] { f.d.setInsertionPoint(f.lockedText, {1, 1, 0}); }},
        {"alignpoint", [&] { f.d.setTextAlignmentPoint(f.lockedText, {1, 1, 0}); }},
        {"alignment", [&] { f.d.setAlignment(f.lockedText, 1); }},
        {"delete", [&] { f.d.eraseEntity(f.lockedText); }},
        {"tolocked", [&] { f.d.setLayer(f.t1, QStringLiteral("L")); }},
        {"offlocked", [&] { f.d.setLayer(f.lockedText, QStringLiteral("A")); }},
        {"attribute", [&] { f.d.setTextString(f.attribute(f.relayLocked, 0), QStringLiteral("x")); }},
        {"deleteref", [&] { f.d.eraseEntity(f.relayLocked); }},
    };
    QCOMPARE(errorOf(ops.value(op)), QStringLiteral("On locked layer"));
    QCOMPARE(content(f.d), before);
    QCOMPARE(f.d.revision(), rev);
    QVERIFY(!f.d.canUndo());
}

void TestDrawing::alignmentKeepsPointsTogether()
{
    Fixture f;
    // Left text becoming justified: the reference point starts at the insertion point.
    f.d.setAlignment(f.t1, 1);
    QCOMPARE(f.d.find(f.t1)->alignmentPoint, (Point{10, 20, 0}));
    // A justified text moves whole by its alignment point; its insertion point cannot be put.
    f.d.setTextAlignmentPoint(f.aligned, {60, 5, 0});
    QCOMPARE(f.d.find(f.aligned)->insertion, (Point{10, 0, 0}));
    QVERIFY(!errorOf([&] { f.d.setInsertionPoint(f.aligned, {0, 0, 0}); }).isEmpty());
    QCOMPARE(f.d.find(f.aligned)->alignmentPoint, (Point{60, 5, 0}));
    QVERIFY(!errorOf([&] { f.d.setAlignment(f.t2, 15); }).isEmpty());
    // Moving a reference carries its attributes.
    f.d.setInsertionPoint(f.relay, {110, 100, 0});
    QCOMPARE(f.d.find(f.attribute(f.relay, 0))->insertion, (Point{110, 105, 0}));
}

void TestDrawing::filters_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QStringList>("expected"); // fixture member names, drawing order

    using L = QList<int>;
    using V = QVariantList;
    const QStringList texts{"t1", "t2", "aligned", "lockedText"};
    const QStringList inserts{"relay", "relayLocked", "plain"};
    QTest::newRow("none") << L{} << V{} << (texts + inserts);
    QTest::newRow("0 TEXT") << L{0} << V{"TEXT"} << texts;
    QTest::newRow("0 text lower case") << L{0} << V{"text"} << texts;
    QTest::newRow("0 INSERT") << L{0} << V{"INSERT"} << inserts;
    QTest::newRow("0 wildcard *T") << L{0} << V{"*T"} << (texts + inserts);
    QTest::newRow("0 alternatives") << L{0} << V{"MTEXT,INSERT"} << inserts;
    QTest::newRow("0 no such type") << L{0} << V{"LINE"} << QStringList{};
    QTest::newRow("1 R#") << L{1} << V{"R#"} << QStringList{"t1", "t2", "lockedText"};
    QTest::newRow("1 case-sensitive") << L{1} << V{"r#"} << QStringList{};
    QTest::newRow("1 *-*") << L{1} << V{"*-*"} << QStringList{"aligned"};
    QTest::newRow("2 RELAY") << L{2} << V{"RELAY"} << QStringList{"relay", "relayLocked"};
    QTest::newRow("2 *") << L{2} << V{"*"} << inserts;
    QTest::newRow("66 1") << L{66} << V{1} << QStringList{"relay", "relayLocked"};
    QTest::newRow("66 0") << L{66} << V{0} << QStringList{"plain"};
    QTest::newRow("0+1") << L{0, 1} << V{"TEXT", "*2"} << QStringList{"t2"};
    QTest::newRow("0+2+66 as picking does") << L{0, 2, 66} << V{"INSERT", "*", 1}
                                            << QStringList{"relay", "relayLocked"};
    QTest::newRow("0+2+66 plain has none") << L{0, 2, 66} << V{"INSERT", "PLAIN", 1} << QStringList{};
    QTest::newRow("0 TEXT + 2 never") << L{0, 2} << V{"TEXT", "*"} << QStringList{};
    QTest::newRow("8 layer") << L{0, 8} << V{"TEXT", "l"} << QStringList{"lockedText"};
}

void TestDrawing::filters()
{
    QFETCH(QList<int>, codes);
    QFETCH(QVariantList, values);
    QFETCH(QStringList, expected);
    Fixture f;
    const QHash<QString, QString> byName{{"t1", f.t1}, {"t2", f.t2}, {"aligned", f.aligned},
                                          {"lockedText", f.lockedText}, {"relay", f.relay},
                                          {"relayLocked", f.relayLocked}, {"plain", f.plain}};
    QStringList want;
    for (const QString &n : expected)
        want.append(byName.value(n));

    const SelectionFilter filter(codes, values);
    const quint64 all = f.d.addSelectionSet(QStringLiteral("ALL"));
    f.d.selectAll(all, filter);
    QCOMPARE(f.d.selectionSet(all)->handles, want);

    // The same filter on picks: failing picks are left out, pick order kept.
    QStringList picks = f.d.modelSpaceHandles();
    std::reverse(picks.begin(), picks.end());
    std::reverse(want.begin(), want.end());
    const quint64 picked = f.d.addSelectionSet(QStringLiteral("PICK"));
    f.host->queuePick(picks);
    f.host->selectOnScreen(f.d, picked, filter);
    QCOMPARE(f.d.selectionSet(picked)->handles, want);
}

void TestDrawing::badFilters_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("lengths differ") << QList<int>{0, 1} << QVariantList{"TEXT"};
    QTest::newRow("unsupported code") << QList<int>{62} << QVariantList{1};
    QTest::newRow("type is no string") << QList<int>{0} << QVariantList{5};
    QTest::newRow("66 is no number") << QList<int>{66} << QVariantList{"yes"};
}

void TestDrawing::badFilters()
{
    QFETCH(QList<int>, codes);
    QFETCH(QVariantList, values);
    QVERIFY(errorOf([&] { SelectionFilter(codes, values); }).startsWith(QStringLiteral("Invalid argument")));
}

void TestDrawing::selectionSetNames()
{
    Drawing d;
    const quint64 a = d.addSelectionSet(QStringLiteral("sstemp"));
    QCOMPARE(errorOf([&] { d.addSelectionSet(QStringLiteral("SSTEMP")); }), QStringLiteral("Duplicate record name"));
    QCOMPARE(d.selectionSetIndex(QStringLiteral("SsTemp")), 0);
    d.deleteSelectionSet(a);
    QCOMPARE(d.selectionSetCount(), 0);
    QVERIFY(!errorOf([&] { d.clearSelectionSet(a); }).isEmpty());
    // The name is free again, under a new identity.
    QVERIFY(d.addSelectionSet(QStringLiteral("SSTEMP")) != a);
}

void TestDrawing::queuedPicks()
{
    Fixture f;
    const quint64 s = f.d.addSelectionSet(QStringLiteral("S"));
    const SelectionFilter text({0}, {QStringLiteral("TEXT")});
    // Unknown, malformed, attribute and duplicate handles are ignored.
    f.host->queuePick({f.t2, QStringLiteral("FFFFF"), QStringLiteral("zz"), f.attribute(f.relay, 0), f.t2, f.relay, f.t1});
    f.host->queuePickCancel();
    QCOMPARE(f.host->queuedPickCount(), 2);
    f.host->selectOnScreen(f.d, s, text);
    QCOMPARE(f.d.selectionSet(s)->handles, (QStringList{f.t2, f.t1}));
    // Cancel raises and adds nothing.
    QCOMPARE(errorOf([&] { f.host->selectOnScreen(f.d, s, text); }), QStringLiteral("*Cancel*"));
    QCOMPARE(f.d.selectionSet(s)->handles.size(), 2);
    // An empty queue with nobody to wait for is a cancel too.
    QVERIFY(errorOf([&] { f.host->selectOnScreen(f.d, s, text); }).startsWith(QStringLiteral("*Cancel*")));
    QVERIFY(!f.host->pickPending());
    // Erased entities can no longer be picked.
    f.d.eraseEntity(f.aligned);
    f.host->queuePick({f.aligned});
    f.host->selectOnScreen(f.d, s, text);
    QCOMPARE(f.d.selectionSet(s)->handles.size(), 2);
}

void TestDrawing::pickWaitsForAnswer()
{
    Fixture f;
    f.host->setWaitForPick(true);
    const quint64 s = f.d.addSelectionSet(QStringLiteral("S"));
    bool pendingSeen = false;
    QTimer::singleShot(10, &f.d, [&] {
        pendingSeen = f.host->pickPending();
        f.host->queuePick({f.t1});
    });
    f.host->selectOnScreen(f.d, s, {});
    QVERIFY(pendingSeen);
    QVERIFY(!f.host->pickPending());
    QCOMPARE(f.d.selectionSet(s)->handles, QStringList{f.t1});
    QCOMPARE(f.host->queuedPickCount(), 0);

    // Cancel while waiting (the host does this when its client leaves).
    QTimer::singleShot(10, &f.d, [&] { f.host->cancelPick(); });
    QCOMPARE(errorOf([&] { f.host->selectOnScreen(f.d, s, {}); }), QStringLiteral("*Cancel*"));

    // The set deleted while the user picks: the pick fails cleanly.
    QTimer::singleShot(10, &f.d, [&] {
        f.d.deleteSelectionSet(s);
        f.host->answerPick({f.t2});
    });
    QVERIFY(errorOf([&] { f.host->selectOnScreen(f.d, s, {}); }).startsWith(QStringLiteral("Object was erased")));
}

void TestDrawing::pickProviderIsAskedAndAnswered()
{
    struct Provider : PickProvider {
        Session *d = nullptr;
        QStringList answer;
        int begun = 0, ended = 0;
        void beginPick(const SelectionFilter &) override
        {
            ++begun;
            QTimer::singleShot(0, d, [this] { d->answerPick(answer); });
        }
        void endPick() override { ++ended; }
    };
    Fixture f;
    Provider p;
    p.d = f.host.get();
    p.answer = {f.relay, f.t1};
    f.host->setPickProvider(&p);
    const quint64 s = f.d.addSelectionSet(QStringLiteral("S"));
    f.host->selectOnScreen(f.d, s, SelectionFilter({0}, {QStringLiteral("INSERT")}));
    QCOMPARE(p.begun, 1);
    QCOMPARE(p.ended, 1);
    QCOMPARE(f.d.selectionSet(s)->handles, QStringList{f.relay});
    // A queued answer goes first and the provider is not asked.
    f.host->queuePick({f.t2});
    f.host->selectOnScreen(f.d, s, {});
    QCOMPARE(p.begun, 1);
    f.host->setPickProvider(nullptr);
}

void TestDrawing::jsonRoundTrip()
{
    Fixture f;
    f.d.eraseEntity(f.t2); // a gap in the handles
    f.d.zoomCenter({5, 6, 0}, 42);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("d.json"));
    f.d.saveFile(path);
    Drawing e;
    e.addSelectionSet(QStringLiteral("X"));
    e.loadFile(path);
    QCOMPARE(e.toJson(), f.d.toJson());
    QCOMPARE(e.fileName(), path);
    QCOMPARE(e.selectionSetCount(), 0);
    QVERIFY(!e.canUndo());
    QCOMPARE(e.viewSize(), 42.0);
    QVERIFY(e.isLayerLocked(QStringLiteral("L")));
    QCOMPARE(e.find(f.attribute(f.relay, 0))->tag, QStringLiteral("NAME"));
    QCOMPARE(e.block(QStringLiteral("relay"))->entities[0].prompt, QStringLiteral("機器名"));
    // The seed survives: a new entity never takes an old handle.
    QCOMPARE(e.handleSeed(), f.d.handleSeed());
    // An erased handle stays erased: a client holding it is told so, not "unknown".
    QCOMPARE(e.handleState(f.t2), HandleState::Erased);
    QCOMPARE(errorOf([&] { e.setTextString(f.t2, QStringLiteral("x")); }), QStringLiteral("Object was erased"));
    QVERIFY(!errorOf([&] { e.loadFile(dir.filePath(QStringLiteral("missing.json"))); }).isEmpty());
}

void TestDrawing::malformedJsonChangesNothing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not an object") << QByteArray("[1,2]");
    QTest::newRow("entities not array") << QByteArray(R"({"entities": 5})");
    QTest::newRow("unknown type") << QByteArray(R"({"entities": [{"type": "CIRCLE"}]})");
    QTest::newRow("bad handle") << QByteArray(R"({"entities": [{"type": "TEXT", "handle": "XYZ"}]})");
    QTest::newRow("duplicate handle")
        << QByteArray(R"({"entities": [{"type": "TEXT", "handle": "2A"}, {"type": "TEXT", "handle": "2a"}]})");
    QTest::newRow("bad point") << QByteArray(R"({"entities": [{"type": "TEXT", "insertion": [1]}]})");
    QTest::newRow("alignment range") << QByteArray(R"({"entities": [{"type": "TEXT", "alignment": 15}]})");
    QTest::newRow("attribute at top") << QByteArray(R"({"entities": [{"type": "ATTRIB"}]})");
    QTest::newRow("text with attributes")
        << QByteArray(R"({"entities": [{"type": "TEXT", "attributes": [{"type": "ATTRIB"}]}]})");
    QTest::newRow("insert without block") << QByteArray(R"({"entities": [{"type": "INSERT"}]})");
    QTest::newRow("zero view") << QByteArray(R"({"view": {"size": 0}})");
    QTest::newRow("erased and live")
        << QByteArray(R"({"entities": [{"type": "TEXT", "handle": "2A"}], "erased": ["2a"]})");
    QTest::newRow("erased not a handle") << QByteArray(R"({"erased": [42]})");
}

void TestDrawing::malformedJsonChangesNothing()
{
    QFETCH(QByteArray, json);
    Fixture f;
    const QJsonDocument before = f.d.toJson();
    QVERIFY(errorOf([&] { f.d.fromJson(QJsonDocument::fromJson(json)); }).startsWith(QStringLiteral("Malformed")));
    QCOMPARE(f.d.toJson(), before);
}

void TestDrawing::tenThousandTexts()
{
    Drawing d;
    QStringList handles;
    for (int i = 0; i < 10000; ++i)
        handles.append(d.addText(QStringLiteral("0"), QString::number(i), {double(i), 0, 0}));
    QElapsedTimer t;
    t.start();
    const quint64 s = d.addSelectionSet(QStringLiteral("S"));
    d.selectAll(s, SelectionFilter({0, 1}, {QStringLiteral("TEXT"), QStringLiteral("*5")}));
    QCOMPARE(d.selectionSet(s)->handles.size(), 1000);
    for (const QString &h : handles)
        QVERIFY(d.find(h));
    QVERIFY2(t.elapsed() < 5000, "selection and lookup of 10,000 texts should be quick");
}

// Handles are 64-bit and never reused: the last one is handed out once,
// after that whatever needs a handle fails and changes nothing.
void TestDrawing::handleSpaceEndsWithoutWrapping()
{
    Drawing d;
    d.fromJson(QJsonDocument::fromJson(R"({"handseed": "FFFFFFFFFFFFFFFE",
        "entities": [{"type": "TEXT", "handle": "2A", "text": "old"}]})"));
    QCOMPARE(d.addText(QStringLiteral("0"), QStringLiteral("a"), {}), QStringLiteral("FFFFFFFFFFFFFFFE"));
    const QString last = d.copyEntity(QStringLiteral("2A"));
    QCOMPARE(last, QStringLiteral("FFFFFFFFFFFFFFFF"));
    QCOMPARE(d.copySource(last), QStringLiteral("2A"));
    QVERIFY(d.handlesExhausted());
    const QJsonDocument full = d.toJson();
    for (const auto &attempt : std::initializer_list<std::function<void()>>{
             [&] { d.addText(QStringLiteral("NEW"), QStringLiteral("b"), {}); },
             [&] { d.copyEntity(QStringLiteral("2A")); },
             [&] { d.addBlockDefinition(QStringLiteral("B"), {attributeDefinition(QStringLiteral("T"), {}, {})}); }})
        QVERIFY(errorOf(attempt).startsWith(QStringLiteral("Out of handles")));
    QCOMPARE(d.toJson(), full);
    QVERIFY(!d.layer(QStringLiteral("NEW")));

    // Saved and read again, the space stays used up, also when the last
    // handle was handed out and undone.
    d.undo();
    Drawing again;
    again.fromJson(d.toJson());
    QVERIFY(again.handlesExhausted());
    QVERIFY(!errorOf([&] { again.addText(QStringLiteral("0"), QStringLiteral("c"), {}); }).isEmpty());
    // An entity holding the last handle uses the space up whatever the seed says.
    Drawing holder;
    holder.fromJson(QJsonDocument::fromJson(R"({"handseed": "30",
        "entities": [{"type": "TEXT", "handle": "FFFFFFFFFFFFFFFF"}, {"type": "TEXT", "handle": "31"}]})"));
    QVERIFY(holder.handlesExhausted());
    const QJsonDocument held = holder.toJson();
    const QString message = errorOf([&] {
        holder.fromJson(QJsonDocument::fromJson(R"({"entities": [{"type": "TEXT", "handle": "FFFFFFFFFFFFFFFF"},
            {"type": "TEXT"}]})"));
    });
    QVERIFY2(message.startsWith(QStringLiteral("Malformed drawing: no handle left")), qPrintable(message));
    QCOMPARE(holder.toJson(), held);
}

void TestDrawing::twentyThousandLayersLoadQuickly()
{
    QJsonArray layers, entities;
    for (int i = 0; i < 20000; ++i) {
        const QString name = QStringLiteral("Layer%1").arg(i);
        layers.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("locked"), i == 7}});
        entities.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("TEXT")},
                                    {QStringLiteral("layer"), name.toLower()}});
    }
    entities.append(QJsonObject{{QStringLiteral("type"), QStringLiteral("TEXT")},
                                {QStringLiteral("layer"), QStringLiteral("Extra")}});
    const QJsonDocument doc(QJsonObject{{QStringLiteral("layers"), layers}, {QStringLiteral("entities"), entities}});
    Drawing d;
    QElapsedTimer t;
    t.start();
    d.fromJson(doc);
    for (int i = 0; i < 20000; i += 7)
        QVERIFY(d.layer(QStringLiteral("LAYER%1").arg(i)));
    qInfo("20,000 layers read in %lld ms", t.elapsed());
    QVERIFY2(t.elapsed() < 2000, "reading layers must not take time by the square of their number");
    QCOMPARE(d.layers().size(), 20002); // "0" and the one only an entity names
    QCOMPARE(d.layers().last().name, QStringLiteral("Extra"));
    QVERIFY(d.isLayerLocked(QStringLiteral("layer7")));

    // The lookup follows changes and their undo.
    d.addLayer(QStringLiteral("Added"));
    QCOMPARE(d.layer(QStringLiteral("ADDED"))->name, QStringLiteral("Added"));
    d.setLayerLocked(QStringLiteral("layer8"), true);
    QVERIFY(d.isLayerLocked(QStringLiteral("Layer8")));
    d.undo();
    d.undo();
    QVERIFY(!d.layer(QStringLiteral("Added")));
    QVERIFY(!d.isLayerLocked(QStringLiteral("Layer8")));
    QCOMPARE(d.layer(QStringLiteral("extra"))->name, QStringLiteral("Extra"));
}

void TestDrawing::alignedAndFitLieBetweenTwoPoints()
{
    Fixture f;
    for (const int alignment : {3, 5}) {
        const QString h = f.d.addText(QStringLiteral("A"), QStringLiteral("W"), {0, 0, 0}, alignment, {20, 0, 0});
        // Either point is put on its own: the text stretches, the other end stays.
        f.d.setTextAlignmentPoint(h, {30, 10, 0});
        QCOMPARE(f.d.find(h)->insertion, (Point{0, 0, 0}));
        f.d.setInsertionPoint(h, {5, 5, 0});
        QCOMPARE(f.d.find(h)->alignmentPoint, (Point{30, 10, 0}));
        QCOMPARE(f.d.find(h)->insertion, (Point{5, 5, 0}));
    }
    // A reference carries an aligned attribute whole.
    Entity def = attributeDefinition(QStringLiteral("W"), QString(), QString(), {0, 0, 0});
    def.alignment = 3;
    def.alignmentPoint = {10, 0, 0};
    f.d.addBlockDefinition(QStringLiteral("WIRE"), {def});
    const QString ref = f.d.addBlockReference(QStringLiteral("A"), QStringLiteral("WIRE"), {0, 0, 0});
    f.d.setInsertionPoint(ref, {1, 2, 0});
    QCOMPARE(f.d.find(ref)->attributes.at(0).insertion, (Point{1, 2, 0}));
    QCOMPARE(f.d.find(ref)->attributes.at(0).alignmentPoint, (Point{11, 2, 0}));
}

QTEST_GUILESS_MAIN(TestDrawing)
#include "tst_drawing.moc"
