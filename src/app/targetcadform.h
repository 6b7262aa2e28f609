#pragma once
// "ターゲット CAD": the list of known CAD applications (display name, TAB,
// ProgID) kept in a file beside the executable, and the choice of the target.

#include "taglists/textfile.h"

#include <QDialog>

class QListWidget;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace lumo {

class TTargetCADForm : public QDialog {
    Q_OBJECT
public:
    explicit TTargetCADForm(const QString &listPath, QWidget *parent = nullptr);

    // The caption name of the first list line holding TAB + progId; a null
    // string when the file or such a line is missing. A file no encoding reads
    // cleanly is told once and searched in its lossy reading.
    static QString captionNameFor(const QString &listPath, const QString &progId);

    QString nameField() const;
    QString progIdField() const;
    QStringList entries() const;
    int selectedIndex() const;

    // Handlers.
    void FormShow();
    void ListBox1Click();
    void SpeedButton1Click(); // "追加"
    void SpeedButton2Click(); // "削除"
    void SpeedButton3Click(); // "変更"
    void Button1Click();      // "OK"

    QListWidget *ListBox1 = nullptr;
    QLineEdit *Edit1 = nullptr; // name
    QLineEdit *Edit2 = nullptr; // ProgID
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setEntries(QStringList lines);
    int insertSorted(const QString &line);
    void select(int index);
    void writeList();

    QString m_path;
    TextEncoding m_encoding = TextEncoding::System; // as the file was read
    bool m_keepFile = false; // the file could not be read cleanly: never replaced in this run
};

} // namespace lumo
