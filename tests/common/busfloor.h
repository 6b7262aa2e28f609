#pragma once
// The floor under a benchmark's figures over D-Bus: a bare round trip
// through the bus daemon to the server's connection (Peer.Ping, answered
// there without reaching its objects), made the way our client calls.

#include <QElapsedTimer>
#include <QString>

#include <dbus/dbus.h>

namespace testing {

// Microseconds per round trip to `busName`; 0 when there is no bus.
inline double bareRoundTripMicros(const QString &busName, int pings = 5000)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection *c = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    dbus_error_free(&error);
    if (!c)
        return 0;
    dbus_connection_set_exit_on_disconnect(c, false);
    const QByteArray name = busName.toUtf8();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < pings; ++i) {
        DBusMessage *ping = dbus_message_new_method_call(name.constData(), "/", DBUS_INTERFACE_PEER, "Ping");
        if (DBusMessage *reply = dbus_connection_send_with_reply_and_block(c, ping, -1, &error))
            dbus_message_unref(reply);
        dbus_error_free(&error);
        dbus_message_unref(ping);
    }
    const double us = double(timer.nsecsElapsed()) / 1e3 / pings;
    dbus_connection_close(c);
    dbus_connection_unref(c);
    return us;
}

} // namespace testing
