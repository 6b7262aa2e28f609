#pragma once
// The COM backend of the CAD seam, for the Windows build of the tool: the
// running CAD application found by its ProgID (CLSIDFromProgID,
// GetActiveObject) and late-bound IDispatch calls, with values carried
// between QVariant and VARIANT by the Qt-free core.

#include "cad/messagefilter.h"
#include "cad/runningobjects.h"

#include <memory>

namespace cad {

namespace win32 {
class ComApartment;
}

// While it exists the GUI thread is in a single-threaded apartment and the
// program's TMessageFilter is registered: a busy CAD is waited for.
class ComRunningObjects : public RunningObjects {
public:
    ComRunningObjects();
    ~ComRunningObjects() override;
    ComRunningObjects(const ComRunningObjects &) = delete;
    ComRunningObjects &operator=(const ComRunningObjects &) = delete;

    bool isRunning(const QString &progId) override;
    Object attach(const QString &progId) override;

private:
    std::unique_ptr<win32::ComApartment> m_apartment;
    TMessageFilter *m_filter = nullptr;
};

} // namespace cad
