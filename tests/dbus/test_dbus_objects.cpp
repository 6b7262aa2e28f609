// The wire format, the object server and the client proxies against a small
// fake object tree, on the private session bus of dbus-run-session.

#include "cad/batch.h"
#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "common/qtdbuscodec.h"
#include "cad/messagefilter.h"
#include "fakeserver.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <thread>
#include <cstdlib>

using cad::AutomationError;

namespace {

const QString kProgId = QStringLiteral("Fake.App.1");
// The same tree from a server that also offers a peer-to-peer address.
const QString kPeerProgId = QStringLiteral("Fake.Peer.1");

QDBusMessage rawInvoke(const QString &service, const QString &path, const QVariantList &arguments,
                       const QString &member = QStringLiteral("Invoke"))
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, QLatin1String(cad::wire::kAutomationInterface), member);
    m.setArguments(arguments);
    return m;
}

AutomationError::Kind kindOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AutomationError &e) {
        return e.kind();
    }
    throw std::logic_error("no automation error was thrown");
}

} // namespace

class TestDBusObjects : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
        m_server = std::make_unique<fake::ServerThread>(cad::wire::busNameForProgId(kProgId));
        QVERIFY(m_server->ok());
        m_peerServer = std::make_unique<fake::ServerThread>(cad::wire::busNameForProgId(kPeerProgId), true);
        QVERIFY(m_peerServer->ok());
    }
    void cleanupTestCase()
    {
        m_server.reset();
        m_peerServer.reset();
    }
    void cleanup() { cad::setRetrySleeper({}); }

    void busName_data()
    {
        QTest::addColumn<QString>("progId");
        QTest::addColumn<QString>("busName");
        QTest::newRow("plain") << "BricscadApp.AcadApplication" << "BricscadApp.AcadApplication";
        QTest::newRow("version element") << "AutoCAD.Application.24" << "AutoCAD.Application._24";
        QTest::newRow("dotted version") << "AutoCAD.Application.24.1" << "AutoCAD.Application._24._1";
        QTest::newRow("spaces and symbols") << "My CAD.App+1" << "My_CAD.App_1";
        QTest::newRow("hyphen kept") << "gst-cad.App" << "gst-cad.App";
        QTest::newRow("empty element") << "A..B" << "A._.B";
        QTest::newRow("trailing dot") << "A.B." << "A.B._";
        QTest::newRow("leading digit first") << "3D.App" << "_3D.App";
        QTest::newRow("single element") << "Acad" << "progid.Acad";
        QTest::newRow("non-ASCII") << QString::fromUtf8("図面.アプリ") << "__.___";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("too long") << QString(300, QLatin1Char('a')) + ".b" << "";
    }
    void busName()
    {
        QFETCH(QString, progId);
        QFETCH(QString, busName);
        QCOMPARE(cad::wire::busNameForProgId(progId), busName);
        if (!busName.isEmpty()) {
            // The bus must accept what we map to.
            auto c = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("name-check"));
            QVERIFY(c.registerService(busName));
            QVERIFY(c.unregisterService(busName));
            QDBusConnection::disconnectFromBus(QStringLiteral("name-check"));
        }
    }

    void errorNames()
    {
        for (auto kind : {AutomationError::Kind::Failed, AutomationError::Kind::Busy, AutomationError::Kind::Rejected,
                          AutomationError::Kind::Gone})
            QCOMPARE(cad::wire::errorKind(cad::wire::errorName(kind)), kind);
        QCOMPARE(cad::wire::errorKind(QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")),
                 AutomationError::Kind::Gone);
        QCOMPARE(cad::wire::errorKind(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs")),
                 AutomationError::Kind::Failed);
    }

    void runningAndAttach()
    {
        cad::DBusRunningObjects objects;
        QVERIFY(objects.isRunning(kProgId));
        QVERIFY(!objects.isRunning(QStringLiteral("Nobody.Here")));
        QVERIFY(!objects.isRunning(QString()));
        QCOMPARE(kindOf([&] { objects.attach(QStringLiteral("Nobody.Here")); }), AutomationError::Kind::Gone);

        cad::Object app = objects.attach(kProgId);
        QCOMPARE(cad::dbusObjectPath(app), QStringLiteral("/Application"));
        QCOMPARE(app->get(QStringLiteral("Name")).toString(), QStringLiteral("FakeCAD"));
        QCOMPARE(app->get(QStringLiteral("nAmE")).toString(), QStringLiteral("FakeCAD"));
        app->put(QStringLiteral("Caption"), QStringLiteral("drawing1"));
        QCOMPARE(app->get(QStringLiteral("Caption")).toString(), QStringLiteral("drawing1"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("empty") << QVariant();
        QTest::newRow("true") << QVariant(true);
        QTest::newRow("false") << QVariant(false);
        QTest::newRow("int") << QVariant(-42);
        QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
        QTest::newRow("double") << QVariant(2.5e-7);
        QTest::newRow("short") << QVariant::fromValue<short>(-7);
        QTest::newRow("long long") << QVariant::fromValue<qlonglong>(1LL << 40);
        QTest::newRow("string") << QVariant(QString::fromUtf8("図面 テキスト ①"));
        QTest::newRow("empty string") << QVariant(QString(""));
        // D-Bus strings hold neither NUL nor half a surrogate pair.
        const QString withNul = QString::fromUtf8("配線\0A-1", 10);
        QTest::newRow("string with NUL") << QVariant(withNul);
        QTest::newRow("NUL alone") << QVariant(QString(QChar(0)));
        QTest::newRow("lone surrogates") << QVariant(QString(QChar(0xD800)) + QStringLiteral("x") + QChar(0xDC00));
        QTest::newRow("NUL strings in an array") << QVariant(QVariantList{withNul, QStringLiteral("plain"), QVariantList{withNul}});
        QTest::newRow("point") << cad::fromPoint({1.5, -2, 3});
        QTest::newRow("int16 array") << cad::int16Array({0, 2, 66, -1});
        QTest::newRow("empty int16 array") << cad::int16Array({});
        QTest::newRow("variant array")
            << QVariant(QVariantList{QStringLiteral("TEXT"), 1, 2.0, QVariant(), cad::fromPoint({1, 2, 3})});
        QTest::newRow("nested arrays") << QVariant(QVariantList{QVariantList{1, QVariantList{}}, cad::int16Array({5})});
        QTest::newRow("empty variant array") << QVariant(QVariantList{});
        QTest::newRow("three doubles stay an array") << QVariant(QVariantList{1.0, 2.0, 3.0});
    }
    void roundTrip()
    {
        QFETCH(QVariant, value);
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        QVariantList args{value, QStringLiteral("unchanged")};
        const QVariant back = app->call(QStringLiteral("Echo"), args);
        QCOMPARE(back.metaType(), value.metaType());
        QCOMPARE(back, value);
        // Arguments passed by reference come back changed.
        args = {value, QStringLiteral("unchanged")};
        app->invoke(QStringLiteral("Echo"), cad::InvokeKind::Method, args);
        QCOMPARE(args.at(1).toString(), QStringLiteral("changed"));
        QCOMPARE(args.at(0), value);
    }

    void foreignArraysBecomeVariantArrays_data()
    {
        QTest::addColumn<QVariant>("sent");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("as") << QVariant(QStringList{"TEXT", "0"}) << QVariant(QVariantList{"TEXT", "0"});
        QTest::newRow("ad") << QVariant::fromValue(QList<double>{1, 2, 3}) << QVariant(QVariantList{1.0, 2.0, 3.0});
        QTest::newRow("ai") << QVariant::fromValue(QList<int>{0, 8}) << QVariant(QVariantList{0, 8});
        QTest::newRow("nested variant") << QVariant::fromValue(QDBusVariant(QStringLiteral("x"))) << QVariant(QStringLiteral("x"));
    }
    void foreignArraysBecomeVariantArrays()
    {
        // What a client we did not write may send for a variant array.
        QFETCH(QVariant, sent);
        QFETCH(QVariant, expected);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            rawInvoke(cad::wire::busNameForProgId(kProgId), QStringLiteral("/Application"),
                      {QStringLiteral("Echo"), 1, QVariant(QVariantList{sent})}));
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(testing::qtdbus::decode(reply.arguments().at(0)), expected);
    }

    void objectReferences()
    {
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        {
            cad::Object a = cad::toObject(app->get(QStringLiteral("Child")));
            cad::Object b = cad::toObject(app->get(QStringLiteral("Child")));
            QVERIFY(a && b);
            QVERIFY(cad::dbusObjectPath(a).startsWith(QLatin1String("/obj/")));
            QCOMPARE(cad::dbusObjectPath(a), cad::dbusObjectPath(b)); // one server object, one path
            a->put(QStringLiteral("Value"), 7);
            QCOMPARE(b->get(QStringLiteral("Value")).toInt(), 7);
            QCOMPARE(cad::dbusObjectPath(cad::toObject(a->get(QStringLiteral("Application")))),
                     QStringLiteral("/Application"));

            cad::Object c = cad::toObject(app->call(QStringLiteral("NewChild")));
            QVERIFY(cad::dbusObjectPath(c) != cad::dbusObjectPath(a));
            const QVariantList children = app->get(QStringLiteral("Children")).toList();
            QCOMPARE(children.size(), 3);
            for (const QVariant &v : children)
                QCOMPARE(cad::toObject(v)->get(QStringLiteral("Value")).toInt(), 0);

            // An object passed back travels as its path.
            const cad::Object echoed = cad::toObject(app->call(QStringLiteral("Echo"), {cad::fromObject(c)}));
            QCOMPARE(cad::dbusObjectPath(echoed), cad::dbusObjectPath(c));
            QCOMPARE(m_server->read<int>([&] { return m_server->server()->objectCount(); }), 5);
            QCOMPARE(fake::liveChildren.load(), 5);
        }
        // Every proxy is gone: the server lets go of the new objects (the
        // shared child stays with the application).
        app->get(QStringLiteral("Name")); // Release messages are ordered before this call
        QCOMPARE(m_server->read<int>([&] { return m_server->server()->objectCount(); }), 0);
        QCOMPARE(fake::liveChildren.load(), 1);
    }

    void errors()
    {
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        try {
            app->call(QStringLiteral("Fail"));
            QFAIL("no error");
        } catch (const AutomationError &e) {
            QCOMPARE(e.kind(), AutomationError::Kind::Failed);
            QCOMPARE(e.message(), QStringLiteral("It failed"));
        }
        QCOMPARE(kindOf([&] { app->call(QStringLiteral("Throw")); }), AutomationError::Kind::Failed);
        QCOMPARE(kindOf([&] { app->call(QStringLiteral("NoSuchMember")); }), AutomationError::Kind::Failed);
        cad::Object child = cad::toObject(app->call(QStringLiteral("NewChild")));
        QCOMPARE(kindOf([&] { child->put(QStringLiteral("Value"), QStringLiteral("text")); }),
                 AutomationError::Kind::Failed);
        // A value with no wire form fails before anything is sent.
        QCOMPARE(kindOf([&] { app->call(QStringLiteral("Echo"), {QVariant::fromValue(QSize(1, 2))}); }),
                 AutomationError::Kind::Failed);
    }

    void badMessages_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("errorName");
        const QVariantList none;
        const QVariant noArgs = QVariant(QVariantList{});
        QTest::newRow("unknown path") << "/nowhere" << "Invoke" << QVariantList{"Name", 2, noArgs}
                                      << "org.freedesktop.DBus.Error.UnknownObject";
        QTest::newRow("never handed out") << "/obj/99999" << "Invoke" << QVariantList{"Value", 2, noArgs}
                                          << "org.freedesktop.DBus.Error.UnknownObject";
        QTest::newRow("not a number") << "/obj/x" << "Invoke" << QVariantList{"Value", 2, noArgs}
                                      << "org.freedesktop.DBus.Error.UnknownObject";
        QTest::newRow("no arguments") << "/Application" << "Invoke" << none << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("kind as string") << "/Application" << "Invoke" << QVariantList{"Name", "2", noArgs}
                                        << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("args not av") << "/Application" << "Invoke" << QVariantList{"Name", 2, QStringList{"x"}}
                                     << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("kind 3") << "/Application" << "Invoke" << QVariantList{"Name", 3, noArgs}
                                << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("kind 0") << "/Application" << "Invoke" << QVariantList{"Name", 0, noArgs}
                                << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("unknown method") << "/Application" << "Explode" << none
                                        << "org.freedesktop.DBus.Error.UnknownMethod";
        QTest::newRow("map argument")
            << "/Application" << "Invoke"
            << QVariantList{"Echo", 1, QVariant(QVariantList{QVariant::fromValue(QVariantMap{{"a", 1}})})}
            << "org.lumoedit.Automation.Failed";
        QTest::newRow("byte array argument")
            << "/Application" << "Invoke" << QVariantList{"Echo", 1, QVariant(QVariantList{QByteArray("ab")})}
            << "org.lumoedit.Automation.Failed";
        QTest::newRow("path argument to nothing")
            << "/Application" << "Invoke"
            << QVariantList{"Echo", 1, QVariant(QVariantList{QVariant::fromValue(QDBusObjectPath("/obj/424242"))})}
            << "org.lumoedit.Automation.Gone";
        QTest::newRow("release unknown") << "/obj/424242" << "Release" << none
                                         << "org.freedesktop.DBus.Error.UnknownObject";
        QTest::newRow("release with arguments") << "/Application" << "Release" << QVariantList{1}
                                                << "org.freedesktop.DBus.Error.InvalidArgs";
        QTest::newRow("unknown interface") << "/Application" << "org.example.Other.Invoke" << none
                                           << "org.freedesktop.DBus.Error.UnknownInterface";
        QTest::newRow("unknown interface, unknown path") << "/obj/424242" << "org.example.Other.Invoke" << none
                                                         << "org.freedesktop.DBus.Error.UnknownInterface";
        QTest::newRow("unknown member") << "/Application" << "Invoke" << QVariantList{"", 2, noArgs}
                                        << "org.lumoedit.Automation.Failed";
    }
    void badMessages()
    {
        QFETCH(QString, path);
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, errorName);
        const QString service = cad::wire::busNameForProgId(kProgId);
        QDBusMessage call = rawInvoke(service, path, arguments, method);
        if (method.contains(QLatin1Char('.'))) // interface.member
            call = QDBusMessage::createMethodCall(service, path, method.section(QLatin1Char('.'), 0, -2),
                                                  method.section(QLatin1Char('.'), -1));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), errorName);
        // The server keeps serving.
        QCOMPARE(cad::DBusRunningObjects().attach(kProgId)->get(QStringLiteral("Name")).toString(),
                 QStringLiteral("FakeCAD"));
    }

    void emptyMarkerMustHoldZero()
    {
        // (y) holding 1 is not our marker.
        QDBusArgument arg;
        arg.beginStructure();
        arg << uchar(1);
        arg.endStructure();
        const QString service = cad::wire::busNameForProgId(kProgId);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(rawInvoke(
            service, QStringLiteral("/Application"),
            {QStringLiteral("Echo"), 1, QVariant(QVariantList{QVariant::fromValue(QDBusVariant(QVariant::fromValue(arg)))})}));
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), QStringLiteral("org.lumoedit.Automation.Failed"));
    }

    void releasedObjectIsGone()
    {
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        QString path;
        {
            cad::Object child = cad::toObject(app->call(QStringLiteral("NewChild")));
            path = cad::dbusObjectPath(child);
        }
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            rawInvoke(cad::wire::busNameForProgId(kProgId), path, {QStringLiteral("Value"), 2, QVariant(QVariantList{})}));
        QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }

    void releaseOnDisconnect_data()
    {
        QTest::addColumn<bool>("peerToPeer");
        QTest::newRow("bus") << false;
        QTest::newRow("peer-to-peer") << true;
    }
    void releaseOnDisconnect()
    {
        // A client process takes three references and dies without releasing any.
        QFETCH(bool, peerToPeer);
        fake::ServerThread &server = peerToPeer ? *m_peerServer : *m_server;
        server.run([&] { // the shared child outlives its clients
            if (!server.app()->child)
                server.app()->child = std::make_shared<fake::Child>(&server.app()->self);
        });
        const int childrenBefore = fake::liveChildren.load();
        QProcess client;
        client.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--attach-and-die"), peerToPeer ? kPeerProgId : kProgId});
        QVERIFY(client.waitForStarted());
        QVERIFY(client.waitForReadyRead(10000));
        const QString unique = QString::fromUtf8(client.readLine()).trimmed();
        // It went peer-to-peer where that is offered, and stayed on the bus elsewhere.
        QVERIFY2(unique.startsWith(peerToPeer ? QLatin1String(":peer.") : QLatin1String(":")), qPrintable(unique));
        QCOMPARE(unique.startsWith(QLatin1String(":peer.")), peerToPeer);
        QCOMPARE(server.read<int>([&] { return server.server()->referenceCount(unique); }), 3);
        QCOMPARE(server.read<int>([&] { return server.server()->objectCount(); }), 3);
        client.write("go\n");
        QVERIFY(client.waitForFinished(10000));
        QTRY_COMPARE(server.read<int>([&] { return server.server()->referenceCount(unique); }), 0);
        QCOMPARE(server.read<int>([&] { return server.server()->objectCount(); }), 0);
        QCOMPARE(fake::liveChildren.load(), childrenBefore);
    }

    void largeBatchesOnBothRoads_data() { releaseOnDisconnect_data(); }
    void largeBatchesOnBothRoads()
    {
        // More than the socket holds, in both directions at once: calls are
        // written while the answers to the first ones already come back.
        QFETCH(bool, peerToPeer);
        cad::DBusRunningObjects objects;
        cad::Object app = objects.attach(peerToPeer ? kPeerProgId : kProgId);
        QCOMPARE(objects.attachedPeerToPeer(), peerToPeer);
        cad::Batch batch;
        QList<QString> sent;
        for (int i = 0; i < 24; ++i) {
            sent.append(QString(300000 + i, QChar(u'線' + i)));
            batch.add(app, QStringLiteral("Echo"), cad::InvokeKind::Method, {sent.last()});
        }
        batch.run();
        for (int i = 0; i < sent.size(); ++i)
            QCOMPARE(batch.value(i).toString(), sent.at(i));
        QCOMPARE(app->get(QStringLiteral("Name")).toString(), QStringLiteral("FakeCAD"));
    }

    void nestingLimit()
    {
        // The deepest value that can be read back arrives; deeper ones are
        // refused before anything is written (a message nested past the
        // protocol's limit would make the receiver drop the connection),
        // and the connection goes on working.
        const auto nested = [](int depth) {
            QVariant v = QStringLiteral("leaf");
            for (int i = 0; i < depth; ++i)
                v = QVariantList{v};
            return v;
        };
        cad::Object app = cad::DBusRunningObjects().attach(kPeerProgId);
        QVariantList args{nested(15)};
        QCOMPARE(app->invoke(QStringLiteral("Echo"), cad::InvokeKind::Method, args), nested(15));
        for (int depth : {16, 40}) {
            args = {nested(depth)};
            try {
                app->invoke(QStringLiteral("Echo"), cad::InvokeKind::Method, args);
                QFAIL("a value nested too deeply was sent");
            } catch (const AutomationError &e) {
                QVERIFY2(e.message().contains(QLatin1String("nested too deeply")), qPrintable(e.message()));
            }
        }
        QCOMPARE(app->get(QStringLiteral("Name")).toString(), QStringLiteral("FakeCAD"));
    }

    void peerAddressIsPrivate()
    {
        const QString address = m_peerServer->read<QString>([&] { return m_peerServer->server()->peerAddress(); });
        QVERIFY2(address.startsWith(QLatin1String("unix:path=")), qPrintable(address));
        const QFileInfo socket(address.mid(int(strlen("unix:path="))).section(QLatin1Char(','), 0, 0));
        QVERIFY(socket.exists());
        QCOMPARE(socket.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                 QFile::Permissions());
        const QFileInfo directory(socket.absolutePath());
        QCOMPARE(directory.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                            | QFile::WriteOther | QFile::ExeOther),
                 QFile::Permissions());
    }

    void busyRetriedWhilePickWaits_data() { releaseOnDisconnect_data(); }
    void busyRetriedWhilePickWaits()
    {
        // A bus client picks; we wait, on the bus or on our peer connection.
        QFETCH(bool, peerToPeer);
        fake::ServerThread *const m_server = peerToPeer ? m_peerServer.get() : this->m_server.get();
        const QString progId = peerToPeer ? kPeerProgId : kProgId;
        const QString service = cad::wire::busNameForProgId(progId);
        auto picker = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("picker"));
        const int picksBefore = m_server->read<int>([&] { return m_server->app()->picks; });
        QDBusPendingCall pending = picker.asyncCall(
            rawInvoke(service, QStringLiteral("/Application"), {QStringLiteral("SelectOnScreen"), 1, QVariant(QVariantList{})}),
            INT_MAX);
        QTRY_VERIFY(m_server->read<bool>([&] { return m_server->server()->pickWaiting(); }));

        QList<int> sleeps;
        cad::setRetrySleeper([&](int ms) {
            sleeps.append(ms);
            if (sleeps.size() == 2) // the user answers during the second wait
                m_server->run([&] {
                    m_server->app()->pickAnswers.append(true);
                    m_server->server()->resumePick();
                });
        });
        cad::DBusRunningObjects objects;
        cad::Object app = objects.attach(progId);
        QCOMPARE(objects.attachedPeerToPeer(), peerToPeer);
        QCOMPARE(app->get(QStringLiteral("Name")).toString(), QStringLiteral("FakeCAD"));
        QCOMPARE(sleeps, (QList<int>{1000, 1000}));

        pending.waitForFinished();
        QVERIFY2(!pending.isError(), qPrintable(pending.error().message()));
        QCOMPARE(m_server->read<int>([&] { return m_server->app()->picks; }), picksBefore + 1);
        QDBusConnection::disconnectFromBus(QStringLiteral("picker"));
    }

    void busyWhileAWaitRunsANestedLoop()
    {
        QString answer;
        std::thread waitThread([&] {
            // Another client, in its own thread.
            answer = cad::DBusRunningObjects().attach(kProgId)->call(QStringLiteral("WaitNested")).toString();
        });
        QTRY_VERIFY(m_server->read<bool>([&] { return m_server->app()->nestedLoop != nullptr; }));
        QList<int> sleeps;
        cad::setRetrySleeper([&](int ms) {
            sleeps << ms;
            m_server->run([&] { m_server->app()->nestedLoop->quit(); });
        });
        QCOMPARE(cad::DBusRunningObjects().attach(kProgId)->get(QStringLiteral("Name")).toString(),
                 QStringLiteral("FakeCAD"));
        QCOMPARE(sleeps, QList<int>{1000});
        waitThread.join();
        QCOMPARE(answer, QStringLiteral("answered"));
    }

    void otherErrorsAreNotRetried()
    {
        int sleeps = 0;
        cad::setRetrySleeper([&](int) { ++sleeps; });
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        QCOMPARE(kindOf([&] { app->call(QStringLiteral("Fail")); }), AutomationError::Kind::Failed);
        QCOMPARE(sleeps, 0);
    }

    void pickAnsweredAndCancelled()
    {
        cad::Object app = cad::DBusRunningObjects().attach(kProgId);
        m_server->run([&] { m_server->app()->pickAnswers = {true, false}; });
        app->call(QStringLiteral("selectonscreen")); // member names match in any case
        try {
            app->call(QStringLiteral("SelectOnScreen"));
            QFAIL("a cancelled pick must fail");
        } catch (const AutomationError &e) {
            QCOMPARE(e.kind(), AutomationError::Kind::Failed);
            QCOMPARE(e.message(), QStringLiteral("The pick was cancelled"));
        }
        QVERIFY(!m_server->read<bool>([&] { return m_server->server()->pickWaiting(); }));
    }

    void disconnectMidPick()
    {
        const QString service = cad::wire::busNameForProgId(kProgId);
        {
            auto picker = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("leaving-picker"));
            picker.asyncCall(rawInvoke(service, QStringLiteral("/Application"),
                                       {QStringLiteral("SelectOnScreen"), 1, QVariant(QVariantList{})}),
                             INT_MAX);
            QTRY_VERIFY(m_server->read<bool>([&] { return m_server->server()->pickWaiting(); }));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("leaving-picker"));
        QTRY_VERIFY(!m_server->read<bool>([&] { return m_server->server()->pickWaiting(); }));
        int sleeps = 0;
        cad::setRetrySleeper([&](int) { ++sleeps; });
        QCOMPARE(cad::DBusRunningObjects().attach(kProgId)->get(QStringLiteral("Name")).toString(),
                 QStringLiteral("FakeCAD"));
        QCOMPARE(sleeps, 0);
    }

    void serverGone()
    {
        const QString progId = QStringLiteral("Fake.Vanishing");
        auto server = std::make_unique<fake::ServerThread>(cad::wire::busNameForProgId(progId));
        QVERIFY(server->ok());
        cad::DBusRunningObjects objects;
        cad::Object app = objects.attach(progId);
        cad::Object child = cad::toObject(app->call(QStringLiteral("NewChild")));
        server.reset();
        QVERIFY(!objects.isRunning(progId));
        // The user reads what happened, not the bus's own words.
        const QString unreachable = QString::fromUtf8("CAD アプリケーションに接続できなくなりました．");
        for (const auto &call : std::initializer_list<std::function<void()>>{
                 [&] { app->get(QStringLiteral("Name")); }, [&] { child->get(QStringLiteral("Value")); },
                 [&] { objects.attach(progId); }}) {
            try {
                call();
                QFAIL("no error");
            } catch (const AutomationError &e) {
                QCOMPARE(e.kind(), AutomationError::Kind::Gone);
                QCOMPARE(e.message(), unreachable);
                QCOMPARE(QString::fromUtf8(e.what()), unreachable);
            }
        }
        // A new server under the same name is a different application: the
        // old proxies do not reach it.
        auto again = std::make_unique<fake::ServerThread>(cad::wire::busNameForProgId(progId));
        QVERIFY(objects.isRunning(progId));
        QCOMPARE(kindOf([&] { app->get(QStringLiteral("Name")); }), AutomationError::Kind::Gone);
    }

private:
    std::unique_ptr<fake::ServerThread> m_server;
    std::unique_ptr<fake::ServerThread> m_peerServer;
};

// The client of releaseOnDisconnect: attach, take references, report the
// unique name, wait for the word, then die without releasing anything.
static int attachAndDie(const QString &progId)
{
    cad::DBusRunningObjects objects;
    cad::Object app = objects.attach(progId);
    static std::vector<cad::Object> kept;
    kept.push_back(cad::toObject(app->get(QStringLiteral("Child"))));
    kept.push_back(cad::toObject(app->call(QStringLiteral("NewChild"))));
    kept.push_back(cad::toObject(app->call(QStringLiteral("NewChild"))));
    std::printf("%s\n", qPrintable(objects.uniqueName()));
    std::fflush(stdout);
    char line[16];
    (void)std::fgets(line, sizeof line, stdin);
    std::_Exit(0);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--attach-and-die") == 0)
        return attachAndDie(QString::fromLocal8Bit(argv[2]));
    TestDBusObjects test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_dbus_objects.moc"
