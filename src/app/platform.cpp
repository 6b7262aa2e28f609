#include "app/platform.h"

#include "cad/connection.h"

namespace lumo {

PlatformBackends::PlatformBackends()
{
    m_windows = std::make_unique<cad::NullWindowOps>();
    m_objects = std::make_unique<cad::InProcessRunningObjects>();
    cad::setPlatform(m_objects.get(), m_windows.get());
}

PlatformBackends::~PlatformBackends()
{
    cad::setPlatform(nullptr, nullptr);
}

} // namespace lumo
