#pragma once
// Late-bound COM automation without Qt: attach to a running application by
// its ProgID and call its members by name through IDispatch.

#include "protocol/win32/comvalue.h"

#include <exception>
#include <map>
#include <string>
#include <vector>

namespace cad::win32 {

// A failed COM call: the server's EXCEPINFO text (or the system's text for
// the HRESULT) and whether the call was refused as busy or outright.
class ComError : public std::exception {
public:
    enum class Kind {
        Failed,   // the server raised an error, or the call was malformed
        Busy,     // RPC_E_SERVERCALL_RETRYLATER: the server asks to retry later
        Rejected, // RPC_E_CALL_REJECTED: refused, not to be retried
        Gone,     // the server or the object is no longer there
    };
    ComError(HRESULT code, std::wstring message, Kind kind);
    ComError(HRESULT code, const std::wstring &context); // message from the system, kind from the code
    HRESULT code() const { return m_code; }
    Kind kind() const { return m_kind; }
    const std::wstring &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.c_str(); }

    static Kind kindOf(HRESULT code);
    static std::wstring systemText(HRESULT code);

private:
    HRESULT m_code;
    std::wstring m_message;
    Kind m_kind;
    std::string m_what;
};

// The three IDispatch invoke kinds.
enum class Invoke { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// Owns exactly one reference to an IDispatch and releases it once, at destruction.
class DispatchRef {
public:
    // Takes over one reference the caller already holds.
    static ObjectPtr adopt(IDispatch *dispatch);
    // Adds a reference of its own.
    static ObjectPtr share(IDispatch *dispatch);
    ~DispatchRef();
    DispatchRef(const DispatchRef &) = delete;
    DispatchRef &operator=(const DispatchRef &) = delete;

    IDispatch *get() const { return m_dispatch; }

    // Calls a member by name (names are not case-sensitive). Arguments whose
    // `byRef` entry is true travel as VT_BYREF|VT_VARIANT and come back with
    // whatever the server put in them. For a put, the last argument is the
    // value. Throws ComError.
    Value invoke(const std::wstring &member, Invoke kind, std::vector<Value> &args,
                 const std::vector<bool> &byRef = {});
    Value get(const std::wstring &member, std::vector<Value> args = {});
    void put(const std::wstring &member, const Value &value);
    Value call(const std::wstring &member, std::vector<Value> args = {});

    DISPID dispId(const std::wstring &member);

private:
    explicit DispatchRef(IDispatch *dispatch) : m_dispatch(dispatch) {}
    IDispatch *m_dispatch;
    std::map<std::wstring, DISPID> m_ids; // key: lower-case name
};

// True when an active object of the ProgID is registered: CLSIDFromProgID
// then GetActiveObject. The object is released at once. Never throws.
bool isRunning(const std::wstring &progId);
// The running application's IDispatch. Throws ComError (Failed when the
// ProgID has no class identifier, Gone when nothing of it is running).
ObjectPtr attach(const std::wstring &progId);

// Joins the calling thread to a single-threaded apartment for the object's
// lifetime (nothing to undo when the thread already was in one).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;
    bool ok() const { return m_initialised || m_already; }

private:
    bool m_initialised = false;
    bool m_already = false;
};

std::string toUtf8(const std::wstring &s);

} // namespace cad::win32
