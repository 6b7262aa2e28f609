#pragma once
// minicad's drawings served over COM: the application object under the
// ProgID (registered under Software\Classes, in the running object table
// with ACTIVEOBJECT_STRONG) and the testing object under "<ProgID>.Testing".
// The thread that starts it must be in a single-threaded apartment and run
// an event loop: calls arrive as window messages.

#include "minicad/com/comobject.h"
#include "minicad/host/session.h"

#include <QString>

#include <memory>

namespace minicad::com {

class HostMessageFilter;

class ComHost {
public:
    explicit ComHost(std::shared_ptr<Session> session);
    ~ComHost();
    ComHost(const ComHost &) = delete;
    ComHost &operator=(const ComHost &) = delete;

    // Registers both ProgIDs and publishes both objects. False with a
    // reason when the ProgID is unusable, cannot be registered, or another
    // process already serves it.
    bool start(const QString &progId, QString *error = nullptr);
    // Takes both objects out of the table and disconnects every client.
    void stop();

    QString classIdText() const { return m_classId; }
    const ObjectTable &objects() const { return m_objects; }

private:
    std::shared_ptr<Session> m_session;
    ObjectTable m_objects;
    ComObject *m_application = nullptr;
    ComObject *m_testing = nullptr;
    HostMessageFilter *m_filter = nullptr;
    IMessageFilter *m_previousFilter = nullptr;
    DWORD m_applicationCookie = 0;
    DWORD m_testingCookie = 0;
    QString m_classId;
};

} // namespace minicad::com
