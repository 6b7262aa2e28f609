#include "tools/renbanform.h"

#include "tools/dialogsupport.h"
#include "widgets/messagebox.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

using tools::NumberRadix;

namespace {

// Five digits keep a series to what an editor or a grid can take.
constexpr int kCountDigits = 5;

} // namespace

TLumoRenbanForm::TLumoRenbanForm(QWidget *parent)
    : QDialog(parent, tools::DialogFlags(Qt::Dialog))
{
    setObjectName(QStringLiteral("LumoRenbanForm"));
    setWindowTitle(QStringLiteral("連番作成"));

    radixButtons = tools::NewRadixButtons(this);

    Label1 = tools::NewRadixLabel(this, QStringLiteral("10進"));

    auto centred = [](QLineEdit *e) {
        e->setAlignment(Qt::AlignCenter);
        return e;
    };
    Edit1 = centred(tools::NewCodeEdit(this, QStringLiteral("Edit1"), true));
    Edit2 = centred(tools::NewCodeEdit(this, QStringLiteral("Edit2"), true));
    Edit3 = centred(tools::NewCodeEdit(this, QStringLiteral("Edit3"), true));
    Edit4 = centred(tools::NewCodeEdit(this, QStringLiteral("Edit4"), true));
    Edit5 = centred(tools::NewCodeEdit(this, QStringLiteral("Edit5"), true));
    Edit2->setText(QStringLiteral("00"));
    Edit4->setText(QStringLiteral("1"));
    Edit5->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kCountDigits)), Edit5));
    Edit5->setMaxLength(kCountDigits);
    Edit5->setText(QStringLiteral("16"));

    auto *label2 = new QLabel(QStringLiteral("前固定"), this);
    label2->setBuddy(Edit1);
    auto *label3 = new QLabel(QStringLiteral("開始数"), this);
    label3->setBuddy(Edit2);
    auto *label4 = new QLabel(QStringLiteral("後固定"), this);
    label4->setBuddy(Edit3);
    Label5 = new QLabel(QStringLiteral("アップ数"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setBuddy(Edit4);
    auto *label6 = new QLabel(QStringLiteral("作成数"), this);
    label6->setBuddy(Edit5);
    auto *note1 = new QLabel(QStringLiteral("(10進)"), this);
    auto *note2 = new QLabel(QStringLiteral("(10進)"), this);
    auto *note3 = new QLabel(QStringLiteral("( 開始数なしで固定文字作成 )"), this);

    Label8 = new QLabel(this);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label8->setAlignment(Qt::AlignCenter);
    Label8->setMinimumWidth(320);
    tools::MakeBold(Label8);

    Button2 = tools::NewButton(this, QStringLiteral("挿入"), QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    Button1 = tools::NewButton(this, QStringLiteral("追加"), QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button3 = tools::NewButton(this, QStringLiteral("取り消し"), QStringLiteral("Button3"));
    Button3->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(false); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button1Click(true); });
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);

    for (QLineEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5})
        connect(e, &QLineEdit::textChanged, this, &TLumoRenbanForm::Edit1Change);
    connect(radixButtons.group, &QButtonGroup::idClicked, this, [this](int) { Edit1Change(); });

    auto *fields = new QGridLayout;
    fields->addWidget(label2, 0, 0, Qt::AlignHCenter);
    fields->addWidget(label3, 0, 1, Qt::AlignHCenter);
    fields->addWidget(label4, 0, 2, Qt::AlignHCenter);
    fields->addWidget(Edit1, 1, 0);
    fields->addWidget(Edit2, 1, 1);
    fields->addWidget(Edit3, 1, 2);
    fields->addWidget(Label5, 2, 0, Qt::AlignRight);
    fields->addWidget(Edit4, 2, 1);
    fields->addWidget(note1, 2, 2);
    fields->addWidget(label6, 3, 0, Qt::AlignRight);
    fields->addWidget(Edit5, 3, 1);
    fields->addWidget(note2, 3, 2);
    fields->addWidget(note3, 4, 0, 1, 3, Qt::AlignHCenter);

    tools::SetDialogLayout(this, {tools::NewRadixRow(radixButtons, Label1), fields, Label8,
                                  tools::NewButtonRow({Button2, Button1, Button3})});

    Edit1Change();
}

void TLumoRenbanForm::setGridMode(bool grid)
{
    FGridMode = grid;
    Button2->setEnabled(!grid);
    Button1->setText(grid ? QStringLiteral("上書き") : QStringLiteral("追加"));
}

bool TLumoRenbanForm::gridMode() const { return FGridMode; }

tools::RenbanInput TLumoRenbanForm::input() const
{
    tools::RenbanInput in;
    in.radix = NumberRadix(radixButtons.group->checkedId());
    in.prefix = Edit1->text();
    in.start = Edit2->text();
    in.suffix = Edit3->text();
    in.step = Edit4->text();
    in.count = Edit5->text();
    return in;
}

void TLumoRenbanForm::setInput(const tools::RenbanInput &in)
{
    radixButtons.group->button(int(in.radix))->setChecked(true);
    Edit1->setText(in.prefix);
    Edit2->setText(in.start);
    Edit3->setText(in.suffix);
    Edit4->setText(in.step);
    Edit5->setText(in.count);
    Edit1Change();
}

QString TLumoRenbanForm::previewText() const { return Label8->text(); }

void TLumoRenbanForm::Edit1Change()
{
    const tools::RenbanInput in = input();
    const bool series = !in.start.isEmpty();
    Label5->setEnabled(series);
    Edit4->setEnabled(series);
    if (series)
        Label1->setText(tools::RadixCaption(in.radix));
    Label8->setText(tools::RenbanPreview(in));
}

void TLumoRenbanForm::Button1Click(bool insert)
{
    QString error;
    const QStringList items = tools::RenbanItems(input(), &error);
    if (!error.isEmpty()) {
        widgets::showMessage(widgets::MessageKind::Warning, error, this);
        Edit2->setFocus();
        Edit2->selectAll();
        return;
    }
    FItems = items;
    FAction = insert ? Action::Insert : (FGridMode ? Action::Overwrite : Action::Append);
    accept();
}

void TLumoRenbanForm::done(int result)
{
    if (result != QDialog::Accepted) {
        FItems.clear();
        FAction = Action::None;
    }
    // The grid's captions last only while the dialog is open for the grid.
    setGridMode(false);
    QDialog::done(result);
}

void TLumoRenbanForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FItems.clear();
    FAction = Action::None;
    tools::CentreAndFocus(this, Edit2);
}
