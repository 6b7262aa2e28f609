#include "protocol/dbus/rawwire.h"

namespace cad::rawwire {

namespace {

constexpr int kMaxDepth = 32;

AutomationError typeMismatch(const QString &what)
{
    return AutomationError(QStringLiteral("Type mismatch: %1").arg(what));
}

QVariant readAt(DBusMessageIter *it, const wire::PathToObject &object, int depth);

// A basic value (not a container) at the iterator.
QVariant readBasic(DBusMessageIter *it, const wire::PathToObject &object)
{
    DBusBasicValue v;
    const int type = dbus_message_iter_get_arg_type(it);
    if (!dbus_type_is_basic(type) || type == DBUS_TYPE_UNIX_FD || type == DBUS_TYPE_SIGNATURE)
        throw typeMismatch(QStringLiteral("values of D-Bus type '%1' are not understood").arg(QChar(type)));
    dbus_message_iter_get_basic(it, &v);
    switch (type) {
    case DBUS_TYPE_BOOLEAN: return bool(v.bool_val);
    case DBUS_TYPE_BYTE: return QVariant::fromValue(uchar(v.byt));
    case DBUS_TYPE_INT16: return QVariant::fromValue(short(v.i16));
    case DBUS_TYPE_UINT16: return QVariant::fromValue(ushort(v.u16));
    case DBUS_TYPE_INT32: return int(v.i32);
    case DBUS_TYPE_UINT32: return uint(v.u32);
    case DBUS_TYPE_INT64: return qlonglong(v.i64);
    case DBUS_TYPE_UINT64: return qulonglong(v.u64);
    case DBUS_TYPE_DOUBLE: return v.dbl;
    case DBUS_TYPE_STRING: return QString::fromUtf8(v.str);
    case DBUS_TYPE_OBJECT_PATH: {
        const QString path = QString::fromUtf8(v.str);
        if (path == QLatin1String("/"))
            return QVariant::fromValue(Object());
        if (!object)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        return QVariant::fromValue(object(path));
    }
    default: break;
    }
    throw typeMismatch(QStringLiteral("values of D-Bus type '%1' are not understood").arg(QChar(type)));
}

QVariant readAt(DBusMessageIter *it, const wire::PathToObject &object, int depth)
{
    if (depth > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    const int type = dbus_message_iter_get_arg_type(it);
    DBusMessageIter sub;
    if (type == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(it, &sub);
        return readAt(&sub, object, depth + 1);
    }
    if (type == DBUS_TYPE_STRUCT) {
        char *raw = dbus_message_iter_get_signature(it);
        const QByteArray signature(raw);
        dbus_free(raw);
        dbus_message_iter_recurse(it, &sub);
        if (signature == wire::kEmptySignature) {
            unsigned char zero = 1;
            dbus_message_iter_get_basic(&sub, &zero);
            if (zero != 0)
                throw typeMismatch(QStringLiteral("the empty marker holds %1, not 0").arg(zero));
            return QVariant();
        }
        if (signature == wire::kCodeUnitsSignature) {
            DBusMessageIter units;
            dbus_message_iter_recurse(&sub, &units);
            const dbus_uint16_t *data = nullptr;
            int n = 0;
            dbus_message_iter_get_fixed_array(&units, &data, &n);
            return QString(reinterpret_cast<const QChar *>(data), n);
        }
        if (signature == "(ddd)") {
            double d[3] = {0, 0, 0};
            for (double &x : d) {
                dbus_message_iter_get_basic(&sub, &x);
                dbus_message_iter_next(&sub);
            }
            return QVariant::fromValue(Point{d[0], d[1], d[2]});
        }
        throw typeMismatch(QStringLiteral("values of D-Bus type \"%1\" are not understood").arg(QLatin1String(signature)));
    }
    if (type == DBUS_TYPE_ARRAY) {
        const int element = dbus_message_iter_get_element_type(it);
        dbus_message_iter_recurse(it, &sub);
        if (element == DBUS_TYPE_INT16) {
            QList<qint16> values;
            while (dbus_message_iter_get_arg_type(&sub) != DBUS_TYPE_INVALID) {
                dbus_int16_t v = 0;
                dbus_message_iter_get_basic(&sub, &v);
                values.append(v);
                dbus_message_iter_next(&sub);
            }
            return QVariant::fromValue(values);
        }
        // Bytes are not an automation array (and "ay" is no string either).
        if (element != DBUS_TYPE_VARIANT
            && (!dbus_type_is_basic(element) || element == DBUS_TYPE_UNIX_FD || element == DBUS_TYPE_BYTE))
            throw typeMismatch(QStringLiteral("arrays of D-Bus type '%1' are not understood").arg(QChar(element)));
        QVariantList out;
        while (dbus_message_iter_get_arg_type(&sub) != DBUS_TYPE_INVALID) {
            out.append(element == DBUS_TYPE_VARIANT ? readAt(&sub, object, depth + 1) : readBasic(&sub, object));
            dbus_message_iter_next(&sub);
        }
        return QVariant(out);
    }
    return readBasic(it, object);
}

} // namespace

QVariant readVariant(DBusMessageIter *it, const wire::PathToObject &object)
{
    if (dbus_message_iter_get_arg_type(it) != DBUS_TYPE_VARIANT)
        throw typeMismatch(QStringLiteral("a variant is expected"));
    return readAt(it, object, 0);
}

} // namespace cad::rawwire
