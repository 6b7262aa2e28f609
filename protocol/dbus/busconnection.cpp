#include "protocol/dbus/busconnection.h"

namespace cad::bus {

DBusConnection *openPrivate(const QByteArray &address, DBusError *error)
{
    static const bool threads = dbus_threads_init_default();
    (void)threads;
    DBusConnection *c = nullptr;
    if (address.isEmpty()) {
        c = dbus_bus_get_private(DBUS_BUS_SESSION, error);
    } else {
        c = dbus_connection_open_private(address.constData(), error);
        if (c && !dbus_bus_register(c, error)) {
            dbus_connection_close(c);
            dbus_connection_unref(c);
            c = nullptr;
        }
    }
    if (c)
        dbus_connection_set_exit_on_disconnect(c, false);
    return c;
}

} // namespace cad::bus
