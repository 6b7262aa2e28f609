#include "widgets/lineeditor.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>

namespace widgets {

namespace {

QString normalisedBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int trimmedLength(const QString &text)
{
    int n = int(text.size());
    while (n > 0 && (text[n - 1] == QLatin1Char(' ') || text[n - 1] == QLatin1Char('\t')))
        --n;
    return n;
}

QFont japaneseFixedFont(int pixelSize)
{
    QFont font;
    // The Windows gothic first; the others stand in where it is missing.
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

// Windows reports Ctrl+letter as a control character and Ctrl+Enter as a
// line feed; the main window's key handler expects exactly those.
QChar characterOf(const QKeyEvent *e)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const bool alt = e->modifiers() & Qt::AltModifier;
    if (ctrl && !alt) {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            return QChar(10);
        if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
            return QChar(e->key() - Qt::Key_A + 1);
    }
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(13);
    case Qt::Key_Tab:
        return QChar(9);
    case Qt::Key_Backspace:
        return QChar(8);
    case Qt::Key_Escape:
        return QChar(27);
    default:
        break;
    }
    const QString text = e->text();
    return text.isEmpty() ? QChar() : text.front();
}

bool isCopyOrCut(QChar ch)
{
    return ch == QChar(3) || ch == QChar(24);
}

} // namespace

class LineNumberGutter : public QWidget
{
public:
    explicit LineNumberGutter(LineEditor *editor) : QWidget(editor), m_editor(editor) {}
    QSize sizeHint() const override { return {m_editor->gutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *e) override { m_editor->paintGutter(e); }
    void mousePressEvent(QMouseEvent *) override { m_editor->setFocus(Qt::MouseFocusReason); }

private:
    LineEditor *m_editor;
};

LineEditor::LineEditor(QWidget *parent)
    : QPlainTextEdit(parent)
    , m_gutter(new LineNumberGutter(this))
    , m_gutterFont(japaneseFixedFont(12))
{
    setFont(japaneseFixedFont(15));
    setFocusPolicy(Qt::ClickFocus);
    setTabChangesFocus(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(true);
    setAcceptDrops(true); // dragging a selection moves it

    connect(this, &QPlainTextEdit::blockCountChanged, this, &LineEditor::updateGutterWidth);
    connect(this, &QPlainTextEdit::updateRequest, this, &LineEditor::updateGutter);
    connect(document(), &QTextDocument::contentsChange, this, &LineEditor::markEdited);
    updateGutterWidth();
}

// ---- lines -----------------------------------------------------------------

int LineEditor::lineCount() const
{
    return document()->isEmpty() ? 0 : document()->blockCount();
}

QString LineEditor::line(int index) const
{
    if (index < 0 || index >= lineCount())
        return QString();
    return readLine(document()->findBlockByNumber(index));
}

QStringList LineEditor::lines() const
{
    QStringList result;
    const int count = lineCount();
    result.reserve(count);
    for (int i = 0; i < count; ++i)
        result.append(line(i));
    return result;
}

template <typename Edit> void LineEditor::editWithoutUndo(Edit edit)
{
    const bool wasProgrammatic = m_programmatic;
    m_programmatic = true;
    document()->setUndoRedoEnabled(false);
    edit();
    document()->setUndoRedoEnabled(true);
    document()->clearUndoRedoStacks();
    m_programmatic = wasProgrammatic;
}

void LineEditor::addLine(const QString &text)
{
    editWithoutUndo([&] {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        if (lineCount() > 0)
            cursor.insertBlock();
        cursor.insertText(normalisedBreaks(text));
        cursor.block().setUserState(-1);
    });
}

void LineEditor::setLine(int index, const QString &text)
{
    if (index < 0 || index >= lineCount())
        return;
    editWithoutUndo([&] {
        QTextCursor cursor(document()->findBlockByNumber(index));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(normalisedBreaks(text));
        cursor.block().setUserState(-1);
    });
}

void LineEditor::setLines(const QStringList &lines)
{
    replaceAllWithoutUndo(lines.join(QLatin1Char('\n')));
}

void LineEditor::clearLines()
{
    replaceAllWithoutUndo(QString());
}

void LineEditor::replaceAllWithoutUndo(const QString &text)
{
    editWithoutUndo([&] { setPlainText(normalisedBreaks(text)); });
}

void LineEditor::beginUpdate()
{
    if (m_updateDepth++ == 0)
        setUpdatesEnabled(false);
}

void LineEditor::endUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0) {
        setUpdatesEnabled(true);
        updateGutterWidth();
        viewport()->update();
        m_gutter->update();
    }
}

// ---- whole text and selection -----------------------------------------------

QString LineEditor::text() const
{
    return lines().join(QLatin1Char('\n'));
}

void LineEditor::setText(const QString &text)
{
    replaceAllWithoutUndo(text);
}

QString LineEditor::selectedText() const
{
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void LineEditor::replaceSelection(const QString &text)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(normalisedBreaks(text));
    cursor.endEditBlock();
    setTextCursor(cursor);
}

