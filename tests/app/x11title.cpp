#include "x11title.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace x11title {

QString netWmName(quintptr window)
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return {};
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(dpy, Window(window), XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &items, &after, &data)
            == Success
        && data) {
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(items));
        XFree(data);
    }
    XCloseDisplay(dpy);
    return title;
}

} // namespace x11title
