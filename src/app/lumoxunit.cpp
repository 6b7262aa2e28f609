#include "app/lumoxunit.h"
#include "app/version.h"

#include "cad/connection.h"
#include "app/targetcadform.h"
#include "taglists/unsavednotice.h"
#include "widgets/lineeditor.h"
#include "widgets/messagebox.h"
#include "widgets/stringgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumo {

namespace {

constexpr int kClientWidth = 328;
constexpr int kClientHeight = 320;

QToolButton *speedButton(const QString &caption, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // Never narrower than its caption: the captions are the user's only labels.
    b->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QCheckBox *checkBox(const QString &caption, QWidget *parent)
{
    auto *c = new QCheckBox(caption, parent);
    c->setFocusPolicy(Qt::NoFocus);
    return c;
}

QHBoxLayout *row()
{
    auto *l = new QHBoxLayout;
    l->setSpacing(2);
    l->setContentsMargins(0, 0, 0, 0);
    return l;
}

// Tahoma where it is installed; otherwise the system's sans serif at the same size.
QFont windowFont()
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(11);
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        f.setStyleHint(QFont::SansSerif);
    return f;
}

cad::WindowHandle windowHandleOf(QWidget *w)
{
    return cad::WindowHandle(w->winId());
}

// Once per file and run: the file is kept as it is, the user must know why.
void tellUndecodable(const QString &path, QWidget *parent)
{
    const QString notice = undecodableNotice(path);
    if (!notice.isNull())
        widgets::showMessage(widgets::MessageKind::Warning, notice, parent);
}

} // namespace


FilePaths FilePaths::besideExecutable()
{
    FilePaths p;
    p.settings = settingsPath();
    p.targetCadList = lumo::besideExecutable(QStringLiteral("TargetCAD_APIVersion.txt"));
    p.textTagList = lumo::besideExecutable(kTextTagListFile);
    p.tagSetList = lumo::besideExecutable(kTagSetListFile);
    return p;
}

void setSortedItems(QComboBox *box, QStringList items)
{
    sortTagItems(items);
    box->clear();
    box->addItems(items);
}

TLumoMainForm::TLumoMainForm(const FilePaths &paths, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_paths(paths)
{
    setWindowTitle(kApplicationTitle);
    setFont(windowFont());

    PageControl1 = new QTabWidget(this);
    PageControl1->setDocumentMode(false);
    auto *page0 = new QWidget;
    auto *page1 = new QWidget;
    auto *page2 = new QWidget;
    PageControl1->addTab(page0, QStringLiteral("TEXT, 属性編集"));
    PageControl1->addTab(page1, QStringLiteral(" 属性編集"));
    PageControl1->addTab(page2, QStringLiteral("TEXT 検索・編集"));
    buildTextPage(page0);
    buildAttributePage(page1);
    buildSearchPage(page2);
    setCentralWidget(PageControl1);

    StatusPanel0 = new QLabel;
    StatusPanel0->setFixedWidth(150);
    StatusPanel1 = new QLabel;
    StatusPanel1->setFixedWidth(100);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);
    statusBar()->setSizeGripEnabled(false);

    setFixedSize(kClientWidth, kClientHeight);

    Timer1 = new QTimer(this);
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, &TLumoMainForm::Timer1Timer);

    connect(PageControl1, &QTabWidget::currentChanged, this, [this] { PageControl1Change(); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { SpeedButton7Click(); });
    connect(N25, &QAction::triggered, this, [this] { N25Click(); });

    TargetCADForm = new TTargetCADForm(m_paths.targetCadList, this);
    connectToolCommands();
    connectTextTab();
    connectTagListCommands();
    connectAttributeTab();
    connectSearchTab();

    FormCreate();
    Timer1->start();
}

TLumoMainForm::~TLumoMainForm()
{
    FormDestroy();
}

