#include "app/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

namespace lumo {

SingleInstance::SingleInstance(const QString &key, const QString &dir)
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
    return m_lock->tryLock(0);
}

} // namespace lumo
