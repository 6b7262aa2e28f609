#pragma once
// The attribute grid tab: block attributes of picked block references in a
// grid, one row per reference and one column per tag of a tag set; cell
// editing with the cell undo stack, and write-back. The main window's
// handlers call these with the tab's controls.

#include "attrtab/gridops.h"
#include "widgets/undocells.h"
#include "cad/drawingsource.h"
#include "cad/objectmodel.h"
#include "widgets/formfields.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QObject;
class QPainter;
class QProgressBar;
class QPoint;
class QRect;
class QToolButton;
class QWidget;

namespace lumo {

// A picked block reference that carries at least one tag of the set: one grid row.
struct nBlk {
    QString sHnd;
    cad::Point insPt;
    QString lay;
    int index = 0; // place among the qualifying references in selection order
    QString blkName;
};

// One attribute shown in a grid cell; a cell's object slot m points at entry m-1.
struct nAtt {
    QString sHnd;      // the attribute itself
    QString text;      // value as acquired, or as last written
    cad::Point insPt;  // of the owning reference (an Enter write stores the attribute's own)
    QString lay;       // of the owning reference
};

extern QList<nBlk> blkArray;
extern QList<nAtt> attArray;
// The drawing blkArray and attArray were read from.
extern cad::DrawingSource blkArrayDrawing;

// The attribute record a cell's object slot points at; nullptr for 0 and for
// any slot the arrays do not cover.
nAtt *attributeOfSlot(int slot);

// One item of the tag-set box, split: "name[BLOCK],TAG1,TAG2,...".
struct TagSet {
    QString name;
    QStringList tags;  // the columns 1..k
    QString blockName; // between the first "[" and the first later "]"; empty for none
};
// Splits at every comma; blanks belong to the fields; a field in double
// quotes is taken without them (a doubled quote inside stands for one).
QStringList SplitDelimited(const QString &text);
TagSet SplitTagSet(const QString &item);

// Orders the references by insertion point: 0 left to right, 1 top to
// bottom, 2 not at all, 3 or more picks 1 or 0 by the spread of the points.
// An exchange sort: where equal keys end up is part of what users see.
void SortBlocksByPosition(QList<nBlk> &blocks, int mode);
constexpr int kSortAutomatic = 3;

// One line "tag TAB prompt" per attribute definition of the named block.
int GetTagPrompts(const cad::Document &doc, const QString &blockName, QStringList &list);

struct AttrTab {
    QWidget *mainWindow = nullptr;
    FormFields *fields = nullptr;
    TUndoCells *undo = nullptr;           // the grid's cell undo stack
    widgets::StringGrid *grid = nullptr;
    QComboBox *tagSetBox = nullptr;
    QToolButton *acquireButton = nullptr; // "取得"
    QToolButton *stopButton = nullptr;    // "中止"
    QToolButton *writeButton = nullptr;   // "更新"
    QCheckBox *enterDownBox = nullptr;    // "Enter=[ ↓ ]"
    QCheckBox *enterWriteBox = nullptr;   // "Enter = 更新"
    QCheckBox *panBox = nullptr;          // "PAN (Zoom Center)"
    QLabel *progressLabel = nullptr;      // the tab's count label
    QProgressBar *progressBar = nullptr;
    QLabel *textCountLabel = nullptr;     // the TEXT tab's two count labels,
    QLabel *textProgressLabel = nullptr;  // emptied when an acquisition starts
    std::function<void(int panel, const QString &text)> setStatusPanel;
    // What would change the grid or the snapshot, locked while an
    // acquisition runs; "中止" stays usable.
    QList<QObject *> lockedWhileRunning;
    // "更新" once enabled by an acquisition stays enabled.
    bool writeAllowed = false;
};

// "取得": pick block references and fill the grid.
void AcquireAttributes(AttrTab &tab);
// "中止"
void StopAcquisition(AttrTab &tab);
// "取得順", "文字順", "数字順"
void SortByAcquisition(AttrTab &tab);
void SortByText(AttrTab &tab);
void SortByNumber(AttrTab &tab);

// "更新": every attribute cell written back in one CAD undo group.
void WriteBackAttributes(AttrTab &tab);
// "UNDO"
void UndoAttributeGrid(AttrTab &tab);

// Grid events.
void AttrGridKeyDown(AttrTab &tab, int &key, Qt::KeyboardModifiers shift);
void AttrGridGetEditText(AttrTab &tab, int col, int row);
void AttrGridDrawCell(AttrTab &tab, QPainter &painter, int col, int row, const QRect &rect, bool selected);
void AttrGridClick(AttrTab &tab, int col, int row);
void AttrGridFixedCellClick(AttrTab &tab, int col, int row);
void AttrGridMouseDown(AttrTab &tab, Qt::MouseButton button, const QPoint &pos);
void AttrGridMouseMove(AttrTab &tab, const QPoint &pos);
void AttrGridMouseUp(AttrTab &tab);

} // namespace lumo
