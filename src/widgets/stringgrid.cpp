#include "widgets/stringgrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace widgets {

namespace {
constexpr int SlotRole = Qt::UserRole;
}

// Paints cells normally, then lets the owner draw over data cells; and tells
// the owner when the cell editor opens and with which text.
class StringGridDelegate : public QStyledItemDelegate
{
public:
    explicit StringGridDelegate(StringGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!m_grid->m_drawCell)
            return;
        painter->save();
        m_grid->m_drawCell(*painter, index.column() + m_grid->m_fixedCols,
                           index.row() + m_grid->m_fixedRows, option.rect,
                           option.state & QStyle::State_Selected);
        painter->restore();
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            m_grid->m_editor = line;
            m_grid->m_editorIndex = index;
        }
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        // Only the opening counts as "the editor opens"; later refreshes of
        // the same editor just follow the cell.
        if (!line || editor->property("lumoOpened").toBool()) {
            QStyledItemDelegate::setEditorData(editor, index);
            return;
        }
        editor->setProperty("lumoOpened", true);
        QString text = index.data(Qt::EditRole).toString();
        if (m_grid->m_getEditText)
            m_grid->m_getEditText(index.column() + m_grid->m_fixedCols,
                                  index.row() + m_grid->m_fixedRows, text);
        line->setText(text);
    }

private:
    StringGrid *m_grid;
};

StringGrid::StringGrid(QWidget *parent) : QTableWidget(parent)
{
    setItemDelegate(new StringGridDelegate(this));
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSortingEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setMouseTracking(true);

    for (QHeaderView *header : {horizontalHeader(), verticalHeader()}) {
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header->setHighlightSections(false);
        header->setMinimumSectionSize(4);
        header->viewport()->installEventFilter(this);
        // Clicks on fixed cells are reported, never turned into a selection
        // behind the program's back.
        disconnect(header, SIGNAL(sectionPressed(int)), this, nullptr);
        disconnect(header, SIGNAL(sectionEntered(int)), this, nullptr);
    }
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit fixedCellClicked(section + m_fixedCols, 0); });
    connect(verticalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit fixedCellClicked(0, section + m_fixedRows); });
    if (auto *corner = findChild<QAbstractButton *>()) {
        disconnect(corner, nullptr, this, nullptr);
        connect(corner, &QAbstractButton::clicked, this, [this] { emit fixedCellClicked(0, 0); });
    }
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (row >= 0 && column >= 0)
            emit gridClick(column + m_fixedCols, row + m_fixedRows);
    });

    m_clickEdit.setSingleShot(true);
    connect(&m_clickEdit, &QTimer::timeout, this, [this] {
        if (m_clickEditIndex.isValid() && m_clickEditIndex == currentIndex() && !isEditorOpen())
            edit(m_clickEditIndex, AllEditTriggers, nullptr);
    });

    setDefaultColumnWidth(64);
    setColumnWidth(0, 64);
    setDefaultRowHeight(20);
    applyEditTriggers();
    restructure(1, 1);
    setColCount(5);
    setRowCount(5);
}

// ---- structure ------------------------------------------------------------------

void StringGrid::setFixedRows(int count)
{
    restructure(qBound(0, count, 1), m_fixedCols);
}

void StringGrid::setFixedCols(int count)
{
    restructure(m_fixedRows, qBound(0, count, 1));
}

