#include "cad/connection.h"

namespace cad {

namespace {
InProcessRunningObjects &defaultObjects()
{
    static InProcessRunningObjects table;
    return table;
}
NullWindowOps &defaultWindows()
{
    static NullWindowOps ops;
    return ops;
}
} // namespace

Platform &platform()
{
    static Platform p;
    return p;
}

void setPlatform(RunningObjects *objects, WindowOps *windows)
{
    platform().objects = objects;
    platform().windows = windows;
}

RunningObjects &runningObjects()
{
    return platform().objects ? *platform().objects : defaultObjects();
}

WindowOps &windowOps()
{
    return platform().windows ? *platform().windows : defaultWindows();
}

QString &targetProgID()
{
    static QString id = kDefaultProgID;
    return id;
}

bool IsCadRunning()
{
    const QString &progId = targetProgID();
    // nanoCAD 5 published its object before it could take calls, so its
    // main window title was the sign that it was ready. Later versions have
    // other titles: for them the running object itself is the sign, else
    // every operation would quietly do nothing.
    if (progId.contains(QLatin1String("nanoCAD"))
        && windowOps().findWindowByTitle(QStringLiteral("nanoCAD 5")) != 0)
        return true;
    return runningObjects().isRunning(progId);
}

Application AttachCad()
{
    return Application(runningObjects().attach(targetProgID()));
}

void ActivateCad(const Application &app, ActivateLevel level, const std::function<void()> &beforeFront)
{
    WindowOps &w = windowOps();
    const WindowHandle hwnd = app.hwnd();
    if (w.isIconic(hwnd)) {
        w.openIcon(hwnd);
        w.sleep(500);
    }
    if (level == ActivateLevel::Restore)
        return;
    if (beforeFront)
        beforeFront();
    w.setForegroundWindow(hwnd);
    if (level != ActivateLevel::FrontEsc)
        return;
    // ESC only when the CAD really came forward: otherwise it would go to
    // whichever program kept the front.
    if (w.foregroundWindow() == app.hwnd()) {
        w.sendEscape();
        w.sleep(5);
    }
}

void ForceForegroundWindow(WindowHandle window)
{
    WindowOps &w = windowOps();
    const quint64 own = w.windowThreadId(window);
    const quint64 front = w.windowThreadId(w.foregroundWindow());
    w.setForegroundWindow(window);
    if (own == front) {
        w.bringWindowToTop(window);
    } else {
        w.attachThreadInput(own, front, true);
        w.bringWindowToTop(window);
        w.attachThreadInput(own, front, false);
    }
}

QString LockedLayerList(const Document &doc)
{
    QString list(QLatin1Char('\t'));
    const int n = doc.layerCount();
    for (int i = 0; i < n; ++i) {
        const Layer layer = doc.layer(i);
        if (layer.lock())
            list += layer.name() + QLatin1Char('\t');
    }
    return list;
}

bool IsLayerLocked(const QString &lockedList, const QString &layer)
{
    return lockedList.contains(QLatin1Char('\t') + layer + QLatin1Char('\t'));
}

SelectionSet GetTempSelectionSet(const Document &doc)
{
    try {
        const int n = doc.selectionSetCount();
        for (int i = 0; i < n; ++i) {
            SelectionSet set = doc.selectionSet(i);
            if (set.name().toUpper() == QLatin1String("SSTEMP")) {
                set.clear();
                return set;
            }
        }
        return doc.addSelectionSet(QStringLiteral("SSTEMP"));
    } catch (const AutomationError &) {
        return {};
    }
}

TempSelectionSetGuard::~TempSelectionSetGuard()
{
    if (m_set.isNull())
        return;
    try {
        m_set.clear();
    } catch (const AutomationError &) {
    }
    try {
        m_set.erase();
    } catch (const AutomationError &) {
    }
}

UndoGroup::UndoGroup(const Document &doc) : m_doc(doc)
{
    m_doc.startUndoMark();
    m_open = true;
}

UndoGroup::~UndoGroup()
{
    if (!m_open)
        return;
    try {
        m_doc.endUndoMark();
    } catch (const AutomationError &) {
    }
}

void UndoGroup::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_doc.endUndoMark();
}

SelectionFilter entityTypeFilter(const QString &type)
{
    return {{0}, {type}};
}

void PickOnScreen(const SelectionSet &set, const SelectionFilter &filter)
{
    set.clear();
    try {
        set.selectOnScreen(filter.types, filter.data);
    } catch (const AutomationError &) {
    }
}

void SelectAll(const SelectionSet &set, const SelectionFilter &filter)
{
    set.clear();
    try {
        set.select(5, filter.types, filter.data); // acSelectionSetAll
    } catch (const AutomationError &) {
    }
}

Entity WriteTextString(const Document &doc, const QString &handle, const QString &text)
{
    const Entity ent = doc.handleToObject(handle);
    ent.setTextString(text);
    ent.update();
    return ent;
}

} // namespace cad
