#pragma once
// The COM host's message filter. While a pick waits for the user, calls into
// the automation objects are told to come back later (SERVERCALL_RETRYLATER):
// a client's filter then retries them, as it does with a CAD in a modal
// state. The testing object and COM's own interfaces are always served, so
// a test can answer the pick. Qt-free: the Wine tests check it directly.

#include "protocol/win32/comunknown.h"

#include <functional>

namespace minicad::com {

class HostMessageFilter : public cad::win32::MessageFilterUnknown {
public:
    // `busy`: whether automation calls must wait now. `servedWhileBusy`:
    // whether the object called is one that answers even then.
    HostMessageFilter(std::function<bool()> busy, std::function<bool(IUnknown *)> servedWhileBusy);
    HostMessageFilter(const HostMessageFilter &) = delete;
    HostMessageFilter &operator=(const HostMessageFilter &) = delete;

    // IMessageFilter
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO interfaceInfo) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;

private:
    virtual ~HostMessageFilter() = default;
    std::function<bool()> m_busy;
    std::function<bool(IUnknown *)> m_servedWhileBusy;
};

} // namespace minicad::com