// Changing what is fixed keeps every cell at its grid coordinates.
void StringGrid::restructure(int fixedRows, int fixedCols)
{
    const int rows = qMax(rowCount(), fixedRows);
    const int cols = qMax(colCount(), fixedCols);
    QList<QPair<QString, int>> cells;
    cells.reserve(rows * cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            cells.append({this->cells(c, r), objects(c, r)});

    QTableWidget::clear(); // items and header items alike
    m_cornerText.clear();
    m_cornerSlot = 0;
    m_fixedRows = fixedRows;
    m_fixedCols = fixedCols;
    horizontalHeader()->setVisible(fixedRows > 0);
    verticalHeader()->setVisible(fixedCols > 0);
    setRowCount(rows);
    setColCount(cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const auto &cell = cells[r * cols + c];
            if (!cell.first.isEmpty())
                setCells(c, r, cell.first);
            if (cell.second != 0)
                setObjects(c, r, cell.second);
        }
}

int StringGrid::rowCount() const
{
    return QTableWidget::rowCount() + m_fixedRows;
}

void StringGrid::setRowCount(int rows)
{
    QTableWidget::setRowCount(qMax(rows, m_fixedRows) - m_fixedRows);
    fillHeaderItems();
    if (!currentIndex().isValid() && QTableWidget::rowCount() > 0 && QTableWidget::columnCount() > 0)
        QTableWidget::setCurrentCell(0, 0);
}

int StringGrid::colCount() const
{
    return QTableWidget::columnCount() + m_fixedCols;
}

void StringGrid::setColCount(int cols)
{
    QTableWidget::setColumnCount(qMax(cols, m_fixedCols) - m_fixedCols);
    fillHeaderItems();
    if (!currentIndex().isValid() && QTableWidget::rowCount() > 0 && QTableWidget::columnCount() > 0)
        QTableWidget::setCurrentCell(0, 0);
}

// An empty header item for every section: without one Qt shows numbers, and
// a fixed cell holds what the program put there, nothing else.
void StringGrid::fillHeaderItems()
{
    for (int c = 0; c < QTableWidget::columnCount(); ++c)
        if (!horizontalHeaderItem(c))
            setHorizontalHeaderItem(c, new QTableWidgetItem);
    for (int r = 0; r < QTableWidget::rowCount(); ++r)
        if (!verticalHeaderItem(r))
            setVerticalHeaderItem(r, new QTableWidgetItem);
}

// ---- cells ------------------------------------------------------------------------

bool StringGrid::isInside(int col, int row) const
{
    return col >= 0 && row >= 0 && col < colCount() && row < rowCount();
}

// The item holding a cell; nullptr for the corner cell and for cells without one.
QTableWidgetItem *StringGrid::itemAt(int col, int row) const
{
    if (!isInside(col, row) || (row < m_fixedRows && col < m_fixedCols))
        return nullptr;
    if (row < m_fixedRows)
        return horizontalHeaderItem(col - m_fixedCols);
    if (col < m_fixedCols)
        return verticalHeaderItem(row - m_fixedRows);
    return item(row - m_fixedRows, col - m_fixedCols);
}

QTableWidgetItem *StringGrid::ensureItem(int col, int row)
{
    if (QTableWidgetItem *existing = itemAt(col, row))
        return existing;
    if (!isInside(col, row) || (row < m_fixedRows && col < m_fixedCols))
        return nullptr;
    auto *created = new QTableWidgetItem;
    if (row < m_fixedRows)
        setHorizontalHeaderItem(col - m_fixedCols, created);
    else if (col < m_fixedCols)
        setVerticalHeaderItem(row - m_fixedRows, created);
    else
        setItem(row - m_fixedRows, col - m_fixedCols, created);
    return created;
}

QString StringGrid::cells(int col, int row) const
{
    if (isInside(col, row) && row < m_fixedRows && col < m_fixedCols)
        return m_cornerText;
    const QTableWidgetItem *cell = itemAt(col, row);
    return cell ? cell->text() : QString();
}

void StringGrid::setCells(int col, int row, const QString &text)
{
    if (isInside(col, row) && row < m_fixedRows && col < m_fixedCols)
        m_cornerText = text;
    else if (QTableWidgetItem *cell = ensureItem(col, row))
        cell->setText(text);
}

int StringGrid::objects(int col, int row) const
{
    if (isInside(col, row) && row < m_fixedRows && col < m_fixedCols)
        return m_cornerSlot;
    const QTableWidgetItem *cell = itemAt(col, row);
    return cell ? cell->data(SlotRole).toInt() : 0;
}

void StringGrid::setObjects(int col, int row, int slot)
{
    if (isInside(col, row) && row < m_fixedRows && col < m_fixedCols)
        m_cornerSlot = slot;
    else if (QTableWidgetItem *cell = ensureItem(col, row))
        cell->setData(SlotRole, slot);
}

void StringGrid::swapRows(int row1, int row2)
{
    if (row1 == row2 || !isInside(0, row1) || !isInside(0, row2))
        return;
    for (int c = 0; c < colCount(); ++c) {
        const QString text = cells(c, row1);
        const int slot = objects(c, row1);
        setCells(c, row1, cells(c, row2));
        setObjects(c, row1, objects(c, row2));
        setCells(c, row2, text);
        setObjects(c, row2, slot);
    }
}

void StringGrid::moveRow(int from, int to)
{
    if (!isInside(0, from) || !isInside(0, to))
        return;
    for (; from < to; ++from)
        swapRows(from, from + 1);
    for (; from > to; --from)
        swapRows(from, from - 1);
}

// ---- selection and current cell ----------------------------------------------------

GridRect StringGrid::selection() const
{
    const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
    if (ranges.isEmpty())
        return {col(), row(), col(), row()};
    GridRect rect{ranges[0].leftColumn(), ranges[0].topRow(), ranges[0].rightColumn(),
                  ranges[0].bottomRow()};
    for (const QTableWidgetSelectionRange &range : ranges) {
        rect.left = qMin(rect.left, range.leftColumn());
        rect.top = qMin(rect.top, range.topRow());
        rect.right = qMax(rect.right, range.rightColumn());
        rect.bottom = qMax(rect.bottom, range.bottomRow());
    }
    rect.left += m_fixedCols;
    rect.right += m_fixedCols;
    rect.top += m_fixedRows;
    rect.bottom += m_fixedRows;
    return rect;
}

void StringGrid::setSelection(const GridRect &rect)
{
    const int left = qMax(qMin(rect.left, rect.right), m_fixedCols) - m_fixedCols;
    const int right = qMin(qMax(rect.left, rect.right), colCount() - 1) - m_fixedCols;
    const int top = qMax(qMin(rect.top, rect.bottom), m_fixedRows) - m_fixedRows;
    const int bottom = qMin(qMax(rect.top, rect.bottom), rowCount() - 1) - m_fixedRows;
    if (left > right || top > bottom) {
        clearSelection();
        return;
    }
    const QItemSelection range(model()->index(top, left), model()->index(bottom, right));
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

int StringGrid::col() const
{
    return qMax(QTableWidget::currentColumn(), 0) + m_fixedCols;
}

int StringGrid::row() const
{
    return qMax(QTableWidget::currentRow(), 0) + m_fixedRows;
}

void StringGrid::setCol(int col)
{
    setCurrentCell(col, row());
}

void StringGrid::setRow(int row)
{
    setCurrentCell(col(), row);
}

void StringGrid::setCurrentCell(int col, int row, bool keepSelection)
{
    if (col < m_fixedCols || row < m_fixedRows || !isInside(col, row))
        return;
    if (keepSelection)
        QTableWidget::setCurrentCell(row - m_fixedRows, col - m_fixedCols, QItemSelectionModel::NoUpdate);
    else
        QTableWidget::setCurrentCell(row - m_fixedRows, col - m_fixedCols);
}

// ---- cell editor ---------------------------------------------------------------------

void StringGrid::applyEditTriggers()
{
    setEditTriggers(m_editing ? QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                                    | QAbstractItemView::EditKeyPressed
                                    | QAbstractItemView::AnyKeyPressed
                              : QAbstractItemView::NoEditTriggers);
}

void StringGrid::setEditing(bool on)
{
    if (m_editing == on)
        return;
    if (!on)
        hideEditor(true);
    m_editing = on;
    applyEditTriggers();
}

bool StringGrid::isEditorOpen() const
{
    return m_editor && state() == QAbstractItemView::EditingState;
}

QString StringGrid::editorText() const
{
    return isEditorOpen() ? m_editor->text() : cells(col(), row());
}

void StringGrid::setEditorText(const QString &text)
{
    if (isEditorOpen())
        m_editor->setText(text);
}

void StringGrid::showEditor()
{
    if (!isEditorOpen() && currentIndex().isValid())
        edit(currentIndex(), QAbstractItemView::AllEditTriggers, nullptr);
}

void StringGrid::hideEditor(bool commit)
{
    if (!isEditorOpen())
        return;
    QLineEdit *editor = m_editor;
    if (commit)
        commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    m_editor = nullptr;
}

bool StringGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (!m_editing)
        return false;
    // Qt refuses typed keys while its own click-to-edit delay runs and turns
    // them into a search by first letter, which moves the current cell: the
    // rest of the typing then lands in another row. So the delay is ours, and
    // any other way of opening the editor (a key above all) cancels it.
    if (trigger == SelectedClicked) {
        if (!index.isValid() || isEditorOpen())
            return false;
        m_clickEditIndex = index;
        m_clickEdit.start(QApplication::doubleClickInterval());
        return true;
    }
    if (trigger != NoEditTriggers)
        m_clickEdit.stop();
    const bool opened = QTableWidget::edit(index, trigger, event);
    // Installed after the delegate's filter, so ours sees the editor's keys
    // first: the key-down handler gets them as it does when no editor is open.
    if (opened && m_editor && m_editorIndex == index)
        m_editor->installEventFilter(this);
    return opened;
}

// ---- keys and mouse ---------------------------------------------------------------------

// Typing goes into the current cell, never to a row found by its text.
void StringGrid::keyboardSearch(const QString &) {}

bool StringGrid::runKeyDown(QKeyEvent *event)
{
    if (!m_keyDown)
        return false;
    int key = event->key() == Qt::Key_Enter ? int(Qt::Key_Return) : event->key();
    m_keyDown(key, event->modifiers());
    return key == 0;
}

void StringGrid::keyPressEvent(QKeyEvent *event)
{
    if (runKeyDown(event)) {
        event->accept();
        return;
    }
    // Enter opens the editor on the current cell, as in a classic string grid;
    // inside the editor Enter commits and closes it.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_editing && !isEditorOpen() && currentIndex().isValid()) {
        showEditor();
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool StringGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor && event->type() == QEvent::KeyPress && m_editor) {
        QPointer<QLineEdit> editor = m_editor;
        if (runKeyDown(static_cast<QKeyEvent *>(event)))
            return true;
        // The handler may have moved the current cell, which closes the
        // editor; the key then has nothing left to act on.
        if (!editor || editor != m_editor || !isEditorOpen())
            return true;
    }
    const bool headerViewport = watched == horizontalHeader()->viewport()
                                || watched == verticalHeader()->viewport();
    if (headerViewport) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            const QPoint pos = static_cast<QWidget *>(watched)->mapTo(this, mouse->position().toPoint());
            emitMouse(event->type(), mouse, pos);
            break;
        }
        default:
            break;
        }
    }
    return QTableWidget::eventFilter(watched, event);
}

