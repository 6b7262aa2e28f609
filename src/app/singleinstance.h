#pragma once
// One LumoEdit per user: a second start ends at once. A Qt window has no
// native class name to look for, so a per-user lock keyed by the main
// window's class name stands in; the lock dies with its process, so a crash
// of the first instance does not block the next start.

#include <QLockFile>
#include <QString>

#include <memory>

namespace lumo {

class SingleInstance {
public:
    // `key` names the guard; `dir` defaults to the user's runtime directory.
    explicit SingleInstance(const QString &key = QStringLiteral("TLumoMainForm"), const QString &dir = {});
    // True when this process is the only instance (and now holds the guard).
    bool acquire();
    QString lockPath() const { return m_path; }

private:
    QString m_key;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    std::shared_ptr<void> m_window; // Windows: a hidden window of the class `key`
};

} // namespace lumo
