#pragma once
// The one error the drawing model raises; the automation layer turns it into
// the CAD's automation error with the same message.

#include <QString>

#include <stdexcept>

namespace minicad {

class ModelError : public std::runtime_error {
public:
    explicit ModelError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace minicad
