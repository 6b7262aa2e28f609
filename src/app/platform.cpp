#include "app/platform.h"

#include "app/lumoxunit.h"

#include "cad/connection.h"
#include "cad/x11windowops.h"
#ifndef _WIN32
#include "cad/dbus/dbusobjects.h"
#else
#include "cad/win32/comobjects.h"
#include "cad/win32/win32windowops.h"
#include "cad/win32/winwindows.h"
#endif

#include <QApplication>
#include <QIcon>
#include <QWidget>

namespace lumo {

namespace {

std::unique_ptr<cad::WindowOps> windowOpsForPlatform()
{
#ifdef _WIN32
    return std::make_unique<cad::Win32WindowOps>();
#endif
#ifdef LUMO_HAVE_X11
    // Window ids are X ids only on xcb; under Wayland or offscreen there is
    // nothing X could find or draw on.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        auto x11 = std::make_unique<cad::X11WindowOps>();
        if (x11->isConnected())
            return x11;
    }
#endif
    return std::make_unique<cad::NullWindowOps>();
}

} // namespace

void setUpApplication()
{
    QApplication::setApplicationName(kApplicationTitle);
    // The icon lives in the executable's resources (the tests' have none).
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/lumoedit/lumoedit-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

void createMainWindow(QWidget *window, const QString &className)
{
#ifdef _WIN32
    const cad::win32::WindowClassOverride rename(className.toStdWString());
#else
    Q_UNUSED(className);
#endif
    window->winId();
}

PlatformBackends::PlatformBackends()
{
    m_windows = windowOpsForPlatform();
#ifndef _WIN32
    m_objects = std::make_unique<cad::DBusRunningObjects>();
#else
    // COM; the program's message filter is registered while it lives.
    m_objects = std::make_unique<cad::ComRunningObjects>();
#endif
    cad::setPlatform(m_objects.get(), m_windows.get());
}

PlatformBackends::~PlatformBackends()
{
    cad::setPlatform(nullptr, nullptr);
}

} // namespace lumo
