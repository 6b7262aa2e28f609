// The COM road, in the Windows test runner: minicad's COM host in another
// process (LUMO_MINICAD_COM names its executable), reached through
// lumoedit's own COM backend; its testing object "<ProgID>.Testing" loads,
// dumps, queues picks and opens, activates and closes drawings.

#include "cad/connection.h"
#include "cad/win32/comobjects.h"
#include "common/roads.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

namespace testing {

namespace {

constexpr int kStartTimeoutMs = 60000;

class ComHost : public RemoteHost {
public:
    ComHost() : m_testingProgId(cad::kDefaultProgID + QStringLiteral(".Testing")) {}
    ~ComHost() override { leave(); }

    cad::RunningObjects &objects() override { return m_objects; }

    void leave() override
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(kStartTimeoutMs);
        // The running object table lets go of a dead server's objects when asked.
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (m_objects.isRunning(cad::kDefaultProgID) && !deadline.hasExpired())
            QThread::msleep(10);
    }

private:
    void start() override
    {
        const QString exe = qEnvironmentVariable("LUMO_MINICAD_COM");
        if (exe.isEmpty())
            qFatal("the COM road needs LUMO_MINICAD_COM, the path of minicad-com.exe");
        if (m_objects.isRunning(cad::kDefaultProgID))
            qFatal("%s is already running: the COM road needs a Wine prefix of its own",
                   qPrintable(cad::kDefaultProgID));
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(exe, {});
        if (!m_process.waitForStarted(kStartTimeoutMs))
            qFatal("cannot start %s: %s", qPrintable(exe), qPrintable(m_process.errorString()));
        // The host says "serving" once both objects are registered and published.
        QByteArray said;
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!said.contains("serving") && m_process.state() == QProcess::Running && !deadline.hasExpired()) {
            m_process.waitForReadyRead(int(deadline.remainingTime()));
            said += m_process.readAllStandardError();
        }
        if (!said.contains("serving"))
            qFatal("minicad-com did not come up: %s", said.constData());
    }

    QVariant testing(const QString &method, const QVariantList &args) override
    {
        if (!running())
            qFatal("minicad-com is not serving (testing %s)", qPrintable(method));
        try {
            const cad::Object testingObject = m_objects.attach(m_testingProgId);
            return testingObject->call(method, args);
        } catch (const cad::AutomationError &e) {
            qFatal("minicad-com's testing %s failed: %s", qPrintable(method), qPrintable(e.message()));
        }
    }

    QString m_testingProgId;
    cad::ComRunningObjects m_objects;
};

} // namespace

RemoteHost *makeComHost()
{
    return new ComHost;
}

} // namespace testing
