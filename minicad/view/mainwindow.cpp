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
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

namespace minicad {

MainWindow::MainWindow(std::shared_ptr<Session> session, QWidget *parent)
    : QMainWindow(parent)
    , m_session(std::move(session))
    , m_tabs(new QTabWidget(this))
{
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    m_tabs->setMovable(false); // tabs stand in the session's order
    setCentralWidget(m_tabs);

    m_prompts.askSave = [this](const QString &name) {
        return QMessageBox::question(this, tr("minicad"), tr("Save the changes to %1?").arg(name),
                                     QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                     QMessageBox::Save);
    };
    m_prompts.showError = [this](const QString &message) { QMessageBox::critical(this, tr("minicad"), message); };
    m_prompts.openFileName = [this] {
        const QString current = drawing() ? drawing()->fileName() : QString();
        return QFileDialog::getOpenFileName(this, tr("Open drawing"), QFileInfo(current).path(),
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

    buildMenus();
    buildLayerDock();

    // The views ask the user; the window hands the session's pick to the
    // view of the active drawing.
    m_session->setPickProvider(this);
    if (m_session->count() == 0)
        m_session->add();
    for (int i = 0; i < m_session->count(); ++i)
        onDrawingAdded(i);
    connect(m_session.get(), &Session::drawingAdded, this, &MainWindow::onDrawingAdded);
    connect(m_session.get(), &Session::drawingClosed, this, [this](int index) { onDrawingClosed(index); });
    connect(m_session.get(), &Session::activeChanged, this, &MainWindow::onActiveChanged);
    connect(m_session.get(), &Session::pickPendingChanged, this, &MainWindow::refreshActions);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_switching || index < 0 || index == m_session->activeIndex())
            return;
        try {
            m_session->activate(index);
        } catch (const ModelError &) {
            // A pick waits in the active drawing: its tab stays in front.
            onActiveChanged(m_session->activeIndex());
        }
    });
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int index) { closeTab(index); });
    onActiveChanged(m_session->activeIndex());
    resize(1100, 750);
}

MainWindow::~MainWindow()
{
    if (m_session->pickProvider() == this) {
        // Nobody is left to answer a waiting pick.
        m_session->cancelPick();
        m_session->setPickProvider(nullptr);
    }
    // The views leave their drawings (signals) while the drawings are still
    // there: this window may hold the last references to them.
    for (Tab &t : m_tabsOpen)
        delete t.view;
    m_tabsOpen.clear();
}

void MainWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    m_open = file->addAction(tr("&Open..."), QKeySequence::Open, this, &MainWindow::open);
    m_save = file->addAction(tr("&Save"), QKeySequence::Save, this, &MainWindow::save);
    m_saveAs = file->addAction(tr("Save &As..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this,
                               &MainWindow::saveAs);
    m_close = file->addAction(tr("&Close"), QKeySequence(Qt::CTRL | Qt::Key_W), this,
                              [this] { closeTab(m_session->activeIndex()); });
    file->addSeparator();
    file->addAction(tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    // One step takes back a whole group: everything a client did between
    // StartUndoMark and EndUndoMark.
    m_undo = edit->addAction(tr("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), this, [this] {
        if (!m_session->pickPending() && drawing())
            drawing()->undo();
    });
    m_redo = edit->addAction(tr("&Redo"), this, [this] {
        if (!m_session->pickPending() && drawing())
            drawing()->redo();
    });
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});

    m_viewMenu = menuBar()->addMenu(tr("&View"));
    m_viewMenu->addAction(tr("Zoom &Extents"), QKeySequence(Qt::Key_Home), this, [this] {
        if (view())
            view()->zoomExtents();
    });
    m_viewMenu->addAction(tr("Zoom &In"), QKeySequence::ZoomIn, this, [this] {
        if (view())
            view()->zoomAt(1.5, QRectF(view()->viewport()->rect()).center());
    });
    m_viewMenu->addAction(tr("Zoom &Out"), QKeySequence::ZoomOut, this, [this] {
        if (view())
            view()->zoomAt(1 / 1.5, QRectF(view()->viewport()->rect()).center());
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

// ---- Tabs ---------------------------------------------------------------------------------

Drawing *MainWindow::drawing() const
{
    const Tab *t = activeTab();
    return t ? t->drawing.get() : nullptr;
}

DrawingView *MainWindow::view() const
{
    const Tab *t = activeTab();
    return t ? t->view : nullptr;
}

MainWindow::Tab *MainWindow::tabOf(const Drawing *drawing)
{
    for (Tab &t : m_tabsOpen) {
        if (t.drawing.get() == drawing)
            return &t;
    }
    return nullptr;
}

MainWindow::Tab *MainWindow::activeTab()
{
    const int i = m_session->activeIndex();
    return i >= 0 && i < m_tabsOpen.size() ? &m_tabsOpen[i] : nullptr;
}

const MainWindow::Tab *MainWindow::activeTab() const
{
    const int i = m_session->activeIndex();
    return i >= 0 && i < m_tabsOpen.size() ? &m_tabsOpen[i] : nullptr;
}

void MainWindow::onDrawingAdded(int index)
{
    Tab t;
    t.drawing = m_session->drawing(index);
    t.view = new DrawingView(m_session.get(), t.drawing.get());
    t.view->requestZoomExtents();
    t.savedRevision = t.drawing->revision();
    t.knownFileName = t.drawing->fileName();
    Drawing *d = t.drawing.get();
    connect(d, &Drawing::changed, this, [this, d] { onDrawingChanged(d); });
    connect(t.view, &DrawingView::promptChanged, m_prompt, &QLabel::setText);
    connect(t.view, &DrawingView::cursorMoved, this, [this](double x, double y) {
        m_coordinates->setText(QStringLiteral("%1, %2").arg(x, 0, 'f', 2).arg(y, 0, 'f', 2));
    });
    DrawingView *view = t.view;
    m_tabsOpen.insert(index, std::move(t));
    m_switching = true;
    m_tabs->insertTab(index, view, m_session->name(d));
    m_switching = false;
    if (isVisible())
        publishWindows();
    refreshTabTitles();
}

void MainWindow::onDrawingClosed(int index)
{
    if (index < 0 || index >= m_tabsOpen.size())
        return;
    Tab t = m_tabsOpen.takeAt(index);
    if (m_picking == t.view)
        m_picking = nullptr;
    disconnect(t.drawing.get(), nullptr, this, nullptr);
    m_switching = true;
    m_tabs->removeTab(index);
    m_switching = false;
    delete t.view;
    refreshTabTitles();
}

void MainWindow::onActiveChanged(int index)
{
    m_switching = true;
    if (index >= 0 && index < m_tabs->count())
        m_tabs->setCurrentIndex(index);
    m_switching = false;
    m_shownLayers.clear();
    refreshTitle();
    refreshLayers();
    refreshActions();
}

void MainWindow::beginPick(const SelectionFilter &filter)
{
    m_picking = view();
    if (m_picking)
        m_picking->beginPick(filter);
}

void MainWindow::endPick()
{
    if (m_picking)
        m_picking->endPick();
    m_picking = nullptr;
}

bool MainWindow::closeTab(int index)
{
    if (index < 0 || index >= m_tabsOpen.size())
        return false;
    // A client waits for the user in this drawing: it stays.
    if (m_session->pickPending() && index == m_session->activeIndex())
        return false;
    if (!maybeSave(m_tabsOpen[index]))
        return false;
    m_session->close(index);
    return true;
}

// ---- State --------------------------------------------------------------------------------

bool MainWindow::isModified(const Tab &tab) const
{
    return tab.drawing->revision() != tab.savedRevision;
}

bool MainWindow::isModified() const
{
    const Tab *t = activeTab();
    return t && isModified(*t);
}

void MainWindow::onDrawingChanged(Drawing *drawing)
{
    Tab *t = tabOf(drawing);
    if (!t)
        return;
    // Another file was loaded (by a client through the testing interface):
    // what it holds now is what is on disk.
    if (drawing->fileName() != t->knownFileName || (!drawing->canUndo() && !drawing->canRedo())) {
        t->knownFileName = drawing->fileName();
        t->savedRevision = drawing->revision();
    }
    refreshTitle();
    refreshTabTitles();
    if (drawing == this->drawing()) {
        refreshLayers();
        refreshActions();
    }
    // A file read into the drawing gets its name only after the content is
    // in: the title looks again once the reading is done.
    if (t->titleCheckPending)
        return;
    t->titleCheckPending = true;
    QTimer::singleShot(0, this, [this, drawing] {
        Tab *later = tabOf(drawing);
        if (!later)
            return;
        later->titleCheckPending = false;
        later->knownFileName = drawing->fileName();
        refreshTitle();
        refreshTabTitles();
    });
}

void MainWindow::refreshTitle()
{
    const Drawing *d = drawing();
    setWindowTitle(d ? QStringLiteral("%1[*] - minicad").arg(m_session->name(d)) : QStringLiteral("minicad"));
    setWindowModified(isModified());
}

void MainWindow::refreshTabTitles()
{
    for (int i = 0; i < m_tabsOpen.size() && i < m_tabs->count(); ++i) {
        const Tab &t = m_tabsOpen[i];
        m_tabs->setTabText(i, m_session->name(t.drawing.get()) + (isModified(t) ? QStringLiteral("*") : QString()));
        m_tabs->setTabToolTip(i, m_session->fullName(t.drawing.get()));
    }
}

void MainWindow::refreshActions()
{
    const bool picking = m_session->pickPending();
    const Drawing *d = drawing();
    // While a client waits for a pick the drawings must hold still.
    m_undo->setEnabled(!picking && d && d->canUndo());
    m_redo->setEnabled(!picking && d && d->canRedo());
    m_open->setEnabled(!picking);
    m_close->setEnabled(!picking && d);
    m_save->setEnabled(d);
    m_saveAs->setEnabled(d);
    m_tabs->tabBar()->setEnabled(!picking);
}

void MainWindow::refreshLayers()
{
    const QList<Layer> layers = drawing() ? drawing()->layers() : QList<Layer>();
    if (layers == m_shownLayers && m_layers->topLevelItemCount() == layers.size())
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
    if (m_refreshingLayers || column != 1 || !drawing())
        return;
    const QString name = item->text(0);
    const bool locked = item->checkState(1) == Qt::Checked;
    try {
        drawing()->setLayerLocked(name, locked);
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

bool MainWindow::maybeSave(Tab &tab)
{
    if (!isModified(tab))
        return true;
    switch (m_prompts.askSave(m_session->name(tab.drawing.get()))) {
    case QMessageBox::Save: {
        const QString current = tab.drawing->fileName();
        if (!current.isEmpty())
            return saveTo(tab, current);
        QString path = m_prompts.saveFileName(current);
        if (path.isEmpty())
            return false;
        if (QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".dxf");
        return saveTo(tab, path);
    }
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::open()
{
    if (m_session->pickPending())
        return;
    const QString path = m_prompts.openFileName();
    if (!path.isEmpty())
        openFile(path);
}

bool MainWindow::openFile(const QString &path)
{
    if (m_session->pickPending())
        return false;
    try {
        m_session->openFile(path);
    } catch (const ModelError &e) {
        report(e.message());
        return false;
    }
    return true;
}

bool MainWindow::save()
{
    Tab *t = activeTab();
    if (!t)
        return false;
    if (t->drawing->fileName().isEmpty())
        return saveAs();
    return saveTo(*t, t->drawing->fileName());
}

bool MainWindow::saveAs()
{
    Tab *t = activeTab();
    if (!t)
        return false;
    QString path = m_prompts.saveFileName(t->drawing->fileName());
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".dxf");
    return saveTo(*t, path);
}

bool MainWindow::saveTo(Tab &tab, const QString &path)
{
    try {
        saveDrawingFile(*tab.drawing, path);
    } catch (const ModelError &e) {
        report(e.message());
        return false;
    }
    tab.drawing->setFileName(QFileInfo(path).absoluteFilePath());
    tab.knownFileName = tab.drawing->fileName();
    tab.savedRevision = tab.drawing->revision();
    refreshTitle();
    refreshTabTitles();
    return true;
}

// ---- Window -------------------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent *event)
{
    for (Tab &t : m_tabsOpen) {
        if (!maybeSave(t)) {
            event->ignore();
            return;
        }
    }
    // A client still waiting for a pick hears that it was cancelled.
    if (m_session->pickPending())
        m_session->cancelPick();
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
    m_session->setApplicationWindow(quintptr(winId()));
    for (const Tab &t : std::as_const(m_tabsOpen))
        m_session->setDocumentWindow(t.drawing.get(), quintptr(t.view->winId()));
}

} // namespace minicad
