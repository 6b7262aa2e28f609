#pragma once
// Small pieces the tool dialogs share.

#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QWidget;

namespace tools {

// Bold variant of the widget's current font.
void MakeBold(QWidget *w);

// Edit box for codes and numbers: no input method, so typing stays half-width.
QLineEdit *NewCodeEdit(QWidget *parent, const QString &objectName, bool bold);

// Centres the dialog on the screen its owner is on (the primary one without owner).
void CentreOnScreen(QDialog *dialog);

} // namespace tools
