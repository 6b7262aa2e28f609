#include "cad/win32/comobjects.h"

#include "cad/win32/comfilter.h"
#include "protocol/win32/comdispatch.h"
#include "protocol/win32/comqtvalue.h"

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
    return win32::toComValue(v, [](const Object &o) {
        const auto *com = dynamic_cast<const ComDispatch *>(o.get());
        if (!com)
            throw AutomationError(QStringLiteral("Type mismatch: an object of another backend cannot be passed to COM"));
        return com->ref();
    });
}

QVariant fromComValue(const win32::Value &v)
{
    return win32::fromComValue(v, [](const win32::ObjectPtr &ref) -> Object { return std::make_shared<ComDispatch>(ref); });
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
