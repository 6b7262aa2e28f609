#pragma once
// A CAD for the GUI tests: the real minicad model published in-process under
// the default ProgID, the recording window operations, and a count of every
// automation call that crosses the seam.

#include "cad/connection.h"
#include "minicad/automation/application.h"
#include "minicad/model/drawing.h"

#include <QHash>

namespace testing {

// Wraps an automation object and every object it hands out, counting calls
// by "Member/kind" (kind 1 call, 2 get, 4 put).
class CountingDispatch : public cad::Dispatch {
public:
    CountingDispatch(cad::Object inner, std::shared_ptr<QHash<QString, int>> counts,
                     std::shared_ptr<QHash<QString, QVariantList>> lastArgs)
        : m_inner(std::move(inner)), m_counts(std::move(counts)), m_lastArgs(std::move(lastArgs))
    {
    }
    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override
    {
        (*m_counts)[member.toLower() + QLatin1Char('/') + QString::number(int(kind))]++;
        m_lastArgs->insert(member.toLower(), args);
        return wrap(m_inner->invoke(member, kind, args));
    }

private:
    QVariant wrap(const QVariant &v)
    {
        if (cad::Object o = cad::toObject(v))
            return cad::fromObject(std::make_shared<CountingDispatch>(o, m_counts, m_lastArgs));
        if (v.metaType().id() == QMetaType::QVariantList) {
            QVariantList out;
            for (const QVariant &e : v.toList())
                out << wrap(e);
            return out;
        }
        return v;
    }
    cad::Object m_inner;
    std::shared_ptr<QHash<QString, int>> m_counts;
    std::shared_ptr<QHash<QString, QVariantList>> m_lastArgs;
};

struct CadFixture {
    std::shared_ptr<minicad::Drawing> drawing = std::make_shared<minicad::Drawing>();
    std::shared_ptr<QHash<QString, int>> counts = std::make_shared<QHash<QString, int>>();
    // The arguments of the last call of each member (lower-case name).
    std::shared_ptr<QHash<QString, QVariantList>> lastArgs = std::make_shared<QHash<QString, QVariantList>>();
    cad::InProcessRunningObjects objects;
    cad::RecordingWindowOps windows;

    CadFixture()
    {
        objects.publish(cad::kDefaultProgID,
                        std::make_shared<CountingDispatch>(minicad::makeApplication(drawing), counts, lastArgs));
        cad::setPlatform(&objects, &windows);
        cad::targetProgID() = cad::kDefaultProgID;
    }
    ~CadFixture() { cad::setPlatform(nullptr, nullptr); }

    int count(const char *member, cad::InvokeKind kind) const
    {
        return counts->value(QLatin1String(member).toString().toLower() + QLatin1Char('/')
                             + QString::number(int(kind)));
    }
    int puts(const char *member) const { return count(member, cad::InvokeKind::PropertyPut); }
    int calls(const char *member) const { return count(member, cad::InvokeKind::Method); }

    QString text(const QString &handle) const
    {
        const minicad::Entity *e = drawing->find(handle);
        return e ? e->text : QStringLiteral("<gone>");
    }
    bool live(const QString &handle) const { return drawing->handleState(handle) == minicad::HandleState::Live; }
};

} // namespace testing
