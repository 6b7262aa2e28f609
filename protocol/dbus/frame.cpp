#include "protocol/dbus/frame.h"

#include <QElapsedTimer>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

namespace cad::frame {

namespace {

// Counted as the reader counts (rawwire.cpp): a variant's content one
// deeper than the variant, an array's elements one deeper than the array.
// Past this a receiver refuses the value; past the protocol's own limit
// (64), it would drop the whole connection.
constexpr int kMaxDepth = 32;
// The protocol's own limits: a receiver drops a connection that exceeds them.
constexpr qsizetype kMaxArrayBytes = 64 * 1024 * 1024;
constexpr qsizetype kMaxMessageBytes = 128 * 1024 * 1024;

enum HeaderField : quint8 {
    kPath = 1,
    kInterface = 2,
    kMember = 3,
    kReplySerial = 5,
    kDestination = 6,
    kSignature = 8,
};

AutomationError typeMismatch(const QString &what)
{
    return AutomationError(QStringLiteral("Type mismatch: %1").arg(what));
}

AutomationError tooLarge()
{
    return typeMismatch(QStringLiteral("the value is too large to travel"));
}

// Little-endian marshalling. Offsets count from the start of the buffer;
// a body starts on an 8-byte boundary of its message, so its own offsets
// align the same way.
class Marshal {
public:
    QByteArray out;

    void pad(int n)
    {
        const qsizetype r = out.size() % n;
        if (r)
            out.append(n - r, '\0');
    }
    void byte(quint8 v) { out.append(char(v)); }
    template <typename T>
    void fixed(T v)
    {
        pad(int(sizeof(T)));
        const T le = qToLittleEndian(v);
        out.append(reinterpret_cast<const char *>(&le), sizeof le);
    }
    void real(double d)
    {
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        fixed(bits);
    }
    void string(const QByteArray &utf8) // "s" and "o"
    {
        fixed(quint32(utf8.size()));
        out.append(utf8.constData(), utf8.size() + 1); // with its NUL
    }
    void signature(const QByteArray &s)
    {
        byte(quint8(s.size()));
        out.append(s.constData(), s.size() + 1); // with its NUL
    }
    // An array's length word and the padding to its first element; the
    // length counts from there.
    struct Array {
        qsizetype lengthAt;
        qsizetype start;
    };
    Array beginArray(int elementAlignment)
    {
        pad(4);
        Array a{out.size(), 0};
        fixed(quint32(0));
        pad(elementAlignment);
        a.start = out.size();
        return a;
    }
    void endArray(const Array &a)
    {
        const qsizetype length = out.size() - a.start;
        if (length > kMaxArrayBytes)
            throw tooLarge();
        const quint32 le = qToLittleEndian(quint32(length));
        std::memcpy(out.data() + a.lengthAt, &le, sizeof le);
    }

