#pragma once
// IUnknown for the message filters of both ends (the program's and the COM
// host's): one interface, a thread-safe count, deleted at zero. Qt-free and
// header-only, so the cross-built Wine tests use it as it is.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>

namespace cad::win32 {

class MessageFilterUnknown : public IMessageFilter {
public:
    MessageFilterUnknown(const MessageFilterUnknown &) = delete;
    MessageFilterUnknown &operator=(const MessageFilterUnknown &) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *object = static_cast<IMessageFilter *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return ULONG(n);
    }

protected:
    // `references`: how many the creator holds (0 when a registration is to take the first).
    explicit MessageFilterUnknown(LONG references) : m_refs(references) {}
    virtual ~MessageFilterUnknown() = default;

private:
    LONG m_refs;
};

} // namespace cad::win32
