// The D-Bus contract without either end: a call written by the frame writer
// is read back by libdbus and the raw reader value for value, and private
// connections fail with an error instead of ending the program.

#include "protocol/dbus/busconnection.h"
#include "protocol/dbus/frame.h"
#include "protocol/dbus/rawwire.h"

#include <QSize>
#include <QTest>

using namespace cad;

namespace {

struct Message {
    explicit Message(DBusMessage *m) : m(m) {}
    ~Message()
    {
        if (m)
            dbus_message_unref(m);
    }
    DBusMessage *m;
};

} // namespace

class TestProtocolDBus : public QObject {
    Q_OBJECT
private slots:
    void invokeCallReadsBackThroughLibdbus()
    {
        const QString text = QStringLiteral("線番 A-1");
        const QString lone = QString(QChar(0xD800)) + QStringLiteral("x"); // travels as code units
        const QVariantList args{text, lone, 42, 2.5, QVariant::fromValue(Point{1, 2, 3}),
                                QVariant(QVariantList{QStringLiteral("a"), 7})};
        const QByteArray bytes = frame::invokeCall(0x40000007, "org.example.Cad", "/Application",
                                                   QStringLiteral("Item"), InvokeKind::PropertyGet, args, {});
        bus::ScopedError error;
        Message message(dbus_message_demarshal(bytes.constData(), int(bytes.size()), &error.e));
        QVERIFY2(message.m, qPrintable(error.text()));
        QCOMPARE(dbus_message_get_serial(message.m), 0x40000007u);
        QCOMPARE(QByteArray(dbus_message_get_member(message.m)), QByteArray("Invoke"));
        QCOMPARE(QByteArray(dbus_message_get_interface(message.m)), QByteArray(wire::kAutomationInterface));
        QCOMPARE(QByteArray(dbus_message_get_signature(message.m)), QByteArray("siav"));

        DBusMessageIter it;
        dbus_message_iter_init(message.m, &it);
        const char *member = nullptr;
        dbus_message_iter_get_basic(&it, &member);
        QCOMPARE(QString::fromUtf8(member), QStringLiteral("Item"));
        dbus_message_iter_next(&it);
        dbus_int32_t kind = 0;
        dbus_message_iter_get_basic(&it, &kind);
        QCOMPARE(kind, dbus_int32_t(InvokeKind::PropertyGet));
        dbus_message_iter_next(&it);
        DBusMessageIter array;
        dbus_message_iter_recurse(&it, &array);
        QVariantList read;
        while (dbus_message_iter_get_arg_type(&array) != DBUS_TYPE_INVALID) {
            read << rawwire::readVariant(&array, {});
            dbus_message_iter_next(&array);
        }
        QCOMPARE(read.size(), args.size());
        QCOMPARE(read[0].toString(), text);
        QCOMPARE(read[1].toString(), lone);
        QCOMPARE(read[2].toInt(), 42);
        QCOMPARE(read[3].toDouble(), 2.5);
        QCOMPARE(read[4].value<Point>(), (Point{1, 2, 3}));
        QCOMPARE(read[5].toList(), (QVariantList{QStringLiteral("a"), 7}));
    }

    void valueWithoutWireFormIsRefused()
    {
        // A call that cannot travel whole is not written at all.
        QVERIFY_THROWS_EXCEPTION(AutomationError,
                                 frame::invokeCall(1, "org.example.Cad", "/Application", QStringLiteral("Item"),
                                                   InvokeKind::Method, {QStringLiteral("a"), QVariant(QSize(1, 2))}, {}));
    }

    void unreachableAddressFailsWithText()
    {
        bus::ScopedError error;
        QVERIFY(!bus::openPrivate("unix:path=/nonexistent/lumo-protocol-test", &error.e));
        QVERIFY(dbus_error_is_set(&error.e));
        QVERIFY(!error.text().isEmpty());
    }

    void sessionBusIsRegistered()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus");
        bus::ScopedError error;
        DBusConnection *c = bus::openPrivate({}, &error.e);
        QVERIFY2(c, qPrintable(error.text()));
        QVERIFY(dbus_bus_get_unique_name(c)); // Hello was said
        // Closing it must not take the test with it.
        dbus_connection_close(c);
        dbus_connection_read_write(c, 0);
        dbus_connection_unref(c);
    }
};

QTEST_GUILESS_MAIN(TestProtocolDBus)
#include "test_protocol_dbus.moc"