void TLumoMainForm::buildTextPage(QWidget *page)
{
    auto *v = new QVBoxLayout(page);
    v->setContentsMargins(3, 3, 3, 3);
    v->setSpacing(2);

    SpeedButton1 = speedButton(QStringLiteral("TEXT"), page);
    SpeedButton2 = speedButton(QStringLiteral("更新(Ctrl+Enter)"), page);
    SpeedButton6 = speedButton(QStringLiteral("整列"), page);
    Edit1 = new QLineEdit(page);
    Edit2 = new QLineEdit(page);
    for (QLineEdit *e : {Edit1, Edit2}) {
        e->setAlignment(Qt::AlignRight);
        e->setFixedWidth(46);
    }
    auto *r1 = row();
    r1->addWidget(SpeedButton1);
    r1->addWidget(SpeedButton2);
    r1->addWidget(SpeedButton6);
    r1->addStretch();
    r1->addWidget(new QLabel(QStringLiteral("dX :"), page));
    r1->addWidget(Edit1);
    r1->addWidget(new QLabel(QStringLiteral("dY :"), page));
    r1->addWidget(Edit2);
    v->addLayout(r1);

    SpeedButton8 = speedButton(QStringLiteral("ATTR"), page);
    ComboBox1 = new QComboBox(page);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMaxVisibleItems(16);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox1->setMinimumContentsLength(10);
    Label1 = new QLabel(page);
    Label2 = new QLabel(page);
    auto *r2 = row();
    r2->addWidget(SpeedButton8);
    r2->addWidget(ComboBox1, 1);
    r2->addWidget(Label1);
    v->addLayout(r2);

    CheckBox9 = checkBox(QStringLiteral("PAN (Zoom Center)"), page);
    SpeedButton7 = speedButton(QStringLiteral("CAD"), page);
    CheckBox1 = checkBox(QStringLiteral("座標順取得"), page);
    auto *r3 = row();
    r3->addWidget(CheckBox9);
    r3->addWidget(SpeedButton7);
    r3->addWidget(CheckBox1);
    r3->addStretch();
    v->addLayout(r3);

    SpeedButton3 = speedButton(QStringLiteral("すべて選択"), page);
    SpeedButton5 = speedButton(QStringLiteral("中止"), page);
    SpeedButton4 = speedButton(QStringLiteral("Undo"), page);
    // The progress label shows only during a run, in the place of "すべて選択"
    // (hidden meanwhile), where its longest text has room.
    auto *r4 = row();
    r4->addWidget(SpeedButton3);
    r4->addWidget(Label2);
    r4->addWidget(SpeedButton5);
    r4->addWidget(SpeedButton4);
    r4->addStretch();
    v->addLayout(r4);

    SynEdit1 = new widgets::LineEditor(page);
    v->addWidget(SynEdit1, 1);

    SpeedButton2->setEnabled(false);
    SpeedButton6->setEnabled(false);
    SpeedButton5->setEnabled(false);
    SpeedButton4->setEnabled(false);
    buildEditorMenu();
}

void TLumoMainForm::buildEditorMenu()
{
    PopupMenu1 = new QMenu(this);
    QMenu *m = PopupMenu1;
    N20 = m->addAction(QStringLiteral("クリア"));
    N10 = m->addAction(QStringLiteral("カット"));
    N11 = m->addAction(QStringLiteral("コピー"));
    N12 = m->addAction(QStringLiteral("ペースト"));
    m->addSeparator();
    N1 = m->addAction(QStringLiteral("すべて全角に"));
    N2 = m->addAction(QStringLiteral("選択範囲を全角に"));
    m->addSeparator();
    N4 = m->addAction(QStringLiteral("すべて半角に"));
    N5 = m->addAction(QStringLiteral("選択範囲を半角に"));
    m->addSeparator();
    N28 = m->addAction(QStringLiteral("すべての半角 ( ) を全角に "));
    m->addSeparator();
    N21 = m->addMenu(QStringLiteral("その他のすべてを変換"));
    for (const char *caption :
         {"半角カタカナを全角に", "全角カタカナを半角に", "半角数字(0..9)を全角に", "全角数字(0..9)を半角に",
          "半角数値(0..9+-.,)を全角に", "全角数値(0..9+-.,)を半角に", "半角アルファベット(A..Z)を全角に",
          "全角アルファベット(A..Z)を半角に", "半角記号を全角に", "全角記号を半角に"})
        conversionItems << N21->addAction(QString::fromUtf8(caption));
    m->addSeparator();
    N7 = m->addAction(QStringLiteral("すべて置換"));
    N8 = m->addAction(QStringLiteral("選択範囲を置換"));
    m->addSeparator();
    N14 = m->addAction(QStringLiteral("すべて加算"));
    N15 = m->addAction(QStringLiteral("選択範囲を加算"));
    m->addSeparator();
    N17 = m->addAction(QStringLiteral("連番作成"));
    m->addSeparator();
    N39 = m->addAction(QStringLiteral("■ タグリストを編集（メモ帳を起動）"));
    N40 = m->addAction(QStringLiteral("■ タグリストを再読み込み"));
    m->addSeparator();
    N25 = m->addAction(QStringLiteral("バージョン情報"));
    m->addSeparator();
    N19 = m->addAction(QStringLiteral("取り消し"));

    SynEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SynEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(SynEdit1->mapToGlobal(pos)); });
}

