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
    {"ObjectCount", 0, 0}, {"ReferenceCount", 0, 1}, {"Replace", 1, 1},     {"Open", 2, 2},
    {"Activate", 1, 1},  {"Close", 1, 1},        {"DrawingCount", 0, 0}, {"ActiveDrawing", 0, 0},
    {"Reset", 0, 0},
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

int intArgument(const QVariant &v)
{
    bool ok = false;
    const int i = v.toInt(&ok);
    if (!ok || v.metaType().id() == QMetaType::QString)
        throw AutomationError(QStringLiteral("Type mismatch: the index must be a number"));
    return i;
}

} // namespace

TestingObject::TestingObject(std::shared_ptr<Session> session, ObjectTable &objects)
    : m_session(std::move(session)), m_objects(objects)
{
}

Drawing &TestingObject::active() const
{
    if (!m_session->activeDrawing())
        throw AutomationError(QStringLiteral("No drawing is open"));
    return *m_session->activeDrawing();
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
    Session &session = *m_session;
    try {
        if (cad::sameMember(member, "QueuePick"))
            session.queuePick(handleList(args[0])); // answers a waiting pick at once
        else if (cad::sameMember(member, "QueueCancel"))
            session.queuePickCancel();
        else if (cad::sameMember(member, "Load") || cad::sameMember(member, "Replace")) {
            Drawing &d = active();
            // Replace keeps the name (tests push their content so).
            const QString name = d.fileName();
            loadDrawingFile(d, stringArgument(args[0], "the path"));
            if (cad::sameMember(member, "Replace"))
                d.setFileName(name);
            // What was handed out belongs to the content just replaced, and
            // the picks queued were meant for it.
            m_objects.retireAll();
            session.dropPicks();
        }
        else if (cad::sameMember(member, "Save"))
            saveDrawingFile(active(), stringArgument(args[0], "the path"));
        else if (cad::sameMember(member, "Dump"))
            return QString::fromUtf8(active().toJson().toJson(QJsonDocument::Indented));
        else if (cad::sameMember(member, "Undo"))
            return active().undo();
        else if (cad::sameMember(member, "Redo"))
            return active().redo();
        else if (cad::sameMember(member, "Open")) {
            return session.openJson(stringArgument(args[0], "the JSON text"),
                                    stringArgument(args[1], "the full name"));
        }
        else if (cad::sameMember(member, "Activate"))
            session.activate(intArgument(args[0]));
        else if (cad::sameMember(member, "Close"))
            session.close(intArgument(args[0]));
        else if (cad::sameMember(member, "DrawingCount"))
            return session.count();
        else if (cad::sameMember(member, "ActiveDrawing"))
            return session.activeIndex();
        else if (cad::sameMember(member, "Reset"))
            session.reset();
        else if (cad::sameMember(member, "PickWaiting"))
            return session.pickPending();
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
