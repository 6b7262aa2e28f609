#pragma once
// "連番作成": the dialog of the sequential numbering, with a live preview of
// the first and the last text. Created once by the main window; its values
// persist between uses.
//
// Use: for the grid call setGridMode(true) first ("追加" reads "上書き" and
// "挿入" is disabled until the dialog closes). exec() (inside the
// always-on-top swap); on QDialog::Accepted, items() holds the texts to
// create (possibly none) and action() says where they go. A start value that
// is not a number of the chosen radix is refused with a warning (through
// widgets::showMessage); the dialog then stays open.

#include "tools/dialogsupport.h"
#include "tools/renban.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TLumoRenbanForm : public QDialog {
    Q_OBJECT
public:
    enum class Action {
        None,      // cancelled, or not yet used
        Append,    // "追加": new last lines of the editor
        Insert,    // "挿入": new lines at the selection's start line, in order
        Overwrite, // "上書き" (grid mode): the current column's cells downwards
    };

    explicit TLumoRenbanForm(QWidget *parent = nullptr);

    void setGridMode(bool grid);
    bool gridMode() const;

    tools::RenbanInput input() const;
    // Sets the boxes and the radix as the user would; the preview follows.
    void setInput(const tools::RenbanInput &input);
    QString previewText() const;

    // The result of the last accepted use.
    QStringList items() const { return FItems; }
    Action action() const { return FAction; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Edit1Change();
    void Button1Click(bool insert);

    tools::RadixButtons radixButtons;    // SpeedButton1..3: 10 進, 16 進, 8 進
    QLabel *Label1 = nullptr;            // radix shown large
    QLineEdit *Edit1 = nullptr;          // 前固定
    QLineEdit *Edit2 = nullptr;          // 開始数
    QLineEdit *Edit3 = nullptr;          // 後固定
    QLabel *Label5 = nullptr;            // アップ数
    QLineEdit *Edit4 = nullptr;          // アップ数
    QLineEdit *Edit5 = nullptr;          // 作成数
    QLabel *Label8 = nullptr;            // preview
    QPushButton *Button2 = nullptr;      // 挿入
    QPushButton *Button1 = nullptr;      // 追加 / 上書き
    QPushButton *Button3 = nullptr;      // 取り消し

    bool FGridMode = false;
    QStringList FItems;
    Action FAction = Action::None;
};
