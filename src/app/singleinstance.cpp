#include "app/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include "cad/win32/winwindows.h"
#endif

namespace lumo {

SingleInstance::SingleInstance(const QString &key, const QString &dir) : m_key(key)
{
    QString base = dir;
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    QDir().mkpath(base);
    QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    m_path = QDir(base).filePath(key + QLatin1Char('-') + user + QStringLiteral(".lock"));
}

bool SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock left by a crashed instance is recognised by its dead process id.
    m_lock->setStaleLockTime(0);
#ifdef Q_OS_WIN
    // On Windows a running instance also shows as a window of the main
    // window's class name, which is what FindWindowW looks for.
    if (cad::win32::findWindowByClass(m_key.toStdWString()))
        return false;
    if (!m_lock->tryLock(0))
        return false;
    m_window = std::make_shared<cad::win32::InstanceWindow>(m_key.toStdWString());
    return true;
#else
    return m_lock->tryLock(0);
#endif
}

} // namespace lumo
