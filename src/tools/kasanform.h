#pragma once
// "加算": the dialog of the number addition. Created once by the main window;
// radix, direction, digit count and amount persist between uses.
//
// Use: exec() (inside the always-on-top swap); on QDialog::Accepted take
// settings() and pass each text through tools::AddToNumber. An amount of 0
// (also a non-integer amount) means nothing is to change.

#include "tools/dialogsupport.h"
#include "tools/numbers.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TLumoKasanForm : public QDialog {
    Q_OBJECT
public:
    explicit TLumoKasanForm(QWidget *parent = nullptr);

    tools::NumberRadix radix() const;
    // As if the radix button were pressed: the direction goes back to "末尾から".
    void setRadix(tools::NumberRadix radix);
    bool fromEnd() const;       // "末尾から" checked
    int digitCount() const;     // "対象桁数", 1..8
    qint32 amount() const;      // "加算数" as a decimal integer, 0 when it is none
    tools::AdditionSettings settings() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void SpeedButton1Click();

    tools::RadixButtons radixButtons;    // SpeedButton1..3: 10 進, 16 進, 8 進
    QLabel *Label1 = nullptr;            // radix shown large
    QLabel *Label2 = nullptr;            // 数値検出
    QRadioButton *RadioButton1 = nullptr; // 先頭から
    QRadioButton *RadioButton2 = nullptr; // 末尾から
    QLabel *Label3 = nullptr;            // 対象桁数
    QSpinBox *UpDown1 = nullptr;         // digit count box with its up-down
    QLineEdit *Edit1 = nullptr;          // 加算数
    QPushButton *Button1 = nullptr;      // 実行
    QPushButton *Button2 = nullptr;      // 取り消し
};
