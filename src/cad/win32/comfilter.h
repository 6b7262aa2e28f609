#pragma once
// The program's COM message filter: while it is registered, a call that the
// CAD application refuses as busy is retried every second without limit, any
// other refusal fails at once, and incoming calls are always handled.

#include "protocol/win32/comunknown.h"

namespace cad {

class TMessageFilter : public win32::MessageFilterUnknown {
public:
    // Created with no references: the registration holds the counted one,
    // the program only a plain pointer.
    TMessageFilter();
    TMessageFilter(const TMessageFilter &) = delete;
    TMessageFilter &operator=(const TMessageFilter &) = delete;

    // CoRegisterMessageFilter with this filter; the one it replaces is kept in FOldFilter.
    HRESULT RegisterFilter();
    // Puts FOldFilter back. The registration's reference goes with it, so the
    // filter is destroyed here unless someone else still holds it.
    HRESULT RevokeFilter();

    // IMessageFilter
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                               LPINTERFACEINFO interfaceInfo) override;
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tickCount, DWORD rejectType) override;
    DWORD STDMETHODCALLTYPE MessagePending(HTASK callee, DWORD tickCount, DWORD pendingType) override;

    IMessageFilter *FOldFilter = nullptr;

    // Filters alive in this process (a test sees the revoke destroy it).
    static LONG liveCount();

private:
    ~TMessageFilter() override;
};

} // namespace cad
