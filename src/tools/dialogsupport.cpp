#include "tools/dialogsupport.h"

#include "tools/numbers.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

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

QLabel *NewRadixLabel(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("Label1"));
    QFont big = label->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.8);
    label->setFont(big);
    // Wide enough for the widest caption, so the row does not jump.
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("16進")) + 8);
    return label;
}

QString RadixCaption(NumberRadix radix)
{
    switch (radix) {
    case NumberRadix::Hexadecimal:
        return QStringLiteral("16進");
    case NumberRadix::Octal:
        return QStringLiteral(" 8進");
    case NumberRadix::Decimal:
        break;
    }
    return QStringLiteral("10進");
}

QHBoxLayout *NewRadixRow(const RadixButtons &buttons, QLabel *label)
{
    auto *row = new QHBoxLayout;
    row->addWidget(buttons.decimal);
    row->addWidget(buttons.hexadecimal);
    row->addWidget(buttons.octal);
    row->addSpacing(12);
    row->addWidget(label);
    row->addStretch();
    return row;
}

Qt::WindowFlags DialogFlags(Qt::WindowType kind)
{
    return kind | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
}

QPushButton *NewButton(QWidget *parent, const QString &caption, const QString &objectName)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    return b;
}

RunCancelButtons NewRunCancelButtons(QDialog *dialog)
{
    RunCancelButtons r;
    r.run = NewButton(dialog, QStringLiteral("実行"), QStringLiteral("Button1"));
    r.run->setDefault(true);
    r.cancel = NewButton(dialog, QStringLiteral("取り消し"), QStringLiteral("Button2"));
    QObject::connect(r.run, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(r.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return r;
}

QHBoxLayout *NewButtonRow(std::initializer_list<QPushButton *> buttons)
{
    auto *row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton *b : buttons)
        row->addWidget(b);
    return row;
}

void SetDialogLayout(QDialog *dialog, std::initializer_list<QObject *> parts)
{
    auto *layout = new QVBoxLayout(dialog);
    for (QObject *part : parts) {
        if (auto *l = qobject_cast<QLayout *>(part))
            layout->addLayout(l);
        else if (auto *w = qobject_cast<QWidget *>(part))
            layout->addWidget(w);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CentreAndFocus(QDialog *dialog, QLineEdit *edit)
{
    CentreOnScreen(dialog);
    edit->setFocus();
    edit->selectAll();
}

} // namespace tools
