#pragma once
// The TEXT tab's commands: acquisition, write-back, caret tracking, the
// status display and the editor commands. The main window's handlers call
// these with the tab's controls; what they do to the drawing is in
// operations.h.

#include "texttab/lumo.h"
#include "widgets/formfields.h"

#include <QList>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QObject;
class QAction;
class QToolButton;
class QWidget;

namespace widgets {
class LineEditor;
}

namespace lumo {

struct TextTab {
    QWidget *mainWindow = nullptr;
    FormFields *fields = nullptr;
    widgets::LineEditor *editor = nullptr;
    QToolButton *textButton = nullptr;      // "TEXT"
    QToolButton *writeButton = nullptr;     // "更新(Ctrl+Enter)"
    QToolButton *alignButton = nullptr;     // "整列"
    QToolButton *selectAllButton = nullptr; // "すべて選択"
    QToolButton *stopButton = nullptr;      // "中止"
    QToolButton *undoButton = nullptr;      // "Undo"
    QLineEdit *dxBox = nullptr;
    QLineEdit *dyBox = nullptr;
    QLabel *countLabel = nullptr;
    QLabel *progressLabel = nullptr;
    QCheckBox *sortBox = nullptr;           // "座標順取得"
    QCheckBox *panBox = nullptr;            // "PAN (Zoom Center)"
    QComboBox *tagBox = nullptr;            // tags for "ATTR"
    std::function<void(int panel, const QString &text)> setStatusPanel;
    std::function<QString(int panel)> statusPanel;
    // What a long run over the lines locks: everything that would change the
    // editor or the snapshot under it ("中止" is not among them).
    QList<QObject *> lockedWhileRunning;
};

// "TEXT": pick TEXT entities and make them the editor's lines.
void AcquireTexts(TextTab &tab);
// "更新(Ctrl+Enter)": write the lines back in one CAD undo group.
void WriteBackTexts(TextTab &tab);
// "中止"
void StopRun(TextTab &tab);
// "整列": move the texts onto an even step from the first one.
void AlignTexts(TextTab &tab);
// "ATTR": pick block references and take the attributes of the chosen tag as lines.
void AcquireAttributeLines(TextTab &tab);

// The tag and the block-name filter ("*" for any) of a tag combo text.
QString tagOfComboText(const QString &text);
QString blockFilterOfComboText(const QString &text);

// The row step between texts; text that is not a number gives nullopt.
std::optional<double> readStep(const QLineEdit *box);
void writeSteps(TextTab &tab, double dx, double dy);

// Tracking of the caret line (1-based).
void CaretYChanged(TextTab &tab, int y);
// The point the caret line stands for, when there is one.
std::optional<cad::Point> trackingPoint(const TextTab &tab, int y);
// One tick of the status display.
void StatusDisplay(TextTab &tab);
int selectedLineCount(const QString &selectedText);

// Editor commands.
void UndoMark(TextTab &tab, bool flag);
void UndoButton(TextTab &tab);  // "Undo": the editor's own undo first, then the saved text
void ClearCommand(TextTab &tab);
void CutCommand(TextTab &tab);
void CopyCommand(TextTab &tab);
void PasteCommand(TextTab &tab);

} // namespace lumo
