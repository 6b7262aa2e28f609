#pragma once
// The drawing's automation objects served over COM: each object of the
// seam handed to a client becomes one IDispatch, answering late-bound calls
// by member name with the object's own invoke(). Values cross as VARIANTs
// through the Windows core's conversion, except where the CAD's type library
// is strict (membertypes.h); objects as IDispatch.

#include "protocol/automation.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oaidl.h>

#include <QHash>

#include <functional>

namespace minicad::com {

class ObjectTable;

// Objects that know their members themselves (the testing object); the
// drawing's objects are asked through minicad::hasMember().
class MemberLookup {
public:
    virtual ~MemberLookup() = default;
    virtual bool hasMember(const QString &member) const = 0;
};

class ComObject final : public IDispatch {
public:
    const cad::Object &object() const { return m_object; }
    bool servedWhileBusy() const { return m_servedWhileBusy; }
    LONG references() const { return m_refs; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo **info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID locale,
                                            DISPID *ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *argumentError) override;

private:
    friend class ObjectTable;
    ComObject(ObjectTable &table, cad::Object object, bool root, bool servedWhileBusy);
    ~ComObject();
    bool hasMember(const QString &member) const;

    ObjectTable *m_table; // null once the host has closed
    cad::Object m_object;
    bool m_root;
    bool m_retired = false; // its drawing was replaced
    bool m_servedWhileBusy;
    LONG m_refs = 1;
};

// Every COM object of the host, so an object handed out twice is the same
// COM object, and the testing object can count what clients still hold.
class ObjectTable {
public:
    // `busy`: true while automation calls must wait (a pick is waiting).
    explicit ObjectTable(std::function<bool()> busy);
    ~ObjectTable();
    ObjectTable(const ObjectTable &) = delete;
    ObjectTable &operator=(const ObjectTable &) = delete;

    // A root object (the application, the testing object): lives until
    // the host lets go; not counted. One reference for the caller.
    ComObject *addRoot(const cad::Object &object, bool servedWhileBusy);
    // The COM object of a seam object, the one already handed out for it
    // when there is one. One reference for the caller.
    ComObject *wrap(const cad::Object &object);
    // The seam object behind one of the host's own IDispatch; null otherwise.
    static cad::Object unwrap(IDispatch *dispatch);

    bool busy() const { return m_busy(); }
    // Another drawing replaced the one the objects handed out so far belong
    // to: they answer "no longer exists" from now on and are not counted.
    void retireAll();
    // Disconnects every object from its clients (CoDisconnectObject): the
    // host is closing.
    void disconnectAll();
    // Objects handed out (roots not counted) and the references COM holds on them.
    int objectCount() const;
    int referenceCount() const;
    // Whether the COM object is a root served while a pick waits.
    bool servedWhileBusy(IUnknown *unknown) const;

private:
    friend class ComObject;
    void forget(ComObject *object);

    std::function<bool()> m_busy;
    QHash<const cad::Dispatch *, ComObject *> m_live;
};

} // namespace minicad::com
