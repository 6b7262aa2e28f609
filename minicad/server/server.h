#pragma once
// minicad on the session bus: the automation objects of its drawings under
// the ProgID's bus name, plus org.lumoedit.MiniCadTesting at /Testing for
// tests and scripts (queue pick answers; load, save and dump the active
// drawing; open, activate and close drawings), and a private peer-to-peer
// address for clients that ask for it.

#include "minicad/host/session.h"
#include "minicad/server/objectserver.h"

#include <QObject>

#include <memory>

namespace minicad {

class MiniCadServer : public QObject {
    Q_OBJECT
public:
    explicit MiniCadServer(std::shared_ptr<Session> session, QObject *parent = nullptr);
    ~MiniCadServer() override;

    // Connects to the session bus (or the bus at `busAddress`), exports the
    // objects and takes the ProgID's bus name. False with a reason when
    // there is no bus, or the name is invalid or already owned.
    bool start(const QString &progId, QString *error = nullptr, const QString &busAddress = {});
    void stop();
    QString busName() const { return m_busName; }

    Session &session() { return *m_session; }
    ObjectServer &objects() { return *m_objects; }

    // The answer of the waiting on-screen pick, or of the next one.
    void queuePick(const QStringList &handles);
    void queuePickCancel();

private:
    void handleTesting(BusLink *link, DBusMessage *message);

    Drawing &active() const; // throws ModelError when none is open
    // Objects handed out for the drawing answer "failed" from now on.
    void retire(const Drawing *drawing);

    std::shared_ptr<Session> m_session;
    ObjectServer *m_objects = nullptr;
    BusLink *m_bus = nullptr;
    QString m_busName;
};

// SIGTERM, SIGINT and SIGHUP end the event loop instead of the process, so
// the peer-to-peer socket and its directory are removed on the way out.
void quitOnTerminationSignals();

} // namespace minicad
