#include "cad/x11windowops.h"

#ifdef LUMO_HAVE_X11

#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace cad {

namespace {

// Another client's window may vanish between two requests; an X error must
// never end the program (the default handler exits), so errors are counted.
std::atomic<int> g_xErrors{0};

int countError(Display *, XErrorEvent *)
{
    ++g_xErrors;
    return 0;
}

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr long kSourcePager = 2; // lets the manager honour a request from another program
constexpr long kIconicState = 3; // ICCCM WM_STATE

} // namespace

struct X11WindowOps::Impl {
    Display *dpy = nullptr;
    Window root = 0;

    Atom atom(const char *name) { return XInternAtom(dpy, name, False); }

    // Runs the requests and tells whether the server accepted them all.
    template <typename F>
    bool checked(F &&requests)
    {
        XSync(dpy, False);
        const int before = g_xErrors.load();
        requests();
        XSync(dpy, False);
        return g_xErrors.load() == before;
    }

    // The items of a 32-bit property (windows, atoms, cardinals).
    std::vector<unsigned long> longs(Window w, Atom property, Atom type)
    {
        std::vector<unsigned long> out;
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        const int before = g_xErrors.load();
        const int rc = XGetWindowProperty(dpy, w, property, 0, 4096, False, type, &actualType, &format, &count,
                                          &after, &data);
        if (rc == Success && g_xErrors.load() == before && data && format == 32) {
            const auto *items = reinterpret_cast<const unsigned long *>(data); // Xlib hands 32-bit items as longs
            out.assign(items, items + count);
        }
        if (data)
            XFree(data);
        return out;
    }

    QString utf8Property(Window w, Atom property)
    {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        QString out;
        if (XGetWindowProperty(dpy, w, property, 0, 4096, False, atom("UTF8_STRING"), &actualType, &format, &count,
                               &after, &data) == Success
            && data && format == 8)
            out = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
        if (data)
            XFree(data);
        return out;
    }

    QString title(Window w)
    {
        QString name = utf8Property(w, atom("_NET_WM_NAME"));
        if (!name.isEmpty())
            return name;
        XTextProperty prop{};
        if (XGetWMName(dpy, w, &prop) && prop.value) {
            char **list = nullptr;
            int n = 0;
            if (Xutf8TextPropertyToTextList(dpy, &prop, &list, &n) >= Success && list && n > 0)
                name = QString::fromUtf8(list[0]);
            else
                name = QString::fromLatin1(reinterpret_cast<const char *>(prop.value), int(prop.nitems));
            if (list)
                XFreeStringList(list);
            XFree(prop.value);
        }
        return name;
    }

    bool hasWindowManager()
    {
        const auto check = longs(root, atom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
        if (check.empty() || check[0] == 0)
            return false;
        // A manager that died leaves the property behind; its window then is gone.
        const auto self = longs(Window(check[0]), atom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
        return !self.empty() && self[0] == check[0];
    }

    std::vector<Window> children(Window w)
    {
        std::vector<Window> out;
        Window rootReturn = 0, parent = 0;
        Window *kids = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy, w, &rootReturn, &parent, &kids, &n) && kids)
            out.assign(kids, kids + n);
        if (kids)
            XFree(kids);
        return out;
    }

    bool hasWmState(Window w)
    {
        const Atom wmState = atom("WM_STATE");
        return !longs(w, wmState, wmState).empty();
    }

    // The top-level windows in stacking order: the manager's client list, or
    // the root's children (and, under a reparenting manager that keeps no
    // list, the client windows inside its frames).
    std::vector<Window> topLevels()
    {
        std::vector<Window> out;
        for (unsigned long w : longs(root, atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW))
            out.push_back(Window(w));
        if (out.empty())
            for (unsigned long w : longs(root, atom("_NET_CLIENT_LIST"), XA_WINDOW))
                out.push_back(Window(w));
        if (!out.empty())
            return out;
        for (Window w : children(root)) {
            out.push_back(w);
            if (!hasWmState(w))
                for (Window c : children(w))
                    if (hasWmState(c))
                        out.push_back(c);
        }
        return out;
    }

    // The top-level window holding `w`: the first ancestor with WM_STATE,
    // else the child of the root it lies in.
    Window topLevelOf(Window w)
    {
        Window current = w;
        for (int depth = 0; current && current != root && depth < 64; ++depth) {
            if (hasWmState(current))
                return current;
            Window rootReturn = 0, parent = 0;
            Window *kids = nullptr;
            unsigned int n = 0;
            if (!XQueryTree(dpy, current, &rootReturn, &parent, &kids, &n))
                return 0;
            if (kids)
                XFree(kids);
            if (parent == root)
                return current;
            current = parent;
        }
        return 0;
    }

