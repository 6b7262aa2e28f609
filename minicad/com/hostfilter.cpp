#include "minicad/com/hostfilter.h"

namespace minicad::com {

HostMessageFilter::HostMessageFilter(std::function<bool()> busy, std::function<bool(IUnknown *)> servedWhileBusy)
    : MessageFilterUnknown(1), m_busy(std::move(busy)), m_servedWhileBusy(std::move(servedWhileBusy))
{
}

DWORD HostMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO interfaceInfo)
{
    // Only IDispatch reaches the drawing; reference counting and the other
    // interfaces COM calls on its own must go through, or a client could not
    // even let go of an object while a pick waits.
    if (!interfaceInfo || !IsEqualIID(interfaceInfo->iid, IID_IDispatch) || !m_busy())
        return SERVERCALL_ISHANDLED;
    if (m_servedWhileBusy && m_servedWhileBusy(interfaceInfo->pUnk))
        return SERVERCALL_ISHANDLED;
    return SERVERCALL_RETRYLATER;
}

DWORD HostMessageFilter::RetryRejectedCall(HTASK, DWORD, DWORD)
{
    return DWORD(-1); // the host calls no other server
}

DWORD HostMessageFilter::MessagePending(HTASK, DWORD, DWORD)
{
    return PENDINGMSG_WAITDEFPROCESS;
}

} // namespace minicad::com
