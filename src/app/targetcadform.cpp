#include "app/targetcadform.h"

#include "cad/connection.h"
#include "taglists/taglists.h"
#include "taglists/unsavednotice.h"
#include "widgets/messagebox.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace lumo {

namespace {

// Enter in a field does "変更" and goes no further.
class EnterFilter : public QObject {
public:
    EnterFilter(QObject *parent, std::function<void()> onEnter) : QObject(parent), m_onEnter(std::move(onEnter)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                m_onEnter();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onEnter;
};

void tellUndecodable(const QString &path, QWidget *parent)
{
    const QString notice = undecodableNotice(path);
    if (!notice.isNull())
        widgets::showMessage(widgets::MessageKind::Warning, notice, parent);
}

} // namespace

TTargetCADForm::TTargetCADForm(const QString &listPath, QWidget *parent) : QDialog(parent), m_path(listPath)
{
    setWindowTitle(QStringLiteral("ターゲット CAD"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    ListBox1 = new QListWidget(this);
    Edit1 = new QLineEdit(this);
    Edit2 = new QLineEdit(this);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setText(QStringLiteral("追加"));
    SpeedButton2 = new QToolButton(this);
    SpeedButton2->setText(QStringLiteral("削除"));
    SpeedButton3 = new QToolButton(this);
    SpeedButton3->setText(QStringLiteral("変更"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button2 = new QPushButton(QStringLiteral("取り消し"), this);
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);

    auto *fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("名称 （説明）"), this), 0, 0);
    fields->addWidget(Edit1, 1, 0);
    fields->addWidget(new QLabel(QStringLiteral("ProgID （クラス文字列）"), this), 2, 0);
    fields->addWidget(Edit2, 3, 0);
    auto *edit = new QVBoxLayout;
    edit->addWidget(SpeedButton1);
    edit->addWidget(SpeedButton2);
    edit->addWidget(SpeedButton3);
    fields->addLayout(edit, 0, 1, 4, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);
    auto *v = new QVBoxLayout(this);
    v->addWidget(ListBox1, 1);
    v->addLayout(fields);
    v->addLayout(bottom);
    setFixedSize(420, 300);

    auto *enter = new EnterFilter(this, [this] { SpeedButton3Click(); });
    Edit1->installEventFilter(enter);
    Edit2->installEventFilter(enter);
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

QString TTargetCADForm::captionNameFor(const QString &listPath, const QString &progId)
{
    TextFile file;
    if (!QFileInfo::exists(listPath) || !readTextFile(listPath, file))
        return {};
    if (file.undecodable)
        tellUndecodable(listPath, nullptr);
    const QString needle = QLatin1Char('\t') + progId;
    for (const QString &line : file.lines) {
        const int at = int(line.indexOf(needle));
        if (at >= 0)
            return line.left(at);
    }
    return {};
}

QString TTargetCADForm::nameField() const { return Edit1->text(); }
QString TTargetCADForm::progIdField() const { return Edit2->text(); }
int TTargetCADForm::selectedIndex() const { return ListBox1->currentRow(); }

QStringList TTargetCADForm::entries() const
{
    QStringList out;
    for (int i = 0; i < ListBox1->count(); ++i)
        out << ListBox1->item(i)->text();
    return out;
}

void TTargetCADForm::setEntries(QStringList lines)
{
    std::stable_sort(lines.begin(), lines.end(), listLess);
    ListBox1->clear();
    ListBox1->addItems(lines);
}

int TTargetCADForm::insertSorted(const QString &line)
{
    int at = 0;
    while (at < ListBox1->count() && !listLess(line, ListBox1->item(at)->text()))
        ++at;
    ListBox1->insertItem(at, line);
    return at;
}

void TTargetCADForm::select(int index)
{
    ListBox1->setCurrentRow(index);
    if (index >= 0)
        ListBox1Click();
}

void TTargetCADForm::writeList()
{
    QString error;
    // The old file stays whole when this fails; the user must know the change is not kept.
    if (m_keepFile)
        error = QStringLiteral("文字コードが不明なファイルは書き換えません．");
    if (m_keepFile) {
        widgets::showMessage(widgets::MessageKind::Warning,
                             m_path + QStringLiteral("\nに書き込めませんでした．\n") + error, this);
    } else if (!writeTextFile(m_path, entries(), m_encoding, &error)) {
        widgets::showMessage(widgets::MessageKind::Warning,
                             unsavedFilesNotice({m_path}, QStringLiteral("ターゲット CAD の一覧の変更は、次の起動では失われます．"), {error}),
                             this);
    }
}

void TTargetCADForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Centred on the screen (the main window's), not on the main window.
    QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
}

void TTargetCADForm::FormShow()
{
    TextFile file;
    if (!QFileInfo::exists(m_path) || !readTextFile(m_path, file))
        return;
    m_encoding = file.encoding;
    if (file.undecodable) {
        m_keepFile = true;
        tellUndecodable(m_path, this);
    }
    setEntries(file.lines);
    const QString needle = QLatin1Char('\t') + cad::targetProgID();
    for (int i = 0; i < ListBox1->count(); ++i) {
        if (ListBox1->item(i)->text().contains(needle)) {
            select(i);
            return;
        }
    }
    ListBox1->setCurrentRow(-1);
}

void TTargetCADForm::ListBox1Click()
{
    const int i = ListBox1->currentRow();
    if (i < 0)
        return;
    const QString line = ListBox1->item(i)->text();
    const int tab = int(line.indexOf(QLatin1Char('\t')));
    Edit1->setText(tab < 0 ? QString() : line.left(tab));
    Edit2->setText(tab < 0 ? line : line.mid(tab + 1));
}

void TTargetCADForm::SpeedButton1Click()
{
    const QString line = Edit1->text() + QLatin1Char('\t') + Edit2->text();
    insertSorted(line);
    for (int i = 0; i < ListBox1->count(); ++i) {
        if (ListBox1->item(i)->text().compare(line, Qt::CaseInsensitive) == 0) {
            select(i);
            break;
        }
    }
    writeList();
}

void TTargetCADForm::SpeedButton2Click()
{
    const int p = ListBox1->currentRow();
    if (p < 0)
        return;
    delete ListBox1->takeItem(p);
    Edit1->clear();
    Edit2->clear();
    const int m = ListBox1->count();
    // Stay near the removed entry: the one now at its place, else the one above.
    if (m > p + 1)
        select(p);
    else if (p >= 1)
        select(p - 1);
    else
        ListBox1->setCurrentRow(-1);
    writeList();
}

void TTargetCADForm::SpeedButton3Click()
{
    const int p = ListBox1->currentRow();
    if (p < 0)
        return;
    ListBox1->item(p)->setText(Edit1->text() + QLatin1Char('\t') + Edit2->text());
    writeList();
}

void TTargetCADForm::Button1Click()
{
    accept();
}

} // namespace lumo
