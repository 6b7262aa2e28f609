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
    if (!m_host) {
        m_session = std::make_shared<minicad::Session>();
        m_session->add();
        m_inProcess.publish(cad::kDefaultProgID, minicad::makeApplication(m_session));
    } else {
        m_copies.append(Copy{std::make_shared<minicad::Drawing>()});
        watch(m_copies.back());
    }
    m_objects = std::make_unique<Objects>(m_host ? m_host->objects() : m_inProcess, seam);
    seam->beforeCall = [this] {
        if (!m_host || m_revoked)
            return;
        pushChanged();
        for (Copy &c : m_copies)
            c.hostTouched = true;
    };
    cad::setPlatform(m_objects.get(), &windows);
    cad::targetProgID() = cad::kDefaultProgID;
}

CadFixture::~CadFixture()
{
    cad::setPlatform(nullptr, nullptr);
    seam->beforeCall = {}; // objects a test still holds must not reach a fixture that is gone
}

void CadFixture::watch(Copy &c)
{
    minicad::Drawing *d = c.drawing.get();
    const auto changed = [this, d] {
        if (m_pulling)
            return;
        for (Copy &x : m_copies) {
            if (x.drawing.get() == d)
                x.localChanged = true;
        }
    };
    QObject::connect(d, &minicad::Drawing::changed, d, changed);
    QObject::connect(d, &minicad::Drawing::viewChanged, d, changed);
}

CadFixture::Copy &CadFixture::copy(int index)
{
    if (index < 0 || index >= m_copies.size())
        qFatal("no drawing %d is open (%d are)", index, int(m_copies.size()));
    return m_copies[index];
}

// The host started afresh (a host lives on from one test to the next) with
// a drawing for each of the test's; their content follows in pushChanged().
void CadFixture::ready()
{
    if (m_hostReady || m_revoked)
        return;
    m_host->reset();
    for (qsizetype i = 1; i < m_copies.size(); ++i)
        m_host->open({}, m_copies[i].drawing->fileName());
    if (m_copies.size() > 1)
        m_host->activate(m_active);
    for (Copy &c : m_copies) {
        c.localChanged = true;
        c.hostTouched = false;
    }
    m_hostReady = true;
}

template <class F>
void CadFixture::withActive(int index, F what)
{
    // Only one drawing: it is the active one, and asking costs a call.
    const int active = m_copies.size() > 1 ? m_host->activeDrawing() : 0;
    if (index != active)
        m_host->activate(index);
    what();
    if (index != active)
        m_host->activate(active);
}

void CadFixture::pushChanged()
{
    ready();
    for (int i = 0; i < m_copies.size(); ++i) {
        if (m_copies[i].localChanged)
            push(i);
    }
}

void CadFixture::push(int index)
{
    Copy &c = copy(index);
    if (c.hostTouched)
        qFatal("the test changed its copy of the drawing while the CAD's had changed: take drawing() again "
               "after a CAD operation");
    const QByteArray json = c.drawing->toJson().toJson(QJsonDocument::Compact);
    withActive(index, [&] { m_host->load(json); });
    c.localChanged = false;
}

void CadFixture::pull(int index)
{
    Copy &c = copy(index);
    if (c.localChanged)
        qFatal("the test changed its copy of the drawing while the CAD's had changed: take drawing() again "
               "after a CAD operation");
    QByteArray json;
    withActive(index, [&] { json = m_host->dump(); });
    m_pulling = true;
    c.drawing->fromJson(QJsonDocument::fromJson(json));
    m_pulling = false;
    c.hostTouched = false;
}

// Host and local drawings alike, before the test asks the host about its
// state: what the test changed goes first (a later push would drop picks
// queued now), and the active drawing is brought back.
void CadFixture::sync()
{
    if (!m_host || m_revoked)
        return;
    ready();
    const int active = activeDrawing();
    if (m_copies[active].hostTouched)
        pull(active);
    for (int i = 0; i < m_copies.size(); ++i) {
        if (m_copies[i].localChanged && !m_copies[i].hostTouched)
            push(i);
    }
}

