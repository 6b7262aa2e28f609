#include "tools/tikanform.h"

#include "tools/dialogsupport.h"
#include "tools/replace.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TLumoTikanForm::TLumoTikanForm(QWidget *parent)
    : QDialog(parent, tools::DialogFlags(Qt::Tool))
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

    const tools::RunCancelButtons runCancel = tools::NewRunCancelButtons(this);
    Button1 = runCancel.run;
    Button2 = runCancel.cancel;

    auto *fields = new QGridLayout;
    fields->addWidget(label1, 0, 0);
    fields->addWidget(Edit1, 0, 1);
    fields->addWidget(label2, 1, 0);
    fields->addWidget(Edit2, 1, 1);

    tools::SetDialogLayout(this, {CheckBox1, fields, tools::NewButtonRow({Button1, Button2})});

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
    tools::CentreAndFocus(this, Edit1);
}
