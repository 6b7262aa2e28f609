#pragma once
// Chooses how this platform reaches the CAD application and its windows,
// and installs that for the lifetime of the object.

#include "cad/runningobjects.h"
#include "cad/windowops.h"

#include <QString>

#include <memory>

class QWidget;

namespace lumo {

// The main window's native class name: what a second start looks for.
inline const QString kMainWindowClass = QStringLiteral("TLumoMainForm");

// The application's name (message box captions). No display name: Qt would
// append it to the caption of every window (" — LumoEdit", " - LumoEdit").
void setUpApplication();

// Creates the main window's native window now; on Windows with the window
// class `className` (FindWindowW finds it by that), elsewhere as Qt does.
void createMainWindow(QWidget *window, const QString &className);

class PlatformBackends {
public:
    PlatformBackends();
    ~PlatformBackends();

private:
    std::unique_ptr<cad::RunningObjects> m_objects;
    std::unique_ptr<cad::WindowOps> m_windows;
};

} // namespace lumo
