#pragma once
// minicad on the session bus: the drawing's automation objects under the
// ProgID's bus name, plus org.lumoedit.MiniCadTesting at /Testing for tests
// and scripts (queue pick answers, load, save and dump the drawing).

#include "minicad/model/drawing.h"
#include "minicad/server/objectserver.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace minicad {

class MiniCadServer : public QObject {
    Q_OBJECT
public:
    explicit MiniCadServer(std::shared_ptr<Drawing> drawing, QObject *parent = nullptr);
    ~MiniCadServer() override;

    // Exports the objects and takes the ProgID's bus name. False with a
    // reason when the name is invalid or already owned.
    bool start(const QDBusConnection &connection, const QString &progId, QString *error = nullptr);
    void stop();
    QString busName() const { return m_busName; }

    Drawing &drawing() { return *m_drawing; }
    ObjectServer &objects() { return *m_objects; }

    // The answer of the waiting on-screen pick, or of the next one.
    void queuePick(const QStringList &handles);
    void queuePickCancel();

private:
    void handleTesting(const QDBusMessage &message, const QDBusConnection &connection);

    std::shared_ptr<Drawing> m_drawing;
    ObjectServer *m_objects = nullptr;
    std::optional<QDBusConnection> m_connection;
    QString m_busName;
};

} // namespace minicad
