#pragma once
// Chooses how this platform reaches the CAD application and its windows,
// and installs that for the lifetime of the object.

#include "cad/runningobjects.h"
#include "cad/windowops.h"

#include <memory>

namespace lumo {

class PlatformBackends {
public:
    PlatformBackends();
    ~PlatformBackends();

private:
    std::unique_ptr<cad::RunningObjects> m_objects;
    std::unique_ptr<cad::WindowOps> m_windows;
};

} // namespace lumo
