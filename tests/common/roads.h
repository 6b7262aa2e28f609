#pragma once
// The road a test reaches the CAD by: the minicad model in this process, a
// minicad process over D-Bus, or minicad's COM host in another process. The
// road is chosen at run time (LUMO_ROAD=inprocess|dbus|com), so one test
// executable runs its suites on every road.

#include "cad/runningobjects.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testing {

enum class Road { InProcess, DBus, Com };

Road currentRoad();
QString roadName(Road road);

// A CAD host in another process, serving the default ProgID, and the hooks
// of its testing interface. Calls that fail end the test run with the reason.
class RemoteHost {
public:
    virtual ~RemoteHost() = default;
    // The client backend of the road (the one lumoedit itself uses there).
    virtual cad::RunningObjects &objects() = 0;
    // Replaces the host's drawing (its undo history, selection sets and
    // queued picks go with it); starts the host when it is not serving.
    virtual void load(const QByteArray &json) = 0;
    virtual QByteArray dump() = 0;
    virtual void queuePick(const QStringList &handles) = 0;
    virtual void queuePickCancel() = 0;
    virtual bool undo() = 0;
    virtual bool redo() = 0;
    // Stops serving: the ProgID is no longer running until the next load().
    virtual void leave() = 0;
};

// The process-wide host of the current road, started at first use and
// stopped when the application object goes; null on the in-process road.
RemoteHost *remoteHost();

// The COM road's host, provided by the Windows test runner.
RemoteHost *makeComHost();

} // namespace testing
