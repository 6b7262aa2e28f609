#include "app/platform.h"

#include "cad/connection.h"
#include "cad/x11windowops.h"
#ifndef _WIN32
#include "cad/dbus/dbusobjects.h"
#endif

#include <QGuiApplication>

namespace lumo {

namespace {

std::unique_ptr<cad::WindowOps> windowOpsForPlatform()
{
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

PlatformBackends::PlatformBackends()
{
    m_windows = windowOpsForPlatform();
#ifndef _WIN32
    m_objects = std::make_unique<cad::DBusRunningObjects>();
#else
    m_objects = std::make_unique<cad::InProcessRunningObjects>();
#endif
    cad::setPlatform(m_objects.get(), m_windows.get());
}

PlatformBackends::~PlatformBackends()
{
    cad::setPlatform(nullptr, nullptr);
}

} // namespace lumo
