#pragma once
// "文字列置換": the dialog of the string replace. Created once by the main
// window; its check box and both boxes keep their values between uses.
//
// Use: one of the prefill* calls, exec() (inside the always-on-top swap),
// and on QDialog::Accepted read searchText(), replaceText(), ignoreCase()
// and hand them to tools::ReplaceString.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

class TLumoTikanForm : public QDialog {
    Q_OBJECT
public:
    explicit TLumoTikanForm(QWidget *parent = nullptr);

    // "すべて置換": with at least one editor line, both boxes get the first line.
    void prefillForAllLines(const QStringList &lines);
    // "選択範囲を置換": with at least one editor line, both boxes get the
    // selection up to its first line break.
    void prefillForSelection(bool editorHasLines, const QString &selectedText);
    // Grid "選択範囲を置換": the search box gets the top-left selected cell;
    // the replacement keeps its value.
    void prefillForGridCell(const QString &topLeftCellText);

    QString searchText() const;
    QString replaceText() const;
    // "大文字/小文字を無視"; only "すべて置換" honours it.
    bool ignoreCase() const;

    void setSearchText(const QString &text);
    void setReplaceText(const QString &text);
    void setIgnoreCase(bool on);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();

    QCheckBox *CheckBox1 = nullptr;
    QLineEdit *Edit1 = nullptr;   // 検索文字列
    QLineEdit *Edit2 = nullptr;   // 置換文字列
    QPushButton *Button1 = nullptr; // 実行
    QPushButton *Button2 = nullptr; // 取り消し
};