void TLumoMainForm::buildAttributePage(QWidget *page)
{
    auto *v = new QVBoxLayout(page);
    v->setContentsMargins(3, 3, 3, 3);
    v->setSpacing(2);

    ComboBox2 = new QComboBox(page);
    ComboBox2->setEditable(false);
    ComboBox2->setMaxVisibleItems(16);
    ComboBox2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox2->setMinimumContentsLength(10);
    SpeedButton10 = speedButton(QStringLiteral("取得"), page);
    SpeedButton12 = speedButton(QStringLiteral("中止"), page);
    auto *r1 = row();
    r1->addWidget(ComboBox2, 1);
    r1->addWidget(SpeedButton10);
    r1->addWidget(SpeedButton12);
    v->addLayout(r1);

    SpeedButton11 = speedButton(QStringLiteral("更新"), page);
    SpeedButton13 = speedButton(QStringLiteral("UNDO"), page);
    SpeedButton16 = speedButton(QStringLiteral("取得順"), page);
    SpeedButton17 = speedButton(QStringLiteral("文字順"), page);
    SpeedButton18 = speedButton(QStringLiteral("数字順"), page);
    Label3 = new QLabel(page);
    auto *r2 = row();
    r2->addWidget(SpeedButton11);
    r2->addWidget(SpeedButton13);
    r2->addWidget(SpeedButton16);
    r2->addWidget(SpeedButton17);
    r2->addWidget(SpeedButton18);
    r2->addStretch();
    v->addLayout(r2);

    CheckBox2 = checkBox(QStringLiteral("Enter=[ ↓ ]"), page);
    CheckBox5 = checkBox(QStringLiteral("Enter = 更新"), page);
    CheckBox6 = checkBox(QStringLiteral("PAN (Zoom Center)"), page);
    auto *r3 = row();
    r3->addWidget(CheckBox2);
    r3->addWidget(CheckBox5);
    r3->addWidget(CheckBox6);
    r3->addStretch();
    v->addLayout(r3);

    // The count label goes beside the note: beside the five buttons a
    // five-digit "INSERT = n / count" had no room.
    Label4 = new QLabel(QStringLiteral("※固定セルのクリックですべて選択"), page);
    auto *r4 = row();
    r4->addWidget(Label4);
    r4->addStretch();
    r4->addWidget(Label3);
    v->addLayout(r4);

    StringGrid1 = new widgets::StringGrid(page);
    v->addWidget(StringGrid1, 1);
    ProgressBar1 = new QProgressBar(page);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedHeight(8);
    ProgressBar1->setValue(0);
    v->addWidget(ProgressBar1);

    SpeedButton12->setEnabled(false);
    SpeedButton11->setEnabled(false);
    buildGridMenu();
}

