#include "tools/dialogsupport.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace tools {

void MakeBold(QWidget *w)
{
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
}

QLineEdit *NewCodeEdit(QWidget *parent, const QString &objectName, bool bold)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    if (bold)
        MakeBold(edit);
    return edit;
}

void CentreOnScreen(QDialog *dialog)
{
    QScreen *screen = dialog->parentWidget() ? dialog->parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog->move(frame.topLeft());
}

} // namespace tools
