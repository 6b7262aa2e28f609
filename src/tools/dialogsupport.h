#pragma once
// Small pieces the tool dialogs share.

#include <QString>

class QButtonGroup;
class QDialog;
class QLabel;
class QLineEdit;
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

// Centres the dialog on the screen its owner is on (the primary one without owner).
void CentreOnScreen(QDialog *dialog);

} // namespace tools
