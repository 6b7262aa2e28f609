#include "tools/kasanform.h"
#include "tools/renbanform.h"
#include "tools/tikanform.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

template <typename T>
T *child(QWidget *parent, const char *name)
{
    T *w = parent->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

// Runs the dialog modally as the main window would, pressing `button` once it shows.
int execAndClick(QDialog *dialog, QAbstractButton *button)
{
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    return dialog->exec();
}

void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void tikanDefaultsAndPrefill();
    void tikanKeepsValuesBetweenUses();
    void kasanRadixResetsDirection();
    void kasanSettings();
    void renbanPreviewFollowsEdits();
    void renbanCountAcceptsDigitsOnly();
    void renbanAppendAndInsert();
    void renbanGridMode();
    void renbanRefusesInvalidStart();
};

void TestDialogs::tikanDefaultsAndPrefill()
{
    TLumoTikanForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("文字列置換"));
    auto *check = child<QCheckBox>(&form, "CheckBox1");
    QCOMPARE(check->text(), QStringLiteral("大文字/小文字を無視"));
    QVERIFY(form.ignoreCase());
    QVERIFY(form.searchText().isEmpty());
    QVERIFY(form.replaceText().isEmpty());
    QCOMPARE(child<QPushButton>(&form, "Button1")->text(), QStringLiteral("実行"));
    QCOMPARE(child<QPushButton>(&form, "Button2")->text(), QStringLiteral("取り消し"));

    form.prefillForAllLines({});
    QVERIFY(form.searchText().isEmpty());
    form.prefillForAllLines({QStringLiteral("ABC"), QStringLiteral("DEF")});
    QCOMPARE(form.searchText(), QStringLiteral("ABC"));
    QCOMPARE(form.replaceText(), QStringLiteral("ABC"));

    form.prefillForSelection(true, QStringLiteral("xy\r\nzz"));
    QCOMPARE(form.searchText(), QStringLiteral("xy"));
    QCOMPARE(form.replaceText(), QStringLiteral("xy"));
    form.prefillForSelection(false, QStringLiteral("qq"));
    QCOMPARE(form.searchText(), QStringLiteral("xy"));

    form.setReplaceText(QStringLiteral("R"));
    form.prefillForGridCell(QStringLiteral("CELL"));
    QCOMPARE(form.searchText(), QStringLiteral("CELL"));
    QCOMPARE(form.replaceText(), QStringLiteral("R"));
}

void TestDialogs::tikanKeepsValuesBetweenUses()
{
    TLumoTikanForm form;
    auto *edit1 = child<QLineEdit>(&form, "Edit1");
    auto *edit2 = child<QLineEdit>(&form, "Edit2");
    auto *check = child<QCheckBox>(&form, "CheckBox1");
    QTimer::singleShot(0, &form, [&] {
        QTest::keyClicks(edit1, QStringLiteral("abc"));
        QTest::keyClicks(edit2, QStringLiteral("X"));
        check->setFocus();
        QTest::keyClick(check, Qt::Key_Space);
        QTest::mouseClick(child<QPushButton>(&form, "Button1"), Qt::LeftButton);
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.searchText(), QStringLiteral("abc"));
    QCOMPARE(form.replaceText(), QStringLiteral("X"));
    QVERIFY(!form.ignoreCase());

    QCOMPARE(execAndClick(&form, child<QPushButton>(&form, "Button2")), int(QDialog::Rejected));
    QCOMPARE(form.searchText(), QStringLiteral("abc"));
    QVERIFY(!form.ignoreCase());
}

void TestDialogs::kasanRadixResetsDirection()
{
    TLumoKasanForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("加算"));
    auto *dec = child<QToolButton>(&form, "SpeedButton1");
    auto *hex = child<QToolButton>(&form, "SpeedButton2");
    auto *oct = child<QToolButton>(&form, "SpeedButton3");
    auto *label = child<QLabel>(&form, "Label1");
    auto *first = child<QRadioButton>(&form, "RadioButton1");
    auto *last = child<QRadioButton>(&form, "RadioButton2");
    auto *digits = child<QSpinBox>(&form, "UpDown1");
    QCOMPARE(dec->text(), QStringLiteral("10 進"));
    QCOMPARE(oct->text(), QStringLiteral("8 進"));
    QVERIFY(dec->isChecked());
    QCOMPARE(label->text(), QStringLiteral("10 進"));
    QVERIFY(last->isChecked());
    QVERIFY(!digits->isEnabled());
    QVERIFY(!child<QLabel>(&form, "Label3")->isEnabled());
    form.show();

    QTest::mouseClick(first, Qt::LeftButton);
    QVERIFY(!form.fromEnd());
    QTest::mouseClick(hex, Qt::LeftButton);
    QCOMPARE(form.radix(), tools::NumberRadix::Hexadecimal);
    QCOMPARE(label->text(), QStringLiteral("16進"));
    QVERIFY(last->isChecked());
    QVERIFY(!first->isEnabled());
    QVERIFY(digits->isEnabled());

    QTest::mouseClick(oct, Qt::LeftButton);
    QCOMPARE(label->text(), QStringLiteral(" 8進"));
    QTest::mouseClick(dec, Qt::LeftButton);
    QCOMPARE(label->text(), QStringLiteral("10進"));
    QVERIFY(first->isEnabled());
    QVERIFY(!digits->isEnabled());

    // Pressing the radix that is already down resets the direction as well.
    QTest::mouseClick(first, Qt::LeftButton);
    QTest::mouseClick(dec, Qt::LeftButton);
    QVERIFY(form.fromEnd());
    form.hide();
}

