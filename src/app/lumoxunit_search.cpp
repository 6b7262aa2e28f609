// The search tab's handlers on the main window: each calls into
// searchtab/searchtab.cpp with the tab's controls.

#include "app/lumoxunit.h"

#include "widgets/undocells.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QToolButton>

namespace lumo {

namespace {

// Hands Enter in the pattern box to Edit3KeyPress before the box sees it.
class PatternKeyFilter : public QObject {
public:
    explicit PatternKeyFilter(TLumoMainForm *form) : QObject(form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                QChar ch(13);
                m_form->Edit3KeyPress(ch);
                if (ch.isNull())
                    return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TLumoMainForm *m_form;
};

} // namespace

void TLumoMainForm::connectSearchTab()
{
    SearchTab &t = m_searchTab;
    t.mainWindow = this;
    t.fields = this;
    t.patternBox = Edit3;
    t.patternLabel = Label6;
    t.searchButton = SpeedButton14;
    t.writeButton = SpeedButton15;
    t.countLabel = Label5;
    t.prefixBox = CheckBox3;
    t.upperBox = CheckBox4;
    t.enterWriteBox = CheckBox8;
    t.enterDownBox = CheckBox7;
    t.grid = StringGrid2;
    t.undoCells = [this] { return FUndoCells2.get(); };
    t.setStatusPanel = [this](int panel, const QString &text) { setStatusPanel(panel, text); };
    t.isActivePage = [this] { return PageControl1->currentWidget() == StringGrid2->parentWidget(); };
    SetupSearchGrid(t);

    connect(SpeedButton14, &QToolButton::clicked, this, [this] { SpeedButton14Click(); });
    connect(SpeedButton15, &QToolButton::clicked, this, [this] { SpeedButton15Click(); });
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { CheckBox3Click(); });
    connect(CheckBox4, &QCheckBox::clicked, this, [this] { CheckBox4Click(); });
    Edit3->installEventFilter(new PatternKeyFilter(this));
    StringGrid2->setDrawCellHook([this](QPainter &painter, int col, int row, const QRect &rect, bool selected) {
        StringGrid2DrawCell(painter, col, row, rect, selected);
    });
    StringGrid2->setGetEditTextHook([this](int col, int row, QString &text) { StringGrid2GetEditText(col, row, text); });
    StringGrid2->setKeyDownHandler([this](int &key, Qt::KeyboardModifiers shift) { StringGrid2KeyDown(key, shift); });
    connect(StringGrid2, &widgets::StringGrid::gridClick, this, [this] { StringGrid2Click(); });
    connect(StringGrid2, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { SearchCellChanged(m_searchTab, item->row() + StringGrid2->fixedRows()); });
}

void TLumoMainForm::SpeedButton14Click()
{
    widgets::withErrorReport([this] { StartOrStopSearch(m_searchTab); }, this);
}

void TLumoMainForm::SpeedButton15Click()
{
    widgets::withErrorReport([this] { WriteSearchResults(m_searchTab); }, this);
}

void TLumoMainForm::Edit3KeyPress(QChar &key)
{
    if (key != QChar(13))
        return;
    key = QChar();
    SpeedButton14Click();
}

void TLumoMainForm::CheckBox3Click()
{
    widgets::withErrorReport([this] { SearchOptionClicked(m_searchTab, false); }, this);
}

void TLumoMainForm::CheckBox4Click()
{
    widgets::withErrorReport([this] { SearchOptionClicked(m_searchTab, true); }, this);
}

void TLumoMainForm::StringGrid2DrawCell(QPainter &painter, int col, int row, const QRect &rect, bool selected)
{
    DrawSearchCell(m_searchTab, painter, col, row, rect, selected);
}

void TLumoMainForm::StringGrid2GetEditText(int col, int row, QString &)
{
    SearchGridEditText(m_searchTab, col, row);
}

void TLumoMainForm::StringGrid2KeyDown(int &key, Qt::KeyboardModifiers shift)
{
    widgets::withErrorReport([&] { SearchGridKeyDown(m_searchTab, key, shift); }, this);
}

void TLumoMainForm::StringGrid2Click()
{
    widgets::withErrorReport([this] { SearchGridClick(m_searchTab); }, this);
}

} // namespace lumo
