#include "common/roads.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <memory>

namespace testing {

#ifndef _WIN32
RemoteHost *makeDBusHost();
#endif

Road currentRoad()
{
    const QString name = qEnvironmentVariable("LUMO_ROAD").trimmed().toLower();
    if (name.isEmpty() || name == QLatin1String("inprocess"))
        return Road::InProcess;
    if (name == QLatin1String("dbus"))
        return Road::DBus;
    if (name == QLatin1String("com"))
        return Road::Com;
    qFatal("LUMO_ROAD=%s: the roads are inprocess, dbus and com", qPrintable(name));
}

QString roadName(Road road)
{
    switch (road) {
    case Road::InProcess:
        return QStringLiteral("inprocess");
    case Road::DBus:
        return QStringLiteral("dbus");
    case Road::Com:
        return QStringLiteral("com");
    }
    return {};
}

namespace {

std::unique_ptr<RemoteHost> &hostSlot()
{
    static std::unique_ptr<RemoteHost> host;
    return host;
}

// The host process ends with the test's application object, not at exit,
// when the event machinery it needs to stop cleanly is gone.
void stopHost()
{
    hostSlot().reset();
}

} // namespace

void RemoteHost::load(const QByteArray &json)
{
    if (!running())
        start();
    const QString path = m_dir.filePath(QStringLiteral("pushed.json"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(json) != json.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    testing(QStringLiteral("Replace"), {QDir::toNativeSeparators(path)});
}

QByteArray RemoteHost::dump() { return testing(QStringLiteral("Dump")).toString().toUtf8(); }
void RemoteHost::queuePick(const QStringList &handles) { testing(QStringLiteral("QueuePick"), {handles}); }
void RemoteHost::queuePickCancel() { testing(QStringLiteral("QueueCancel")); }
bool RemoteHost::undo() { return testing(QStringLiteral("Undo")).toBool(); }
bool RemoteHost::redo() { return testing(QStringLiteral("Redo")).toBool(); }

void RemoteHost::reset()
{
    if (!running())
        start();
    testing(QStringLiteral("Reset"));
}

int RemoteHost::open(const QByteArray &json, const QString &fullName)
{
    return testing(QStringLiteral("Open"), {QString::fromUtf8(json), fullName}).toInt();
}

void RemoteHost::activate(int index) { testing(QStringLiteral("Activate"), {index}); }
void RemoteHost::close(int index) { testing(QStringLiteral("Close"), {index}); }
int RemoteHost::activeDrawing() { return testing(QStringLiteral("ActiveDrawing")).toInt(); }
int RemoteHost::drawingCount() { return testing(QStringLiteral("DrawingCount")).toInt(); }

RemoteHost *remoteHost()
{
    const Road road = currentRoad();
    if (road == Road::InProcess)
        return nullptr;
    std::unique_ptr<RemoteHost> &host = hostSlot();
    if (!host) {
#ifndef _WIN32
        if (road == Road::DBus)
            host.reset(makeDBusHost());
        else
            qFatal("the COM road runs in the Windows test runner");
#else
        if (road == Road::Com)
            host.reset(makeComHost());
        else
            qFatal("the D-Bus road runs on Linux");
#endif
        qAddPostRoutine(stopHost);
    }
    return host.get();
}

} // namespace testing