int CadFixture::openDrawing(const QString &fullName)
{
    if (!m_host) {
        auto d = std::make_shared<minicad::Drawing>();
        d->setFileName(fullName);
        return m_session->add(std::move(d));
    }
    Copy c{std::make_shared<minicad::Drawing>()};
    c.drawing->setFileName(fullName);
    if (m_hostReady && !m_revoked) {
        pushChanged(); // the host's indexes are the test's
        const int index = m_host->open({}, fullName);
        if (index != m_copies.size())
            qFatal("the CAD opened drawing %d as %d", int(m_copies.size()), index);
        c.localChanged = false;
    }
    m_copies.append(std::move(c));
    watch(m_copies.back());
    m_active = int(m_copies.size()) - 1;
    return m_active;
}

void CadFixture::activateDrawing(int index)
{
    if (!m_host)
        return m_session->activate(index);
    copy(index);
    m_active = index;
    if (m_hostReady && !m_revoked)
        m_host->activate(index);
}

void CadFixture::closeDrawing(int index)
{
    if (!m_host)
        return m_session->close(index);
    copy(index);
    if (m_hostReady && !m_revoked) {
        m_host->close(index);
        m_copies.removeAt(index);
        m_active = m_host->activeDrawing();
        return;
    }
    // As the CAD does: the next drawing (or the last) takes the closed one's place.
    m_copies.removeAt(index);
    if (index < m_active || m_active >= m_copies.size())
        --m_active;
}

int CadFixture::activeDrawing()
{
    if (!m_host)
        return m_session->activeIndex();
    // The tool may have activated another drawing itself.
    if (m_hostReady && !m_revoked && m_copies.size() > 1)
        m_active = m_host->activeDrawing();
    return m_active;
}

int CadFixture::drawingCount()
{
    return m_host ? int(m_copies.size()) : m_session->count();
}

minicad::Drawing &CadFixture::drawing()
{
    return drawing(activeDrawing());
}

minicad::Drawing &CadFixture::drawing(int index)
{
    if (!m_host)
        return *m_session->drawing(index);
    Copy &c = copy(index);
    if (c.hostTouched && !m_revoked)
        pull(index);
    return *c.drawing;
}

cad::Document CadFixture::uncountedDocument()
{
    return cad::Application(m_host->objects().attach(cad::kDefaultProgID)).activeDocument();
}

void CadFixture::queuePick(const QStringList &handles)
{
    if (!m_host)
        return m_session->queuePick(handles);
    sync();
    m_host->queuePick(handles);
}

void CadFixture::queuePickCancel()
{
    if (!m_host)
        return m_session->queuePickCancel();
    sync();
    m_host->queuePickCancel();
}

bool CadFixture::undo()
{
    if (!m_host)
        return m_session->activeDrawing()->undo();
    sync();
    m_copies[activeDrawing()].hostTouched = true;
    return m_host->undo();
}

bool CadFixture::undoGroupOpen()
{
    if (!m_host)
        return m_session->activeDrawing()->undoMarkDepth() > 0;
    sync();
    return uncountedDocument().getVariable(QStringLiteral("UNDOCTL")).toInt() & 8;
}

int CadFixture::undoGroupCount()
{
    if (!m_host)
        return m_session->activeDrawing()->undoGroupCount();
    // The host tells no count: undo every group and redo them all, which
    // leaves the drawing and its history as they were. Undo would close an
    // open group, so an open one is reported instead of counted.
    if (undoGroupOpen())
        return -1;
    m_copies[activeDrawing()].hostTouched = true;
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
        return m_session->activeDrawing()->clearUndoHistory();
    // A load starts the host's history anew.
    sync();
    const int active = activeDrawing();
    m_copies[active].localChanged = true;
    push(active);
}

int CadFixture::selectionSetCount()
{
    if (!m_host)
        return m_session->activeDrawing()->selectionSetCount();
    sync();
    return uncountedDocument().selectionSetCount();
}

void CadFixture::giveWindows()
{
    if (m_host)
        return;
    const minicad::Drawing *d = m_session->activeDrawing().get();
    if (m_session->documentWindow(d) == 0) {
        m_session->setApplicationWindow(11);
        m_session->setDocumentWindow(d, 22);
    }
}

cad::WindowHandle CadFixture::documentWindow()
{
    if (!m_host)
        return cad::WindowHandle(m_session->documentWindow(m_session->activeDrawing().get()));
    sync();
    return uncountedDocument().hwnd();
}

void CadFixture::revoke()
{
    if (!m_host)
        return m_inProcess.revoke(cad::kDefaultProgID);
    m_host->leave();
    m_revoked = true;
    m_hostReady = false;
    for (Copy &c : m_copies)
        c.localChanged = true; // the next host starts empty
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
