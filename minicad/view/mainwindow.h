#pragma once
// minicad's main window: one tab per open drawing (the current tab is the
// session's active drawing), a layer list with lock toggles, undo and redo
// of whole groups, open (another tab) and save, a status bar that shows the
// prompt of a waiting pick, and a title with the active drawing's name and
// a modified mark. Closing a tab, or the window, with unsaved changes asks
// first.

#include "minicad/host/session.h"

#include <QMainWindow>
#include <QMessageBox>

#include <functional>
#include <memory>

class QLabel;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace minicad {

class DrawingView;

class MainWindow : public QMainWindow, public PickProvider {
    Q_OBJECT
public:
    // Shows the session's drawings; a session without any gets a new one.
    explicit MainWindow(std::shared_ptr<Session> session, QWidget *parent = nullptr);
    ~MainWindow() override;

    Session *session() const { return m_session.get(); }
    // The active drawing and its view.
    Drawing *drawing() const;
    DrawingView *view() const;
    QTabWidget *tabs() const { return m_tabs; }
    QTreeWidget *layerList() const { return m_layers; }
    QLabel *promptLabel() const { return m_prompt; }
    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }

    // The active drawing changed since it was opened or last saved.
    bool isModified() const;
    // Opens a drawing (DXF by extension, else JSON) in a tab of its own,
    // which becomes the active one. False when it was not opened; an error
    // is reported.
    bool openFile(const QString &path);
    // Closes a tab, after asking about unsaved changes. False when kept.
    bool closeTab(int index);
    // Ctrl+S: writes the file it came from (asks for a name when it has none).
    bool save();
    bool saveAs();
    void open(); // Ctrl+O: asks for a file

    // How the window talks to the user; dialogs unless replaced (tests).
    struct Prompts {
        std::function<QMessageBox::StandardButton(const QString &name)> askSave; // Save, Discard or Cancel
        std::function<void(const QString &message)> showError;
        std::function<QString()> openFileName;                     // empty: cancelled
        std::function<QString(const QString &current)> saveFileName; // empty: cancelled
    };
    void setPrompts(const Prompts &prompts) { m_prompts = prompts; }

    // The session's pick happens in the active drawing's view.
    void beginPick(const SelectionFilter &filter) override;
    void endPick() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // What the window knows of one open drawing.
    struct Tab {
        std::shared_ptr<Drawing> drawing;
        DrawingView *view = nullptr;
        quint64 savedRevision = 0;
        QString knownFileName;
        bool titleCheckPending = false;
    };
    void buildMenus();
    void buildLayerDock();
    Tab *tabOf(const Drawing *drawing);
    Tab *activeTab();
    const Tab *activeTab() const;
    bool isModified(const Tab &tab) const;
    bool maybeSave(Tab &tab);
    bool saveTo(Tab &tab, const QString &path);
    void onDrawingAdded(int index);
    void onDrawingClosed(int index);
    void onActiveChanged(int index);
    void onDrawingChanged(Drawing *drawing);
    void refreshTitle();
    void refreshTabTitles();
    void refreshLayers();
    void refreshActions();
    void onLayerItemChanged(QTreeWidgetItem *item, int column);
    void publishWindows();
    void report(const QString &message);

    std::shared_ptr<Session> m_session;
    QTabWidget *m_tabs = nullptr;
    QList<Tab> m_tabsOpen; // in the session's order
    DrawingView *m_picking = nullptr; // the view the waiting pick began in
    QTreeWidget *m_layers = nullptr;
    QLabel *m_prompt = nullptr;
    QLabel *m_coordinates = nullptr;
    QMenu *m_viewMenu = nullptr;
    QAction *m_open = nullptr;
    QAction *m_close = nullptr;
    QAction *m_save = nullptr;
    QAction *m_saveAs = nullptr;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    Prompts m_prompts;
    QList<Layer> m_shownLayers;
    bool m_refreshingLayers = false;
    bool m_switching = false; // the tab bar follows the session
};

} // namespace minicad
