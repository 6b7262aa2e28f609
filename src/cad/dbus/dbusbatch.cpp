// Pipelined batches over the client's connection: the calls go out without
// waiting for each answer, a bounded number in flight, and the answers are
// taken in the order of the calls (matched by serial, so an answer that
// comes early waits its turn). The round trip is paid once per window
// instead of once per call.

#include "cad/batch.h"
#include "cad/dbus/dbusconnection.h"
#include "cad/dbus/dbusobjects.h"
#include "cad/messagefilter.h"

#include <deque>
#include <vector>

namespace cad {

namespace {

// Enough to keep the server busy while we decode; few enough that the
// answers waiting in our queue stay small. Once half have come back the
// window is topped up again, in one write.
constexpr qsizetype kMaxInFlight = 128;
constexpr qsizetype kTopUpAt = kMaxInFlight / 2;

struct InFlight {
    BatchCall *call;
    const DBusDispatch *proxy;
    quint32 serial;
    QDeadlineTimer deadline;
};

// An answer that says the application itself is gone, not one object.
bool peerVanished(const Answer &answer)
{
    const char *name = answer.errorName();
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

// One pass over calls that all go on `connection`. Error answers are read
// only once nothing is in flight any more: telling "gone" from a plain
// failure may ask the bus, and nothing else should be waited for meanwhile.
// After an answer that says the application went away nothing more is
// sent: a host that died mid-batch would otherwise be asked for every call.
Pass pipeline(DBusRunningObjects::Connection &connection, const QList<BatchCall *> &calls)
{
    std::deque<InFlight> inFlight;
    std::vector<std::pair<InFlight, Answer>> errorAnswers;
    bool halted = false;
    qsizetype next = 0;
    while ((next < calls.size() && !halted) || !inFlight.empty()) {
        if (!halted && next < calls.size() && qsizetype(inFlight.size()) <= kTopUpAt) {
            QByteArray out;
            while (next < calls.size() && qsizetype(inFlight.size()) < kMaxInFlight) {
                BatchCall *c = calls[next++];
                const auto *proxy = static_cast<const DBusDispatch *>(c->object.get());
                const quint32 serial = connection.serial();
                try {
                    out += proxy->invokeMessage(serial, c->member, c->kind, c->args);
                } catch (const AutomationError &e) {
                    c->fail(e);
                    continue;
                }
                connection.expect(serial);
                inFlight.push_back({c, proxy, serial, callDeadline(c->member)});
            }
            // A failed write closed the connection: the answers below say so.
            if (!out.isEmpty())
                connection.write(out);
        }
        if (inFlight.empty())
            continue;
        const InFlight first = inFlight.front();
        inFlight.pop_front();
        Answer answer = connection.await(first.serial, first.deadline);
        if (answer.isError()) {
            halted = halted || peerVanished(answer);
            errorAnswers.emplace_back(first, std::move(answer));
            continue;
        }
        try {
            first.call->answer(first.proxy->readAnswer(answer, first.call->member, first.call->args));
        } catch (const AutomationError &e) {
            first.call->fail(e);
        }
    }

    Pass pass;
    pass.unsent = calls.mid(next);
    for (auto &[at, answer] : errorAnswers) {
        try {
            at.call->answer(at.proxy->readAnswer(answer, at.call->member, at.call->args));
        } catch (const AutomationError &e) {
            if (e.kind() == AutomationError::Kind::Busy)
                pass.busy.append(at.call);
            else
                at.call->fail(e);
        }
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
        DBusRunningObjects::Connection *connection = openConnection();
        if (!connection) {
            // Closed: the plain calls say so as they always do.
            invokeOneByOne(mine);
            break;
        }
        Pass pass = pipeline(*connection, mine);
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
