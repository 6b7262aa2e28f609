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
// of its testing interface. The host has several drawings open, one of them
// active; load, dump, the picks, undo and redo work on the active one.
// Calls that fail end the test run with the reason.
class RemoteHost {
public:
    virtual ~RemoteHost() = default;
    // The client backend of the road (the one lumoedit itself uses there).
    virtual cad::RunningObjects &objects() = 0;
    // Replaces the content of the active drawing, which keeps its name (its
    // undo history, selection sets and the queued picks go); starts the
    // host when it is not serving.
    virtual void load(const QByteArray &json) = 0;
    virtual QByteArray dump() = 0;
    virtual void queuePick(const QStringList &handles) = 0;
    virtual void queuePickCancel() = 0;
    virtual bool undo() = 0;
    virtual bool redo() = 0;
    // As freshly started: one new drawing (Drawing1.dwg), nothing queued;
    // starts the host when it is not serving.
    virtual void reset() = 0;
    // A new drawing with the content (empty: none) under fullName ("":
    // never saved), which becomes the active one; returns its index.
    virtual int open(const QByteArray &json, const QString &fullName) = 0;
    virtual void activate(int index) = 0;
    virtual void close(int index) = 0;
    virtual int activeDrawing() = 0;
    virtual int drawingCount() = 0;
    // Stops serving: the ProgID is no longer running until the next load().
    virtual void leave() = 0;
};

// The process-wide host of the current road, started at first use and
// stopped when the application object goes; null on the in-process road.
RemoteHost *remoteHost();

// The COM road's host, provided by the Windows test runner.
RemoteHost *makeComHost();

} // namespace testing
