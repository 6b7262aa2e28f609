#include "minicad/view/mainwindow.h"

#include "minicad/dxf/dxffile.h"
#include "minicad/view/drawingview.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>

namespace minicad {

MainWindow::MainWindow(std::shared_ptr<Drawing> drawing, QWidget *parent)
    : QMainWindow(parent)
    , m_drawing(std::move(drawing))
    , m_view(new DrawingView(m_drawing.get(), this))
{
    setCentralWidget(m_view);
    m_view->requestZoomExtents();

    m_prompts.askSave = [this](const QString &name) {
        return QMessageBox::question(this, tr("minicad"), tr("Save the changes to %1?").arg(name),
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
    m_prompts.showError = [this](const QString &message) { QMessageBox::critical(this, tr("minicad"), message); };
    m_prompts.openFileName = [this] {
        return QFileDialog::getOpenFileName(this, tr("Open drawing"), QFileInfo(m_drawing->fileName()).path(),
                                            tr("Drawings (*.dxf *.json);;All files (*)"));
    };
    m_prompts.saveFileName = [this](const QString &current) {
        return QFileDialog::getSaveFileName(this, tr("Save drawing as"), current,
                                            tr("DXF drawing (*.dxf);;minicad drawing (*.json)"));
    };

    m_prompt = new QLabel(this);
    m_coordinates = new QLabel(this);
    m_coordinates->setMinimumWidth(200);
    statusBar()->addWidget(m_prompt, 1);
    statusBar()->addPermanentWidget(m_coordinates);
    connect(m_view, &DrawingView::promptChanged, m_prompt, &QLabel::setText);
    connect(m_view, &DrawingView::cursorMoved, this, [this](double x, double y) {
        m_coordinates->setText(QStringLiteral("%1, %2").arg(x, 0, 'f', 2).arg(y, 0, 'f', 2));
    });

    buildMenus();
    buildLayerDock();

    m_savedRevision = m_drawing->revision();
    m_knownFileName = m_drawing->fileName();
    connect(m_drawing.get(), &Drawing::changed, this, &MainWindow::onDrawingChanged);
    connect(m_drawing.get(), &Drawing::pickPendingChanged, this, &MainWindow::refreshActions);
    refreshTitle();
    refreshLayers();
    refreshActions();
    resize(1100, 750);
}

MainWindow::~MainWindow()
{
    // The view leaves the drawing (pick provider, signals) while the drawing
    // is still there: this window may hold the last reference to it.
    delete m_view;
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_open = file->addAction(tr("&Open..."), QKeySequence::Open, this, &MainWindow::open);
    m_save = file->addAction(tr("&Save"), QKeySequence::Save, this, &MainWindow::save);
    m_saveAs = file->addAction(tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this,
                               &MainWindow::saveAs);
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    // One step takes back a whole group: everything a client did between
    // StartUndoMark and EndUndoMark.
    m_undo = edit->addAction(tr("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), this, [this] {
        if (!m_drawing->pickPending())
            m_drawing->undo();
    });
    m_redo = edit->addAction(tr("&Redo"), this, [this] {
        if (!m_drawing->pickPending())
            m_drawing->redo();
    });
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});

    m_viewMenu = menuBar()->addMenu(tr("&View"));
    m_viewMenu->addAction(tr("Zoom &Extents"), QKeySequence(Qt::Key_Home), m_view, &DrawingView::zoomExtents);
    m_viewMenu->addAction(tr("Zoom &In"), QKeySequence::ZoomIn, this, [this] {
        m_view->zoomAt(1.5, QRectF(m_view->viewport()->rect()).center());
    });
    m_viewMenu->addAction(tr("Zoom &Out"), QKeySequence::ZoomOut, this, [this] {
        m_view->zoomAt(1 / 1.5, QRectF(m_view->viewport()->rect()).center());
    });
}

void MainWindow::buildLayerDock()
{
    auto *dock = new QDockWidget(tr("Layers"), this);
    dock->setObjectName(QStringLiteral("layers"));
    m_layers = new QTreeWidget(dock);
    m_layers->setColumnCount(2);
    m_layers->setHeaderLabels({tr("Layer"), tr("Locked")});
    m_layers->setRootIsDecorated(false);
    m_layers->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_layers->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_layers->header()->setStretchLastSection(false);
    dock->setWidget(m_layers);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    m_viewMenu->addAction(dock->toggleViewAction());
    connect(m_layers, &QTreeWidget::itemChanged, this, &MainWindow::onLayerItemChanged);
}

// ---- State --------------------------------------------------------------------------------

bool MainWindow::isModified() const
{
    return m_drawing->revision() != m_savedRevision;
}

void MainWindow::onDrawingChanged()
{
    // Another file was loaded (here, or by a client through the testing
    // interface): what it holds now is what is on disk.
    if (m_drawing->fileName() != m_knownFileName || (!m_drawing->canUndo() && !m_drawing->canRedo())) {
        m_knownFileName = m_drawing->fileName();
        m_savedRevision = m_drawing->revision();
    }
    refreshTitle();
    refreshLayers();
    refreshActions();
    // A file read into the drawing gets its name only after the content is
    // in: the title looks again once the reading is done.
    if (m_titleCheckPending)
        return;
    m_titleCheckPending = true;
    QTimer::singleShot(0, this, [this] {
        m_titleCheckPending = false;
        m_knownFileName = m_drawing->fileName();
        refreshTitle();
    });
}

void MainWindow::refreshTitle()
{
    const QString name = m_drawing->fileName().isEmpty() ? tr("Untitled") : QFileInfo(m_drawing->fileName()).fileName();
    setWindowTitle(QStringLiteral("%1[*] - minicad").arg(name));
    setWindowModified(isModified());
}

void MainWindow::refreshActions()
{
    const bool picking = m_drawing->pickPending();
    // While a client waits for a pick the drawing must hold still.
    m_undo->setEnabled(!picking && m_drawing->canUndo());
    m_redo->setEnabled(!picking && m_drawing->canRedo());
    m_open->setEnabled(!picking);
}

void MainWindow::refreshLayers()
{
    const QList<Layer> &layers = m_drawing->layers();
    if (layers == m_shownLayers)
        return;
    m_shownLayers = layers;
    m_refreshingLayers = true;
    m_layers->clear();
    for (const Layer &l : layers) {
        auto *item = new QTreeWidgetItem(m_layers, {l.name, QString()});
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(1, l.locked ? Qt::Checked : Qt::Unchecked);
    }
    m_refreshingLayers = false;
}

void MainWindow::onLayerItemChanged(QTreeWidgetItem *item, int column)
{
    if (m_refreshingLayers || column != 1)
        return;
    const QString name = item->text(0);
    const bool locked = item->checkState(1) == Qt::Checked;
    try {
        m_drawing->setLayerLocked(name, locked);
    } catch (const ModelError &e) {
        report(e.message());
        m_shownLayers.clear();
        refreshLayers();
    }
}

void MainWindow::report(const QString &message)
{
    if (m_prompts.showError)
        m_prompts.showError(message);
}

// ---- Files --------------------------------------------------------------------------------

bool MainWindow::maybeSave()
{
    if (!isModified())
        return true;
    const QString name = m_drawing->fileName().isEmpty() ? tr("Untitled") : QFileInfo(m_drawing->fileName()).fileName();
    switch (m_prompts.askSave(name)) {
    case QMessageBox::Save:
        return save();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::open()
{
    if (m_drawing->pickPending())
        return;
    if (!maybeSave())
        return;
    const QString path = m_prompts.openFileName();
    if (!path.isEmpty())
        openFile(path);
}

bool MainWindow::openFile(const QString &path)
{
    if (m_drawing->pickPending())
        return false;
    try {
        loadDrawingFile(*m_drawing, path);
    } catch (const ModelError &e) {
        report(e.message());
        return false;
    }
    m_knownFileName = m_drawing->fileName();
    m_savedRevision = m_drawing->revision();
    m_view->syncScene();
    m_view->zoomExtents();
    refreshTitle();
    refreshLayers();
    refreshActions();
    return true;
}

bool MainWindow::save()
{
    if (m_drawing->fileName().isEmpty())
        return saveAs();
    return saveTo(m_drawing->fileName());
}

bool MainWindow::saveAs()
{
    QString path = m_prompts.saveFileName(m_drawing->fileName());
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".dxf");
    return saveTo(path);
}

bool MainWindow::saveTo(const QString &path)
{
    try {
        saveDrawingFile(*m_drawing, path);
    } catch (const ModelError &e) {
        report(e.message());
        return false;
    }
    m_drawing->setFileName(path);
    m_knownFileName = path;
    m_savedRevision = m_drawing->revision();
    refreshTitle();
    return true;
}

// ---- Window -------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    // A client still waiting for a pick hears that it was cancelled.
    if (m_drawing->pickPending())
        m_drawing->cancelPick();
    event->accept();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    publishWindows();
}

void MainWindow::publishWindows()
{
    // Clients find the application window and draw their marker on the
    // document window; both are X window ids, which only xcb has.
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    m_drawing->setWindows(quintptr(winId()), quintptr(m_view->winId()));
}

} // namespace minicad