    void variant(const QVariant &value, const wire::ObjectToPath &objectPath, int depth);
    void content(const QVariant &value, const QByteArray &signature, const wire::ObjectToPath &objectPath,
                 int depth);
};

// The D-Bus signature a value travels as (the content of its variant).
QByteArray signatureOf(const QVariant &value)
{
    if (!value.isValid())
        return QByteArrayLiteral("(y)");
    const QMetaType type = value.metaType();
    if (type == QMetaType::fromType<Point>())
        return QByteArrayLiteral("(ddd)");
    if (type == QMetaType::fromType<QList<qint16>>())
        return QByteArrayLiteral("an");
    if (type == QMetaType::fromType<Object>())
        return QByteArrayLiteral("o");
    switch (type.id()) {
    case QMetaType::Bool: return QByteArrayLiteral("b");
    case QMetaType::Int:
    case QMetaType::Char:
    case QMetaType::SChar: return QByteArrayLiteral("i");
    case QMetaType::UInt: return QByteArrayLiteral("u");
    case QMetaType::LongLong:
    case QMetaType::Long: return QByteArrayLiteral("x");
    case QMetaType::ULongLong:
    case QMetaType::ULong: return QByteArrayLiteral("t");
    case QMetaType::Double:
    case QMetaType::Float: return QByteArrayLiteral("d");
    case QMetaType::QString:
        return wire::needsCodeUnits(value.toString()) ? QByteArray(wire::kCodeUnitsSignature) : QByteArrayLiteral("s");
    case QMetaType::Short: return QByteArrayLiteral("n");
    case QMetaType::UShort: return QByteArrayLiteral("q");
    case QMetaType::UChar: return QByteArrayLiteral("y");
    case QMetaType::QVariantList:
    case QMetaType::QStringList: return QByteArrayLiteral("av");
    default: break;
    }
    throw typeMismatch(QStringLiteral("a value of type %1 cannot travel").arg(QLatin1String(type.name())));
}

// A string as libdbus takes it, up to its first NUL (member names).
QByteArray cString(const QString &s)
{
    QByteArray utf8 = s.toUtf8();
    const qsizetype nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);
    return utf8;
}

void Marshal::variant(const QVariant &value, const wire::ObjectToPath &objectPath, int depth)
{
    if (depth + 1 > kMaxDepth)
        throw typeMismatch(QStringLiteral("arrays nested too deeply"));
    const QByteArray sig = signatureOf(value);
    signature(sig);
    content(value, sig, objectPath, depth);
}

void Marshal::content(const QVariant &value, const QByteArray &sig, const wire::ObjectToPath &objectPath,
                      int depth)
{
    switch (sig.at(0)) {
    case '(':
        pad(8);
        if (sig == wire::kEmptySignature) {
            byte(0);
        } else if (sig == wire::kCodeUnitsSignature) {
            const QString text = value.toString();
            const Array a = beginArray(2);
            for (QChar c : text)
                fixed(quint16(c.unicode()));
            endArray(a);
        } else {
            const Point p = value.value<Point>();
            for (double d : {p.x, p.y, p.z})
                real(d);
        }
        return;
    case 'a':
        if (sig == "an") {
            const Array a = beginArray(2);
            for (qint16 v : value.value<QList<qint16>>())
                fixed(v);
            endArray(a);
        } else {
            const QVariantList list = value.metaType().id() == QMetaType::QStringList
                ? QVariant(value.toStringList()).toList()
                : value.toList();
            const Array a = beginArray(1);
            for (const QVariant &e : list)
                variant(e, objectPath, depth + 2);
            endArray(a);
        }
        return;
    case 'o': {
        const Object o = value.value<Object>();
        if (o && !objectPath)
            throw typeMismatch(QStringLiteral("an object cannot be passed here"));
        string(o ? objectPath(o).toUtf8() : QByteArrayLiteral("/"));
        return;
    }
    case 'b': fixed(quint32(value.toBool() ? 1 : 0)); return;
    case 'i': fixed(qint32(value.toInt())); return;
    case 'u': fixed(quint32(value.toUInt())); return;
    case 'x': fixed(qint64(value.toLongLong())); return;
    case 't': fixed(quint64(value.toULongLong())); return;
    case 'd': real(value.toDouble()); return;
    case 's': string(value.toString().toUtf8()); return;
    case 'n': fixed(qint16(value.value<short>())); return;
    case 'q': fixed(quint16(value.value<ushort>())); return;
    case 'y': byte(value.value<uchar>()); return;
    default: break;
    }
    throw typeMismatch(QStringLiteral("a value cannot travel"));
}

// One header field: the struct (y code, v value) of the header's array.
void field(Marshal &m, HeaderField code, char type, const QByteArray &value)
{
    m.pad(8);
    const char head[] = {char(code), 1, type, 0};
    m.out.append(head, sizeof head);
    if (type == 'g')
        m.signature(value);
    else
        m.string(value);
}

struct Header {
    quint8 type;
    quint8 flags;
    quint32 serial;
    const QByteArray &destination;
    const QByteArray &path;
    const QByteArray &member;
    const QByteArray &signature;
    quint32 replySerial = 0;
};

const QByteArray &automationInterface()
{
    static const QByteArray name(wire::kAutomationInterface);
    return name;
}

// A message whose body `writeBody` puts straight behind the header, so
// nothing is copied; the body's length is filled in afterwards.
template <typename Body>
QByteArray message(const Header &h, Body &&writeBody)
{
    Marshal m;
    m.out.reserve(256);
    const char fixedPart[] = {'l', char(h.type), char(h.flags), 1}; // little-endian, protocol version 1
    m.out.append(fixedPart, sizeof fixedPart);
    m.fixed(quint32(0)); // the body's length, below
    m.fixed(h.serial);
    const Marshal::Array fields = m.beginArray(8);
    if (!h.path.isEmpty())
        field(m, kPath, 'o', h.path);
    if (!h.member.isEmpty()) {
        field(m, kInterface, 's', automationInterface());
        field(m, kMember, 's', h.member);
    }
    if (h.replySerial) {
        m.pad(8);
        const char head[] = {char(kReplySerial), 1, 'u', 0};
        m.out.append(head, sizeof head);
        m.fixed(h.replySerial);
    }
    if (!h.destination.isEmpty())
        field(m, kDestination, 's', h.destination);
    if (!h.signature.isEmpty())
        field(m, kSignature, 'g', h.signature);
    m.endArray(fields);
    m.pad(8);
    const qsizetype bodyStart = m.out.size();
    writeBody(m);
    const qsizetype bodyLength = m.out.size() - bodyStart;
    if (m.out.size() > kMaxMessageBytes)
        throw tooLarge();
    const quint32 le = qToLittleEndian(quint32(bodyLength));
    std::memcpy(m.out.data() + 4, &le, sizeof le);
    return m.out;
}

void variantArray(Marshal &m, const QVariantList &values, const wire::ObjectToPath &objectPath)
{
    const Marshal::Array a = m.beginArray(1);
    for (const QVariant &v : values)
        m.variant(v, objectPath, 0);
    m.endArray(a);
}

} // namespace

