#include "cad/win32/comfilter.h"

namespace cad {

namespace {
LONG g_live = 0;
} // namespace

LONG TMessageFilter::liveCount()
{
    return InterlockedCompareExchange(&g_live, 0, 0);
}

TMessageFilter::TMessageFilter() : MessageFilterUnknown(0)
{
    InterlockedIncrement(&g_live);
}

TMessageFilter::~TMessageFilter()
{
    if (FOldFilter)
        FOldFilter->Release();
    InterlockedDecrement(&g_live);
}

HRESULT TMessageFilter::RegisterFilter()
{
    return CoRegisterMessageFilter(this, &FOldFilter);
}

HRESULT TMessageFilter::RevokeFilter()
{
    AddRef(); // stay alive until the old filter is back in place
    const HRESULT hr = CoRegisterMessageFilter(FOldFilter, nullptr);
    if (FOldFilter) {
        FOldFilter->Release();
        FOldFilter = nullptr;
    }
    Release();
    return hr;
}

DWORD TMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO)
{
    return SERVERCALL_ISHANDLED;
}

DWORD TMessageFilter::RetryRejectedCall(HTASK, DWORD, DWORD rejectType)
{
    // No limit and no look at the elapsed time: a busy CAD is waited for.
    return rejectType == SERVERCALL_RETRYLATER ? 1000 : DWORD(-1);
}

DWORD TMessageFilter::MessagePending(HTASK, DWORD, DWORD)
{
    return PENDINGMSG_WAITNOPROCESS;
}

} // namespace cad
