#pragma once
// What the X server holds as a window's title (_NET_WM_NAME), apart from the
// test so that it never sees Xlib's macros.

#include <QString>

namespace x11title {
QString netWmName(quintptr window);
}