void TLumoMainForm::buildGridMenu()
{
    PopupMenu2 = new QMenu(this);
    QMenu *m = PopupMenu2;
    N32 = m->addAction(QStringLiteral("選択範囲のスペース以外を全角に"));
    N33 = m->addAction(QStringLiteral("選択範囲を半角に"));
    m->addSeparator();
    N35 = m->addAction(QStringLiteral("選択範囲を置換"));
    m->addSeparator();
    N36 = m->addAction(QStringLiteral("選択範囲の半角数字を加算"));
    N42 = m->addAction(QStringLiteral("選択範囲を加算"));
    m->addSeparator();
    N31 = m->addAction(QStringLiteral("連番作成"));
    m->addSeparator();
    AG1 = m->addAction(QStringLiteral("■TAG リスト編集(メモ帳起動)"));
    AG2 = m->addAction(QStringLiteral("■TAG リストを再読み込み"));

    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu2->popup(StringGrid1->viewport()->mapToGlobal(pos)); });
}

void TLumoMainForm::buildSearchPage(QWidget *page)
{
    auto *v = new QVBoxLayout(page);
    v->setContentsMargins(3, 3, 3, 3);
    v->setSpacing(2);

    Label6 = new QLabel(QStringLiteral("検索 (部分一致)"), page);
    Label7 = new QLabel(QStringLiteral("Enter=検索"), page);
    auto *r0 = row();
    r0->addWidget(Label6, 1);
    r0->addWidget(Label7);
    v->addLayout(r0);

    Edit3 = new QLineEdit(page);
    Edit3->setPlaceholderText(QStringLiteral("[Enter]で検索（ワイルドカード * ? が使えます)"));
    SpeedButton14 = speedButton(QStringLiteral("検索"), page);
    SpeedButton15 = speedButton(QStringLiteral("更新"), page);
    auto *r1 = row();
    r1->addWidget(Edit3, 1);
    r1->addWidget(SpeedButton14);
    r1->addWidget(SpeedButton15);
    v->addLayout(r1);

    CheckBox3 = checkBox(QStringLiteral("先頭一致"), page);
    CheckBox4 = checkBox(QStringLiteral("a->A"), page);
    Label5 = new QLabel(page);
    auto *r2 = row();
    r2->addWidget(CheckBox3);
    r2->addWidget(CheckBox4);
    r2->addWidget(Label5, 1);
    v->addLayout(r2);

    CheckBox8 = checkBox(QStringLiteral("Enter=更新"), page);
    CheckBox7 = checkBox(QStringLiteral("Enter=[↓]"), page);
    auto *r3 = row();
    r3->addWidget(CheckBox8);
    r3->addWidget(CheckBox7);
    r3->addStretch();
    v->addLayout(r3);

    StringGrid2 = new widgets::StringGrid(page);
    v->addWidget(StringGrid2, 1);

    SpeedButton15->setEnabled(false);
}

void TLumoMainForm::setStatusPanel(int index, const QString &text)
{
    QLabel *panel = index == 0 ? StatusPanel0 : StatusPanel1;
    if (panel->text() != text)
        panel->setText(text);
}

QString TLumoMainForm::statusPanel(int index) const
{
    return (index == 0 ? StatusPanel0 : StatusPanel1)->text();
}

void TLumoMainForm::applyTagItems(QComboBox *box, const QStringList &items, int index)
{
    setSortedItems(box, items);
    if (index >= 0 && index < box->count())
        box->setCurrentIndex(index);
    else if (index < 0)
        box->setCurrentIndex(-1);
    else
        box->setCurrentIndex(box->count() > 0 ? 0 : -1);
}

