#include "cad/win32/comobjects.h"

#include "cad/win32/comdispatch.h"
#include "cad/win32/comfilter.h"

#include <limits>
#include <type_traits>

namespace cad {

namespace {

AutomationError toAutomationError(const win32::ComError &e)
{
    using K = win32::ComError::Kind;
    const AutomationError::Kind kind = e.kind() == K::Busy       ? AutomationError::Kind::Busy
                                       : e.kind() == K::Rejected ? AutomationError::Kind::Rejected
                                       : e.kind() == K::Gone     ? AutomationError::Kind::Gone
                                                                 : AutomationError::Kind::Failed;
    return AutomationError(QString::fromStdWString(e.message()), kind);
}

// The members whose arguments the object model passes by reference.
bool passesByReference(const QString &member)
{
    for (const char *name : {"ZoomCenter", "Add", "SelectOnScreen", "HandleToObject"}) {
        if (sameMember(member, name))
            return true;
    }
    return false;
}

class ComDispatch;
win32::Value toComValue(const QVariant &v);
QVariant fromComValue(const win32::Value &v);

class ComDispatch : public Dispatch {
public:
    explicit ComDispatch(win32::ObjectPtr ref) : m_ref(std::move(ref)) {}
    const win32::ObjectPtr &ref() const { return m_ref; }

    QVariant invoke(const QString &member, InvokeKind kind, QVariantList &args) override
    {
        std::vector<win32::Value> values;
        values.reserve(size_t(args.size()));
        for (const QVariant &a : args)
            values.push_back(toComValue(a));
        const bool byRef = passesByReference(member);
        const std::vector<bool> refs(values.size(), byRef);
        const std::wstring name = member.toStdWString();
        const auto comKind = static_cast<win32::Invoke>(int(kind)); // the same IDispatch numbers
        std::vector<win32::Value> out;
        // Without a registered message filter a busy CAD answers
        // RPC_E_SERVERCALL_RETRYLATER; it is waited for all the same.
        const win32::Value result = callWithBusyRetry([&] {
            out = values;
            try {
                return m_ref->invoke(name, comKind, out, refs);
            } catch (const win32::ComError &e) {
                throw toAutomationError(e);
            }
        });
        if (byRef) {
            for (qsizetype i = 0; i < args.size(); ++i)
                args[i] = fromComValue(out[size_t(i)]);
        }
        return fromComValue(result);
    }

private:
    win32::ObjectPtr m_ref;
};

win32::Value toComValue(const QVariant &v)
{
    if (!v.isValid())
        return {};
    const QMetaType type = v.metaType();
    if (type == QMetaType::fromType<Point>()) {
        const Point p = v.value<Point>();
        return win32::Value{win32::Point3{p.x, p.y, p.z}};
    }
    if (type == QMetaType::fromType<Object>()) {
        const Object o = v.value<Object>();
        if (!o)
            return win32::Value{win32::ObjectPtr{}};
        const auto *com = dynamic_cast<const ComDispatch *>(o.get());
        if (!com)
            throw AutomationError(QStringLiteral("Type mismatch: an object of another backend cannot be passed to COM"));
        return win32::Value{com->ref()};
    }
    if (type == QMetaType::fromType<QList<qint16>>()) {
        const QList<qint16> list = v.value<QList<qint16>>();
        return win32::Value{std::vector<short>(list.begin(), list.end())};
    }
    switch (type.id()) {
    case QMetaType::Bool:
        return win32::Value{v.toBool()};
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return win32::Value{static_cast<long long>(v.toLongLong())};
    case QMetaType::Float:
    case QMetaType::Double:
        return win32::Value{v.toDouble()};
    case QMetaType::QString:
        return win32::Value{v.toString().toStdWString()};
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        win32::ValueArray items;
        for (const QVariant &e : v.toList())
            items.push_back(toComValue(e));
        return win32::Value{std::move(items)};
    }
    default:
        throw AutomationError(
            QStringLiteral("Type mismatch: a %1 cannot be passed to COM").arg(QLatin1String(type.name())));
    }
}

QVariant fromComValue(const win32::Value &v)
{
    return std::visit(
        [](const auto &x) -> QVariant {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, bool>) {
                return QVariant(x);
            } else if constexpr (std::is_same_v<T, long long>) {
                if (x >= std::numeric_limits<int>::min() && x <= std::numeric_limits<int>::max())
                    return QVariant(int(x));
                return QVariant(qlonglong(x));
            } else if constexpr (std::is_same_v<T, double>) {
                return QVariant(x);
            } else if constexpr (std::is_same_v<T, std::wstring>) {
                return QVariant(QString::fromStdWString(x));
            } else if constexpr (std::is_same_v<T, win32::Point3>) {
                return fromPoint(Point{x.x, x.y, x.z});
            } else if constexpr (std::is_same_v<T, std::vector<short>>) {
                return int16Array(QList<qint16>(x.begin(), x.end()));
            } else if constexpr (std::is_same_v<T, win32::ValueArray>) {
                QVariantList list;
                list.reserve(qsizetype(x.size()));
                for (const win32::Value &e : x)
                    list.append(fromComValue(e));
                return list;
            } else {
                static_assert(std::is_same_v<T, win32::ObjectPtr>);
                if (!x)
                    return {};
                return fromObject(std::make_shared<ComDispatch>(x));
            }
        },
        v.data);
}

} // namespace

// The message filter of the program.

TMessageFilter *createMessageFilter()
{
    return new TMessageFilter;
}

void RegisterFilter(TMessageFilter *filter)
{
    if (filter)
        filter->RegisterFilter();
}

void RevokeFilter(TMessageFilter *filter)
{
    if (filter)
        filter->RevokeFilter(); // the filter goes with its registration
}

// ComRunningObjects

ComRunningObjects::ComRunningObjects() : m_apartment(std::make_unique<win32::ComApartment>())
{
    m_filter = createMessageFilter();
    RegisterFilter(m_filter);
}

ComRunningObjects::~ComRunningObjects()
{
    RevokeFilter(m_filter);
    m_filter = nullptr;
}

bool ComRunningObjects::isRunning(const QString &progId)
{
    return win32::isRunning(progId.toStdWString());
}

Object ComRunningObjects::attach(const QString &progId)
{
    try {
        return std::make_shared<ComDispatch>(win32::attach(progId.toStdWString()));
    } catch (const win32::ComError &e) {
        throw toAutomationError(e);
    }
}

} // namespace cad
