#pragma once
// The main window: three tabs, every control, and the handlers that call
// into the tabs' code. Fields shared by several handlers live here.

#include "app/settings.h"
#include "attrtab/attrtab.h"
#include "taglists/taglists.h"
#include "searchtab/searchtab.h"
#include "texttab/texttab.h"
#include "widgets/formfields.h"

#include <QHash>
#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QProgressBar;
class QTabWidget;
class QTimer;
class QToolButton;
class QDialog;
class TLumoTikanForm;
class TLumoKasanForm;
class TLumoRenbanForm;

namespace widgets {
class LineEditor;
class StringGrid;
} // namespace widgets

namespace lumo {

class TTargetCADForm;

inline const QString kApplicationTitle = QStringLiteral("LumoEdit");

// Where the window's files live; tests point it at a scratch directory.
struct FilePaths {
    QString settings;
    QString targetCadList;
    QString textTagList;
    QString tagSetList;
    static FilePaths besideExecutable();
};

class TLumoMainForm : public QMainWindow, public FormFields {
    Q_OBJECT
public:
    explicit TLumoMainForm(const FilePaths &paths = FilePaths::besideExecutable(), QWidget *parent = nullptr);
    ~TLumoMainForm() override;

    // Page 0: "TEXT, 属性編集"
    QToolButton *SpeedButton1 = nullptr; // "TEXT"
    QToolButton *SpeedButton2 = nullptr; // "更新(Ctrl+Enter)"
    QToolButton *SpeedButton6 = nullptr; // "整列"
    QLineEdit *Edit1 = nullptr;          // dX
    QLineEdit *Edit2 = nullptr;          // dY
    QToolButton *SpeedButton8 = nullptr; // "ATTR"
    QComboBox *ComboBox1 = nullptr;      // tags
    QLabel *Label1 = nullptr;            // count
    QLabel *Label2 = nullptr;            // progress
    QCheckBox *CheckBox9 = nullptr;      // "PAN (Zoom Center)"
    QToolButton *SpeedButton7 = nullptr; // "CAD"
    QCheckBox *CheckBox1 = nullptr;      // "座標順取得"
    QToolButton *SpeedButton3 = nullptr; // "すべて選択"
    QToolButton *SpeedButton5 = nullptr; // "中止"
    QToolButton *SpeedButton4 = nullptr; // "Undo"
    widgets::LineEditor *SynEdit1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *N20 = nullptr, *N10 = nullptr, *N11 = nullptr, *N12 = nullptr;
    QAction *N1 = nullptr, *N2 = nullptr, *N4 = nullptr, *N5 = nullptr, *N28 = nullptr;
    QMenu *N21 = nullptr; // "その他のすべてを変換"
    QList<QAction *> conversionItems; // the ten items of N21, in menu order
    QAction *N7 = nullptr, *N8 = nullptr, *N14 = nullptr, *N15 = nullptr, *N17 = nullptr;
    QAction *N39 = nullptr, *N40 = nullptr, *N25 = nullptr, *N19 = nullptr;

    // Page 1: " 属性編集"
    QComboBox *ComboBox2 = nullptr;       // tag sets
    QToolButton *SpeedButton10 = nullptr; // "取得"
    QToolButton *SpeedButton12 = nullptr; // "中止"
    QToolButton *SpeedButton11 = nullptr; // "更新"
    QToolButton *SpeedButton13 = nullptr; // "UNDO"
    QToolButton *SpeedButton16 = nullptr; // "取得順"
    QToolButton *SpeedButton17 = nullptr; // "文字順"
    QToolButton *SpeedButton18 = nullptr; // "数字順"
    QCheckBox *CheckBox2 = nullptr;       // "Enter=[ ↓ ]"
    QCheckBox *CheckBox5 = nullptr;       // "Enter = 更新"
    QCheckBox *CheckBox6 = nullptr;       // "PAN (Zoom Center)"
    QLabel *Label3 = nullptr;             // count
    QLabel *Label4 = nullptr;             // "※固定セルのクリックですべて選択"
    widgets::StringGrid *StringGrid1 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QAction *N32 = nullptr, *N33 = nullptr, *N35 = nullptr, *N36 = nullptr, *N42 = nullptr, *N31 = nullptr;
    QAction *AG1 = nullptr, *AG2 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;

    // Page 2: "TEXT 検索・編集"
    QLabel *Label6 = nullptr;             // "検索 (部分一致)"
    QLineEdit *Edit3 = nullptr;           // pattern
    QToolButton *SpeedButton14 = nullptr; // "検索" / "中止"
    QToolButton *SpeedButton15 = nullptr; // "更新"
    QLabel *Label5 = nullptr;             // count
    QLabel *Label7 = nullptr;             // "Enter=検索"
    QCheckBox *CheckBox3 = nullptr;       // "先頭一致"
    QCheckBox *CheckBox4 = nullptr;       // "a->A"
    QCheckBox *CheckBox7 = nullptr;       // "Enter=[↓]"
    QCheckBox *CheckBox8 = nullptr;       // "Enter=更新"
    widgets::StringGrid *StringGrid2 = nullptr;

    QTabWidget *PageControl1 = nullptr;
    QLabel *StatusPanel0 = nullptr; // 150 px
    QLabel *StatusPanel1 = nullptr; // 100 px
    QTimer *Timer1 = nullptr;

    TTargetCADForm *TargetCADForm = nullptr;

    void setStatusPanel(int index, const QString &text);
    QString statusPanel(int index) const;

    // Handlers.
    void FormCreate();
    void FormCloseQuery();
    void FormDestroy();
    void FormResize();
    void PageControl1Change();
    void N25Click();
    void SpeedButton7Click();
    void Timer1Timer();

