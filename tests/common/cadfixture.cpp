#include "common/cadfixture.h"

#include "minicad/automation/application.h"

#include <QJsonDocument>

namespace testing {

QVariant CountingDispatch::invoke(const QString &member, cad::InvokeKind kind, QVariantList &args)
{
    if (m_seam->beforeCall)
        m_seam->beforeCall();
    m_seam->counts[member.toLower() + QLatin1Char('/') + QString::number(int(kind))]++;
    m_seam->lastArgs.insert(member.toLower(), args);
    return wrap(m_inner->invoke(member, kind, args));
}

void CountingDispatch::invokeBatch(QList<cad::BatchCall *> &calls)
{
    QList<cad::BatchCall> inner;
    inner.reserve(calls.size());
    for (cad::BatchCall *c : calls) {
        if (m_seam->beforeCall)
            m_seam->beforeCall();
        m_seam->counts[c->member.toLower() + QLatin1Char('/') + QString::number(int(c->kind))]++;
        m_seam->lastArgs.insert(c->member.toLower(), c->args);
        cad::BatchCall call = *c;
        if (const auto *counted = dynamic_cast<const CountingDispatch *>(c->object.get()))
            call.object = counted->m_inner;
        inner.append(std::move(call));
    }
    QList<cad::BatchCall *> pointers;
    for (cad::BatchCall &call : inner)
        pointers.append(&call);
    if (auto *carrier = pointers.isEmpty() ? nullptr : dynamic_cast<cad::BatchCarrier *>(pointers.front()->object.get()))
        carrier->invokeBatch(pointers);
    else
        cad::invokeOneByOne(pointers);
    for (qsizetype i = 0; i < calls.size(); ++i) {
        cad::BatchCall &call = inner[i];
        if (!call.done)
            call.invokeDirectly();
        calls[i]->args = call.args;
        if (call.error)
            calls[i]->fail(*call.error);
        else
            calls[i]->answer(wrap(call.result));
    }
}

QVariant CountingDispatch::wrap(const QVariant &v)
{
    if (cad::Object o = cad::toObject(v))
        return cad::fromObject(std::make_shared<CountingDispatch>(o, m_seam));
    if (v.metaType().id() == QMetaType::QVariantList) {
        QVariantList out;
        for (const QVariant &e : v.toList())
            out << wrap(e);
        return out;
    }
    return v;
}

// The backend of the road behind the seam: "is it running" and "attach" are
// CAD calls too (the local drawing goes to the host first), and what attach
// gives is counted.
class CadFixture::Objects : public cad::RunningObjects {
public:
    Objects(cad::RunningObjects &inner, std::shared_ptr<Seam> seam) : m_inner(inner), m_seam(std::move(seam)) {}
    bool isRunning(const QString &progId) override
    {
        m_seam->beforeCall();
        return m_inner.isRunning(progId);
    }
    cad::Object attach(const QString &progId) override
    {
        m_seam->beforeCall();
        return std::make_shared<CountingDispatch>(m_inner.attach(progId), m_seam);
    }

private:
    cad::RunningObjects &m_inner;
    std::shared_ptr<Seam> m_seam;
};

CadFixture::CadFixture() : m_host(remoteHost())
{
    if (!m_host)
        m_inProcess.publish(cad::kDefaultProgID, minicad::makeApplication(m_drawing));
    m_objects = std::make_unique<Objects>(m_host ? m_host->objects() : m_inProcess, seam);
    seam->beforeCall = [this] {
        if (!m_host || m_revoked)
            return;
        if (m_localChanged)
            push();
        m_hostTouched = true;
    };
    const auto changed = [this] {
        if (!m_pulling)
            m_localChanged = true;
    };
    QObject::connect(m_drawing.get(), &minicad::Drawing::changed, m_drawing.get(), changed);
    QObject::connect(m_drawing.get(), &minicad::Drawing::viewChanged, m_drawing.get(), changed);
    cad::setPlatform(m_objects.get(), &windows);
    cad::targetProgID() = cad::kDefaultProgID;
}

CadFixture::~CadFixture()
{
    cad::setPlatform(nullptr, nullptr);
    seam->beforeCall = {}; // objects a test still holds must not reach a fixture that is gone
}

void CadFixture::push()
{
    if (m_hostTouched)
        qFatal("the test changed its copy of the drawing while the CAD's had changed: take drawing() again "
               "after a CAD operation");
    m_host->load(m_drawing->toJson().toJson(QJsonDocument::Compact));
    m_localChanged = false;
}

void CadFixture::pull()
{
    if (m_localChanged)
        qFatal("the test changed its copy of the drawing while the CAD's had changed: take drawing() again "
               "after a CAD operation");
    m_pulling = true;
    m_drawing->fromJson(QJsonDocument::fromJson(m_host->dump()));
    m_pulling = false;
    m_hostTouched = false;
}

// Host and local drawing alike, before the test asks the host about its state.
void CadFixture::sync()
{
    if (!m_host || m_revoked)
        return;
    if (m_hostTouched)
        pull();
    else if (m_localChanged)
        push();
}

minicad::Drawing &CadFixture::drawing()
{
    if (m_host && m_hostTouched && !m_revoked)
        pull();
    return *m_drawing;
}

cad::Document CadFixture::uncountedDocument()
{
    return cad::Application(m_host->objects().attach(cad::kDefaultProgID)).activeDocument();
}

void CadFixture::queuePick(const QStringList &handles)
{
    if (!m_host)
        return m_drawing->queuePick(handles);
    sync();
    m_host->queuePick(handles);
}

void CadFixture::queuePickCancel()
{
    if (!m_host)
        return m_drawing->queuePickCancel();
    sync();
    m_host->queuePickCancel();
}

bool CadFixture::undo()
{
    if (!m_host)
        return m_drawing->undo();
    sync();
    m_hostTouched = true;
    return m_host->undo();
}

bool CadFixture::undoGroupOpen()
{
    if (!m_host)
        return m_drawing->undoMarkDepth() > 0;
    sync();
    return uncountedDocument().getVariable(QStringLiteral("UNDOCTL")).toInt() & 8;
}

int CadFixture::undoGroupCount()
{
    if (!m_host)
        return m_drawing->undoGroupCount();
    // The host tells no count: undo every group and redo them all, which
    // leaves the drawing and its history as they were. Undo would close an
    // open group, so an open one is reported instead of counted.
    if (undoGroupOpen())
        return -1;
    m_hostTouched = true;
    int n = 0;
    while (m_host->undo())
        ++n;
    for (int i = 0; i < n; ++i)
        if (!m_host->redo())
            qFatal("the CAD could not redo group %d of %d", i + 1, n);
    return n;
}

void CadFixture::clearUndoHistory()
{
    if (!m_host)
        return m_drawing->clearUndoHistory();
    // A load starts the host's history anew.
    sync();
    m_localChanged = true;
    push();
}

int CadFixture::selectionSetCount()
{
    if (!m_host)
        return m_drawing->selectionSetCount();
    sync();
    return uncountedDocument().selectionSetCount();
}

void CadFixture::giveWindows()
{
    if (!m_host && m_drawing->documentWindow() == 0)
        m_drawing->setWindows(11, 22);
}

cad::WindowHandle CadFixture::documentWindow()
{
    if (!m_host)
        return cad::WindowHandle(m_drawing->documentWindow());
    sync();
    return uncountedDocument().hwnd();
}

void CadFixture::revoke()
{
    if (!m_host)
        return m_inProcess.revoke(cad::kDefaultProgID);
    m_host->leave();
    m_revoked = true;
    m_localChanged = true; // the next host starts empty
}

int CadFixture::count(const char *member, cad::InvokeKind kind) const
{
    return seam->counts.value(QLatin1String(member).toString().toLower() + QLatin1Char('/')
                              + QString::number(int(kind)));
}

QString CadFixture::text(const QString &handle)
{
    const minicad::Entity *e = drawing().find(handle);
    return e ? e->text : QStringLiteral("<gone>");
}

bool CadFixture::live(const QString &handle)
{
    return drawing().handleState(handle) == minicad::HandleState::Live;
}

} // namespace testing