void TLumoMainForm::FormCreate()
{
    cad::targetProgID() = cad::kDefaultProgID;
    startCol = -1;
    startRow = -1;

    Edit1->clear();
    Edit2->clear();
    Label1->clear();
    Label2->clear();
    Label3->clear();
    Label5->clear();
    StringGrid1->setColumnWidth(0, 30);
    PageControl1->setCurrentIndex(0);
    FormResize();
    SynEdit1->clear();

    IniFile ini;
    ini.load(m_paths.settings);
    if (ini.undecodable())
        tellUndecodable(m_paths.settings, this);
    m_startSettings = readSettings(ini);
    const Settings &s = m_startSettings;
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    move(s.left.value_or((screen.width() - width()) / 2), s.top.value_or((screen.height() - height()) / 2));
    cad::targetProgID() = s.progId;
    CheckBox1->setChecked(s.sort);
    CheckBox2->setChecked(s.cursor);
    CheckBox3->setChecked(s.sentou);
    CheckBox4->setChecked(s.upperCase);
    CheckBox8->setChecked(s.enter);
    CheckBox6->setChecked(s.zoomCenter);
    CheckBox5->setChecked(s.attEnter);
    CheckBox7->setChecked(s.attEnterDown);
    CheckBox9->setChecked(s.zoomCenter2);

    // Capital letters as they are typed into the pattern, when "a->A" is on.
    connect(Edit3, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (CheckBox4->isChecked() && text != text.toUpper()) {
            const int pos = Edit3->cursorPosition();
            Edit3->setText(text.toUpper());
            Edit3->setCursorPosition(pos);
        }
    });

    const QString name = TTargetCADForm::captionNameFor(m_paths.targetCadList, cad::targetProgID());
    if (!name.isNull())
        setWindowTitle(kApplicationTitle + QStringLiteral(" [ ") + name + QStringLiteral(" ]"));

    m_textTags.path = m_paths.textTagList;
    m_tagSets.path = m_paths.tagSetList;
    QStringList items = builtinTextTags();
    loadTagListAtStart(m_textTags, items);
    applyTagItems(ComboBox1, items, s.attTagIndex1);
    items = builtinTagSets();
    loadTagListAtStart(m_tagSets, items);
    applyTagItems(ComboBox2, items, s.attTagIndex2);
    for (const TagListFile *file : {&m_textTags, &m_tagSets}) {
        if (file->keepAsIs)
            tellUndecodable(file->path, this);
    }
}

Settings TLumoMainForm::collectSettings() const
{
    Settings s;
    s.left = pos().x();
    s.top = pos().y();
    s.progId = cad::targetProgID();
    s.sort = CheckBox1->isChecked();
    s.attTag = ComboBox1->currentText();
    s.attTagIndex2 = ComboBox2->currentIndex();
    s.cursor = CheckBox2->isChecked();
    s.attTagIndex1 = ComboBox1->currentIndex();
    s.sentou = CheckBox3->isChecked();
    s.upperCase = CheckBox4->isChecked();
    s.enter = CheckBox8->isChecked();
    s.zoomCenter = CheckBox6->isChecked();
    s.attEnter = CheckBox5->isChecked();
    s.attEnterDown = CheckBox7->isChecked();
    s.zoomCenter2 = CheckBox9->isChecked();
    return s;
}

void TLumoMainForm::FormCloseQuery()
{
    // Nothing here may keep the window from closing: a file that cannot be
    // written is skipped, and the user is told once which ones were lost.
    QStringList unsaved;
    QStringList reasons;
    IniFile ini;
    ini.load(m_paths.settings);
    writeSettings(ini, collectSettings());
    QString error;
    // A file no encoding reads cleanly is kept on purpose (told at start).
    if (!ini.undecodable() && !ini.save(m_paths.settings, &error)) {
        unsaved << m_paths.settings;
        reasons << error;
    }

    auto itemsOf = [](const QComboBox *box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    };
    for (auto [file, box] : {std::pair{&m_textTags, ComboBox1}, std::pair{&m_tagSets, ComboBox2}}) {
        error.clear();
        if (saveTagList(*file, itemsOf(box), &error) == SaveResult::Failed) {
            unsaved << file->path;
            reasons << error;
        }
    }
    if (!unsaved.isEmpty()) {
        // Unchanged tag lists need no write, so often only the settings are lost.
        const bool settingsLost = unsaved.first() == m_paths.settings;
        const bool tagsLost = unsaved.size() > (settingsLost ? 1 : 0);
        const QString settings = QStringLiteral("今回の設定（ウィンドウの位置、ターゲット CAD、チェックボックス）");
        const QString lost = settingsLost && tagsLost ? settings + QStringLiteral("とタグリストの変更は失われます．")
                           : settingsLost             ? settings + QStringLiteral("は失われます．")
                                                      : QStringLiteral("タグリストの変更は失われます．");
        reasons.removeDuplicates();
        widgets::showMessage(widgets::MessageKind::Warning, unsavedFilesNotice(unsaved, lost, reasons), this);
    }
}

