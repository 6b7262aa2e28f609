#pragma once
// "Is the CAD application of this ProgID running?" and "attach to it".

#include "protocol/automation.h"

#include <QHash>
#include <QString>

namespace cad {

class RunningObjects {
public:
    virtual ~RunningObjects() = default;
    // True when an active object of the ProgID can be had (GetActiveObject
    // succeeds). Shows nothing and never throws.
    virtual bool isRunning(const QString &progId) = 0;
    // The application object of the running ProgID. Throws AutomationError.
    virtual Object attach(const QString &progId) = 0;
};

// A table of application objects in this process, for tests.
class InProcessRunningObjects : public RunningObjects {
public:
    void publish(const QString &progId, Object application);
    void revoke(const QString &progId);
    bool isRunning(const QString &progId) override;
    Object attach(const QString &progId) override;

private:
    QHash<QString, Object> m_table;
};

} // namespace cad
