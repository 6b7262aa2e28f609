#include "tools/dialogsupport.h"
#include "tools/kasanform.h"
#include "tools/renbanform.h"
#include "tools/tikanform.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// The tab stops of a dialog in order, each by object name or, for one without
// a name, by its caption.
QStringList tabStops(QDialog &dialog)
{
    QStringList out;
    for (QWidget *w = dialog.nextInFocusChain(); w && w != &dialog; w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        QString name = w->objectName();
        if (name.isEmpty())
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                name = b->text();
        out << name;
    }
    return out;
}

} // namespace

class TestDialogSkeleton : public QObject {
    Q_OBJECT
private slots:
    void tabOrderFollowsTheFields();
    void radixCaptions();
    void runCancelButtonsCloseTheDialog();
    void layoutStacksPartsAndButtonsSitRight();
};

// Tab order comes from the order the dialogs create their widgets in; the
// shared construction must not reshuffle it.
void TestDialogSkeleton::tabOrderFollowsTheFields()
{
    TLumoKasanForm kasan;
    TLumoRenbanForm renban;
    TLumoTikanForm tikan;
    QCOMPARE(tabStops(kasan), QStringList({"SpeedButton1", "SpeedButton2", "SpeedButton3", "RadioButton1",
                                           "RadioButton2", "UpDown1", "qt_spinbox_lineedit", "Edit1", "Button1",
                                           "Button2"}));
    QCOMPARE(tabStops(renban), QStringList({"SpeedButton1", "SpeedButton2", "SpeedButton3", "Edit1", "Edit2", "Edit3",
                                            "Edit4", "Edit5", "Button2", "Button1", "Button3"}));
    QCOMPARE(tabStops(tikan), QStringList({"CheckBox1", "Edit1", "Edit2", "Button1", "Button2"}));
}

void TestDialogSkeleton::radixCaptions()
{
    QCOMPARE(tools::RadixCaption(tools::NumberRadix::Decimal), QStringLiteral("10進"));
    QCOMPARE(tools::RadixCaption(tools::NumberRadix::Hexadecimal), QStringLiteral("16進"));
    QCOMPARE(tools::RadixCaption(tools::NumberRadix::Octal), QStringLiteral(" 8進"));
}

void TestDialogSkeleton::runCancelButtonsCloseTheDialog()
{
    QDialog dialog;
    const tools::RunCancelButtons b = tools::NewRunCancelButtons(&dialog);
    QVERIFY(b.run->isDefault());
    QVERIFY(!b.cancel->isDefault());
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    b.run->click();
    dialog.open();
    b.cancel->click();
    QCOMPARE(finished.size(), 2);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(finished.at(1).at(0).toInt(), int(QDialog::Rejected));
}

// Widgets and layouts both go into the column, top-down; the button row keeps
// the order given and stands at the right edge.
void TestDialogSkeleton::layoutStacksPartsAndButtonsSitRight()
{
    QDialog dialog;
    auto *top = new QCheckBox(QStringLiteral("top"), &dialog);
    auto *edit = new QLineEdit(&dialog);
    edit->setMinimumWidth(300);
    auto *row = new QHBoxLayout;
    row->addWidget(edit);
    auto *first = tools::NewButton(&dialog, QStringLiteral("a"), QStringLiteral("A"));
    auto *second = tools::NewButton(&dialog, QStringLiteral("b"), QStringLiteral("B"));
    tools::SetDialogLayout(&dialog, {top, row, tools::NewButtonRow({second, first})});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(first->objectName(), QStringLiteral("A"));
    QVERIFY(top->geometry().bottom() < edit->geometry().top());
    QVERIFY(edit->geometry().bottom() < first->geometry().top());
    QVERIFY(second->geometry().right() < first->geometry().left());
    QCOMPARE(first->geometry().right(), edit->geometry().right());
    // The dialog is held at the size its parts need.
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

QTEST_MAIN(TestDialogSkeleton)
#include "tst_dialogskeleton.moc"
