#include "cad/messagefilter.h"

#include <QThread>

namespace cad {

namespace {
Sleeper &sleeper()
{
    static Sleeper s;
    return s;
}
} // namespace

int handleInComingCall()
{
    return kServerCallIsHandled;
}

int retryRejectedCall(int rejectType)
{
    // No limit and no look at the elapsed time: a busy CAD is waited for.
    return rejectType == kServerCallRetryLater ? 1000 : -1;
}

int messagePending()
{
    return kPendingMsgWaitNoProcess;
}

void setRetrySleeper(Sleeper s)
{
    sleeper() = std::move(s);
}

void retrySleep(int ms)
{
    if (sleeper())
        sleeper()(ms);
    else
        QThread::msleep(ulong(ms));
}

} // namespace cad
