#pragma once

#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QTableWidget>
#include <QTimer>

#include <functional>

class QLineEdit;

namespace widgets {

// An inclusive rectangle of grid cells, in grid coordinates.
struct GridRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const GridRect &) const = default;
};

// A string grid over QTableWidget that speaks the coordinates of a classic
// string grid: (col, row), counting the fixed row and fixed column. With one
// fixed row and column, cell (0, r) is the row's number cell, (c, 0) the
// header of column c, and (1, 1) the first data cell. The fixed row is shown
// as the horizontal header and the fixed column as the vertical header, so
// both stay in view while scrolling.
//
// Every cell has a text and an integer object slot; both travel with their row
// when rows are swapped or moved. All members declared here take and return
// grid coordinates; several of them deliberately hide QTableWidget members of
// the same name that count without the fixed row and column. QTableWidget's
// own signals (cellClicked, currentCellChanged, ...) stay in its coordinates:
// use the signals declared here.
class StringGrid : public QTableWidget
{
    Q_OBJECT
public:
    using DrawCellHook = std::function<void(QPainter &painter, int col, int row,
                                            const QRect &rect, bool selected)>;
    using GetEditTextHook = std::function<void(int col, int row, QString &text)>;
    using KeyDownHandler = std::function<void(int &key, Qt::KeyboardModifiers modifiers)>;

    explicit StringGrid(QWidget *parent = nullptr);

    // Fixed rows/columns: 0 or 1 each.
    int fixedRows() const { return m_fixedRows; }
    int fixedCols() const { return m_fixedCols; }
    void setFixedRows(int count);
    void setFixedCols(int count);

    // Counts include the fixed row/column; they never drop below them.
    int rowCount() const;
    void setRowCount(int rows);
    int colCount() const;
    void setColCount(int cols);
    int columnCount() const { return colCount(); }
    void setColumnCount(int cols) { setColCount(cols); }

    QString cells(int col, int row) const;
    void setCells(int col, int row, const QString &text);
    int objects(int col, int row) const;
    void setObjects(int col, int row, int slot);

    // Exchanges or moves whole rows: every cell's text and object slot.
    void swapRows(int row1, int row2);
    void moveRow(int from, int to);

    // The selected rectangle; without a selection, the current cell.
    GridRect selection() const;
    void setSelection(const GridRect &rect); // keeps the current cell

    // The current cell; always a data cell. Setting it collapses the
    // selection onto it unless keepSelection is given (say, for a drag that
    // selects a rectangle and moves the current cell to its far corner).
    int col() const;
    int row() const;
    void setCol(int col);
    void setRow(int row);
    void setCurrentCell(int col, int row, bool keepSelection = false);
    int currentColumn() const { return col(); }
    int currentRow() const { return row(); }

    // Cell editing.
    bool editing() const { return m_editing; }
    void setEditing(bool on); // off commits and closes an open editor
    bool isEditorOpen() const;
    QString editorText() const; // the open editor's text, else the current cell's
    void setEditorText(const QString &text);
    void showEditor();
    void hideEditor(bool commit = true);

    // Sizes in pixels. Row 0 / column 0 address the fixed header when present.
    int columnWidth(int col) const;
    void setColumnWidth(int col, int width);
    int rowHeight(int row) const;
    void setRowHeight(int row, int height);
    int defaultRowHeight() const;
    void setDefaultRowHeight(int height);
    int defaultColumnWidth() const;
    void setDefaultColumnWidth(int width);
    int textWidth(const QString &text) const; // in the grid's font

    // Repainting is held back until the matching endUpdate; brackets nest.
    void beginUpdate();
    void endUpdate();

    // The cell under a point in this widget's coordinates, fixed cells
    // included; (-1, -1) when the point is over no cell.
    QPoint mouseToCell(const QPoint &pos) const;

    // Runs after a data cell has been painted normally.
    void setDrawCellHook(DrawCellHook hook) { m_drawCell = std::move(hook); }
    // Runs when the cell editor opens; text starts as the cell's text and is
    // what the editor shows.
    void setGetEditTextHook(GetEditTextHook hook) { m_getEditText = std::move(hook); }
    // Runs before the grid (or its open cell editor) handles a key press;
    // setting key to 0 consumes the key. Both Enter keys arrive as
    // Qt::Key_Return.
    void setKeyDownHandler(KeyDownHandler handler) { m_keyDown = std::move(handler); }

signals:
    // The current cell changed (mouse, keyboard or program) or was clicked again.
    void gridClick(int col, int row);
    void fixedCellClicked(int col, int row);
    // Mouse events over the grid, its headers included; pos is in this
    // widget's coordinates (use mouseToCell).
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);

protected:
    using QTableWidget::edit;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void keyboardSearch(const QString &search) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    friend class StringGridDelegate;
    QTableWidgetItem *itemAt(int col, int row) const;
    QTableWidgetItem *ensureItem(int col, int row);
    bool isInside(int col, int row) const;
    bool runKeyDown(QKeyEvent *event); // true when consumed
    void fillHeaderItems();
    void applyEditTriggers();
    void emitMouse(QEvent::Type type, QMouseEvent *event, const QPoint &pos);
    void restructure(int fixedRows, int fixedCols);

    int m_fixedRows = 1;
    int m_fixedCols = 1;
    QString m_cornerText; // cell (0, 0) with both fixed: no header item holds it
    int m_cornerSlot = 0;
    bool m_editing = true;
    int m_updateDepth = 0;
    QPointer<QLineEdit> m_editor;
    QPersistentModelIndex m_editorIndex;
    // A click on the current cell opens its editor after the double-click
    // interval; the grid keeps that delay itself so a key can cut it short.
    QTimer m_clickEdit;
    QPersistentModelIndex m_clickEditIndex;
    DrawCellHook m_drawCell;
    GetEditTextHook m_getEditText;
    KeyDownHandler m_keyDown;
};

} // namespace widgets