void StringGrid::emitMouse(QEvent::Type type, QMouseEvent *event, const QPoint &pos)
{
    if (type == QEvent::MouseButtonPress)
        emit mouseDown(event->button(), event->modifiers(), pos);
    else if (type == QEvent::MouseMove)
        emit mouseMove(event->buttons(), event->modifiers(), pos);
    else if (type == QEvent::MouseButtonRelease)
        emit mouseUp(event->button(), event->modifiers(), pos);
}

void StringGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex before = currentIndex();
    QTableWidget::mousePressEvent(event);
    const QPoint viewportPos = event->position().toPoint();
    emitMouse(QEvent::MouseButtonPress, event, viewport()->mapTo(this, viewportPos));
    // A click on the cell that already is current still counts as a click.
    if (event->button() == Qt::LeftButton && before.isValid() && currentIndex() == before
        && indexAt(viewportPos) == before)
        emit gridClick(before.column() + m_fixedCols, before.row() + m_fixedRows);
}

void StringGrid::mouseMoveEvent(QMouseEvent *event)
{
    QTableWidget::mouseMoveEvent(event);
    emitMouse(QEvent::MouseMove, event, viewport()->mapTo(this, event->position().toPoint()));
}

void StringGrid::mouseReleaseEvent(QMouseEvent *event)
{
    QTableWidget::mouseReleaseEvent(event);
    emitMouse(QEvent::MouseButtonRelease, event, viewport()->mapTo(this, event->position().toPoint()));
}

