#include "minicad/com/classid.h"

namespace minicad::com {

namespace {
// The namespace of minicad's ProgID class identifiers (a fixed random UUID).
const QUuid kProgIdNamespace(QStringLiteral("{3b0c9a52-8f2e-4d71-9c55-6a1e2f4b7d10}"));
} // namespace

QUuid classIdForProgId(const QString &progId)
{
    return QUuid::createUuidV5(kProgIdNamespace, progId.toLower());
}

QString testingProgId(const QString &progId)
{
    return progId + QStringLiteral(".Testing");
}

QString progIdProblem(const QString &progId)
{
    if (progId.isEmpty())
        return QStringLiteral("the ProgID is empty");
    // COM's own limit; the testing object's ProgID adds ".Testing".
    if (testingProgId(progId).size() > 39)
        return QStringLiteral("\"%1\" is too long: a ProgID has at most 39 characters, and \"%2\" must fit too")
            .arg(progId, testingProgId(progId));
    if (progId.front().isDigit())
        return QStringLiteral("\"%1\" starts with a digit").arg(progId);
    for (const QChar c : progId) {
        if (c.isSpace() || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() > 0x7e)
            return QStringLiteral("\"%1\" holds a character a ProgID cannot have (spaces, backslashes and non-ASCII "
                                  "characters are not allowed)")
                .arg(progId);
    }
    return {};
}

} // namespace minicad::com