void TLumoMainForm::FormDestroy()
{
    if (Timer1)
        Timer1->stop();
}

void TLumoMainForm::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        FormCloseQuery();
    }
    event->accept();
}

void TLumoMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TLumoMainForm::FormResize()
{
    if (StringGrid2 && StringGrid2->columnCount() > 0)
        StringGrid2->setColumnWidth(0, StringGrid2->viewport()->width());
}

void TLumoMainForm::PageControl1Change()
{
    setStatusPanel(0, QString());
    setStatusPanel(1, QString());
}

void TLumoMainForm::N25Click()
{
    widgets::showMessage(widgets::MessageKind::Information,
                         QStringLiteral("%1  Version %2  (%3)")
                             .arg(kApplicationTitle, QStringLiteral(LUMO_VERSION_TEXT), QStringLiteral(LUMO_VERSION_DATE)),
                         this);
}

int TLumoMainForm::runModalTopmost(QDialog *dialog)
{
    cad::WindowOps &w = cad::windowOps();
    w.setTopmost(windowHandleOf(this), false);
    w.setTopmost(windowHandleOf(dialog), true);
    const int result = dialog->exec();
    w.setTopmost(windowHandleOf(dialog), false);
    w.setTopmost(windowHandleOf(this), true);
    return result;
}

void TLumoMainForm::SpeedButton7Click()
{
    if (runModalTopmost(TargetCADForm) == QDialog::Accepted) {
        setWindowTitle(kApplicationTitle + QStringLiteral(" [ ") + TargetCADForm->nameField() + QStringLiteral(" ]"));
        cad::targetProgID() = TargetCADForm->progIdField();
    }
}

void TLumoMainForm::Timer1Timer()
{
    // Only the TEXT tab has a status display; the other tabs keep what they wrote.
    if (PageControl1->currentIndex() != 0)
        return;
    Timer1->stop();
    StatusDisplay(m_textTab);
    Timer1->start();
}

