#include "tools/dialogsupport.h"

#include "tools/numbers.h"

#include <QButtonGroup>
#include <QToolButton>

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

namespace {

QToolButton *newRadixButton(QWidget *parent, const QString &caption, const QString &name)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setCheckable(true);
    b->setMinimumWidth(56);
    return b;
}

} // namespace

RadixButtons NewRadixButtons(QWidget *parent)
{
    RadixButtons r;
    r.decimal = newRadixButton(parent, QStringLiteral("10 進"), QStringLiteral("SpeedButton1"));
    r.hexadecimal = newRadixButton(parent, QStringLiteral("16 進"), QStringLiteral("SpeedButton2"));
    r.octal = newRadixButton(parent, QStringLiteral("8 進"), QStringLiteral("SpeedButton3"));
    r.group = new QButtonGroup(parent);
    r.group->setExclusive(true);
    r.group->addButton(r.decimal, int(NumberRadix::Decimal));
    r.group->addButton(r.hexadecimal, int(NumberRadix::Hexadecimal));
    r.group->addButton(r.octal, int(NumberRadix::Octal));
    r.decimal->setChecked(true);
    return r;
}

} // namespace tools
