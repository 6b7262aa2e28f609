#include "tools/kasanform.h"

#include "tools/dialogsupport.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>

using tools::NumberRadix;

TLumoKasanForm::TLumoKasanForm(QWidget *parent)
    : QDialog(parent, tools::DialogFlags(Qt::Dialog))
{
    setObjectName(QStringLiteral("LumoKasanForm"));
    setWindowTitle(QStringLiteral("加算"));

    radixButtons = tools::NewRadixButtons(this);
    // Pressing the button that is already down resets the direction too.
    connect(radixButtons.group, &QButtonGroup::idClicked, this, [this](int) { SpeedButton1Click(); });

    Label1 = tools::NewRadixLabel(this, QStringLiteral("10 進"));

    Label2 = new QLabel(QStringLiteral("数値検出"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    RadioButton1 = new QRadioButton(QStringLiteral("先頭から"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2 = new QRadioButton(QStringLiteral("末尾から"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setChecked(true);

    Label3 = new QLabel(QStringLiteral("対象桁数"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    UpDown1 = new QSpinBox(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(1, 8);
    UpDown1->setValue(2);
    Label3->setBuddy(UpDown1);
    Label3->setEnabled(false);
    UpDown1->setEnabled(false);

    Edit1 = tools::NewCodeEdit(this, QStringLiteral("Edit1"), true);
    Edit1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Edit1->setText(QStringLiteral("1"));
    auto *amountLabel = new QLabel(QStringLiteral("加算数"), this);
    amountLabel->setBuddy(Edit1);
    auto *amountNote = new QLabel(QStringLiteral("(10進表記)"), this);

    const tools::RunCancelButtons runCancel = tools::NewRunCancelButtons(this);
    Button1 = runCancel.run;
    Button2 = runCancel.cancel;

    auto *grid = new QGridLayout;
    grid->addWidget(Label2, 0, 0);
    auto *directions = new QHBoxLayout;
    directions->addWidget(RadioButton1);
    directions->addWidget(RadioButton2);
    directions->addStretch();
    grid->addLayout(directions, 0, 1, 1, 2);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(UpDown1, 1, 1);
    grid->addWidget(amountLabel, 2, 0);
    grid->addWidget(Edit1, 2, 1);
    grid->addWidget(amountNote, 2, 2);

    tools::SetDialogLayout(this, {tools::NewRadixRow(radixButtons, Label1), grid,
                                  tools::NewButtonRow({Button1, Button2})});
}

void TLumoKasanForm::SpeedButton1Click()
{
    RadioButton2->setChecked(true);
    const bool decimal = radixButtons.decimal->isChecked();
    RadioButton1->setEnabled(decimal);
    RadioButton2->setEnabled(decimal);
    Label3->setEnabled(!decimal);
    UpDown1->setEnabled(!decimal);
    Label1->setText(tools::RadixCaption(radix()));
}

tools::NumberRadix TLumoKasanForm::radix() const
{
    return NumberRadix(radixButtons.group->checkedId());
}

void TLumoKasanForm::setRadix(tools::NumberRadix r)
{
    radixButtons.group->button(int(r))->setChecked(true);
    SpeedButton1Click();
}

bool TLumoKasanForm::fromEnd() const { return RadioButton2->isChecked(); }
int TLumoKasanForm::digitCount() const { return UpDown1->value(); }

qint32 TLumoKasanForm::amount() const
{
    qint32 value = 0;
    if (!tools::ParseDecimal(Edit1->text().trimmed(), &value))
        return 0;
    return value;
}

tools::AdditionSettings TLumoKasanForm::settings() const
{
    tools::AdditionSettings s;
    s.radix = radix();
    s.amount = amount();
    s.fromEnd = fromEnd();
    s.digitCount = digitCount();
    return s;
}

void TLumoKasanForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    tools::CentreAndFocus(this, Edit1);
}
