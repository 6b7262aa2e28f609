#pragma once
// cad::WindowOps over Win32, for the Windows build of the tool.

#include "cad/windowops.h"

namespace cad {

class Win32WindowOps : public WindowOps {
public:
    WindowHandle findWindowByTitle(const QString &title) override;
    bool isIconic(WindowHandle w) override;
    void openIcon(WindowHandle w) override;
    void setForegroundWindow(WindowHandle w) override;
    WindowHandle foregroundWindow() override;
    void bringWindowToTop(WindowHandle w) override;
    quint64 windowThreadId(WindowHandle w) override;
    void attachThreadInput(quint64 from, quint64 to, bool attach) override;
    void sendEscape() override;
    void sleep(int ms) override;
    void setTopmost(WindowHandle w, bool topmost) override;
    bool drawMarker(WindowHandle w, const Marker &marker) override;
};

} // namespace cad