    bool exists(Window w)
    {
        if (!w)
            return false;
        XWindowAttributes attrs;
        bool ok = false;
        checked([&] { ok = XGetWindowAttributes(dpy, w, &attrs) != 0; });
        return ok;
    }

    bool viewable(Window w)
    {
        XWindowAttributes attrs;
        bool ok = false;
        checked([&] { ok = XGetWindowAttributes(dpy, w, &attrs) != 0; });
        return ok && attrs.map_state == IsViewable;
    }

    void sendToRoot(Window w, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0)
    {
        XEvent ev;
        std::memset(&ev, 0, sizeof ev);
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = type;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = l0;
        ev.xclient.data.l[1] = l1;
        ev.xclient.data.l[2] = l2;
        ev.xclient.data.l[3] = l3;
        XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    }

    void activate(Window w)
    {
        if (hasWindowManager()) {
            checked([&] { sendToRoot(w, atom("_NET_ACTIVE_WINDOW"), kSourcePager, CurrentTime, 0); });
            return;
        }
        // Nobody manages focus: raise and focus it ourselves.
        checked([&] { XRaiseWindow(dpy, w); });
        if (viewable(w))
            checked([&] { XSetInputFocus(dpy, w, RevertToParent, CurrentTime); });
    }

    unsigned long pixelFor(Window w, const QColor &colour)
    {
        XWindowAttributes attrs;
        unsigned long pixel = 0;
        if (!XGetWindowAttributes(dpy, w, &attrs))
            return pixel;
        XColor c{};
        c.red = quint16(colour.red() * 257);
        c.green = quint16(colour.green() * 257);
        c.blue = quint16(colour.blue() * 257);
        c.flags = DoRed | DoGreen | DoBlue;
        const Colormap map = attrs.colormap ? attrs.colormap : DefaultColormap(dpy, DefaultScreen(dpy));
        if (XAllocColor(dpy, map, &c))
            pixel = c.pixel;
        return pixel;
    }
};

X11WindowOps::X11WindowOps(const QString &displayName)
    : d(std::make_unique<Impl>())
{
    XSetErrorHandler(countError);
    const QByteArray name = displayName.toLocal8Bit();
    d->dpy = XOpenDisplay(displayName.isEmpty() ? nullptr : name.constData());
    if (d->dpy)
        d->root = DefaultRootWindow(d->dpy);
}

X11WindowOps::~X11WindowOps()
{
    if (d->dpy)
        XCloseDisplay(d->dpy);
}

bool X11WindowOps::isConnected() const
{
    return d->dpy != nullptr;
}

bool X11WindowOps::hasWindowManager()
{
    return d->dpy && d->hasWindowManager();
}

QString X11WindowOps::windowTitle(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return {};
    return d->title(Window(w));
}

WindowHandle X11WindowOps::findWindowByTitle(const QString &title)
{
    if (!d->dpy || title.isEmpty())
        return 0;
    const std::vector<Window> windows = d->topLevels();
    // Topmost first, as a search of the desktop's windows would meet them.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const int before = g_xErrors.load();
        const QString name = d->title(*it);
        if (g_xErrors.load() == before && name.compare(title, Qt::CaseInsensitive) == 0)
            return WindowHandle(*it);
    }
    return 0;
}

bool X11WindowOps::isIconic(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return false;
    const Window win = Window(w);
    if (d->viewable(win))
        return false;
    const Atom wmState = d->atom("WM_STATE");
    const auto state = d->longs(win, wmState, wmState);
    if (!state.empty() && long(state[0]) == kIconicState)
        return true;
    const Atom hidden = d->atom("_NET_WM_STATE_HIDDEN");
    for (unsigned long a : d->longs(win, d->atom("_NET_WM_STATE"), XA_ATOM))
        if (Atom(a) == hidden)
            return true;
    return false;
}

void X11WindowOps::openIcon(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return;
    const Window win = Window(w);
    d->checked([&] { XMapRaised(d->dpy, win); });
    if (d->hasWindowManager()) {
        d->checked([&] { d->sendToRoot(win, d->atom("_NET_ACTIVE_WINDOW"), kSourcePager, CurrentTime, 0); });
    } else {
        // Without a manager nobody updates WM_STATE; say what we did.
        const Atom wmState = d->atom("WM_STATE");
        const long normal[2] = {1, 0};
        d->checked([&] {
            XChangeProperty(d->dpy, win, wmState, wmState, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(normal), 2);
        });
    }
}