int LineEditor::selectionLength() const
{
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

int LineEditor::selectionStart() const
{
    return textCursor().selectionStart();
}

void LineEditor::setSelectionStart(int position)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(qBound(0, position, document()->characterCount() - 1));
    setTextCursor(cursor);
}

void LineEditor::setCaretToStart()
{
    moveCursor(QTextCursor::Start);
}

int LineEditor::caretLine() const
{
    return textCursor().blockNumber() + 1;
}

int LineEditor::caretColumn() const
{
    return textCursor().positionInBlock() + 1;
}

bool LineEditor::canUndo() const
{
    return document()->isUndoAvailable();
}

void LineEditor::undoGroup()
{
    undo();
}

void LineEditor::pasteFromClipboard()
{
    replaceSelection(QApplication::clipboard()->text());
}

void LineEditor::insertFromMimeData(const QMimeData *source)
{
    // Clipboard text from Windows carries CR LF; each break must become one line break.
    if (source && source->hasText())
        insertPlainText(normalisedBreaks(source->text()));
    else
        QPlainTextEdit::insertFromMimeData(source);
}

QColor LineEditor::backgroundColour() const
{
    return palette().color(QPalette::Base);
}

void LineEditor::setBackgroundColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    setPalette(p);
}

// ---- trailing blanks ----------------------------------------------------------
// Blanks the user leaves at the end of a line are not part of what the program
// reads. They stay in the document, so "A B" can be typed and the editor's
// undo history holds only the user's own edits. Lines the user has not edited
// keep their text exactly, trailing blanks included.

namespace {
constexpr int EditedLine = 1;
}

QString LineEditor::readLine(const QTextBlock &block)
{
    QString text = block.text();
    if (block.userState() == EditedLine)
        text.truncate(trimmedLength(text));
    return text;
}

void LineEditor::markEdited(int position, int /*removed*/, int added)
{
    if (m_programmatic)
        return;
    const QTextBlock last = document()->findBlock(position + added);
    for (QTextBlock block = document()->findBlock(position); block.isValid(); block = block.next()) {
        block.setUserState(EditedLine);
        if (block == last)
            break;
    }
}

// ---- events -------------------------------------------------------------------

bool LineEditor::event(QEvent *e)
{
    // Keep window shortcuts from taking the keys the main window handles as characters.
    if (e->type() == QEvent::ShortcutOverride) {
        const QChar ch = characterOf(static_cast<QKeyEvent *>(e));
        if (isCopyOrCut(ch) || ch == QChar(10)) {
            e->accept();
            return true;
        }
    }
    return QPlainTextEdit::event(e);
}

void LineEditor::keyPressEvent(QKeyEvent *e)
{
    emit keyDown(e->key(), e->modifiers());
    const QChar ch = characterOf(e);
    if (!ch.isNull()) {
        bool cancel = false;
        emit keyPressed(ch, e->modifiers(), &cancel);
        if (cancel || isCopyOrCut(ch)) {
            e->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void LineEditor::keyReleaseEvent(QKeyEvent *e)
{
    QPlainTextEdit::keyReleaseEvent(e);
    emit keyUp(e->key(), e->modifiers());
}

void LineEditor::mouseReleaseEvent(QMouseEvent *e)
{
    QPlainTextEdit::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton)
        emit clicked();
}

// ---- gutter -------------------------------------------------------------------

int LineEditor::gutterWidth() const
{
    int digits = 1;
    for (int n = qMax(1, document()->blockCount()); n >= 10; n /= 10)
        ++digits;
    digits = qMax(digits, 3);
    return 10 + QFontMetrics(m_gutterFont).horizontalAdvance(QLatin1Char('9')) * digits;
}

void LineEditor::updateGutterWidth()
{
    setViewportMargins(gutterWidth(), 0, 0, 0);
}

void LineEditor::updateGutter(const QRect &rect, int dy)
{
    if (dy)
        m_gutter->scroll(0, dy);
    else
        m_gutter->update(0, rect.y(), m_gutter->width(), rect.height());
}

void LineEditor::resizeEvent(QResizeEvent *e)
{
    QPlainTextEdit::resizeEvent(e);
    const QRect area = contentsRect();
    m_gutter->setGeometry(QRect(area.left(), area.top(), gutterWidth(), area.height()));
}

void LineEditor::paintGutter(QPaintEvent *e)
{
    QPainter painter(m_gutter);
    painter.fillRect(e->rect(), palette().color(QPalette::Window));
    painter.setFont(m_gutterFont);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int right = m_gutter->width() - 5;
    const int textHeight = QFontMetrics(m_gutterFont).height();

    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= e->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= e->rect().top())
            painter.drawText(0, top + (height - textHeight) / 2, right, textHeight, Qt::AlignRight,
                             QString::number(block.blockNumber() + 1));
        top += height;
        block = block.next();
    }
}

} // namespace widgets
