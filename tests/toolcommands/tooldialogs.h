#pragma once
// Drives the text tools' dialogs the way a user would, once they show modally.

#include "tools/kasanform.h"
#include "tools/renbanform.h"
#include "tools/tikanform.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include <functional>

namespace testing {

// Runs `act` once the dialog is up; a dialog that never shows is left alone.
inline void whenShown(QDialog *dialog, std::function<void()> act)
{
    QTimer::singleShot(0, dialog, [dialog, act] {
        if (dialog->isVisible())
            act();
    });
}

inline void press(QDialog *dialog, const char *button)
{
    dialog->findChild<QAbstractButton *>(QString::fromLatin1(button))->click();
}

// "文字列置換": fills the boxes and presses "実行". `seen` gets the prefilled search text.
inline void acceptTikan(TLumoTikanForm *d, const QString &search, const QString &replacement, bool ignoreCase,
                        QString *seen = nullptr)
{
    whenShown(d, [=] {
        if (seen)
            *seen = d->searchText();
        d->setSearchText(search);
        d->setReplaceText(replacement);
        d->setIgnoreCase(ignoreCase);
        press(d, "Button1");
    });
}

// "加算": radix, direction (decimal), digit count (hex/octal), amount, then "実行".
inline void acceptKasan(TLumoKasanForm *d, tools::NumberRadix radix, const QString &amount, bool fromEnd = true,
                        int digits = 2)
{
    whenShown(d, [=] {
        d->setRadix(radix);
        d->findChild<QRadioButton *>(fromEnd ? "RadioButton2" : "RadioButton1")->setChecked(true);
        d->findChild<QSpinBox *>("UpDown1")->setValue(digits);
        d->findChild<QLineEdit *>("Edit1")->setText(amount);
        press(d, "Button1");
    });
}

// "連番作成": the values, then "追加"/"上書き" (Button1) or "挿入" (Button2).
inline void acceptRenban(TLumoRenbanForm *d, const tools::RenbanInput &in, const char *button = "Button1")
{
    whenShown(d, [=] {
        d->setInput(in);
        press(d, button);
    });
}

inline void cancel(QDialog *d)
{
    whenShown(d, [d] { d->reject(); });
}

} // namespace testing
