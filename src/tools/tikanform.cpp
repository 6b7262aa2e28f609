#include "tools/tikanform.h"

#include "tools/dialogsupport.h"
#include "tools/replace.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLumoTikanForm::TLumoTikanForm(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("LumoTikanForm"));
    setWindowTitle(QStringLiteral("文字列置換"));

    CheckBox1 = new QCheckBox(QStringLiteral("大文字/小文字を無視"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);

    // Search and replacement may be any text, Japanese included: keep the input method.
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    tools::MakeBold(Edit1);
    Edit1->setMinimumWidth(260);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    tools::MakeBold(Edit2);

    auto *label1 = new QLabel(QStringLiteral("検索文字列"), this);
    label1->setBuddy(Edit1);
    auto *label2 = new QLabel(QStringLiteral("置換文字列"), this);
    label2->setBuddy(Edit2);

    Button1 = new QPushButton(QStringLiteral("実行"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("取り消し"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto *fields = new QGridLayout;
    fields->addWidget(label1, 0, 0);
    fields->addWidget(Edit1, 0, 1);
    fields->addWidget(label2, 1, 0);
    fields->addWidget(Edit2, 1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(CheckBox1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TLumoTikanForm::FormCreate()
{
    Edit1->clear();
    Edit2->clear();
}

void TLumoTikanForm::prefillForAllLines(const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    Edit1->setText(lines.first());
    Edit2->setText(lines.first());
}

void TLumoTikanForm::prefillForSelection(bool editorHasLines, const QString &selectedText)
{
    if (!editorHasLines)
        return;
    const QString firstPart = tools::SearchTextFromSelection(selectedText);
    Edit1->setText(firstPart);
    Edit2->setText(firstPart);
}

void TLumoTikanForm::prefillForGridCell(const QString &topLeftCellText)
{
    Edit1->setText(topLeftCellText);
}

QString TLumoTikanForm::searchText() const { return Edit1->text(); }
QString TLumoTikanForm::replaceText() const { return Edit2->text(); }
bool TLumoTikanForm::ignoreCase() const { return CheckBox1->isChecked(); }
void TLumoTikanForm::setSearchText(const QString &text) { Edit1->setText(text); }
void TLumoTikanForm::setReplaceText(const QString &text) { Edit2->setText(text); }
void TLumoTikanForm::setIgnoreCase(bool on) { CheckBox1->setChecked(on); }

void TLumoTikanForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    tools::CentreOnScreen(this);
    Edit1->setFocus();
    Edit1->selectAll();
}
