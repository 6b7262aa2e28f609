// The attribute tab's handlers: each calls into the tab's code.

#include "app/lumoxunit.h"

#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>

namespace lumo {

void TLumoMainForm::connectAttributeTab()
{
    AttrTab &t = m_attrTab;
    t.mainWindow = this;
    t.fields = this;
    t.undo = FUndoCells.get();
    t.grid = StringGrid1;
    t.tagSetBox = ComboBox2;
    t.acquireButton = SpeedButton10;
    t.stopButton = SpeedButton12;
    t.writeButton = SpeedButton11;
    t.enterDownBox = CheckBox2;
    t.enterWriteBox = CheckBox5;
    t.panBox = CheckBox6;
    t.progressLabel = Label3;
    t.progressBar = ProgressBar1;
    t.textCountLabel = Label1;
    t.textProgressLabel = Label2;
    t.setStatusPanel = [this](int panel, const QString &text) { setStatusPanel(panel, text); };
    // While the grid fills, nothing may edit, sort or write it, and no
    // other acquisition may start under the same run flag.
    t.lockedWhileRunning = {SpeedButton10, SpeedButton11, SpeedButton13, SpeedButton16, SpeedButton17,
                            SpeedButton18, ComboBox2,     StringGrid1,   SpeedButton1,  SpeedButton8,
                            SpeedButton14};

    StringGrid1->setDefaultRowHeight(20);
    // Until an acquisition fills it, no cell holds an attribute to edit.
    StringGrid1->setEditing(false);
    StringGrid1->setDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect, bool selected) {
        StringGrid1DrawCell(painter, col, row, rect, selected);
    });
    StringGrid1->setGetEditTextHook([this](int col, int row, QString &text) { StringGrid1GetEditText(col, row, text); });
    StringGrid1->setKeyDownHandler([this](int &key, Qt::KeyboardModifiers shift) { StringGrid1KeyDown(key, shift); });
    connect(StringGrid1, &widgets::StringGrid::gridClick, this, [this] { StringGrid1Click(); });
    connect(StringGrid1, &widgets::StringGrid::fixedCellClicked, this, &TLumoMainForm::StringGrid1FixedCellClick);
    connect(StringGrid1, &widgets::StringGrid::mouseDown, this, &TLumoMainForm::StringGrid1MouseDown);
    connect(StringGrid1, &widgets::StringGrid::mouseMove, this, &TLumoMainForm::StringGrid1MouseMove);
    connect(StringGrid1, &widgets::StringGrid::mouseUp, this, &TLumoMainForm::StringGrid1MouseUp);

    connect(SpeedButton10, &QToolButton::clicked, this, [this] { SpeedButton10Click(); });
    connect(SpeedButton11, &QToolButton::clicked, this, [this] { SpeedButton11Click(); });
    connect(SpeedButton12, &QToolButton::clicked, this, [this] { SpeedButton12Click(); });
    connect(SpeedButton13, &QToolButton::clicked, this, [this] { SpeedButton13Click(); });
    connect(SpeedButton16, &QToolButton::clicked, this, [this] { SpeedButton16Click(); });
    connect(SpeedButton17, &QToolButton::clicked, this, [this] { SpeedButton17Click(); });
    connect(SpeedButton18, &QToolButton::clicked, this, [this] { SpeedButton18Click(); });
}

void TLumoMainForm::SpeedButton10Click()
{
    widgets::withErrorReport([this] { AcquireAttributes(m_attrTab); }, this);
}

void TLumoMainForm::SpeedButton11Click()
{
    // A failure of the whole write (attaching, the document) ends it silently.
    try {
        WriteBackAttributes(m_attrTab);
    } catch (const cad::AutomationError &) {
    }
}

void TLumoMainForm::SpeedButton12Click()
{
    StopAcquisition(m_attrTab);
}

void TLumoMainForm::SpeedButton13Click()
{
    UndoAttributeGrid(m_attrTab);
}

void TLumoMainForm::SpeedButton16Click()
{
    SortByAcquisition(m_attrTab);
}

void TLumoMainForm::SpeedButton17Click()
{
    SortByText(m_attrTab);
}

void TLumoMainForm::SpeedButton18Click()
{
    SortByNumber(m_attrTab);
}

void TLumoMainForm::StringGrid1Click()
{
    AttrGridClick(m_attrTab, StringGrid1->col(), StringGrid1->row());
}

void TLumoMainForm::StringGrid1DrawCell(QPainter &painter, int col, int row, const QRect &rect, bool selected)
{
    AttrGridDrawCell(m_attrTab, painter, col, row, rect, selected);
}

void TLumoMainForm::StringGrid1FixedCellClick(int col, int row)
{
    AttrGridFixedCellClick(m_attrTab, col, row);
}

void TLumoMainForm::StringGrid1GetEditText(int col, int row, QString &)
{
    AttrGridGetEditText(m_attrTab, col, row);
}

void TLumoMainForm::StringGrid1KeyDown(int &key, Qt::KeyboardModifiers shift)
{
    widgets::withErrorReport([&] { AttrGridKeyDown(m_attrTab, key, shift); }, this);
}

void TLumoMainForm::StringGrid1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &pos)
{
    AttrGridMouseDown(m_attrTab, button, pos);
}

void TLumoMainForm::StringGrid1MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, const QPoint &pos)
{
    AttrGridMouseMove(m_attrTab, pos);
}

void TLumoMainForm::StringGrid1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint &)
{
    AttrGridMouseUp(m_attrTab);
}

} // namespace lumo
