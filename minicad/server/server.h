#pragma once
// minicad on the session bus: the drawing's automation objects under the
// ProgID's bus name, plus org.lumoedit.MiniCadTesting at /Testing for tests
// and scripts (queue pick answers, load, save and dump the drawing), and a
// private peer-to-peer address for clients that ask for it.

#include "minicad/model/drawing.h"
#include "minicad/server/objectserver.h"

#include <QObject>

#include <memory>

namespace minicad {

class MiniCadServer : public QObject {
    Q_OBJECT
public:
    explicit MiniCadServer(std::shared_ptr<Drawing> drawing, QObject *parent = nullptr);
    ~MiniCadServer() override;

    // Connects to the session bus (or the bus at `busAddress`), exports the
    // objects and takes the ProgID's bus name. False with a reason when
    // there is no bus, or the name is invalid or already owned.
    bool start(const QString &progId, QString *error = nullptr, const QString &busAddress = {});
    void stop();
    QString busName() const { return m_busName; }

    Drawing &drawing() { return *m_drawing; }
    ObjectServer &objects() { return *m_objects; }

    // The answer of the waiting on-screen pick, or of the next one.
    void queuePick(const QStringList &handles);
    void queuePickCancel();

private:
    void handleTesting(BusLink *link, DBusMessage *message);

    std::shared_ptr<Drawing> m_drawing;
    ObjectServer *m_objects = nullptr;
    BusLink *m_bus = nullptr;
    QString m_busName;
};

// SIGTERM, SIGINT and SIGHUP end the event loop instead of the process, so
// the peer-to-peer socket and its directory are removed on the way out.
void quitOnTerminationSignals();

} // namespace minicad
