#include "cad/windowops.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace cad {

void WindowOps::wait(int ms)
{
    if (ms <= 0)
        return;
    // A loop of its own wakes for each event and ends on time, where
    // polling would either spin or answer late.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void NullWindowOps::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

WindowHandle RecordingWindowOps::findWindowByTitle(const QString &title)
{
    calls << QStringLiteral("FindWindow(%1)").arg(title);
    return windowsByTitle.value(title.toLower(), 0);
}

bool RecordingWindowOps::isIconic(WindowHandle w)
{
    calls << QStringLiteral("IsIconic(%1)").arg(w);
    return iconic.value(w, false);
}

void RecordingWindowOps::openIcon(WindowHandle w)
{
    calls << QStringLiteral("OpenIcon(%1)").arg(w);
    iconic.insert(w, false);
}

void RecordingWindowOps::setForegroundWindow(WindowHandle w)
{
    calls << QStringLiteral("SetForegroundWindow(%1)").arg(w);
    if (!foregroundLocked)
        foreground = w;
}

WindowHandle RecordingWindowOps::foregroundWindow()
{
    calls << QStringLiteral("GetForegroundWindow");
    return foreground;
}

void RecordingWindowOps::bringWindowToTop(WindowHandle w)
{
    calls << QStringLiteral("BringWindowToTop(%1)").arg(w);
}

quint64 RecordingWindowOps::windowThreadId(WindowHandle w)
{
    calls << QStringLiteral("GetWindowThreadProcessId(%1)").arg(w);
    return threads.value(w, 0);
}

void RecordingWindowOps::attachThreadInput(quint64 from, quint64 to, bool attach)
{
    calls << QStringLiteral("AttachThreadInput(%1,%2,%3)").arg(from).arg(to).arg(attach ? 1 : 0);
}

void RecordingWindowOps::sendEscape()
{
    calls << QStringLiteral("Escape");
}

void RecordingWindowOps::sleep(int ms)
{
    calls << QStringLiteral("Sleep(%1)").arg(ms);
    clockMs += ms;
    if (onSleep)
        onSleep(ms);
}

void RecordingWindowOps::wait(int ms)
{
    calls << QStringLiteral("Wait(%1)").arg(ms);
    clockMs += ms;
    if (onSleep)
        onSleep(ms);
    QCoreApplication::processEvents();
}

void RecordingWindowOps::setTopmost(WindowHandle w, bool topmost)
{
    calls << QStringLiteral("SetWindowPos(%1,%2)").arg(w).arg(topmost ? QStringLiteral("TOPMOST") : QStringLiteral("NOTOPMOST"));
}

bool RecordingWindowOps::drawMarker(WindowHandle w, const Marker &marker)
{
    calls << QStringLiteral("DrawMarker(%1)").arg(w);
    markers << marker;
    return true;
}

} // namespace cad
