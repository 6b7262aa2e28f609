#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>

namespace widgets {

// The TEXT tab's line editor: one line per drawing text, a line-number gutter,
// a Japanese fixed-pitch font, and key/mouse events the main window can hook.
//
// Lines are counted from 0; an empty editor has no lines. Line breaks are '\n'
// in everything this class returns; "\r\n" and "\r" given to it become '\n'.
// Programmatic rewrites (setText, setLines, setLine, addLine, clearLines) are
// not undoable and empty the undo and redo history. replaceSelection and
// pasteFromClipboard are one undo group each.
// Trailing blanks (spaces, tabs) of every line the user has edited are left
// out of line(), lines() and text(); lines set by the program read back exactly.
class LineEditor : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit LineEditor(QWidget *parent = nullptr);

    // Lines. An index outside 0..lineCount()-1 reads as "" and is ignored on write.
    int lineCount() const;
    QString line(int index) const;
    QStringList lines() const;
    void addLine(const QString &text);
    void setLine(int index, const QString &text);
    void setLines(const QStringList &lines);
    void clearLines();
    void clear() { clearLines(); } // QPlainTextEdit::clear, kept consistent with clearLines

    // Suppresses repainting until the matching endUpdate; brackets nest.
    void beginUpdate();
    void endUpdate();

    // The whole text, lines joined by '\n' (no trailing break is added).
    QString text() const;
    void setText(const QString &text);

    // Selection. Positions count characters with a line break as one.
    QString selectedText() const;
    void replaceSelection(const QString &text);
    int selectionLength() const;
    int selectionStart() const;
    void setSelectionStart(int position); // caret to position, selection dropped
    void setCaretToStart();

    // Caret position, both counted from 1.
    int caretLine() const;
    int caretColumn() const;

    bool canUndo() const;
    void undoGroup();

    void pasteFromClipboard();

    QColor backgroundColour() const;
    void setBackgroundColour(const QColor &colour);

    int gutterWidth() const;

signals:
    void clicked();
    // Every key press that yields a character: printable text, Enter (13),
    // Tab (9), Backspace (8), and Ctrl+letter as its control character
    // (Ctrl+C = 3, Ctrl+X = 24, Ctrl+Enter = 10). Setting *cancel swallows the
    // key. Ctrl+C and Ctrl+X do nothing in the editor when not cancelled.
    void keyPressed(QChar ch, Qt::KeyboardModifiers modifiers, bool *cancel);
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void keyUp(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    friend class LineNumberGutter;
    void paintGutter(QPaintEvent *e);
    void updateGutterWidth();
    void updateGutter(const QRect &rect, int dy);
    void markEdited(int position, int removed, int added);
    static QString readLine(const QTextBlock &block);
    void replaceAllWithoutUndo(const QString &text);
    template <typename Edit> void editWithoutUndo(Edit edit);

    QWidget *m_gutter = nullptr;
    QFont m_gutterFont;
    int m_updateDepth = 0;
    bool m_programmatic = false; // rewrites by the program are no user edits
};

} // namespace widgets
