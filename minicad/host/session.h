#pragma once
// The CAD around its drawings: the drawings open (each with its name, its
// full path and its screen), which one is active, the on-screen pick (it
// happens in the active drawing: answers queued by tests and scripts, or a
// provider such as the window, waited for in a nested event loop) and the
// window handles clients ask for. Headless; the automation objects, the
// D-Bus and COM hosts and the window all work on one Session, and each
// Drawing keeps its own content, undo history and selection sets.

#include "minicad/model/drawing.h"
#include "minicad/model/pick.h"

#include <QList>
#include <QObject>
#include <QSize>

#include <memory>
#include <optional>

class QEventLoop;

namespace minicad {

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject *parent = nullptr);
    ~Session() override;
    // A session with the one drawing open.
    static std::shared_ptr<Session> with(std::shared_ptr<Drawing> drawing);

    // ---- Drawings --------------------------------------------------------------

    int count() const { return int(m_documents.size()); }
    // Throws ModelError for an index out of range.
    std::shared_ptr<Drawing> drawing(int index) const;
    int indexOf(const Drawing *drawing) const; // -1 once it is closed
    bool isOpen(const Drawing *drawing) const { return indexOf(drawing) >= 0; }
    int activeIndex() const { return m_active; } // -1 while none is open
    std::shared_ptr<Drawing> activeDrawing() const; // null while none is open

    // The file name of FullName, or "Drawing<n>.dwg" for a drawing never
    // saved, numbered in the order such drawings were opened.
    QString name(const Drawing *drawing) const;
    // The path of the file it came from or was saved to; "" when never saved.
    QString fullName(const Drawing *drawing) const;

    // Adds a drawing (a new empty one when null), which becomes the active
    // one; returns its index.
    int add(std::shared_ptr<Drawing> drawing = {});
    // Reads a DXF or JSON file into a new drawing and adds it. Throws
    // ModelError when it cannot be read; nothing is added then.
    int openFile(const QString &path);
    // A drawing made from JSON text ("" for an empty one) under the given
    // full name ("" for never saved), added as openFile() adds; throws
    // ModelError for malformed JSON.
    int openJson(const QString &json, const QString &fullName);
    void activate(int index); // throws ModelError for a bad index or while a pick waits
    // Closes a drawing; the next one (or the last) becomes active when it was.
    void close(int index);
    // As freshly started: every drawing closed, one new drawing open
    // (Drawing1.dwg), no queued picks.
    void reset();

    // ---- Screens and windows ------------------------------------------------------

    // "SCREENSIZE" of a drawing's window, in pixels.
    QSize screenSize(const Drawing *drawing) const;
    void setScreenSize(const Drawing *drawing, const QSize &size);
    quintptr applicationWindow() const { return m_appWindow; } // 0 without a window
    quintptr documentWindow(const Drawing *drawing) const;
    void setApplicationWindow(quintptr window) { m_appWindow = window; }
    void setDocumentWindow(const Drawing *drawing, quintptr window);

    // ---- On-screen picks -------------------------------------------------------------

    // Asks the user (queue, provider) for entities of the active drawing and
    // adds those passing the filter to the drawing's set. Throws ModelError
    // when the drawing is not the active one, another pick waits, the pick
    // is cancelled or nobody can answer.
    void selectOnScreen(Drawing &drawing, quint64 setId, const SelectionFilter &filter);

    // The answer of the next on-screen pick. Answers a waiting pick at once.
    void queuePick(const QStringList &handles);
    void queuePickCancel();
    int queuedPickCount() const { return int(m_pickQueue.size()); }
    // Cancels a waiting pick and forgets the queued answers.
    void dropPicks();
    // True while selectOnScreen() waits for its answer.
    bool pickPending() const { return m_pickPending; }
    // With no queued answer: wait for one (true) or fail at once (false, the
    // default). A host with a provider always waits.
    void setWaitForPick(bool wait) { m_waitForPick = wait; }
    bool waitsForPick() const { return m_waitForPick; }
    // The host's provider; null for none. The session does not own it.
    void setPickProvider(PickProvider *provider) { m_pickProvider = provider; }
    PickProvider *pickProvider() const { return m_pickProvider; }
    // The answer of the pending pick (no-op when none is pending).
    void answerPick(const QStringList &handles);
    void cancelPick();

signals:
    void drawingAdded(int index);
    // Emitted after the drawing left the list; it is still alive then.
    void drawingClosed(int index, const std::shared_ptr<minicad::Drawing> &drawing);
    void activeChanged(int index);
    void pickPendingChanged(bool pending);

private:
    struct Document {
        std::shared_ptr<Drawing> drawing;
        int number = 0; // of "Drawing<n>.dwg"
        QSize screenSize{1000, 600};
        quintptr window = 0;
    };
    const Document *document(const Drawing *drawing) const;
    Document *document(const Drawing *drawing);
    PickAnswer waitForPick(const SelectionFilter &filter);

    QList<Document> m_documents;
    int m_active = -1;
    int m_lastNumber = 0;
    quintptr m_appWindow = 0;

    QList<PickAnswer> m_pickQueue;
    bool m_pickPending = false;
    bool m_waitForPick = false;
    PickProvider *m_pickProvider = nullptr;
    std::optional<PickAnswer> m_pickAnswer;
    QEventLoop *m_pickLoop = nullptr;
};

} // namespace minicad
