#include "minicad/com/testingobject.h"

#include "minicad/dxf/dxffile.h"

#include <QJsonDocument>

namespace minicad::com {

namespace {

using cad::AutomationError;

struct TestingMember {
    const char *name;
    int minArgs, maxArgs;
};

const TestingMember kMembers[] = {
    {"QueuePick", 1, 1}, {"QueueCancel", 0, 0}, {"Load", 1, 1},        {"Save", 1, 1},
    {"Dump", 0, 0},      {"Undo", 0, 0},        {"Redo", 0, 0},        {"PickWaiting", 0, 0},
    {"ObjectCount", 0, 0}, {"ReferenceCount", 0, 1},
};

const TestingMember *find(const QString &name)
{
    for (const TestingMember &m : kMembers) {
        if (cad::sameMember(name, m.name))
            return &m;
    }
    return nullptr;
}

QString stringArgument(const QVariant &v, const char *what)
{
    if (v.metaType().id() != QMetaType::QString)
        throw AutomationError(QStringLiteral("Type mismatch: %1 must be a string").arg(QLatin1String(what)));
    return v.toString();
}

// An array of handle strings; a single handle counts as one.
QStringList handleList(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QString)
        return {v.toString()};
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList();
    if (v.metaType().id() != QMetaType::QVariantList)
        throw AutomationError(QStringLiteral("Type mismatch: QueuePick takes an array of handle strings"));
    QStringList handles;
    for (const QVariant &h : v.toList())
        handles.append(stringArgument(h, "each handle"));
    return handles;
}

} // namespace

TestingObject::TestingObject(std::shared_ptr<Drawing> drawing, ObjectTable &objects)
    : m_drawing(std::move(drawing)), m_objects(objects)
{
}

bool TestingObject::hasMember(const QString &member) const
{
    return find(member) != nullptr;
}

QVariant TestingObject::invoke(const QString &member, cad::InvokeKind kind, QVariantList &args)
{
    const TestingMember *m = find(member);
    if (!m)
        throw AutomationError(QStringLiteral("Unknown name: %1").arg(member));
    if (kind == cad::InvokeKind::PropertyPut)
        throw AutomationError(QStringLiteral("Member not found: %1 cannot be set").arg(member));
    if (args.size() < m->minArgs || args.size() > m->maxArgs)
        throw AutomationError(QStringLiteral("Invalid number of parameters"));
    Drawing &d = *m_drawing;
    try {
        if (cad::sameMember(member, "QueuePick"))
            d.queuePick(handleList(args[0])); // answers a waiting pick at once
        else if (cad::sameMember(member, "QueueCancel"))
            d.queuePickCancel();
        else if (cad::sameMember(member, "Load")) {
            loadDrawingFile(d, stringArgument(args[0], "the path"));
            // What was handed out belongs to the drawing just replaced.
            m_objects.retireAll();
        }
        else if (cad::sameMember(member, "Save"))
            saveDrawingFile(d, stringArgument(args[0], "the path"));
        else if (cad::sameMember(member, "Dump"))
            return QString::fromUtf8(d.toJson().toJson(QJsonDocument::Indented));
        else if (cad::sameMember(member, "Undo"))
            return d.undo();
        else if (cad::sameMember(member, "Redo"))
            return d.redo();
        else if (cad::sameMember(member, "PickWaiting"))
            return d.pickPending();
        else if (cad::sameMember(member, "ObjectCount"))
            return m_objects.objectCount();
        else if (cad::sameMember(member, "ReferenceCount")) {
            // COM counts references for all its clients together and does not
            // say who holds which; there is no client to name here.
            if (!args.isEmpty() && args[0].isValid() && !stringArgument(args[0], "the client").isEmpty())
                throw AutomationError(QStringLiteral(
                    "ReferenceCount: COM does not tell clients apart; call it without a client"));
            return m_objects.referenceCount();
        }
    } catch (const ModelError &e) {
        throw AutomationError(e.message());
    }
    return {};
}

} // namespace minicad::com
