#pragma once
// Late-bound automation: the one interface every CAD backend (COM, D-Bus,
// in-process) offers, and the values that travel through it.

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <stdexcept>

namespace cad {

// A point as the object model passes it: a variant array of three doubles.
struct Point {
    double x = 0;
    double y = 0;
    double z = 0;
    double operator[](int i) const { return i == 0 ? x : i == 1 ? y : z; }
    friend bool operator==(const Point &, const Point &) = default;
};

class Dispatch;
// One automation reference; the object is released when the last copy goes.
using Object = std::shared_ptr<Dispatch>;

// The three IDispatch invoke kinds, with their COM values (they travel on the wire).
enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyPut = 4 };

class AutomationError : public std::runtime_error {
public:
    enum class Kind {
        Failed,   // the server raised an error (DISP_E_EXCEPTION and friends)
        Busy,     // the server asked to retry later (SERVERCALL_RETRYLATER)
        Rejected, // the server refused the call outright
        Gone,     // the server or the object is no longer there
    };
    explicit AutomationError(const QString &message, Kind kind = Kind::Failed);
    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // Member names are case-insensitive. Arguments the object model passes
    // by reference may be changed in place. Throws AutomationError.
    virtual QVariant invoke(const QString &member, InvokeKind kind, QVariantList &args) = 0;

    // Conveniences over invoke().
    QVariant get(const QString &member, QVariantList args = {});
    void put(const QString &member, const QVariant &value);
    QVariant call(const QString &member, QVariantList args = {});
};

// Value helpers. An empty QVariant is COM's VT_EMPTY.
QVariant fromPoint(const Point &p);
// Accepts a Point or any list of at least two numbers (z defaults to 0).
Point toPoint(const QVariant &v);
bool isPoint(const QVariant &v);
QVariant fromObject(const Object &o);
Object toObject(const QVariant &v); // null when the value holds no object
QVariant int16Array(const QList<qint16> &values);
QList<qint16> toInt16Array(const QVariant &v);
// The value as a plain string for messages and comparisons ("" for empty).
QString describe(const QVariant &v);

// Case-insensitive member name comparison used by every server.
inline bool sameMember(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace cad

Q_DECLARE_METATYPE(cad::Point)
Q_DECLARE_METATYPE(cad::Object)
Q_DECLARE_METATYPE(QList<qint16>)
