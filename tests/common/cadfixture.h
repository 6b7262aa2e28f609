#pragma once
// A CAD for the GUI tests on the road of the run (see roads.h): the real
// minicad model, in this process or in a host process, the recording window
// operations, and a count of every automation call that crosses the seam.
//
// drawing() is the test's view of the active drawing. On the in-process
// road it is the drawing the CAD works on. On the other roads a local change is pushed
// to the host before the next CAD call, and the host's drawing is pulled
// back before the test next looks, so a test builds a drawing, acts through
// the tab and checks the drawing the same way on every road. Do not keep the
// reference across a CAD operation: take drawing() again.

#include "cad/batch.h"
#include "cad/connection.h"
#include "common/roads.h"
#include "minicad/host/session.h"

#include <QHash>

#include <functional>
#include <memory>

namespace testing {

// What the seam shares with every object it hands out: the counts by
// "member/kind" (kind 1 call, 2 get, 4 put), the arguments of the last call
// of each member (lower-case name), and the hook run before each call.
struct Seam {
    QHash<QString, int> counts;
    QHash<QString, QVariantList> lastArgs;
    std::function<void()> beforeCall;
};

// Wraps an automation object and every object it hands out.
class CountingDispatch : public cad::Dispatch, public cad::BatchCarrier {
public:
    CountingDispatch(cad::Object inner, std::shared_ptr<Seam> seam) : m_inner(std::move(inner)), m_seam(std::move(seam))
    {
    }
    QVariant invoke(const QString &member, cad::InvokeKind kind, QVariantList &args) override;
    // Counted call by call, then carried by the wrapped objects' own
    // backend, so a pipelining backend still pipelines under the count.
    void invokeBatch(QList<cad::BatchCall *> &calls) override;

private:
    QVariant wrap(const QVariant &v);
    cad::Object m_inner;
    std::shared_ptr<Seam> m_seam;
};

class CadFixture {
public:
    CadFixture();
    ~CadFixture();
    CadFixture(const CadFixture &) = delete;
    CadFixture &operator=(const CadFixture &) = delete;

    // Several drawings, as in a real CAD. Drawing 0 is the one the fixture
    // starts with: never saved (Name "Drawing1.dwg", FullName "").
    // Opens another drawing, which becomes the active one, and returns its
    // index; an empty fullName makes a new, never saved drawing (Name
    // "Drawing<n>.dwg"), otherwise Name is the file name of fullName. The new
    // drawing is empty; build its content through drawing().
    int openDrawing(const QString &fullName = {});
    void activateDrawing(int index);
    void closeDrawing(int index);   // indexes above it move down by one
    int activeDrawing();
    int drawingCount();
    // drawing() is the active drawing; drawing(i) any open one, with the
    // same push/pull rules as today.
    minicad::Drawing &drawing();
    minicad::Drawing &drawing(int index);

    // What the CAD does besides the content of its drawings, in the active one.
    void queuePick(const QStringList &handles);
    void queuePickCancel();
    bool undo();
    int undoGroupCount(); // -1 while an undo group is open
    bool undoGroupOpen();
    // From here on, undoGroupCount() counts the groups made after now.
    void clearUndoHistory();
    int selectionSetCount();
    // Gives a CAD without windows stand-in ones (a host with windows has its own).
    void giveWindows();
    cad::WindowHandle documentWindow();
    // The CAD stops running under its ProgID.
    void revoke();

    int count(const char *member, cad::InvokeKind kind) const;
    int puts(const char *member) const { return count(member, cad::InvokeKind::PropertyPut); }
    int calls(const char *member) const { return count(member, cad::InvokeKind::Method); }
    void clearCounts() { seam->counts.clear(); }
    // The arguments of the last call of a member (any letter case).
    QVariantList lastArgs(const QString &member) const { return seam->lastArgs.value(member.toLower()); }

    QString text(const QString &handle);
    bool live(const QString &handle);

    std::shared_ptr<Seam> seam = std::make_shared<Seam>();
    cad::RecordingWindowOps windows;

private:
    class Objects;
    // The test's copy of one of the host's drawings (the remote roads).
    struct Copy {
        std::shared_ptr<minicad::Drawing> drawing;
        bool localChanged = true; // the host has yet to get it
        bool hostTouched = false; // the host's may differ from it
    };
    Copy &copy(int index);
    void watch(Copy &c);
    void ready();          // the host holds as many drawings as the test
    void pushChanged();    // every copy the test changed goes to the host
    void push(int index);
    void pull(int index);
    void sync();
    // Runs `what` with the drawing active on the host, then the one before.
    template <class F>
    void withActive(int index, F what);
    cad::Document uncountedDocument();

    std::shared_ptr<minicad::Session> m_session; // in-process road
    cad::InProcessRunningObjects m_inProcess;
    RemoteHost *m_host = nullptr;
    std::unique_ptr<Objects> m_objects;
    QList<Copy> m_copies;     // remote roads
    int m_active = 0;         // remote roads, while the host is not ready
    bool m_hostReady = false; // the host was reset and holds the copies
    bool m_pulling = false;
    bool m_revoked = false;
};

} // namespace testing