void TLumoMainForm::connectTextTab()
{
    TextTab &t = m_textTab;
    t.mainWindow = this;
    t.fields = this;
    t.editor = SynEdit1;
    t.textButton = SpeedButton1;
    t.writeButton = SpeedButton2;
    t.alignButton = SpeedButton6;
    t.selectAllButton = SpeedButton3;
    t.stopButton = SpeedButton5;
    t.undoButton = SpeedButton4;
    t.dxBox = Edit1;
    t.dyBox = Edit2;
    t.countLabel = Label1;
    t.progressLabel = Label2;
    t.sortBox = CheckBox1;
    t.panBox = CheckBox9;
    t.tagBox = ComboBox1;
    t.setStatusPanel = [this](int panel, const QString &text) { setStatusPanel(panel, text); };
    t.statusPanel = [this](int panel) { return statusPanel(panel); };
    // While a long run goes over the lines, nothing may change them or the
    // snapshot under it.
    t.lockedWhileRunning = {SynEdit1,      SpeedButton1, SpeedButton2, SpeedButton6, SpeedButton8,
                            SpeedButton10, SpeedButton14, N20,         N12,          N1,
                            N2,            N4,           N5,           N28,          N21->menuAction(),
                            N7,            N8,           N14,          N15,          N17,
                            N10};

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { SpeedButton5Click(); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { SpeedButton6Click(); });
    connect(SpeedButton8, &QToolButton::clicked, this, [this] { SpeedButton8Click(); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { Edit1KeyPress(); });
    connect(Edit2, &QLineEdit::returnPressed, this, [this] { Edit2KeyPress(); });
    connect(SynEdit1, &widgets::LineEditor::clicked, this, [this] { SynEdit1Click(); });
    connect(SynEdit1, &widgets::LineEditor::keyUp, this, [this] { SynEdit1KeyUp(); });
    connect(SynEdit1, &widgets::LineEditor::keyPressed, this, &TLumoMainForm::SynEdit1KeyPress);
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
    connect(N20, &QAction::triggered, this, [this] { N20Click(); });
    connect(N10, &QAction::triggered, this, [this] { N10Click(); });
    connect(N11, &QAction::triggered, this, [this] { N11Click(); });
    connect(N12, &QAction::triggered, this, [this] { N12Click(); });
}

void TLumoMainForm::SpeedButton1Click()
{
    widgets::withErrorReport([this] { AcquireTexts(m_textTab); }, this);
}

void TLumoMainForm::SpeedButton2Click()
{
    widgets::withErrorReport([this] { WriteBackTexts(m_textTab); }, this);
}

void TLumoMainForm::SpeedButton6Click()
{
    widgets::withErrorReport([this] { AlignTexts(m_textTab); }, this);
}

void TLumoMainForm::SpeedButton8Click()
{
    widgets::withErrorReport([this] { AcquireAttributeLines(m_textTab); }, this);
}

void TLumoMainForm::Edit1KeyPress()
{
    Edit2->setFocus();
}

void TLumoMainForm::Edit2KeyPress()
{
    if (!SpeedButton6->isEnabled())
        return;
    SpeedButton6Click();
    Edit2->setFocus();
    cad::windowOps().setForegroundWindow(cad::WindowHandle(winId()));
}

void TLumoMainForm::SpeedButton3Click()
{
    SynEdit1->selectAll();
}

void TLumoMainForm::SpeedButton4Click()
{
    UndoButton(m_textTab);
}

void TLumoMainForm::SpeedButton5Click()
{
    StopRun(m_textTab);
}

void TLumoMainForm::SynEdit1Click()
{
    widgets::withErrorReport([this] { CaretYChanged(m_textTab, SynEdit1->caretLine()); }, this);
}

void TLumoMainForm::SynEdit1KeyUp()
{
    widgets::withErrorReport([this] { CaretYChanged(m_textTab, SynEdit1->caretLine()); }, this);
}

void TLumoMainForm::SynEdit1KeyPress(QChar ch, Qt::KeyboardModifiers modifiers, bool *cancel)
{
    if (!(modifiers & Qt::ControlModifier))
        return;
    switch (ch.unicode()) {
    case 10: // Ctrl+Enter
        *cancel = true;
        SpeedButton2Click();
        cad::windowOps().setForegroundWindow(cad::WindowHandle(winId()));
        break;
    case 3: // Ctrl+C
        *cancel = true;
        N11Click();
        break;
    case 24: // Ctrl+X
        *cancel = true;
        N10Click();
        break;
    default:
        break;
    }
}

void TLumoMainForm::PopupMenu1Popup()
{
    const bool hasLines = SynEdit1->lineCount() > 0;
    const bool hasSelection = SynEdit1->selectionLength() > 0;
    for (QAction *a : {N1, N4, N7, N14})
        a->setEnabled(hasLines && !runFlag);
    for (QAction *a : {N2, N5, N8, N10, N15})
        a->setEnabled(hasSelection && !runFlag);
    N11->setEnabled(hasSelection);
    // While any long operation runs, nothing that rewrites the lines may start.
    for (QAction *a : {N20, N12, N28, N21->menuAction(), N17})
        a->setEnabled(!runFlag);
}

void TLumoMainForm::UndoMark(bool flag)
{
    lumo::UndoMark(m_textTab, flag);
}

void TLumoMainForm::N20Click()
{
    ClearCommand(m_textTab);
}

void TLumoMainForm::N10Click()
{
    if (!runFlag)
        CutCommand(m_textTab);
}

void TLumoMainForm::N11Click()
{
    CopyCommand(m_textTab);
}

void TLumoMainForm::N12Click()
{
    PasteCommand(m_textTab);
}

} // namespace lumo
