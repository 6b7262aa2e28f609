#pragma once
// Many independent automation calls at once: added one by one, run together,
// answered in the order they were added. A backend that can carry calls
// without waiting for each answer (D-Bus) pipelines them; every other one
// (COM, in-process) makes them one by one. An error belongs to its call
// alone: run() itself fails for none of them, the slot holds the error and
// hands it on when its value is asked for.

#include "cad/objectmodel.h"

#include <QElapsedTimer>
#include <QList>

#include <optional>

namespace cad {

// One call of a batch and, after the run, its answer.
struct BatchCall {
    Object object;
    QString member;
    InvokeKind kind = InvokeKind::PropertyGet;
    QVariantList args; // arguments passed by reference come back changed
    QVariant result;
    std::optional<AutomationError> error;
    bool done = false;

    // Stores the answer of invoke() or the error it raised.
    void answer(const QVariant &value);
    void fail(const AutomationError &e);
    // The plain call through the object's own invoke(), busy retries included.
    void invokeDirectly();
};

class Batch {
public:
    // Adds a call; its slot numbers the answer. A null object fails in its slot.
    int add(const Object &object, const QString &member, InvokeKind kind, QVariantList args = {});
    // Makes every call added since the last run.
    void run();
    int size() const { return int(m_calls.size()); }
    void clear() { m_calls.clear(); m_ran = 0; }

    bool failed(int slot) const;
    // The answer; throws the call's AutomationError.
    QVariant value(int slot) const;
    // The answer as an object; throws when the call failed or returned none.
    Object object(int slot) const;
    const QVariantList &args(int slot) const;
    const BatchCall &call(int slot) const { return m_calls.at(slot); }

private:
    QList<BatchCall> m_calls;
    qsizetype m_ran = 0;
};

// How many entities a loop reads ahead in one batch. No events run while a
// batch is out, so its size follows how long the last one took: doubled
// while batches come back quickly, halved when one kept the window waiting.
// "中止" and repaints then get their turn every few tens of milliseconds on
// any road, fast or slow.
class ReadAheadSize {
public:
    explicit ReadAheadSize(int first = 8, int most = 1024) : m_size(first), m_most(most) {}
    // The entities of the next batch, from `from` below `count`.
    int end(int from, int count);
    // Measures the batch just run and adapts the next size.
    void ran();
    int size() const { return m_size; }

private:
    int m_size;
    int m_most;
    QElapsedTimer m_clock;
};

// A Dispatch whose backend can carry many calls at once derives from this
// too; the calls may be addressed to objects of any backend.
class BatchCarrier {
public:
    virtual ~BatchCarrier() = default;
    // Answers every call in place; per-call errors are stored, never thrown.
    virtual void invokeBatch(QList<BatchCall *> &calls) = 0;
};

// The default carrier: each call through its own object, in order.
void invokeOneByOne(QList<BatchCall *> &calls);

// The answer of one call of a ReadBatch, typed as the facade types it.
template <typename T>
struct Pending {
    int slot = -1;
};

// Reads of many objects at once, over cad::Batch: the same members and
// conversions as the facade above, asked together and answered in order.
// value() throws the call's own error, where the facade's call would have.
class ReadBatch {
public:
    Pending<Entity> item(const SelectionSet &set, int index);
    Pending<Entity> handleToObject(const Document &doc, const QString &handle);
    Pending<QString> handle(const Entity &e);
    Pending<QString> layer(const Entity &e);
    Pending<QString> name(const Entity &e);
    Pending<QString> textString(const Entity &e);
    Pending<QString> tagString(const Entity &e);
    Pending<Point> insertionPoint(const Entity &e);
    Pending<Point> textAlignmentPoint(const Entity &e);
    Pending<int> alignment(const Entity &e);
    Pending<QList<Entity>> getAttributes(const Entity &e);

    // Makes every call added since the last run.
    void run() { m_batch.run(); }
    template <typename T>
    bool failed(Pending<T> p) const { return m_batch.failed(p.slot); }

    Entity value(Pending<Entity> p) const;
    QString value(Pending<QString> p) const;
    Point value(Pending<Point> p) const;
    int value(Pending<int> p) const;
    QList<Entity> value(Pending<QList<Entity>> p) const;

private:
    int get(const ObjectRef &o, const char *member);
    Batch m_batch;
};


} // namespace cad
