#include "cad/tracking.h"

#include "cad/connection.h"

namespace cad {

Marker markerFor(int width, int height, int penWidth, bool xorPen, double factor)
{
    const int cx = width / 2;
    const int cy = height / 2;
    const double e = width * factor;
    const int a = int(e);
    const int b = int(e * 0.5);
    Marker m;
    m.tipX = cx;
    m.tipY = cy;
    m.upperX = cx - a;
    m.upperY = cy - b;
    m.lowerX = cx - a;
    m.lowerY = cy + b;
    m.penWidth = penWidth;
    m.xorPen = xorPen;
    return m;
}

void ShowPointInCad(const Application &app, const Point &point, int penWidth, bool xorPen, double factor,
                    const DrawingSource &source)
{
    try {
        Document doc = app.activeDocument();
        if (wrongDrawingMessage(source, doc))
            return;
        const double height = doc.viewSize();
        // Twice: some CAD applications settle the view only on the second call.
        app.zoomCenter(point, height);
        app.zoomCenter(point, height);
        const WindowHandle hwnd = doc.hwnd();
        const QList<int> size = doc.screenSize();
        const int w = size.value(0);
        const int h = size.value(1);
        if (hwnd != 0 && w > 0 && h > 0)
            windowOps().drawMarker(hwnd, markerFor(w, h, penWidth, xorPen, factor));
    } catch (const AutomationError &) {
    }
}

} // namespace cad