QByteArray invokeCall(quint32 serial, const QByteArray &destination, const QByteArray &path, const QString &member,
                      InvokeKind kind, const QVariantList &args, const wire::ObjectToPath &objectPath)
{
    static const QByteArray invoke("Invoke");
    static const QByteArray signature("siav");
    return message(Header{DBUS_MESSAGE_TYPE_METHOD_CALL, 0, serial, destination, path, invoke, signature},
                   [&](Marshal &body) {
                       body.string(cString(member));
                       body.fixed(qint32(kind));
                       variantArray(body, args, objectPath);
                   });
}

QByteArray releaseCall(quint32 serial, const QByteArray &destination, const QByteArray &path)
{
    static const QByteArray release("Release");
    static const QByteArray none;
    return message(Header{DBUS_MESSAGE_TYPE_METHOD_CALL, DBUS_HEADER_FLAG_NO_REPLY_EXPECTED, serial, destination, path,
                          release, none},
                   [](Marshal &) {});
}

QByteArray invokeReturn(quint32 serial, quint32 replySerial, const QByteArray &destination, const QVariant &result,
                        const QVariantList &argsOut, const wire::ObjectToPath &objectPath)
{
    static const QByteArray none;
    static const QByteArray signature("vav");
    return message(Header{DBUS_MESSAGE_TYPE_METHOD_RETURN, 0, serial, destination, none, none, signature, replySerial},
                   [&](Marshal &body) {
                       body.variant(result, objectPath, 0);
                       variantArray(body, argsOut, objectPath);
                   });
}

quint32 Serials::next()
{
    const quint32 s = m_next;
    m_next = m_next == 0xFFFFFFFFu ? kFirst : m_next + 1;
    return s;
}

bool write(DBusConnection *connection, const QByteArray &messages, bool readMeanwhile, int timeoutMs)
{
    if (!dbus_connection_get_is_connected(connection))
        return false;
    if (dbus_connection_has_messages_to_send(connection))
        dbus_connection_flush(connection);
    int fd = -1;
    if (!dbus_connection_get_socket(connection, &fd))
        return false;
    const char *at = messages.constData();
    qsizetype left = messages.size();
    QElapsedTimer stalled;
    stalled.start();
    while (left > 0) {
        const ssize_t n = ::send(fd, at, size_t(left), MSG_NOSIGNAL);
        if (n > 0) {
            at += n;
            left -= n;
            stalled.restart();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const qint64 wait = timeoutMs - stalled.elapsed();
            if (wait <= 0)
                break;
            pollfd p{fd, short(POLLOUT | (readMeanwhile ? POLLIN : 0)), 0};
            if (::poll(&p, 1, int(wait)) > 0 && (p.revents & POLLIN))
                dbus_connection_read_write(connection, 0);
            continue;
        }
        break;
    }
    if (left == 0)
        return true;
    dbus_connection_close(connection);
    return false;
}

} // namespace cad::frame