    // TEXT tab.
    void SpeedButton1Click(); // "TEXT"
    void SpeedButton2Click(); // "更新(Ctrl+Enter)"
    void SpeedButton3Click(); // "すべて選択"
    void SpeedButton4Click(); // "Undo"
    void SpeedButton5Click(); // "中止"
    void SpeedButton6Click(); // "整列"
    void SpeedButton8Click(); // "ATTR"
    void Edit1KeyPress();     // Enter in dX
    void Edit2KeyPress();     // Enter in dY
    void SynEdit1Click();
    void SynEdit1KeyUp();
    void SynEdit1KeyPress(QChar ch, Qt::KeyboardModifiers modifiers, bool *cancel);
    void PopupMenu1Popup();
    void UndoMark(bool flag);
    void N20Click(); // "クリア"
    void N10Click(); // "カット"
    void N11Click(); // "コピー"
    void N12Click(); // "ペースト"
    TextTab &textTab() { return m_textTab; }

    // Tag lists.
    void N39Click(); // "■ タグリストを編集（メモ帳を起動）"
    void N40Click(); // "■ タグリストを再読み込み"
    void AG1Click(); // "■TAG リスト編集(メモ帳起動)"
    void AG2Click(); // "■TAG リストを再読み込み"
    void connectTagListCommands();
    // End of tag lists.

    // Text tools: width conversion, replace, addition and numbering from the
    // editor's and the attribute grid's popup menus.
    TLumoTikanForm *LumoTikanForm = nullptr;   // "文字列置換"
    TLumoKasanForm *LumoKasanForm = nullptr;   // "加算"
    TLumoRenbanForm *LumoRenbanForm = nullptr; // "連番作成"
    void N1Click();                 // "すべて全角に"
    void N2Click();                 // "選択範囲を全角に"
    void N4Click();                 // "すべて半角に"
    void N5Click();                 // "選択範囲を半角に"
    void N28Click();                // "すべての半角 ( ) を全角に "
    void N23Click(QObject *Sender); // the ten items of "その他のすべてを変換"
    void N7Click();                 // "すべて置換"
    void N8Click();                 // "選択範囲を置換"
    void N14Click();                // "すべて加算"
    void N15Click();                // "選択範囲を加算"
    void N17Click();                // "連番作成"
    void N32Click();                // grid "選択範囲のスペース以外を全角に"
    void N33Click();                // grid "選択範囲を半角に"
    void N35Click();                // grid "選択範囲を置換"
    void N36Click();                // grid "選択範囲の半角数字を加算"
    void N42Click();                // grid "選択範囲を加算"
    void N31Click();                // grid "連番作成"

    // Attribute tab.
    void SpeedButton10Click(); // "取得"
    void SpeedButton11Click(); // "更新"
    void SpeedButton12Click(); // "中止"
    void SpeedButton13Click(); // "UNDO"
    void SpeedButton16Click(); // "取得順"
    void SpeedButton17Click(); // "文字順"
    void SpeedButton18Click(); // "数字順"
    void StringGrid1Click();
    void StringGrid1DrawCell(QPainter &painter, int col, int row, const QRect &rect, bool selected);
    void StringGrid1FixedCellClick(int col, int row);
    void StringGrid1GetEditText(int col, int row, QString &text);
    void StringGrid1KeyDown(int &key, Qt::KeyboardModifiers shift);
    void StringGrid1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &pos);
    void StringGrid1MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, const QPoint &pos);
    void StringGrid1MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &pos);
    AttrTab &attrTab() { return m_attrTab; }
    // Cell undo stacks of the attribute grid and of the search result grid.
    std::unique_ptr<TUndoCells> FUndoCells = std::make_unique<TUndoCells>();
    std::unique_ptr<TUndoCells> FUndoCells2 = std::make_unique<TUndoCells>();
    // End of attribute tab.

    // Search tab.
    void SpeedButton14Click(); // "検索" / "中止"
    void SpeedButton15Click(); // "更新"
    void Edit3KeyPress(QChar &key); // key becomes 0 when swallowed
    void CheckBox3Click();     // "先頭一致"
    void CheckBox4Click();     // "a->A"
    void StringGrid2DrawCell(QPainter &painter, int col, int row, const QRect &rect, bool selected);
    void StringGrid2GetEditText(int col, int row, QString &text);
    void StringGrid2KeyDown(int &key, Qt::KeyboardModifiers shift);
    void StringGrid2Click();
    SearchTab &searchTab() { return m_searchTab; }
    // End of search tab.

    const FilePaths &paths() const { return m_paths; }
    // Settings as read at start (the window applies them in FormCreate).
    const Settings &startSettings() const { return m_startSettings; }

    // Shows a dialog modally with the always-on-top swap: the main window
    // leaves the top layer while the dialog is in it.
    int runModalTopmost(QDialog *dialog);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildTextPage(QWidget *page);
    void buildAttributePage(QWidget *page);
    void buildSearchPage(QWidget *page);
    void buildEditorMenu();
    void buildGridMenu();
    void connectTextTab();
    void connectToolCommands();
    void addToSelectedCells(bool everyCell);
    void connectAttributeTab(); // attribute tab
    void connectSearchTab();
    Settings collectSettings() const;
    void applyTagItems(QComboBox *box, const QStringList &items, int index);
    void reloadTagBox(TagListFile &file, QComboBox *box);
    void openTagListInEditor(const TagListFile &file);

    FilePaths m_paths;
    Settings m_startSettings;
    TagListFile m_textTags;
    TagListFile m_tagSets;
    bool m_closed = false;
    TextTab m_textTab;
    AttrTab m_attrTab; // attribute tab
    SearchTab m_searchTab;
};

// Keeps a combo box's items in case-insensitive order.
void setSortedItems(QComboBox *box, QStringList items);

} // namespace lumo