void X11WindowOps::setForegroundWindow(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return;
    d->activate(Window(w));
}

WindowHandle X11WindowOps::foregroundWindow()
{
    if (!d->dpy)
        return 0;
    if (d->hasWindowManager()) {
        const auto active = d->longs(d->root, d->atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
        if (!active.empty())
            return WindowHandle(active[0]);
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(d->dpy, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == d->root)
        return 0;
    return WindowHandle(d->topLevelOf(focus));
}

void X11WindowOps::bringWindowToTop(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return;
    const Window win = Window(w);
    if (d->hasWindowManager()) {
        // A manager stacks frames, not clients: ask it.
        d->checked([&] { d->sendToRoot(win, d->atom("_NET_RESTACK_WINDOW"), kSourcePager, 0, Above); });
    } else {
        d->checked([&] { XRaiseWindow(d->dpy, win); });
    }
}

quint64 X11WindowOps::windowThreadId(WindowHandle w)
{
    if (!d->dpy || !d->exists(Window(w)))
        return 0;
    const auto pid = d->longs(Window(w), d->atom("_NET_WM_PID"), XA_CARDINAL);
    return pid.empty() ? 0 : quint64(pid[0]);
}

void X11WindowOps::attachThreadInput(quint64, quint64, bool)
{
}

void X11WindowOps::sendEscape()
{
    if (!d->dpy)
        return;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(d->dpy, &eventBase, &errorBase, &major, &minor))
        return;
    const KeyCode escape = XKeysymToKeycode(d->dpy, XK_Escape);
    if (escape == 0)
        return;
    d->checked([&] {
        XTestFakeKeyEvent(d->dpy, escape, True, CurrentTime);
        XTestFakeKeyEvent(d->dpy, escape, False, CurrentTime);
    });
}

void X11WindowOps::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

void X11WindowOps::setTopmost(WindowHandle w, bool topmost)
{
    if (!d->dpy || !d->exists(Window(w)))
        return;
    const Window win = Window(w);
    const Atom state = d->atom("_NET_WM_STATE");
    const Atom above = d->atom("_NET_WM_STATE_ABOVE");
    if (d->hasWindowManager()) {
        d->checked([&] {
            d->sendToRoot(win, state, topmost ? kNetWmStateAdd : kNetWmStateRemove, long(above), 0, kSourcePager);
        });
        return;
    }
    // No manager to keep it above: raise it now and record the state, as a
    // manager starting later reads it from the property.
    std::vector<unsigned long> atoms;
    for (unsigned long a : d->longs(win, state, XA_ATOM))
        if (Atom(a) != above)
            atoms.push_back(a);
    if (topmost)
        atoms.push_back(above);
    d->checked([&] {
        XChangeProperty(d->dpy, win, state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(atoms.data()), int(atoms.size()));
        if (topmost)
            XRaiseWindow(d->dpy, win);
    });
}

bool X11WindowOps::drawMarker(WindowHandle w, const Marker &marker)
{
    if (!d->dpy || !d->exists(Window(w)))
        return false;
    const Window win = Window(w);
    return d->checked([&] {
        XGCValues values{};
        values.foreground = d->pixelFor(win, marker.colour);
        values.line_width = marker.penWidth;
        values.line_style = LineSolid;
        values.cap_style = CapRound; // a solid GDI pen of some width has round ends and joins
        values.join_style = JoinRound;
        values.function = marker.xorPen ? GXxor : GXcopy;
        values.subwindow_mode = IncludeInferiors;
        const GC gc = XCreateGC(d->dpy, win,
                                GCForeground | GCLineWidth | GCLineStyle | GCCapStyle | GCJoinStyle | GCFunction
                                    | GCSubwindowMode,
                                &values);
        const auto at = [](int x, int y) { return XPoint{short(qBound(-32768, x, 32767)), short(qBound(-32768, y, 32767))}; };
        XPoint points[4] = {at(marker.tipX, marker.tipY), at(marker.upperX, marker.upperY),
                            at(marker.lowerX, marker.lowerY), at(marker.tipX, marker.tipY)};
        XDrawLines(d->dpy, win, gc, points, 4, CoordModeOrigin);
        XFreeGC(d->dpy, gc);
        XFlush(d->dpy);
    });
}

} // namespace cad

#endif