QPoint StringGrid::mouseToCell(const QPoint &pos) const
{
    const QPoint inViewport = viewport()->mapFrom(this, pos);
    int c = -1;
    int r = -1;
    const QRect rowHeader = verticalHeader()->geometry();
    if (m_fixedCols > 0 && !verticalHeader()->isHidden() && pos.x() >= rowHeader.left()
        && pos.x() <= rowHeader.right())
        c = 0;
    else if (inViewport.x() >= 0 && QTableWidget::columnAt(inViewport.x()) >= 0)
        c = QTableWidget::columnAt(inViewport.x()) + m_fixedCols;
    const QRect columnHeader = horizontalHeader()->geometry();
    if (m_fixedRows > 0 && !horizontalHeader()->isHidden() && pos.y() >= columnHeader.top()
        && pos.y() <= columnHeader.bottom())
        r = 0;
    else if (inViewport.y() >= 0 && QTableWidget::rowAt(inViewport.y()) >= 0)
        r = QTableWidget::rowAt(inViewport.y()) + m_fixedRows;
    if (c < 0 || r < 0)
        return {-1, -1};
    return {c, r};
}

// ---- sizes ---------------------------------------------------------------------------------

int StringGrid::columnWidth(int col) const
{
    if (col < m_fixedCols)
        return verticalHeader()->minimumWidth();
    return QTableWidget::columnWidth(col - m_fixedCols);
}

