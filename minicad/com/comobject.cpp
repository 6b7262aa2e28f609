#include "minicad/com/comobject.h"

#include "protocol/win32/comdispatch.h"
#include "protocol/win32/comqtvalue.h"
#include "minicad/automation/application.h"
#include "minicad/com/membertypes.h"

#include <oleauto.h>

#include <exception>
#include <vector>

namespace minicad::com {

namespace {

// {9A4E2C61-3D7B-4F08-B5E2-71C0D8A93F46}: asked for by the host only, to find
// its own objects behind an IDispatch a client passes back.
const IID kIidOwnObject = {0x9a4e2c61, 0x3d7b, 0x4f08, {0xb5, 0xe2, 0x71, 0xc0, 0xd8, 0xa9, 0x3f, 0x46}};

const QString kBusyText = QStringLiteral("The application is busy: it waits for the user to pick on screen");
const QString kRetiredText = QStringLiteral("The object no longer exists: another drawing has been loaded");

// One DISPID per member name for the whole host, letter case ignored: the
// same name has the same number on every object, as a type library would.
class MemberIds {
public:
    DISPID idOf(const QString &name)
    {
        const QString key = name.toLower();
        const auto it = m_ids.constFind(key);
        if (it != m_ids.constEnd())
            return *it;
        m_names.append(name);
        const DISPID id = DISPID(m_names.size()); // from 1: 0 is the default member
        m_ids.insert(key, id);
        return id;
    }
    QString nameOf(DISPID id) const
    {
        return id >= 1 && id <= DISPID(m_names.size()) ? m_names.at(id - 1) : QString();
    }

private:
    QHash<QString, DISPID> m_ids;
    QStringList m_names;
};

MemberIds &memberIds()
{
    static MemberIds ids;
    return ids;
}

HRESULT raise(EXCEPINFO *exception, const QString &text, HRESULT code)
{
    if (!exception)
        return code; // nowhere to put the text: the code alone still tells busy from failed
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(L"minicad");
    const std::wstring description = text.toStdWString();
    exception->bstrDescription = SysAllocStringLen(description.data(), UINT(description.size()));
    exception->scode = code;
    return DISP_E_EXCEPTION;
}

QString fromWide(const std::wstring &s)
{
    return QString::fromStdWString(s);
}

} // namespace

// ComObject

ComObject::ComObject(ObjectTable &table, cad::Object object, bool root, bool servedWhileBusy)
    : m_table(&table), m_object(std::move(object)), m_root(root), m_servedWhileBusy(servedWhileBusy)
{
}

ComObject::~ComObject()
{
    if (m_table)
        m_table->forget(this);
}

bool ComObject::hasMember(const QString &member) const
{
    if (const auto *lookup = dynamic_cast<const MemberLookup *>(m_object.get()))
        return lookup->hasMember(member);
    return minicad::hasMember(m_object, member);
}

HRESULT ComObject::QueryInterface(REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kIidOwnObject)) {
        *out = static_cast<IDispatch *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ComObject::AddRef()
{
    return ULONG(++m_refs); // one apartment: no other thread ever calls in
}

ULONG ComObject::Release()
{
    const LONG n = --m_refs;
    if (n == 0)
        delete this;
    return ULONG(n);
}

HRESULT ComObject::GetTypeInfoCount(UINT *count)
{
    if (!count)
        return E_POINTER;
    *count = 0; // late-bound only
    return S_OK;
}

HRESULT ComObject::GetTypeInfo(UINT, LCID, ITypeInfo **info)
{
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT ComObject::GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID, DISPID *ids)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    const QString member = names[0] ? QString::fromWCharArray(names[0]) : QString();
    if (!member.isEmpty() && hasMember(member)) {
        ids[0] = memberIds().idOf(member);
    } else {
        ids[0] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    // The object model names no parameters.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT ComObject::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                          EXCEPINFO *exception, UINT *argumentError)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs && !params->rgvarg))
        return E_INVALIDARG;
    // Collections answer obj(i) with Item, as a CAD's do.
    QString member = id == DISPID_VALUE ? QStringLiteral("Item") : memberIds().nameOf(id);
    if (member.isEmpty() || !hasMember(member))
        return DISP_E_MEMBERNOTFOUND;

    cad::InvokeKind kind;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        kind = cad::InvokeKind::PropertyPut;
        if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return DISP_E_PARAMNOTOPTIONAL;
    } else if (flags & DISPATCH_METHOD) {
        kind = cad::InvokeKind::Method;
    } else if (flags & DISPATCH_PROPERTYGET) {
        kind = cad::InvokeKind::PropertyGet;
    } else {
        return E_INVALIDARG;
    }
    if (kind != cad::InvokeKind::PropertyPut && params->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;

    if (!m_table)
        return raise(exception, QStringLiteral("The application has closed"), RPC_E_DISCONNECTED);
    if (m_retired)
        return raise(exception, kRetiredText, E_FAIL);
    if (!m_servedWhileBusy && m_table->busy())
        return raise(exception, kBusyText, RPC_E_SERVERCALL_RETRYLATER);

    // A client may let go of this object while the call waits for a pick.
    AddRef();
    struct Hold {
        ComObject *self;
        ~Hold() { self->Release(); }
    } hold{this};

    ObjectTable &table = *m_table;
    const auto toCom = [&table](const cad::Object &o) { return cad::win32::DispatchRef::adopt(table.wrap(o)); };
    const auto fromCom = [](const cad::win32::ObjectPtr &ref) {
        cad::Object o = ObjectTable::unwrap(ref ? ref->get() : nullptr);
        if (!o)
            throw cad::AutomationError(QStringLiteral("Type mismatch: an object of another application cannot be passed"));
        return o;
    };

    const auto anyArgument = [&fromCom](const VARIANT &v) {
        return cad::win32::fromComValue(cad::win32::fromVariant(v), fromCom);
    };
    // IDispatch passes the arguments last to first.
    const UINT n = params->cArgs;
    QVariantList args;
    args.reserve(qsizetype(n));
    for (UINT i = 0; i < n; ++i) {
        const UINT slot = n - 1 - i;
        const ParameterType type = parameterType(member, kind, int(i));
        try {
            if (type == ParameterType::Any) {
                args.append(anyArgument(params->rgvarg[slot]));
                continue;
            }
            // The CAD refuses what its type library does not declare.
            try {
                args.append(strictArgument(type, params->rgvarg[slot], anyArgument));
            } catch (const cad::AutomationError &e) {
                if (argumentError)
                    *argumentError = slot;
                return raise(exception, e.message(), E_INVALIDARG);
            }
        } catch (const cad::win32::ComError &) {
            if (argumentError)
                *argumentError = slot;
            return DISP_E_TYPEMISMATCH;
        } catch (const cad::AutomationError &e) {
            return raise(exception, e.message(), cad::win32::errorCode(e.kind()));
        }
    }

    try {
        const QVariantList before = args;
        const QVariant value = m_object->invoke(member, kind, args);
        if (m_retired) // a drawing loaded while the call waited for a pick
            return raise(exception, kRetiredText, E_FAIL);
        // By-reference arguments go back changed, where the call changed them.
        for (UINT i = 0; i < n; ++i) {
            VARIANT &passed = params->rgvarg[n - 1 - i];
            if (passed.vt != (VT_BYREF | VT_VARIANT) || !passed.pvarVal || args[i] == before[i])
                continue;
            VARIANT changed;
            cad::win32::toVariant(cad::win32::toComValue(args[i], toCom), &changed);
            VariantClear(passed.pvarVal);
            *passed.pvarVal = changed;
        }
        if (result) {
            typedResult(resultType(member, kind, before), value, result, [&toCom](const QVariant &v, VARIANT *out) {
                cad::win32::toVariant(cad::win32::toComValue(v, toCom), out);
            });
        }
        return S_OK;
    } catch (const cad::AutomationError &e) {
        if (m_retired)
            return raise(exception, kRetiredText, E_FAIL);
        return raise(exception, e.message(), cad::win32::errorCode(e.kind()));
    } catch (const cad::win32::ComError &e) {
        return raise(exception, fromWide(e.message()), e.code());
    } catch (const std::exception &e) {
        return raise(exception, QString::fromUtf8(e.what()), E_FAIL);
    }
}

// ObjectTable

ObjectTable::ObjectTable(std::function<bool()> busy) : m_busy(std::move(busy)) {}

ObjectTable::~ObjectTable()
{
    disconnectAll();
}

void ObjectTable::retireAll()
{
    for (auto it = m_live.begin(); it != m_live.end();) {
        if ((*it)->m_root) {
            ++it;
            continue;
        }
        (*it)->m_retired = true; // freed when its clients let go
        it = m_live.erase(it);
    }
}

void ObjectTable::disconnectAll()
{
    // Objects outlive the table while anyone holds them; they must not call back.
    const QList<ComObject *> live = m_live.values();
    m_live.clear();
    for (ComObject *o : live) {
        o->AddRef();
        o->m_table = nullptr;
    }
    for (ComObject *o : live) {
        CoDisconnectObject(static_cast<IDispatch *>(o), 0);
        o->Release();
    }
}

ComObject *ObjectTable::addRoot(const cad::Object &object, bool servedWhileBusy)
{
    auto *o = new ComObject(*this, object, true, servedWhileBusy);
    m_live.insert(object.get(), o);
    return o;
}

ComObject *ObjectTable::wrap(const cad::Object &object)
{
    if (ComObject *existing = m_live.value(object.get())) {
        existing->AddRef();
        return existing;
    }
    auto *o = new ComObject(*this, object, false, false);
    m_live.insert(object.get(), o);
    return o;
}

cad::Object ObjectTable::unwrap(IDispatch *dispatch)
{
    if (!dispatch)
        return {};
    IDispatch *own = nullptr;
    if (FAILED(dispatch->QueryInterface(kIidOwnObject, reinterpret_cast<void **>(&own))) || !own)
        return {};
    cad::Object object = static_cast<ComObject *>(own)->object();
    own->Release();
    return object;
}

int ObjectTable::objectCount() const
{
    int n = 0;
    for (const ComObject *o : m_live)
        n += o->m_root ? 0 : 1;
    return n;
}

int ObjectTable::referenceCount() const
{
    int n = 0;
    for (const ComObject *o : m_live)
        n += o->m_root ? 0 : int(o->m_refs);
    return n;
}

bool ObjectTable::servedWhileBusy(IUnknown *unknown) const
{
    for (const ComObject *o : m_live) {
        if (o->m_servedWhileBusy && static_cast<IUnknown *>(static_cast<IDispatch *>(const_cast<ComObject *>(o))) == unknown)
            return true;
    }
    return false;
}

void ObjectTable::forget(ComObject *object)
{
    const auto it = m_live.find(object->m_object.get());
    if (it != m_live.end() && *it == object)
        m_live.erase(it);
}

} // namespace minicad::com
