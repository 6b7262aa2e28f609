#pragma once
// minicad's main window: the drawing view, a layer list with lock toggles,
// undo and redo of whole groups, open and save, a status bar that shows the
// prompt of a waiting pick, and a title with the file name and a modified
// mark. Closing with unsaved changes asks first.

#include "minicad/model/drawing.h"

#include <QMainWindow>
#include <QMessageBox>

#include <functional>
#include <memory>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace minicad {

class DrawingView;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(std::shared_ptr<Drawing> drawing, QWidget *parent = nullptr);
    ~MainWindow() override;

    Drawing *drawing() const { return m_drawing.get(); }
    DrawingView *view() const { return m_view; }
    QTreeWidget *layerList() const { return m_layers; }
    QLabel *promptLabel() const { return m_prompt; }
    QAction *undoAction() const { return m_undo; }
    QAction *redoAction() const { return m_redo; }

    // Changed since it was opened or last saved.
    bool isModified() const;
    // Opens a drawing (DXF by extension, else JSON) after asking about
    // unsaved changes. False when it was not opened; an error is reported.
    bool openFile(const QString &path);
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

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildMenus();
    void buildLayerDock();
    bool maybeSave();
    bool saveTo(const QString &path);
    void onDrawingChanged();
    void refreshTitle();
    void refreshLayers();
    void refreshActions();
    void onLayerItemChanged(QTreeWidgetItem *item, int column);
    void publishWindows();
    void report(const QString &message);

    std::shared_ptr<Drawing> m_drawing;
    DrawingView *m_view;
    QTreeWidget *m_layers = nullptr;
    QLabel *m_prompt = nullptr;
    QLabel *m_coordinates = nullptr;
    QMenu *m_viewMenu = nullptr;
    QAction *m_open = nullptr;
    QAction *m_save = nullptr;
    QAction *m_saveAs = nullptr;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    Prompts m_prompts;
    quint64 m_savedRevision = 0;
    QString m_knownFileName;
    QList<Layer> m_shownLayers;
    bool m_refreshingLayers = false;
    bool m_titleCheckPending = false;
};

} // namespace minicad
