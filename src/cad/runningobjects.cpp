#include "cad/runningobjects.h"

namespace cad {

void InProcessRunningObjects::publish(const QString &progId, Object application)
{
    m_table.insert(progId, std::move(application));
}

void InProcessRunningObjects::revoke(const QString &progId)
{
    m_table.remove(progId);
}

bool InProcessRunningObjects::isRunning(const QString &progId)
{
    return !progId.isEmpty() && m_table.contains(progId);
}

Object InProcessRunningObjects::attach(const QString &progId)
{
    const auto it = m_table.constFind(progId);
    if (it == m_table.constEnd())
        throw AutomationError(QStringLiteral("Operation unavailable: %1 is not running").arg(progId),
                              AutomationError::Kind::Gone);
    return it.value();
}

} // namespace cad
