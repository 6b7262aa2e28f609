#include "minicad/host/session.h"

#include "minicad/dxf/dxffile.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

namespace minicad {

Session::Session(QObject *parent) : QObject(parent) {}

std::shared_ptr<Session> Session::with(std::shared_ptr<Drawing> drawing)
{
    auto session = std::make_shared<Session>();
    session->add(std::move(drawing));
    return session;
}

Session::~Session()
{
    if (m_pickLoop)
        m_pickLoop->quit();
}

// ---- Drawings ------------------------------------------------------------------------

std::shared_ptr<Drawing> Session::drawing(int index) const
{
    if (index < 0 || index >= count())
        throw ModelError(QStringLiteral("Invalid index: no drawing %1 is open").arg(index));
    return m_documents[index].drawing;
}

int Session::indexOf(const Drawing *drawing) const
{
    for (int i = 0; i < count(); ++i) {
        if (m_documents[i].drawing.get() == drawing)
            return i;
    }
    return -1;
}

const Session::Document *Session::document(const Drawing *drawing) const
{
    const int i = indexOf(drawing);
    return i < 0 ? nullptr : &m_documents[i];
}

Session::Document *Session::document(const Drawing *drawing)
{
    const int i = indexOf(drawing);
    return i < 0 ? nullptr : &m_documents[i];
}

std::shared_ptr<Drawing> Session::activeDrawing() const
{
    return m_active < 0 ? nullptr : m_documents[m_active].drawing;
}

QString Session::name(const Drawing *drawing) const
{
    const Document *d = document(drawing);
    if (!d)
        return {};
    if (!d->drawing->fileName().isEmpty())
        return QFileInfo(d->drawing->fileName()).fileName();
    return QStringLiteral("Drawing%1.dwg").arg(d->number);
}

QString Session::fullName(const Drawing *drawing) const
{
    const Document *d = document(drawing);
    return d ? d->drawing->fileName() : QString();
}

int Session::add(std::shared_ptr<Drawing> drawing)
{
    if (!drawing)
        drawing = std::make_shared<Drawing>();
    if (isOpen(drawing.get()))
        throw ModelError(QStringLiteral("The drawing is open already"));
    if (m_pickPending)
        throw ModelError(QStringLiteral("Busy: a selection waits for the user"));
    Document d;
    d.drawing = std::move(drawing);
    // Only a drawing without a file takes a number, as the CAD counts its
    // new drawings.
    if (d.drawing->fileName().isEmpty())
        d.number = ++m_lastNumber;
    m_documents.append(std::move(d));
    const int index = count() - 1;
    emit drawingAdded(index);
    m_active = index;
    emit activeChanged(index);
    return index;
}

int Session::openFile(const QString &path)
{
    auto drawing = std::make_shared<Drawing>();
    loadDrawingFile(*drawing, path);
    drawing->setFileName(QFileInfo(path).absoluteFilePath());
    return add(std::move(drawing));
}

int Session::openJson(const QString &json, const QString &fullName)
{
    auto drawing = std::make_shared<Drawing>();
    if (!json.trimmed().isEmpty()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            throw ModelError(QStringLiteral("Malformed JSON: %1").arg(error.errorString()));
        drawing->fromJson(doc);
    }
    drawing->setFileName(fullName);
    return add(std::move(drawing));
}

void Session::activate(int index)
{
    drawing(index); // checks the index
    if (index == m_active)
        return;
    // The user is picking in the active drawing: it stays in front.
    if (m_pickPending)
        throw ModelError(QStringLiteral("Busy: a selection waits for the user"));
    m_active = index;
    emit activeChanged(index);
}

void Session::close(int index)
{
    const std::shared_ptr<Drawing> closing = drawing(index);
    if (m_pickPending && index == m_active)
        cancelPick();
    m_documents.removeAt(index);
    const int wasActive = m_active;
    if (m_documents.isEmpty())
        m_active = -1;
    else if (index < m_active || m_active >= count())
        --m_active;
    emit drawingClosed(index, closing);
    if (index == wasActive || m_active != wasActive)
        emit activeChanged(m_active);
}

void Session::reset()
{
    dropPicks();
    while (count() > 0)
        close(count() - 1);
    m_lastNumber = 0;
    add();
}

// ---- Screens and windows ----------------------------------------------------------------

QSize Session::screenSize(const Drawing *drawing) const
{
    const Document *d = document(drawing);
    return d ? d->screenSize : Document{}.screenSize;
}

void Session::setScreenSize(const Drawing *drawing, const QSize &size)
{
    Document *d = document(drawing);
    if (d && size.width() > 0 && size.height() > 0)
        d->screenSize = size;
}

quintptr Session::documentWindow(const Drawing *drawing) const
{
    const Document *d = document(drawing);
    return d ? d->window : 0;
}

void Session::setDocumentWindow(const Drawing *drawing, quintptr window)
{
    if (Document *d = document(drawing))
        d->window = window;
}

// ---- Picks ------------------------------------------------------------------------------

void Session::selectOnScreen(Drawing &drawing, quint64 setId, const SelectionFilter &filter)
{
    if (!drawing.selectionSet(setId))
        throw ModelError(QStringLiteral("Object was erased: the selection set was deleted"));
    if (m_pickPending)
        throw ModelError(QStringLiteral("Busy: another selection waits for the user"));
    // The user picks in the drawing in front; another one cannot ask.
    if (activeDrawing().get() != &drawing)
        throw ModelError(QStringLiteral("*Cancel*: the drawing is not the active one"));
    PickAnswer answer;
    if (!m_pickQueue.isEmpty())
        answer = m_pickQueue.takeFirst();
    else if (m_pickProvider || m_waitForPick)
        answer = waitForPick(filter);
    else
        throw ModelError(QStringLiteral("*Cancel*: nobody to answer the selection"));
    if (answer.cancelled)
        throw ModelError(QStringLiteral("*Cancel*"));
    // The drawing may have been closed, or its set deleted, while the user picked.
    if (!isOpen(&drawing))
        throw ModelError(QStringLiteral("*Cancel*: the drawing was closed"));
    drawing.selectPicked(setId, filter, answer.handles);
}

PickAnswer Session::waitForPick(const SelectionFilter &filter)
{
    m_pickAnswer.reset();
    m_pickPending = true;
    emit pickPendingChanged(true);
    if (m_pickProvider)
        m_pickProvider->beginPick(filter);
    if (!m_pickAnswer) {
        QEventLoop loop;
        m_pickLoop = &loop;
        loop.exec();
        m_pickLoop = nullptr;
    }
    if (m_pickProvider)
        m_pickProvider->endPick();
    m_pickPending = false;
    emit pickPendingChanged(false);
    PickAnswer answer = m_pickAnswer.value_or(PickAnswer{true, {}});
    m_pickAnswer.reset();
    return answer;
}

void Session::answerPick(const QStringList &handles)
{
    if (!m_pickPending)
        return;
    m_pickAnswer = PickAnswer{false, handles};
    if (m_pickLoop)
        m_pickLoop->quit();
}

void Session::cancelPick()
{
    if (!m_pickPending)
        return;
    m_pickAnswer = PickAnswer{true, {}};
    if (m_pickLoop)
        m_pickLoop->quit();
}

void Session::queuePick(const QStringList &handles)
{
    if (m_pickPending && !m_pickAnswer)
        answerPick(handles);
    else
        m_pickQueue.append(PickAnswer{false, handles});
}

void Session::queuePickCancel()
{
    if (m_pickPending && !m_pickAnswer)
        cancelPick();
    else
        m_pickQueue.append(PickAnswer{true, {}});
}

void Session::dropPicks()
{
    m_pickQueue.clear();
    cancelPick();
}

} // namespace minicad
