#pragma once
// The class identifiers the COM host registers: one per ProgID, derived from
// the name (a version-5 UUID), so any ProgID can be served and every start
// under the same ProgID registers the same class.

#include <QString>
#include <QUuid>

namespace minicad::com {

// Letter case does not count, as the registry looks ProgIDs up without it.
QUuid classIdForProgId(const QString &progId);
// The ProgID of the testing object served beside the application.
QString testingProgId(const QString &progId);
// A ProgID the registry can hold: 1 to 39 characters, no spaces or
// backslashes, not starting with a digit. Empty when fine, else the reason.
QString progIdProblem(const QString &progId);

} // namespace minicad::com
