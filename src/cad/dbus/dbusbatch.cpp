// Pipelined batches over the client's connection: the calls go out without
// waiting for each answer, a bounded number in flight, and the answers are
// taken in order. The server answers in the order it receives, so the round
// trip is paid once per window instead of once per call.

#include "cad/batch.h"
#include "cad/dbus/dbusobjects.h"
#include "cad/messagefilter.h"

#include <dbus/dbus.h>

#include <deque>

namespace cad {

namespace {

// Enough to keep the server busy while we decode; few enough that the
// answers waiting in our queue stay small.
constexpr qsizetype kMaxInFlight = 128;

struct InFlight {
    BatchCall *call;
    const DBusDispatch *proxy;
    DBusPendingCall *pending;
};

// An answer that says the application itself is gone, not one object.
bool peerVanished(DBusMessage *reply)
{
    const char *name = dbus_message_get_error_name(reply);
    if (!name)
        return false;
    for (const char *gone : {DBUS_ERROR_NO_REPLY, DBUS_ERROR_SERVICE_UNKNOWN, DBUS_ERROR_NAME_HAS_NO_OWNER,
                             DBUS_ERROR_DISCONNECTED})
        if (qstrcmp(name, gone) == 0)
            return true;
    return false;
}

struct Pass {
    QList<BatchCall *> busy;   // answered busy: to go again after the pause
    QList<BatchCall *> unsent; // held back once the application seemed gone
};

// One pass over the calls. Error answers are read only once nothing is in
// flight any more: telling "gone" from a plain failure asks the bus, and
// what arrives meanwhile on the connection would not survive that question.
// After an answer that says the application went away nothing more is
// sent: a host that died mid-batch would otherwise be asked for every call.
Pass pipeline(const QList<BatchCall *> &calls)
{
    std::deque<InFlight> inFlight;
    QList<std::pair<InFlight, DBusMessage *>> errorAnswers;
    bool halted = false;
    qsizetype next = 0;
    while ((next < calls.size() && !halted) || !inFlight.empty()) {
        while (!halted && next < calls.size() && qsizetype(inFlight.size()) < kMaxInFlight) {
            BatchCall *c = calls[next++];
            const auto *proxy = static_cast<const DBusDispatch *>(c->object.get());
            DBusConnection *connection = proxy->openConnection();
            if (!connection) {
                // Closed: the plain call says so as it always does.
                c->invokeDirectly();
                continue;
            }
            DBusMessage *message = nullptr;
            try {
                message = proxy->newInvokeMessage(c->member, c->kind, c->args);
            } catch (const AutomationError &e) {
                c->fail(e);
                continue;
            }
            const bool waitsForUser = c->member.compare(QLatin1String("SelectOnScreen"), Qt::CaseInsensitive) == 0;
            DBusPendingCall *pending = nullptr;
            const bool sent = dbus_connection_send_with_reply(connection, message, &pending,
                                                              waitsForUser ? DBUS_TIMEOUT_INFINITE : -1);
            dbus_message_unref(message);
            if (!sent || !pending) {
                if (pending)
                    dbus_pending_call_unref(pending);
                c->invokeDirectly();
                continue;
            }
            inFlight.push_back({c, proxy, pending});
        }
        if (inFlight.empty())
            continue;
        const InFlight first = inFlight.front();
        inFlight.pop_front();
        dbus_pending_call_block(first.pending);
        DBusMessage *reply = dbus_pending_call_steal_reply(first.pending);
        dbus_pending_call_unref(first.pending);
        if (!reply) {
            first.call->invokeDirectly();
        } else if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
            halted = halted || peerVanished(reply);
            errorAnswers.append({first, reply});
        } else {
            try {
                first.call->answer(first.proxy->readInvokeReply(reply, first.call->member, first.call->args));
            } catch (const AutomationError &e) {
                first.call->fail(e);
            }
            dbus_message_unref(reply);
        }
    }

    Pass pass;
    pass.unsent = calls.mid(next);
    for (auto &[at, reply] : errorAnswers) {
        try {
            at.call->answer(at.proxy->readInvokeReply(reply, at.call->member, at.call->args));
        } catch (const AutomationError &e) {
            if (e.kind() == AutomationError::Kind::Busy)
                pass.busy.append(at.call);
            else
                at.call->fail(e);
        }
        dbus_message_unref(reply);
    }
    return pass;
}

} // namespace

void DBusDispatch::invokeBatch(QList<BatchCall *> &calls)
{
    QList<BatchCall *> mine;
    QList<BatchCall *> others;
    for (BatchCall *c : calls) {
        if (c->done)
            continue;
        const auto *proxy = dynamic_cast<const DBusDispatch *>(c->object.get());
        (proxy && proxy->sameConnection(*this) ? mine : others).append(c);
    }
    invokeOneByOne(others);
    while (!mine.isEmpty()) {
        Pass pass = pipeline(mine);
        if (!pass.unsent.isEmpty()) {
            // Whether the application is gone, one plain call tells, with the
            // error a single call gives; the rest then share it.
            BatchCall *probe = pass.unsent.takeFirst();
            probe->invokeDirectly();
            if (probe->error && probe->error->kind() == AutomationError::Kind::Gone) {
                const QString service = static_cast<const DBusDispatch *>(probe->object.get())->service();
                QList<BatchCall *> elsewhere;
                for (BatchCall *c : std::as_const(pass.unsent)) {
                    if (static_cast<const DBusDispatch *>(c->object.get())->service() == service)
                        c->fail(*probe->error);
                    else
                        elsewhere.append(c);
                }
                pass.unsent = elsewhere;
            }
        }
        if (!pass.unsent.isEmpty()) {
            mine = pass.unsent + pass.busy;
            continue;
        }
        if (pass.busy.isEmpty())
            break;
        // Busy answers wait and go again, as a single call's do.
        retrySleep(retryRejectedCall(kServerCallRetryLater));
        mine = pass.busy;
    }
}

} // namespace cad
