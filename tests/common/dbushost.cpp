// The D-Bus road: a minicad process on the test's session bus, reached
// through lumoedit's own D-Bus backend; its testing interface loads, dumps,
// queues picks and opens, activates and closes drawings.

#include "cad/connection.h"
#include "cad/dbus/dbusobjects.h"
#include "protocol/dbus/wire.h"
#include "common/roads.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>

namespace testing {

namespace {

constexpr int kStartTimeoutMs = 30000;

class DBusHost : public RemoteHost {
public:
    DBusHost() : m_busName(cad::wire::busNameForProgId(cad::kDefaultProgID)) {}
    ~DBusHost() override { leave(); }

    cad::RunningObjects &objects() override { return m_objects; }

    void leave() override
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        QDBusServiceWatcher watcher(m_busName, bus(), QDBusServiceWatcher::WatchForUnregistration);
        m_process.terminate();
        if (!m_process.waitForFinished(kStartTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished();
        }
        // The bus lets go of the name when it notices the connection closed.
        waitFor(watcher, &QDBusServiceWatcher::serviceUnregistered, [this] { return !registered(); }, false);
    }

private:
    static QDBusConnection bus() { return QDBusConnection::sessionBus(); }
    bool registered() const { return bus().interface()->isServiceRegistered(m_busName).value(); }

    template<typename Signal, typename Done>
    void waitFor(QDBusServiceWatcher &watcher, Signal signal, Done done, bool starting)
    {
        if (done())
            return;
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&watcher, signal, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        timeout.start(kStartTimeoutMs);
        // A minicad that ended while starting will not register any more.
        while (!done() && timeout.isActive() && (!starting || m_process.state() == QProcess::Running))
            loop.exec();
    }

    void start() override
    {
        if (!bus().isConnected())
            qFatal("the D-Bus road needs a session bus: run the test under dbus-run-session");
        if (registered())
            qFatal("%s is already served on this bus: run the test under a dbus-run-session of its own",
                   qPrintable(m_busName));
        QDBusServiceWatcher watcher(m_busName, bus(), QDBusServiceWatcher::WatchForRegistration);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        // A test that dies takes its minicad with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // Headless: minicad publishes window ids only on X11, and the tests run offscreen.
        m_process.start(QStringLiteral(MINICAD_PATH), {QStringLiteral("--headless")});
        if (!m_process.waitForStarted(kStartTimeoutMs))
            qFatal("cannot start %s: %s", MINICAD_PATH, qPrintable(m_process.errorString()));
        waitFor(watcher, &QDBusServiceWatcher::serviceRegistered, [this] { return registered(); }, true);
        if (!registered())
            qFatal("minicad did not take %s on the bus (%s)", qPrintable(m_busName),
                   m_process.state() == QProcess::Running ? "still starting" : "it ended");
    }

    QVariant testing(const QString &method, const QVariantList &args) override
    {
        if (!running())
            qFatal("minicad is not serving (testing %s)", qPrintable(method));
        QDBusMessage m = QDBusMessage::createMethodCall(m_busName, QLatin1String(cad::wire::kTestingPath),
                                                        QLatin1String(cad::wire::kTestingInterface), method);
        m.setArguments(args);
        const QDBusMessage reply = bus().call(m);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qFatal("minicad's testing %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
        return reply.arguments().value(0);
    }

    QString m_busName;
    cad::DBusRunningObjects m_objects;
};

} // namespace

RemoteHost *makeDBusHost()
{
    return new DBusHost;
}

} // namespace testing
