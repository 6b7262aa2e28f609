// The tag list commands of the two popup menus.

#include "app/lumoxunit.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace lumo {

void TLumoMainForm::connectTagListCommands()
{
    connect(N39, &QAction::triggered, this, [this] { N39Click(); });
    connect(N40, &QAction::triggered, this, [this] { N40Click(); });
    connect(AG1, &QAction::triggered, this, [this] { AG1Click(); });
    connect(AG2, &QAction::triggered, this, [this] { AG2Click(); });
}

void TLumoMainForm::reloadTagBox(TagListFile &file, QComboBox *box)
{
    if (!QFileInfo::exists(file.path)) {
        widgets::showMessage(widgets::MessageKind::Plain, file.path + QStringLiteral("\nが、見つかりません．"), this);
        return;
    }
    const int selected = box->currentIndex();
    QStringList items;
    // An unreadable file stops here, before the box is emptied.
    if (!reloadTagList(file, items))
        return;
    // Lossy lines are shown, the file is never written: told once per run.
    if (file.keepAsIs) {
        const QString notice = undecodableNotice(file.path);
        if (!notice.isNull())
            widgets::showMessage(widgets::MessageKind::Warning, notice, this);
    }
    const QString typed = box->isEditable() ? box->currentText() : QString();
    setSortedItems(box, items);
    if (box->count() > 0 && selected >= 0)
        box->setCurrentIndex(selected < box->count() ? selected : 0);
    else
        box->setCurrentIndex(-1);
    if (box->isEditable() && box->currentIndex() < 0)
        box->setEditText(typed);
}

void TLumoMainForm::openTagListInEditor(const TagListFile &file)
{
    if (!QFileInfo::exists(file.path)) {
        widgets::showMessage(widgets::MessageKind::Information,
                             file.path + QStringLiteral("\nファイルが見つかりません．"), this);
        return;
    }
    // LUMOEDIT_EDITOR names a program of the user's choice; otherwise Notepad
    // on Windows and the desktop's editor for plain text elsewhere.
    QString editor = qEnvironmentVariable("LUMOEDIT_EDITOR");
#ifdef Q_OS_WIN
    if (editor.isEmpty())
        editor = QStringLiteral("notepad.exe");
#else
    if (editor.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file.path)))
        return;
    if (editor.isEmpty())
        editor = qEnvironmentVariable("VISUAL", qEnvironmentVariable("EDITOR"));
    if (editor.isEmpty())
        return;
#endif
    // The path is one argument, never seen by a shell; nobody waits for the editor.
    QProcess::startDetached(editor, {file.path});
}

void TLumoMainForm::N39Click()
{
    openTagListInEditor(m_textTags);
}

void TLumoMainForm::N40Click()
{
    reloadTagBox(m_textTags, ComboBox1);
}

void TLumoMainForm::AG1Click()
{
    openTagListInEditor(m_tagSets);
}

void TLumoMainForm::AG2Click()
{
    reloadTagBox(m_tagSets, ComboBox2);
}

} // namespace lumo
