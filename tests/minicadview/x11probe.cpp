#include "x11probe.h"

#include <QDir>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace x11probe {

namespace {

int ignoreError(Display *, XErrorEvent *)
{
    return 0; // a probe of a vanished window answers "nothing", it does not end the test
}

Display *connection()
{
    static Display *dpy = [] {
        XSetErrorHandler(ignoreError);
        return XOpenDisplay(nullptr);
    }();
    return dpy;
}

int decode(unsigned long value, unsigned long mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        value >>= 1;
        ++shift;
    }
    const unsigned long v = value & mask;
    return int(v * 255 / mask);
}

} // namespace

Xvfb::~Xvfb()
{
    if (m_pid > 0) {
        ::kill(pid_t(m_pid), SIGTERM);
        ::waitpid(pid_t(m_pid), nullptr, 0);
    }
}

bool Xvfb::start(QString *why)
{
    int tries = 0;
    for (int n = 87; n < 120 && tries < 3; ++n) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        ++tries; // a server that never comes up must not eat the test's time
        const QByteArray name = ":" + QByteArray::number(n);
        // -noreset: the probe below is the server's first client, and a
        // server that resets when it leaves refuses the test's connection.
        const pid_t pid = ::fork();
        if (pid < 0)
            break;
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", name.constData(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
                     static_cast<char *>(nullptr));
            ::_exit(127);
        }
        for (int wait = 0; wait < 100; ++wait) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                    *why = QStringLiteral("Xvfb is not installed (scripts/install-deps installs it)");
                    return false;
                }
                break; // that display was taken after all; try the next
            }
            if (Display *d = XOpenDisplay(name.constData())) {
                XCloseDisplay(d);
                m_pid = pid;
                m_display = QString::fromLatin1(name);
                return true;
            }
            QThread::msleep(50);
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    *why = QStringLiteral("no X server could be started (Xvfb did not come up)");
    return false;
}

quintptr createWindow(const QString &title, bool iconic)
{
    Display *dpy = connection();
    const Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 10, 120, 80, 0, 0, 0xffffff);
    const QByteArray utf8 = title.toUtf8();
    XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(utf8.constData()), int(utf8.size()));
    if (iconic) {
        const Atom wmState = XInternAtom(dpy, "WM_STATE", False);
        const long state[2] = {3, 0}; // IconicState
        XChangeProperty(dpy, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char *>(state),
                        2);
    } else {
        XMapWindow(dpy, w);
    }
    XSync(dpy, False);
    return w;
}

bool isViewable(quintptr window)
{
    XWindowAttributes attrs;
    return XGetWindowAttributes(connection(), Window(window), &attrs) && attrs.map_state == IsViewable;
}

QColor pixel(quintptr window, int x, int y)
{
    Display *dpy = connection();
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(dpy, Window(window), &attrs))
        return {};
    XImage *image = XGetImage(dpy, Window(window), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return {};
    const unsigned long p = XGetPixel(image, 0, 0);
    const QColor c(decode(p, attrs.visual->red_mask), decode(p, attrs.visual->green_mask),
                   decode(p, attrs.visual->blue_mask));
    XDestroyImage(image);
    return c;
}

QStringList netWmState(quintptr window)
{
    Display *dpy = connection();
    QStringList names;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, Window(window), XInternAtom(dpy, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM,
                           &type, &format, &count, &after, &data) == Success
        && data) {
        const auto *atoms = reinterpret_cast<const Atom *>(data);
        for (unsigned long i = 0; i < count; ++i) {
            char *name = XGetAtomName(dpy, atoms[i]);
            names << QString::fromLatin1(name);
            XFree(name);
        }
    }
    if (data)
        XFree(data);
    return names;
}

} // namespace x11probe
