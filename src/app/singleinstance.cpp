#include "app/singleinstance.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include "cad/win32/winwindows.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace lumo {

namespace {

QString fileNamePart(QString s)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return s.replace(unsafe, QStringLiteral("-"));
}

} // namespace

QString SingleInstance::sessionKey()
{
    // Wayland first: an X display there is the session's Xwayland.
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty())
        return fileNamePart(wayland);
    QString x = qEnvironmentVariable("DISPLAY");
    if (!x.isEmpty()) {
        // ":0" and ":0.0" are one display; the screen number is not part of it.
        static const QRegularExpression screen(QStringLiteral("\\.\\d+$"));
        x.remove(screen);
        x.replace(QLatin1Char(':'), QLatin1Char('-'));
        return fileNamePart(x.startsWith(QLatin1Char('-')) ? QStringLiteral("x") + x : QStringLiteral("x-") + x);
    }
    const QString session = qEnvironmentVariable("XDG_SESSION_ID");
    if (!session.isEmpty())
        return QStringLiteral("session-") + fileNamePart(session);
    return {};
}

SingleInstance::SingleInstance(const QString &key, const QString &dir) : m_key(key)
{
#ifndef Q_OS_WIN
    QString base = dir;
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    QDir().mkpath(base);
    QString name = key + QLatin1Char('-') + fileNamePart(qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")));
    const QString session = sessionKey();
    if (!session.isEmpty())
        name += QLatin1Char('-') + session;
    m_path = QDir(base).filePath(name + QStringLiteral(".lock"));
#else
    Q_UNUSED(dir);
#endif
}

SingleInstance::~SingleInstance()
{
#ifndef Q_OS_WIN
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock; the file stays for the next start
#endif
}

bool SingleInstance::acquire()
{
#ifdef Q_OS_WIN
    return !cad::win32::findWindowByClass(m_key.toStdWString());
#else
    if (m_fd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(m_path);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no guard to be had (read-only runtime folder): run rather than refuse
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    // For a person looking: who holds it.
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, pid.constData(), size_t(pid.size()));
    }
    m_fd = fd;
    return true;
#endif
}

} // namespace lumo