void TestDialogs::kasanSettings()
{
    TLumoKasanForm form;
    auto *amount = child<QLineEdit>(&form, "Edit1");
    QCOMPARE(form.amount(), 1);
    QTimer::singleShot(0, &form, [&] {
        QTest::mouseClick(child<QToolButton>(&form, "SpeedButton2"), Qt::LeftButton);
        auto *digits = child<QSpinBox>(&form, "UpDown1");
        digits->setFocus();
        QTest::keyClick(digits, Qt::Key_Up);
        retype(amount, QStringLiteral("-3"));
        QTest::mouseClick(child<QPushButton>(&form, "Button1"), Qt::LeftButton);
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    const tools::AdditionSettings s = form.settings();
    QCOMPARE(s.radix, tools::NumberRadix::Hexadecimal);
    QCOMPARE(s.digitCount, 3);
    QCOMPARE(s.amount, -3);
    QVERIFY(s.fromEnd);

    // Kept for the next use; a non-integer amount counts as 0.
    QCOMPARE(execAndClick(&form, child<QPushButton>(&form, "Button2")), int(QDialog::Rejected));
    QCOMPARE(form.settings().digitCount, 3);
    amount->setText(QStringLiteral("1.5"));
    QCOMPARE(form.amount(), 0);
    amount->setText(QStringLiteral("99999999999"));
    QCOMPARE(form.amount(), 0);
    form.setRadix(tools::NumberRadix::Octal);
    QCOMPARE(child<QLabel>(&form, "Label1")->text(), QStringLiteral(" 8進"));
    QCOMPARE(form.settings().radix, tools::NumberRadix::Octal);
}

void TestDialogs::renbanPreviewFollowsEdits()
{
    TLumoRenbanForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("連番作成"));
    QCOMPARE(form.previewText(), QStringLiteral("[ 00 ] ～ [ 15 ]"));
    form.show();
    auto *prefix = child<QLineEdit>(&form, "Edit1");
    auto *start = child<QLineEdit>(&form, "Edit2");
    auto *stepBox = child<QLineEdit>(&form, "Edit4");
    auto *count = child<QLineEdit>(&form, "Edit5");
    auto *label = child<QLabel>(&form, "Label1");

    QTest::keyClicks(prefix, QStringLiteral("w"));
    QCOMPARE(form.previewText(), QStringLiteral("[ W00 ] ～ [ W15 ]"));
    retype(start, QStringLiteral("0e"));
    retype(count, QStringLiteral("3"));
    QTest::mouseClick(child<QToolButton>(&form, "SpeedButton2"), Qt::LeftButton);
    QCOMPARE(label->text(), QStringLiteral("16進"));
    QCOMPARE(form.previewText(), QStringLiteral("[ W0E ] ～ [ W10 ]"));

    start->clear();
    QVERIFY(!stepBox->isEnabled());
    QVERIFY(!child<QLabel>(&form, "Label5")->isEnabled());
    QCOMPARE(form.previewText(), QStringLiteral("[ W ] x 3"));
    QTest::mouseClick(child<QToolButton>(&form, "SpeedButton3"), Qt::LeftButton);
    QCOMPARE(label->text(), QStringLiteral("16進")); // the fixed text leaves the label alone

    QTest::keyClicks(start, QStringLiteral("06"));
    QVERIFY(stepBox->isEnabled());
    QCOMPARE(label->text(), QStringLiteral(" 8進"));
    QCOMPARE(form.previewText(), QStringLiteral("[ W06 ] ～ [ W10 ]"));
    form.hide();
}

void TestDialogs::renbanCountAcceptsDigitsOnly()
{
    TLumoRenbanForm form;
    form.show();
    auto *count = child<QLineEdit>(&form, "Edit5");
    count->clear();
    QTest::keyClicks(count, QStringLiteral("1a-2"));
    QCOMPARE(count->text(), QStringLiteral("12"));
    QTest::keyClicks(count, QStringLiteral("345678"));
    QCOMPARE(count->text(), QStringLiteral("12345"));
    form.hide();
}

void TestDialogs::renbanAppendAndInsert()
{
    TLumoRenbanForm form;
    auto *append = child<QPushButton>(&form, "Button1");
    auto *insert = child<QPushButton>(&form, "Button2");
    QCOMPARE(append->text(), QStringLiteral("追加"));
    QCOMPARE(insert->text(), QStringLiteral("挿入"));
    QCOMPARE(child<QPushButton>(&form, "Button3")->text(), QStringLiteral("取り消し"));

    QCOMPARE(execAndClick(&form, append), int(QDialog::Accepted));
    QCOMPARE(form.action(), TLumoRenbanForm::Action::Append);
    QCOMPARE(form.items().size(), 16);
    QCOMPARE(form.items().last(), QStringLiteral("15"));

    tools::RenbanInput in;
    in.prefix = QStringLiteral("ab");
    in.start.clear();
    in.count = QStringLiteral("3");
    form.setInput(in);
    QCOMPARE(execAndClick(&form, insert), int(QDialog::Accepted));
    QCOMPARE(form.action(), TLumoRenbanForm::Action::Insert);
    QCOMPARE(form.items(), (QStringList{"AB", "AB", "AB"}));

    // Values stay for the next use; cancelling leaves no result behind.
    QCOMPARE(child<QLineEdit>(&form, "Edit1")->text(), QStringLiteral("ab"));
    QCOMPARE(execAndClick(&form, child<QPushButton>(&form, "Button3")), int(QDialog::Rejected));
    QCOMPARE(form.action(), TLumoRenbanForm::Action::None);
    QVERIFY(form.items().isEmpty());

    // An empty count with an empty start creates nothing, without complaint.
    widgets::MessageRecorder recorder;
    in.count.clear();
    form.setInput(in);
    QCOMPARE(execAndClick(&form, append), int(QDialog::Accepted));
    QVERIFY(form.items().isEmpty());
    QVERIFY(recorder.messages.isEmpty());
}

void TestDialogs::renbanGridMode()
{
    TLumoRenbanForm form;
    auto *append = child<QPushButton>(&form, "Button1");
    auto *insert = child<QPushButton>(&form, "Button2");
    form.setGridMode(true);
    QTimer::singleShot(0, &form, [&] {
        QCOMPARE(append->text(), QStringLiteral("上書き"));
        QVERIFY(!insert->isEnabled());
        QTest::mouseClick(append, Qt::LeftButton);
    });
    QCOMPARE(form.exec(), int(QDialog::Accepted));
    QCOMPARE(form.action(), TLumoRenbanForm::Action::Overwrite);
    QCOMPARE(append->text(), QStringLiteral("追加"));
    QVERIFY(insert->isEnabled());
    QVERIFY(!form.gridMode());

    form.setGridMode(true);
    QCOMPARE(execAndClick(&form, child<QPushButton>(&form, "Button3")), int(QDialog::Rejected));
    QCOMPARE(append->text(), QStringLiteral("追加"));
    QVERIFY(insert->isEnabled());
}

void TestDialogs::renbanRefusesInvalidStart()
{
    widgets::MessageRecorder recorder;
    TLumoRenbanForm form;
    form.show();
    QTest::mouseClick(child<QToolButton>(&form, "SpeedButton3"), Qt::LeftButton);
    retype(child<QLineEdit>(&form, "Edit2"), QStringLiteral("0a"));
    QCOMPARE(form.previewText(), QStringLiteral("開始数が8進数として正しくありません"));
    QTest::mouseClick(child<QPushButton>(&form, "Button1"), Qt::LeftButton);
    QCOMPARE(recorder.messages.size(), 1);
    QCOMPARE(recorder.messages.first().kind, widgets::MessageKind::Warning);
    QVERIFY(recorder.messages.first().text.contains(QStringLiteral("0a")));
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(form.items().isEmpty());

    retype(child<QLineEdit>(&form, "Edit2"), QStringLiteral("07"));
    QTest::mouseClick(child<QPushButton>(&form, "Button1"), Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.items().first(), QStringLiteral("07"));
    QCOMPARE(recorder.messages.size(), 1);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
