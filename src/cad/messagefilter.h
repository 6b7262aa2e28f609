#pragma once
// What a call does when the CAD application is busy. On Windows the COM
// message filter answers; the other backends follow the same contract:
// a call answered "busy" is retried every 1000 ms without limit, any other
// rejection fails at once.

#include "protocol/automation.h"

#include <functional>

namespace cad {

// IMessageFilter's answers, shared by the COM filter and the other backends.
enum : int {
    kServerCallIsHandled = 0,   // SERVERCALL_ISHANDLED
    kServerCallRejected = 1,    // SERVERCALL_REJECTED
    kServerCallRetryLater = 2,  // SERVERCALL_RETRYLATER
    kPendingMsgWaitNoProcess = 1, // PENDINGMSG_WAITNOPROCESS
};

int handleInComingCall();
// Milliseconds until the rejected call is retried, or -1 to cancel it.
int retryRejectedCall(int rejectType);
int messagePending();

// The pause between retries; tests swap in a fake clock.
using Sleeper = std::function<void(int ms)>;
void setRetrySleeper(Sleeper sleeper); // empty: the real one
void retrySleep(int ms);

// Runs `attempt` until it no longer fails with a busy error.
template <typename F>
auto callWithBusyRetry(F &&attempt) -> decltype(attempt())
{
    for (;;) {
        try {
            return attempt();
        } catch (const AutomationError &e) {
            const int wait = retryRejectedCall(e.kind() == AutomationError::Kind::Busy ? kServerCallRetryLater
                                                                                       : kServerCallRejected);
            if (wait < 0)
                throw;
            retrySleep(wait);
        }
    }
}

#ifdef Q_OS_WIN
// The COM message filter of the program: one instance, registered in
// FormCreate and revoked in FormDestroy.
class TMessageFilter;
TMessageFilter *createMessageFilter();
void RegisterFilter(TMessageFilter *filter);
void RevokeFilter(TMessageFilter *filter);
#endif

} // namespace cad