void StringGrid::setColumnWidth(int col, int width)
{
    if (col < 0 || col >= colCount())
        return;
    width = qMax(width, 0);
    if (col < m_fixedCols)
        verticalHeader()->setFixedWidth(width);
    else
        QTableWidget::setColumnWidth(col - m_fixedCols, width);
}

int StringGrid::rowHeight(int row) const
{
    if (row < m_fixedRows)
        return horizontalHeader()->minimumHeight();
    return QTableWidget::rowHeight(row - m_fixedRows);
}

void StringGrid::setRowHeight(int row, int height)
{
    if (row < 0 || row >= rowCount())
        return;
    height = qMax(height, 1);
    if (row < m_fixedRows)
        horizontalHeader()->setFixedHeight(height);
    else
        QTableWidget::setRowHeight(row - m_fixedRows, height);
}

int StringGrid::defaultRowHeight() const
{
    return verticalHeader()->defaultSectionSize();
}

// Like a classic grid, every row, the fixed one included, takes the new height.
void StringGrid::setDefaultRowHeight(int height)
{
    height = qMax(height, 1);
    verticalHeader()->setMinimumSectionSize(qMin(height, 4));
    verticalHeader()->setDefaultSectionSize(height);
    for (int r = 0; r < QTableWidget::rowCount(); ++r)
        QTableWidget::setRowHeight(r, height);
    horizontalHeader()->setFixedHeight(height);
}

int StringGrid::defaultColumnWidth() const
{
    return horizontalHeader()->defaultSectionSize();
}

void StringGrid::setDefaultColumnWidth(int width)
{
    horizontalHeader()->setDefaultSectionSize(qMax(width, 4));
}

int StringGrid::textWidth(const QString &text) const
{
    return QFontMetrics(font()).horizontalAdvance(text);
}

void StringGrid::beginUpdate()
{
    if (m_updateDepth++ == 0)
        setUpdatesEnabled(false);
}

void StringGrid::endUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

} // namespace widgets
