#pragma once
// The road a test reaches the CAD by: the minicad model in this process, a
// minicad process over D-Bus, or minicad's COM host in another process. The
// road is chosen at run time (LUMO_ROAD=inprocess|dbus|com), so one test
// executable runs its suites on every road.

#include "cad/runningobjects.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace testing {

enum class Road { InProcess, DBus, Com };

Road currentRoad();
QString roadName(Road road);

// A CAD host in another process, serving the default ProgID, and the hooks
// of its testing interface. The host has several drawings open, one of them
// active; load, dump, the picks, undo and redo work on the active one.
// Calls that fail end the test run with the reason. Each road says how the
// process starts and how its testing interface is called.
class RemoteHost {
public:
    virtual ~RemoteHost() = default;
    // The client backend of the road (the one lumoedit itself uses there).
    virtual cad::RunningObjects &objects() = 0;
    // Replaces the content of the active drawing, which keeps its name (its
    // undo history, selection sets and the queued picks go); starts the
    // host when it is not serving.
    void load(const QByteArray &json);
    QByteArray dump();
    void queuePick(const QStringList &handles);
    void queuePickCancel();
    bool undo();
    bool redo();
    // As freshly started: one new drawing (Drawing1.dwg), nothing queued;
    // starts the host when it is not serving.
    void reset();
    // A new drawing with the content (empty: none) under fullName ("":
    // never saved), which becomes the active one; returns its index.
    int open(const QByteArray &json, const QString &fullName);
    void activate(int index);
    void close(int index);
    int activeDrawing();
    int drawingCount();
    // Stops serving: the ProgID is no longer running until the next load().
    virtual void leave() = 0;

protected:
    // Starts the host process (m_process) and returns once it serves.
    virtual void start() = 0;
    // One member of the testing interface, its answer (none: invalid).
    virtual QVariant testing(const QString &method, const QVariantList &args = {}) = 0;
    bool running() const { return m_process.state() == QProcess::Running; }

    QProcess m_process;

private:
    QTemporaryDir m_dir;
};

// The process-wide host of the current road, started at first use and
// stopped when the application object goes; null on the in-process road.
RemoteHost *remoteHost();

// The COM road's host, provided by the Windows test runner.
RemoteHost *makeComHost();

} // namespace testing
