// minicad as a child process on the private session bus, driven through
// lumoedit's D-Bus backend, raw messages, and gdbus.

#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "common/qtdbuscodec.h"
#include "cad/messagefilter.h"
#include "cad/objectmodel.h"
#include "minicad/model/drawing.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <dbus/dbus.h>

#include <optional>
#include <thread>

using cad::AutomationError;

namespace {

const QString kProgId = QStringLiteral("LumoTest.Application.1");
const QString kBusName = QStringLiteral("LumoTest.Application._1");

QDBusMessage invokeMessage(const QString &path, const QString &member, int kind, const QVariantList &args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(kBusName, path, QLatin1String(cad::wire::kAutomationInterface),
                                                    QStringLiteral("Invoke"));
    m.setArguments({member, kind, QVariant(args)});
    return m;
}

// The object path an Invoke reply returns; empty when it returned none.
QString resultPath(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QVariant v = reply.arguments().at(0).value<QDBusVariant>().variant();
    return v.metaType() == QMetaType::fromType<QDBusObjectPath>() ? v.value<QDBusObjectPath>().path() : QString();
}

} // namespace

class TestMiniCadDBus : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_minicad;
    QStringList m_texts; // handles of the three TEXTs
    QString m_lockedText;

    QDBusMessage testing(const QString &method, const QVariantList &args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(kBusName, QLatin1String(cad::wire::kTestingPath),
                                                        QLatin1String(cad::wire::kTestingInterface), method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m);
    }
    QString dump() { return testing(QStringLiteral("Dump")).arguments().value(0).toString(); }
    int objectCount() { return testing(QStringLiteral("ObjectCount")).arguments().value(0).toInt(); }
    // The releases of proxies just dropped travel on their own peer-to-peer
    // connection, this question through the bus: wait until the count rests.
    int settledObjectCount()
    {
        int last = objectCount();
        for (int i = 0; i < 40; ++i) {
            QTest::qWait(50);
            const int now = objectCount();
            if (now == last)
                break;
            last = now;
        }
        return last;
    }
    bool pickWaiting() { return testing(QStringLiteral("PickWaiting")).arguments().value(0).toBool(); }
    cad::Application attach() { return cad::Application(cad::DBusRunningObjects().attach(kProgId)); }
    QString appName() { return attach().object()->get(QStringLiteral("Name")).toString(); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        minicad::Drawing drawing;
        drawing.addLayer(QStringLiteral("LOCKED"), true);
        m_texts << drawing.addText(QStringLiteral("0"), QStringLiteral("HELLO"), {10, 20, 0})
                << drawing.addText(QStringLiteral("0"), QString::fromUtf8("図面名"), {0, 5, 0})
                << drawing.addText(QStringLiteral("0"), QStringLiteral("A-101"), {3, 4, 0});
        m_lockedText = drawing.addText(QStringLiteral("LOCKED"), QStringLiteral("FIXED"), {1, 1, 0});
        const QString file = m_dir.filePath(QStringLiteral("start.json"));
        drawing.saveFile(file);

        m_minicad.setProcessChannelMode(QProcess::ForwardedChannels);
        m_minicad.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless"), file});
        QVERIFY(m_minicad.waitForStarted());
        cad::DBusRunningObjects objects;
        QTRY_VERIFY_WITH_TIMEOUT(objects.isRunning(kProgId), 20000);
    }
    void cleanupTestCase()
    {
        m_minicad.terminate();
        m_minicad.waitForFinished();
    }
    void cleanup() { cad::setRetrySleeper({}); }

    void secondServerUnderTheSameNameRefuses()
    {
        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), kProgId, QStringLiteral("--headless")});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAll().contains("already owned"));
    }

    void unreadableFileRefuses()
    {
        QProcess bad;
        bad.setProcessChannelMode(QProcess::MergedChannels);
        bad.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), QStringLiteral("LumoTest.Other"),
                                                 QStringLiteral("--headless"), m_dir.filePath(QStringLiteral("missing.json"))});
        QVERIFY(bad.waitForFinished(20000));
        QCOMPARE(bad.exitCode(), 1);
        QVERIFY(!cad::DBusRunningObjects().isRunning(QStringLiteral("LumoTest.Other")));
    }

    void attachGetPut()
    {
        const cad::Application app = attach();
        QCOMPARE(app.object()->get(QStringLiteral("Name")).toString(), QStringLiteral("minicad"));
        const cad::Document doc = app.activeDocument();
        const cad::Entity text = doc.handleToObject(m_texts[0]);
        QCOMPARE(text.handle(), m_texts[0]);
        QCOMPARE(text.textString(), QStringLiteral("HELLO"));
        QCOMPARE(text.insertionPoint(), (cad::Point{10, 20, 0}));
        QCOMPARE(doc.handleToObject(m_texts[1]).textString(), QString::fromUtf8("図面名"));

        text.setTextString(QString::fromUtf8("こんにちは"));
        text.setInsertionPoint({11, 21, 0});
        QCOMPARE(text.textString(), QString::fromUtf8("こんにちは"));
        QVERIFY(dump().contains(QString::fromUtf8("こんにちは")));
        text.setTextString(QStringLiteral("HELLO"));
        text.setInsertionPoint({10, 20, 0});

        // The CAD's own refusal travels back as a failure with its message.
        try {
            doc.handleToObject(m_lockedText).setTextString(QStringLiteral("X"));
            QFAIL("a TEXT on a locked layer must not change");
        } catch (const AutomationError &e) {
            QCOMPARE(e.kind(), AutomationError::Kind::Failed);
            QVERIFY2(e.message().contains(QLatin1String("locked"), Qt::CaseInsensitive), qPrintable(e.message()));
        }
        QCOMPARE(doc.getVariable(QStringLiteral("VIEWSIZE")).metaType().id(), QMetaType::Double);
    }

    void selectionSetsAndReferences()
    {
        const int before = settledObjectCount();
        {
            const cad::Document doc = attach().activeDocument();
            const cad::SelectionSet set = doc.addSelectionSet(QStringLiteral("REFS"));
            // The two empty points of mode 5 travel as our empty marker.
            set.select(5, {0, 8}, {QStringLiteral("TEXT"), QStringLiteral("0")});
            QCOMPARE(set.count(), 3);
            QStringList handles;
            for (int i = 0; i < set.count(); ++i)
                handles << set.item(i).handle();
            QCOMPARE(handles, m_texts);
            QVERIFY(objectCount() > before);
            set.erase();
        }
        // Every proxy is gone, so is every server object. The releases went
        // peer-to-peer, the question goes through the bus: they may pass.
        QTRY_COMPARE(objectCount(), before);
    }

    void pickFromTheQueue()
    {
        const cad::SelectionSet set = attach().activeDocument().addSelectionSet(QStringLiteral("PICKED"));
        QCOMPARE(testing(QStringLiteral("QueuePick"), {QStringList{m_texts[2], m_lockedText}}).type(),
                 QDBusMessage::ReplyMessage);
        set.selectOnScreen({0}, {QStringLiteral("TEXT")});
        QCOMPARE(set.count(), 2);
        QCOMPARE(set.item(0).handle(), m_texts[2]);
        set.erase();
    }

    void pickCancelled()
    {
        const cad::SelectionSet set = attach().activeDocument().addSelectionSet(QStringLiteral("CANCELLED"));
        testing(QStringLiteral("QueueCancel"));
        QVERIFY_THROWS_EXCEPTION(AutomationError, set.selectOnScreen({}, {}));
        QCOMPARE(set.count(), 0);
        QVERIFY(!pickWaiting());
        set.erase();
    }

    void busyRetriedWhileAPickWaits()
    {
        // Another client (its own connection, its own thread) starts a pick
        // that waits for the user.
        int picked = -1;
        QString pickError;
        std::thread pickThread([&] {
            try {
                const cad::Document doc(cad::Application(cad::DBusRunningObjects().attach(kProgId)).activeDocument());
                const cad::SelectionSet set = doc.addSelectionSet(QStringLiteral("WAITING"));
                set.selectOnScreen({0}, {QStringLiteral("TEXT")});
                picked = set.count();
                set.erase();
            } catch (const AutomationError &e) {
                pickError = e.message();
            }
        });
        QTRY_VERIFY(pickWaiting());

        // Our calls are answered busy and retried every second; the user
        // answers during the second wait.
        QList<int> sleeps;
        cad::setRetrySleeper([&](int ms) {
            sleeps << ms;
            if (sleeps.size() == 2)
                testing(QStringLiteral("QueuePick"), {QStringList{m_texts[0]}});
        });
        const cad::Application app = attach();
        QCOMPARE(app.activeDocument().handleToObject(m_texts[0]).textString(), QStringLiteral("HELLO"));
        QCOMPARE(sleeps, (QList<int>{1000, 1000}));
        pickThread.join();
        QCOMPARE(pickError, QString());
        QCOMPARE(picked, 1);
    }

    void disconnectMidPick()
    {
        const int before = settledObjectCount();
        {
            auto c = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaver"));
            const QString doc = resultPath(c.call(invokeMessage(QStringLiteral("/Application"), QStringLiteral("ActiveDocument"), 2)));
            const QString sets = resultPath(c.call(invokeMessage(doc, QStringLiteral("SelectionSets"), 2)));
            const QString set = resultPath(c.call(invokeMessage(sets, QStringLiteral("Add"), 1, {QStringLiteral("LEAVER")})));
            QVERIFY(!set.isEmpty());
            c.asyncCall(invokeMessage(set, QStringLiteral("SelectOnScreen"), 1), INT_MAX);
            QTRY_VERIFY(pickWaiting());
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("leaver"));
        QTRY_VERIFY(!pickWaiting());
        int sleeps = 0;
        cad::setRetrySleeper([&](int) { ++sleeps; });
        QCOMPARE(appName(), QStringLiteral("minicad"));
        QCOMPARE(sleeps, 0);
        QTRY_COMPARE(objectCount(), before);
    }

    void badInputLeavesTheServerServing()
    {
        const QString before = dump();
        QVERIFY(!before.isEmpty());
        auto c = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fuzzer"));
        QStringList paths{QStringLiteral("/Application"), QStringLiteral("/obj/999999"), QStringLiteral("/obj/abc"),
                          QStringLiteral("/obj/0"), QStringLiteral("/"), QStringLiteral("/Application/x"),
                          QStringLiteral("/Testing")};
        {
            const QString doc = resultPath(c.call(invokeMessage(QStringLiteral("/Application"), QStringLiteral("ActiveDocument"), 2)));
            paths << doc;
            for (const char *collection : {"Layers", "Blocks", "SelectionSets"})
                paths << resultPath(c.call(invokeMessage(doc, QLatin1String(collection), 2)));
            for (const QString &h : m_texts + QStringList{m_lockedText})
                paths << resultPath(c.call(invokeMessage(doc, QStringLiteral("HandleToObject"), 1, {h})));
        }
        QVERIFY(!paths.contains(QString()));

        // Members that only read, and names nobody knows; kinds beyond 1, 2
        // and 4; arguments of every shape, many of them wrong.
        const QStringList readers{"Name", "Count", "Item", "Handle", "EntityName", "ObjectName", "GetVariable",
                                  "HWND", "Application", "ActiveDocument", "Layers", "Blocks", "SelectionSets",
                                  "GetAttributes", "HandleToObject", "TagString", "PromptString", "TextString",
                                  "InsertionPoint", "TextAlignmentPoint", "Alignment", "Layer", "HasAttributes"};
        const QStringList unknown{"", "Nope", "Delete ", QString::fromUtf8("削除"), QString(2000, QLatin1Char('x')),
                                  "Select OnScreen", "Invoke"};
        auto *rng = QRandomGenerator::global();
        const auto randomValue = [&](auto &self, int depth) -> QVariant {
            QDBusArgument s;
            switch (rng->bounded(18)) {
            case 0: return rng->bounded(-5, 20);
            case 1: return qint64(rng->generate64());
            case 2: return rng->bounded(2) ? std::numeric_limits<double>::quiet_NaN() : 1e300;
            case 3: return bool(rng->bounded(2));
            case 4: return QString::number(rng->bounded(100));
            case 5: return m_texts.value(rng->bounded(int(m_texts.size())));
            case 6: return QVariant::fromValue(testing::qtdbus::encode(QVariant()).variant());
            case 7: return QVariant::fromValue(testing::qtdbus::encode(cad::fromPoint({1, 2, 3})).variant());
            case 8: return QVariant::fromValue(QList<qint16>{0, 2, qint16(rng->bounded(100))});
            case 9: {
                QVariantList list;
                for (int i = depth < 3 ? rng->bounded(4) : 0; i > 0; --i)
                    list << QVariant::fromValue(QDBusVariant(self(self, depth + 1)));
                return QVariant::fromValue(list);
            }
            case 10: return QVariant::fromValue(QDBusObjectPath(paths.value(rng->bounded(int(paths.size())))));
            case 11: return QByteArray("\x01\x02");
            case 12: return QVariantMap{{QStringLiteral("k"), 1}};
            case 13: return QStringList{QStringLiteral("TEXT"), QStringLiteral("0")};
            case 14: return QVariant::fromValue(quint64(rng->generate64()));
            case 15: return QVariant::fromValue(uchar(rng->bounded(256)));
            case 16:
                s.beginStructure();
                s << uchar(1);
                s.endStructure();
                return QVariant::fromValue(s);
            default:
                s.beginStructure();
                s << 1 << 2;
                s.endStructure();
                return QVariant::fromValue(s);
            }
        };
        int errors = 0;
        const int calls = 400;
        for (int i = 0; i < calls; ++i) {
            const bool known = rng->bounded(3) != 0;
            const QString member = known ? readers.value(rng->bounded(int(readers.size())))
                                         : unknown.value(rng->bounded(int(unknown.size())));
            static const int knownKinds[] = {1, 2, 2, 1, 0, 3, 8, -1};
            static const int anyKinds[] = {1, 2, 4, 0, 3, 8, -1, 1 << 30};
            const int kind = known ? knownKinds[rng->bounded(8)] : anyKinds[rng->bounded(8)];
            QVariantList args;
            for (int n = rng->bounded(5); n > 0; --n)
                args << (rng->bounded(8) ? randomValue(randomValue, 0) : QVariant::fromValue(QDBusVariant(randomValue(randomValue, 0))));
            QDBusMessage m = QDBusMessage::createMethodCall(kBusName, paths.value(rng->bounded(int(paths.size()))),
                                                            QLatin1String(cad::wire::kAutomationInterface),
                                                            rng->bounded(20) ? QStringLiteral("Invoke") : QStringLiteral("Release"));
            if (rng->bounded(20) == 0)
                m.setArguments({member, QString::number(kind), QVariant(args)}); // a wrong signature
            else if (m.member() == QLatin1String("Invoke"))
                m.setArguments({member, kind, QVariant(args)});
            const QDBusMessage reply = c.call(m, QDBus::Block, 10000);
            QVERIFY2(reply.type() == QDBusMessage::ReplyMessage || reply.type() == QDBusMessage::ErrorMessage,
                     qPrintable(QStringLiteral("call %1 got no answer").arg(i)));
            QVERIFY2(reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NoReply"), qPrintable(reply.errorMessage()));
            if (reply.type() == QDBusMessage::ErrorMessage)
                ++errors;
        }
        QVERIFY(errors > calls / 4); // most of it is nonsense, and was told so
        c = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("fuzzer"));

        QCOMPARE(m_minicad.state(), QProcess::Running);
        QCOMPARE(appName(), QStringLiteral("minicad"));
        QCOMPARE(dump(), before);
        QTRY_COMPARE(objectCount(), 0); // the fuzzer's references went with it
    }

    void gdbusIsAClientToo()
    {
        const auto gdbus = [](const QStringList &args) {
            QProcess p;
            p.start(QStringLiteral("gdbus"), QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                                          QStringLiteral("--dest"), kBusName} + args);
            p.waitForFinished(20000);
            return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
        };
        const QString method = QStringLiteral("org.lumoedit.Automation.Invoke");
        QCOMPARE(gdbus({"--object-path", "/Application", "--method", method, "Name", "2", "[]"}),
                 QStringLiteral("(<'minicad'>, @av [])"));
        QVERIFY(gdbus({"--object-path", "/Application", "--method", method, "ActiveDocument", "2", "[]"})
                    .startsWith(QLatin1String("(<objectpath '/obj/")));
        // A point argument and the empty result marker.
        QCOMPARE(gdbus({"--object-path", "/Application", "--method", method, "ZoomCenter", "1", "[<(5.0, 6.0, 0.0)>, <40.0>]"}),
                 QStringLiteral("(<(byte 0x00,)>, @av [])"));
        QVERIFY(dump().contains(QLatin1String("40")));
        QVERIFY(gdbus({"--object-path", "/Application", "--method", method, "Nope", "1", "[]"})
                    .contains(QLatin1String("org.lumoedit.Automation.Failed")));
        QCOMPARE(gdbus({"--object-path", "/Testing", "--method", "org.lumoedit.MiniCadTesting.PickWaiting"}),
                 QStringLiteral("(false,)"));
        // The document gdbus was handed went away with gdbus.
        QTRY_COMPARE(objectCount(), 0);
    }

    void foreignClientsFindTheNodes()
    {
        const auto introspect = [](const QString &path) {
            QProcess p;
            p.start(QStringLiteral("gdbus"), {QStringLiteral("introspect"), QStringLiteral("--session"),
                                              QStringLiteral("--dest"), kBusName, QStringLiteral("--object-path"), path});
            p.waitForFinished(20000);
            return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        };
        const QString root = introspect(QStringLiteral("/"));
        QVERIFY2(root.contains(QLatin1String("node Application")) && root.contains(QLatin1String("node Testing")),
                 qPrintable(root));
        // The objects handed out hang under /obj while someone holds them.
        const cad::Document doc = attach().activeDocument();
        const QString docPath = cad::dbusObjectPath(doc.object());
        const QString id = docPath.section(QLatin1Char('/'), -1);
        QVERIFY(introspect(QStringLiteral("/")).contains(QLatin1String("node obj")));
        QVERIFY(introspect(QStringLiteral("/obj")).contains(QStringLiteral("node %1").arg(id)));
        QVERIFY(introspect(docPath).contains(QLatin1String(cad::wire::kAutomationInterface)));
        QVERIFY(introspect(QStringLiteral("/Testing")).contains(QLatin1String(cad::wire::kTestingInterface)));
    }

    void referencesDoNotOutliveTheirDrawing()
    {
        const QString file = m_dir.filePath(QStringLiteral("reload.json"));
        QCOMPARE(testing(QStringLiteral("Save"), {file}).type(), QDBusMessage::ReplyMessage);
        cad::DBusRunningObjects objects;
        const cad::Document doc = cad::Application(objects.attach(kProgId)).activeDocument();
        const cad::Entity text = doc.handleToObject(m_texts[2]);
        QVERIFY(testing(QStringLiteral("ReferenceCount"), {objects.uniqueName()}).arguments().value(0).toInt() > 0);
        QCOMPARE(testing(QStringLiteral("Load"), {file}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(testing(QStringLiteral("ReferenceCount"), {objects.uniqueName()}).arguments().value(0).toInt(), 0);
        // The same handle lives in the new drawing; the old reference must not reach it.
        for (const auto &call : std::initializer_list<std::function<void()>>{
                 [&] { text.setTextString(QStringLiteral("STALE")); }, [&] { doc.handleToObject(m_texts[2]); }}) {
            try {
                call();
                QFAIL("a reference into the previous drawing answered");
            } catch (const AutomationError &e) {
                QCOMPARE(e.kind(), AutomationError::Kind::Failed);
                QVERIFY2(e.message().contains(QLatin1String("no longer exists")), qPrintable(e.message()));
            }
        }
        QVERIFY(!dump().contains(QLatin1String("STALE")));
        QCOMPARE(attach().activeDocument().handleToObject(m_texts[2]).textString(), QStringLiteral("A-101"));
    }

    void peerConnectionClosingDropsItsReferences()
    {
        // A client that asks for the peer-to-peer address, takes a reference
        // there and goes without releasing it.
        const QDBusMessage asked = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            kBusName, QLatin1String(cad::wire::kApplicationPath), QLatin1String(cad::wire::kAutomationInterface),
            QStringLiteral("PeerAddress")));
        QCOMPARE(asked.type(), QDBusMessage::ReplyMessage);
        DBusError error;
        dbus_error_init(&error);
        DBusConnection *c = dbus_connection_open_private(asked.arguments().value(0).toString().toUtf8().constData(), &error);
        QVERIFY2(c && dbus_bus_register(c, &error), error.message ? error.message : "");
        const QString name = QString::fromUtf8(dbus_bus_get_unique_name(c));
        DBusMessage *call = dbus_message_new_method_call(nullptr, cad::wire::kApplicationPath,
                                                         cad::wire::kAutomationInterface, "Invoke");
        const char *member = "ActiveDocument";
        const dbus_int32_t kind = 2;
        DBusMessageIter it, args;
        dbus_message_iter_init_append(call, &it);
        dbus_message_iter_append_basic(&it, DBUS_TYPE_STRING, &member);
        dbus_message_iter_append_basic(&it, DBUS_TYPE_INT32, &kind);
        dbus_message_iter_open_container(&it, DBUS_TYPE_ARRAY, "v", &args);
        dbus_message_iter_close_container(&it, &args);
        DBusMessage *reply = dbus_connection_send_with_reply_and_block(c, call, -1, &error);
        dbus_message_unref(call);
        QVERIFY2(reply, error.message ? error.message : "");
        dbus_message_unref(reply);
        const auto references = [&] {
            return testing(QStringLiteral("ReferenceCount"), {name}).arguments().value(0).toInt();
        };
        QCOMPARE(references(), 1);
        dbus_connection_close(c);
        dbus_connection_unref(c);
        QTRY_COMPARE(references(), 0);
    }

    void applicationClosedDuringAPick()
    {
        // The user closes the CAD while lumoedit waits for a pick: the
        // waiting call ends with "gone", not with a hang or a plain failure.
        const QString progId = QStringLiteral("LumoTest.Closing");
        QProcess doomed;
        doomed.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--progid"), progId, QStringLiteral("--headless")});
        QVERIFY(doomed.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(cad::DBusRunningObjects().isRunning(progId), 20000);
        std::optional<AutomationError::Kind> kind;
        std::thread pickThread([&] {
            try {
                const cad::Document doc = cad::Application(cad::DBusRunningObjects().attach(progId)).activeDocument();
                doc.addSelectionSet(QStringLiteral("ORPHAN")).selectOnScreen({}, {});
            } catch (const AutomationError &e) {
                kind = e.kind();
            }
        });
        const auto waiting = [&] {
            QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("LumoTest.Closing"), QLatin1String(cad::wire::kTestingPath),
                                                            QLatin1String(cad::wire::kTestingInterface), QStringLiteral("PickWaiting"));
            return QDBusConnection::sessionBus().call(m).arguments().value(0).toBool();
        };
        QTRY_VERIFY(waiting());
        doomed.kill();
        doomed.waitForFinished();
        pickThread.join();
        QVERIFY(kind.has_value());
        QCOMPARE(*kind, AutomationError::Kind::Gone);
    }

    void saveAndLoad()
    {
        const QString before = dump();
        const QString file = m_dir.filePath(QStringLiteral("saved.json"));
        QCOMPARE(testing(QStringLiteral("Save"), {file}).type(), QDBusMessage::ReplyMessage);
        attach().activeDocument().handleToObject(m_texts[2]).setTextString(QStringLiteral("CHANGED"));
        QVERIFY(dump() != before);
        QCOMPARE(testing(QStringLiteral("Load"), {file}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(dump(), before);

        QFile junk(m_dir.filePath(QStringLiteral("junk.json")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("{ not json");
        junk.close();
        const QDBusMessage reply = testing(QStringLiteral("Load"), {junk.fileName()});
        QCOMPARE(reply.errorName(), QStringLiteral("org.lumoedit.Automation.Failed"));
        QCOMPARE(dump(), before);
        QCOMPARE(testing(QStringLiteral("Load"), {42}).errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
        QCOMPARE(testing(QStringLiteral("Explode")).errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    }

    void savesAndLoadsDxfByExtension()
    {
        const QString file = m_dir.filePath(QStringLiteral("saved.DXF"));
        QCOMPARE(testing(QStringLiteral("Save"), {file}).type(), QDBusMessage::ReplyMessage);
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().trimmed().startsWith("0\n"));
        attach().activeDocument().handleToObject(m_texts[1]).setTextString(QStringLiteral("EDITED"));
        QCOMPARE(testing(QStringLiteral("Load"), {file}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(!dump().contains(QStringLiteral("EDITED")));
    }

    // Last: the others see one drawing.
    void severalDrawingsThroughTheTestingInterface()
    {
        const auto intOf = [&](const QString &method, const QVariantList &args = {}) {
            const QDBusMessage reply = testing(method, args);
            if (reply.type() != QDBusMessage::ReplyMessage)
                qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
            return reply.arguments().value(0).toInt();
        };
        QCOMPARE(intOf(QStringLiteral("DrawingCount")), 1);
        QCOMPARE(intOf(QStringLiteral("ActiveDrawing")), 0);
        const cad::Document first = attach().activeDocument();
        const QString firstName = first.object()->get(QStringLiteral("Name")).toString();

        minicad::Drawing other;
        const QString otherText = other.addText(QStringLiteral("0"), QStringLiteral("OTHER"), {0, 0, 0});
        const QString otherJson = QString::fromUtf8(other.toJson().toJson());
        const QString otherPath = m_dir.filePath(QStringLiteral("other.dxf"));
        QCOMPARE(intOf(QStringLiteral("Open"), {otherJson, otherPath}), 1);
        QCOMPARE(intOf(QStringLiteral("Open"), {QString(), QString()}), 2);
        QCOMPARE(intOf(QStringLiteral("DrawingCount")), 3);
        QCOMPARE(intOf(QStringLiteral("ActiveDrawing")), 2);

        // The automation side sees the same three, the new one active.
        const cad::Object app = attach().object();
        const cad::Object documents = cad::toObject(app->get(QStringLiteral("Documents")));
        QCOMPARE(documents->get(QStringLiteral("Count")).toInt(), 3);
        const cad::Object active = cad::toObject(app->get(QStringLiteral("ActiveDocument")));
        QCOMPARE(active->get(QStringLiteral("Name")).toString(), QStringLiteral("Drawing1.dwg"));
        QCOMPARE(active->get(QStringLiteral("FullName")).toString(), QString());
        const cad::Object second = cad::toObject(documents->call(QStringLiteral("Item"), {1}));
        QCOMPARE(second->get(QStringLiteral("Name")).toString(), QStringLiteral("other.dxf"));
        QCOMPARE(second->get(QStringLiteral("FullName")).toString(), otherPath);
        QVERIFY(!dump().contains(QLatin1String("HELLO"))); // Dump is the active drawing's

        // A document taken earlier keeps addressing its own drawing; the
        // same handle names another entity in another drawing.
        QCOMPARE(first.handleToObject(m_texts[0]).textString(), QStringLiteral("HELLO"));
        QCOMPARE(cad::Document(second).handleToObject(otherText).textString(), QStringLiteral("OTHER"));
        QCOMPARE(first.object()->get(QStringLiteral("Name")).toString(), firstName);

        QCOMPARE(testing(QStringLiteral("Activate"), {0}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(dump().contains(QLatin1String("HELLO")));
        QCOMPARE(testing(QStringLiteral("Activate"), {7}).errorName(), QStringLiteral("org.lumoedit.Automation.Failed"));
        QCOMPARE(testing(QStringLiteral("Open"), {otherJson}).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));

        // Closing: the objects of the closed drawing are cut off, the rest serve on.
        QCOMPARE(testing(QStringLiteral("Close"), {1}).type(), QDBusMessage::ReplyMessage);
        try {
            second->get(QStringLiteral("Name"));
            QFAIL("a document of a closed drawing answered");
        } catch (const AutomationError &e) {
            QCOMPARE(e.kind(), AutomationError::Kind::Failed);
        }
        QCOMPARE(intOf(QStringLiteral("DrawingCount")), 2);
        QCOMPARE(intOf(QStringLiteral("ActiveDrawing")), 0);
        QCOMPARE(testing(QStringLiteral("Close"), {1}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(intOf(QStringLiteral("DrawingCount")), 1);
        QCOMPARE(first.handleToObject(m_texts[0]).textString(), QStringLiteral("HELLO"));

        // A foreign client reads sane signatures.
        QProcess p;
        p.start(QStringLiteral("gdbus"), {QStringLiteral("introspect"), QStringLiteral("--session"),
                                          QStringLiteral("--dest"), kBusName, QStringLiteral("--object-path"),
                                          QLatin1String(cad::wire::kTestingPath)});
        p.waitForFinished(20000);
        const QString xml = QString::fromUtf8(p.readAllStandardOutput()).simplified();
        for (const char *signature : {"Open(in s json, in s fullName, out i index)", "Activate(in i index)",
                                      "Close(in i index)", "DrawingCount(out i count)", "ActiveDrawing(out i index)",
                                      "QueuePick(in as handles)", "Load(in s path)"})
            QVERIFY2(xml.contains(QLatin1String(signature)), qPrintable(xml));
    }
};

QTEST_GUILESS_MAIN(TestMiniCadDBus)
#include "test_minicad_dbus.moc"
