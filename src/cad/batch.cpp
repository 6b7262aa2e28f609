#include "cad/batch.h"

namespace cad {

void BatchCall::answer(const QVariant &value)
{
    result = value;
    error.reset();
    done = true;
}

void BatchCall::fail(const AutomationError &e)
{
    result = QVariant();
    error = e;
    done = true;
}

void BatchCall::invokeDirectly()
{
    try {
        answer(object->invoke(member, kind, args));
    } catch (const AutomationError &e) {
        fail(e);
    }
}

void invokeOneByOne(QList<BatchCall *> &calls)
{
    for (BatchCall *c : calls)
        if (!c->done)
            c->invokeDirectly();
}

int Batch::add(const Object &object, const QString &member, InvokeKind kind, QVariantList args)
{
    BatchCall c;
    c.object = object;
    c.member = member;
    c.kind = kind;
    c.args = std::move(args);
    if (!object)
        c.fail(AutomationError(QStringLiteral("Object variable not set")));
    m_calls.append(std::move(c));
    return int(m_calls.size()) - 1;
}

void Batch::run()
{
    QList<BatchCall *> pending;
    for (qsizetype i = m_ran; i < m_calls.size(); ++i)
        if (!m_calls[i].done)
            pending.append(&m_calls[i]);
    m_ran = m_calls.size();
    if (pending.isEmpty())
        return;
    // The first call's backend carries them all; it hands what is not its
    // own to the one-by-one carrier.
    const Object first = pending.front()->object;
    if (auto *carrier = dynamic_cast<BatchCarrier *>(first.get()))
        carrier->invokeBatch(pending);
    else
        invokeOneByOne(pending);
    // A carrier that left a call unanswered would make its slot lie.
    for (BatchCall *c : std::as_const(pending))
        if (!c->done)
            c->invokeDirectly();
}

bool Batch::failed(int slot) const
{
    if (slot < 0 || slot >= m_calls.size())
        return true;
    const BatchCall &c = m_calls.at(slot);
    return !c.done || c.error.has_value();
}

QVariant Batch::value(int slot) const
{
    if (slot < 0 || slot >= m_calls.size())
        throw AutomationError(QStringLiteral("The call was never added to the batch"));
    const BatchCall &c = m_calls.at(slot);
    if (!c.done)
        throw AutomationError(QStringLiteral("%1 was not run").arg(c.member));
    if (c.error)
        throw *c.error;
    return c.result;
}

Object Batch::object(int slot) const
{
    Object o = toObject(value(slot));
    if (!o)
        throw AutomationError(QStringLiteral("%1 did not return an object").arg(m_calls.at(slot).member));
    return o;
}

const QVariantList &Batch::args(int slot) const
{
    static const QVariantList none;
    return slot < 0 || slot >= m_calls.size() ? none : m_calls.at(slot).args;
}

int ReadAheadSize::end(int from, int count)
{
    m_clock.start();
    return from + std::min(m_size, count - from);
}

void ReadAheadSize::ran()
{
    // Aim at 10 to 40 ms per batch.
    const qint64 ms = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (ms < 10)
        m_size = std::min(m_size * 2, m_most);
    else if (ms > 40)
        m_size = std::max(m_size / 2, 1);
}

namespace {
// GetAttributes' answer as Entity::getAttributes() gives it: its objects.
QList<Entity> attributesOf(const QVariant &answer)
{
    QList<Entity> out;
    for (const QVariant &v : answer.toList())
        if (Object o = toObject(v))
            out.append(Entity(o));
    return out;
}
} // namespace

// ReadBatch

int ReadBatch::get(const ObjectRef &o, const char *member)
{
    return m_batch.add(o.object(), QLatin1String(member), InvokeKind::PropertyGet);
}

Pending<Entity> ReadBatch::item(const SelectionSet &set, int index)
{
    return {m_batch.add(set.object(), QStringLiteral("Item"), InvokeKind::Method, {index})};
}

Pending<Entity> ReadBatch::handleToObject(const Document &doc, const QString &handle)
{
    return {m_batch.add(doc.object(), QStringLiteral("HandleToObject"), InvokeKind::Method, {handle})};
}

Pending<QString> ReadBatch::handle(const Entity &e) { return {get(e, "Handle")}; }
Pending<QString> ReadBatch::layer(const Entity &e) { return {get(e, "Layer")}; }
Pending<QString> ReadBatch::name(const Entity &e) { return {get(e, "Name")}; }
Pending<QString> ReadBatch::textString(const Entity &e) { return {get(e, "TextString")}; }
Pending<QString> ReadBatch::tagString(const Entity &e) { return {get(e, "TagString")}; }
Pending<Point> ReadBatch::insertionPoint(const Entity &e) { return {get(e, "InsertionPoint")}; }
Pending<Point> ReadBatch::textAlignmentPoint(const Entity &e) { return {get(e, "TextAlignmentPoint")}; }
Pending<int> ReadBatch::alignment(const Entity &e) { return {get(e, "Alignment")}; }

Pending<QList<Entity>> ReadBatch::getAttributes(const Entity &e)
{
    return {m_batch.add(e.object(), QStringLiteral("GetAttributes"), InvokeKind::Method)};
}

Entity ReadBatch::value(Pending<Entity> p) const { return Entity(m_batch.object(p.slot)); }
QString ReadBatch::value(Pending<QString> p) const { return m_batch.value(p.slot).toString(); }
Point ReadBatch::value(Pending<Point> p) const { return toPoint(m_batch.value(p.slot)); }
int ReadBatch::value(Pending<int> p) const { return m_batch.value(p.slot).toInt(); }
QList<Entity> ReadBatch::value(Pending<QList<Entity>> p) const { return attributesOf(m_batch.value(p.slot)); }

} // namespace cad
