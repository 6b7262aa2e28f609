#pragma once
// Small pieces the tool dialogs share.

#include "tools/numbers.h"

#include <QString>
#include <Qt>

#include <initializer_list>

class QButtonGroup;
class QDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QToolButton;
class QWidget;

namespace tools {

// Bold variant of the widget's current font.
void MakeBold(QWidget *w);

// Edit box for codes and numbers: no input method, so typing stays half-width.
QLineEdit *NewCodeEdit(QWidget *parent, const QString &objectName, bool bold);

// The "10 進", "16 進", "8 進" buttons of the addition and numbering dialogs,
// one exclusive group with the radix as id, decimal down.
struct RadixButtons {
    QToolButton *decimal = nullptr;
    QToolButton *hexadecimal = nullptr;
    QToolButton *octal = nullptr;
    QButtonGroup *group = nullptr;
};
RadixButtons NewRadixButtons(QWidget *parent);

// The large bold label beside the radix buttons, and its text for a radix.
QLabel *NewRadixLabel(QWidget *parent, const QString &text);
QString RadixCaption(NumberRadix radix);
// The radix buttons, then the label, in one row from the left.
QHBoxLayout *NewRadixRow(const RadixButtons &buttons, QLabel *label);

// Title bar with a close button and nothing else; kind is Qt::Dialog or Qt::Tool.
Qt::WindowFlags DialogFlags(Qt::WindowType kind);

QPushButton *NewButton(QWidget *parent, const QString &caption, const QString &objectName);
// "実行" (default, accepts) and "取り消し" (rejects), named Button1 and Button2.
struct RunCancelButtons {
    QPushButton *run = nullptr;
    QPushButton *cancel = nullptr;
};
RunCancelButtons NewRunCancelButtons(QDialog *dialog);
// The buttons in one row, pushed to the right, in the order given.
QHBoxLayout *NewButtonRow(std::initializer_list<QPushButton *> buttons);

// The parts (layouts or widgets) stacked top-down as the dialog's layout,
// and the dialog held at the size they need.
void SetDialogLayout(QDialog *dialog, std::initializer_list<QObject *> parts);

// What a dialog does when it shows: centred, the caret in `edit`, its text selected.
void CentreAndFocus(QDialog *dialog, QLineEdit *edit);

// Centres the dialog on the screen its owner is on (the primary one without owner).
void CentreOnScreen(QDialog *dialog);

} // namespace tools
