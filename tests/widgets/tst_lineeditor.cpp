#include "widgets/lineeditor.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

using widgets::LineEditor;

class TestLineEditor : public QObject
{
    Q_OBJECT

private:
    // A shown, focused editor, so typed keys behave as they do for a user.
    static void show(LineEditor &editor)
    {
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.setFocus();
    }

private slots:
    void linesOfText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("empty") << "" << QStringList{} << "";
        QTest::newRow("one") << "abc" << QStringList{"abc"} << "abc";
        QTest::newRow("lf") << "a\nb" << QStringList{"a", "b"} << "a\nb";
        QTest::newRow("crlf") << "a\r\nb\r\n" << QStringList{"a", "b", ""} << "a\nb\n";
        QTest::newRow("cr") << "a\rb" << QStringList{"a", "b"} << "a\nb";
        QTest::newRow("only break") << "\n" << QStringList{"", ""} << "\n";
        QTest::newRow("trailing blanks kept") << "a  \n b\t" << QStringList{"a  ", " b\t"}
                                              << "a  \n b\t";
        QTest::newRow("japanese") << "ＡＢＣ\n電線" << QStringList{"ＡＢＣ", "電線"}
                                  << "ＡＢＣ\n電線";
    }
    void linesOfText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QFETCH(QString, readBack);
        LineEditor editor;
        editor.setText(text);
        QCOMPARE(editor.lineCount(), lines.size());
        QCOMPARE(editor.lines(), lines);
        QCOMPARE(editor.text(), readBack);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(editor.line(i), lines[i]);

        LineEditor copy;
        copy.setLines(editor.lines());
        QCOMPARE(copy.text(), readBack);
    }

    void lineOutsideReadsEmpty()
    {
        LineEditor editor;
        QCOMPARE(editor.line(0), QString());
        editor.setText("a\nb");
        QCOMPARE(editor.line(-1), QString());
        QCOMPARE(editor.line(2), QString());
        QCOMPARE(editor.line(1000), QString());
        editor.setLine(5, "x"); // ignored
        QCOMPARE(editor.text(), QString("a\nb"));
    }

    void addAndClearLines()
    {
        LineEditor editor;
        editor.beginUpdate();
        editor.beginUpdate();
        editor.addLine("one");
        editor.addLine("");
        editor.addLine("three");
        editor.endUpdate();
        QVERIFY(!editor.updatesEnabled());
        editor.endUpdate();
        QVERIFY(editor.updatesEnabled());
        QCOMPARE(editor.lines(), (QStringList{"one", "", "three"}));
        QVERIFY(!editor.canUndo());
        editor.setLine(1, "two");
        QCOMPARE(editor.line(1), QString("two"));
        editor.clearLines();
        QCOMPARE(editor.lineCount(), 0);
        editor.addLine("again");
        QCOMPARE(editor.lines(), QStringList{"again"});
    }

    void programmaticRewriteEmptiesHistory_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("clearLines") << 0;
        QTest::newRow("setText") << 1;
        QTest::newRow("setLines") << 2;
        QTest::newRow("addLine") << 3;
        QTest::newRow("setLine") << 4;
    }
    void programmaticRewriteEmptiesHistory()
    {
        QFETCH(int, operation);
        LineEditor editor;
        show(editor);
        QTest::keyClicks(&editor, "abc");
        QTest::keyClick(&editor, Qt::Key_Return);
        QTest::keyClicks(&editor, "def");
        editor.undoGroup();
        QVERIFY(editor.canUndo());
        QVERIFY(editor.document()->isRedoAvailable());

        switch (operation) {
        case 0: editor.clearLines(); break;
        case 1: editor.setText("new"); break;
        case 2: editor.setLines({"x", "y"}); break;
        case 3: editor.addLine("z"); break;
        case 4: editor.setLine(0, "w"); break;
        }
        QVERIFY(!editor.canUndo());
        QVERIFY(!editor.document()->isRedoAvailable());
        const QString before = editor.text();
        editor.undoGroup();
        QCOMPARE(editor.text(), before);
    }

    void undoGroupTakesBackATypedRun()
    {
        LineEditor editor;
        editor.setText("start");
        show(editor);
        editor.moveCursor(QTextCursor::End);
        QVERIFY(!editor.canUndo());
        QTest::keyClicks(&editor, "hello");
        QCOMPARE(editor.text(), QString("starthello"));
        QVERIFY(editor.canUndo());
        editor.undoGroup();
        QCOMPARE(editor.text(), QString("start"));
        QVERIFY(!editor.canUndo());
    }

    void typingAndDeletingAreSeparateGroups()
    {
        LineEditor editor;
        show(editor);
        QTest::keyClicks(&editor, "abcd");
        QTest::keyClick(&editor, Qt::Key_Backspace);
        QTest::keyClick(&editor, Qt::Key_Backspace);
        QCOMPARE(editor.text(), QString("ab"));
        editor.undoGroup();
        QCOMPARE(editor.text(), QString("abcd"));
        editor.undoGroup();
        QCOMPARE(editor.text(), QString());
    }

    void controlKeysArriveAsCharacters_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("character");
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << 3;
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier) << 24;
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << 10;
        QTest::newRow("Ctrl+keypad Enter")
            << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << 10;
        QTest::newRow("Ctrl+Shift+C") << int(Qt::Key_C) << int(Qt::ControlModifier | Qt::ShiftModifier) << 3;
        QTest::newRow("Return") << int(Qt::Key_Return) << 0 << 13;
        QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << 9;
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << int('a');
    }
    void controlKeysArriveAsCharacters()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, character);
        LineEditor editor;
        editor.setText("line one\nline two");
        show(editor);
        editor.selectAll();
        QList<QPair<QChar, bool>> seen;
        connect(&editor, &LineEditor::keyPressed, &editor,
                [&](QChar ch, Qt::KeyboardModifiers mods, bool *cancel) {
                    seen.append({ch, bool(mods & Qt::ControlModifier)});
                    *cancel = true;
                });
        QTest::keyClick(&editor, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].first, QChar(character));
        QCOMPARE(seen[0].second, bool(modifiers & Qt::ControlModifier));
        // Cancelled: the editor did nothing with the key.
        QCOMPARE(editor.text(), QString("line one\nline two"));
        QCOMPARE(editor.selectionLength(), editor.text().size());
    }

    void ctrlCAndCtrlXDoNothingByThemselves_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Ctrl+C") << int(Qt::Key_C);
        QTest::newRow("Ctrl+X") << int(Qt::Key_X);
    }
    void ctrlCAndCtrlXDoNothingByThemselves()
    {
        QFETCH(int, key);
        LineEditor editor;
        editor.setText("keep me");
        show(editor);
        editor.selectAll();
        QApplication::clipboard()->setText("sentinel");
        QTest::keyClick(&editor, Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(editor.text(), QString("keep me"));
        QCOMPARE(QApplication::clipboard()->text(), QString("sentinel"));
    }

    void uncancelledKeysReachTheEditor()
    {
        LineEditor editor;
        editor.setText("ab");
        show(editor);
        editor.setSelectionStart(1);
        QList<QChar> seen;
        connect(&editor, &LineEditor::keyPressed, &editor,
                [&](QChar ch, Qt::KeyboardModifiers, bool *) { seen.append(ch); });
        QTest::keyClick(&editor, Qt::Key_Return);
        QTest::keyClick(&editor, Qt::Key_Z);
        QCOMPARE(seen, (QList<QChar>{QChar(13), QChar('z')}));
        QCOMPARE(editor.lines(), (QStringList{"a", "zb"}));
    }

    void keyDownUpAndClickSignals()
    {
        LineEditor editor;
        show(editor);
        QSignalSpy down(&editor, &LineEditor::keyDown);
        QSignalSpy up(&editor, &LineEditor::keyUp);
        QSignalSpy clicked(&editor, &LineEditor::clicked);
        QTest::keyClick(&editor, Qt::Key_Q, Qt::ShiftModifier);
        QCOMPARE(down.size(), 2); // Shift, then Q
        QCOMPARE(down[1][0].toInt(), int(Qt::Key_Q));
        QCOMPARE(up.size(), 2);
        QCOMPARE(up[0][0].toInt(), int(Qt::Key_Q));
        QCOMPARE(up[0][1].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));
        QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, QPoint(20, 10));
        QCOMPARE(clicked.size(), 1);
    }

    void selectedTextUsesLineFeeds()
    {
        LineEditor editor;
        editor.setText("ab\ncd\nef");
        editor.selectAll();
        QCOMPARE(editor.selectedText(), QString("ab\ncd\nef"));
        QCOMPARE(editor.selectionLength(), 8);
        QCOMPARE(editor.selectionStart(), 0);
        editor.setSelectionStart(4);
        QCOMPARE(editor.selectionLength(), 0);
        QCOMPARE(editor.caretLine(), 2);
        QCOMPARE(editor.caretColumn(), 2);
        editor.setCaretToStart();
        QCOMPARE(editor.caretLine(), 1);
        QCOMPARE(editor.caretColumn(), 1);
    }

    void replaceSelectionIsOneUndoGroup()
    {
        LineEditor editor;
        editor.setText("one two three");
        QTextCursor cursor = editor.textCursor();
        cursor.setPosition(4);
        cursor.setPosition(7, QTextCursor::KeepAnchor);
        editor.setTextCursor(cursor);
        QCOMPARE(editor.selectedText(), QString("two"));
        editor.replaceSelection("2a\r\n2b");
        QCOMPARE(editor.lines(), (QStringList{"one 2a", "2b three"}));
        editor.undoGroup();
        QCOMPARE(editor.text(), QString("one two three"));
        QVERIFY(!editor.canUndo());
    }

    void pasteFromClipboardSplitsWindowsBreaks()
    {
        LineEditor editor;
        editor.setText("[]");
        editor.setSelectionStart(1);
        QApplication::clipboard()->setText("x\r\ny");
        editor.pasteFromClipboard();
        QCOMPARE(editor.lines(), (QStringList{"[x", "y]"}));
        editor.undoGroup();
        QCOMPARE(editor.text(), QString("[]"));
    }

    void trailingBlanksOfEditedLines()
    {
        LineEditor editor;
        editor.setText("first\nsecond");
        show(editor);
        editor.setCaretToStart();
        editor.moveCursor(QTextCursor::EndOfLine);
        QTest::keyClicks(&editor, "  ");
        // The blanks stay in the editor, so a word can follow, but are not read.
        QCOMPARE(editor.toPlainText(), QString("first  \nsecond"));
        QCOMPARE(editor.line(0), QString("first"));
        QCOMPARE(editor.text(), QString("first\nsecond"));
        QTest::keyClicks(&editor, "x \t");
        QCOMPARE(editor.line(0), QString("first  x"));
        QTest::keyClick(&editor, Qt::Key_Down);
        QCOMPARE(editor.lines(), (QStringList{"first  x", "second"}));
        // Nothing but the typing is in the undo history.
        editor.undoGroup();
        QCOMPARE(editor.toPlainText(), QString("first\nsecond"));
        QVERIFY(!editor.canUndo());
    }

    void breakingALineTrimsBothHalves()
    {
        LineEditor editor;
        show(editor);
        QTest::keyClicks(&editor, "ab  ");
        QTest::keyClick(&editor, Qt::Key_Return);
        QTest::keyClicks(&editor, "cd ");
        QCOMPARE(editor.text(), QString("ab\ncd"));
        // A line the program sets afterwards reads back exactly.
        editor.setLine(0, "kept  ");
        QCOMPARE(editor.line(0), QString("kept  "));
        editor.setText("all  \nexact ");
        QCOMPARE(editor.text(), QString("all  \nexact "));
    }

    void untouchedLinesKeepTheirBlanks()
    {
        LineEditor editor;
        editor.setText("a  \nb  \nc");
        show(editor);
        editor.setCaretToStart();
        QTest::keyClick(&editor, Qt::Key_Down);
        QTest::keyClick(&editor, Qt::Key_Down);
        QTest::keyClick(&editor, Qt::Key_Up);
        QCOMPARE(editor.text(), QString("a  \nb  \nc"));
        QVERIFY(!editor.canUndo());
    }

    void configuration()
    {
        LineEditor editor;
        QCOMPARE(editor.focusPolicy(), Qt::ClickFocus);
        QVERIFY(!editor.tabChangesFocus());
        QVERIFY(editor.acceptDrops());
        QCOMPARE(editor.font().pixelSize(), 15);
        QVERIFY(editor.font().families().contains(QStringLiteral("ＭＳ ゴシック")));
        QVERIFY(editor.gutterWidth() > 0);
        QCOMPARE(editor.viewport()->x(), editor.gutterWidth() + editor.frameWidth());

        // The gutter widens with the number of digits of the last line number.
        const int narrow = editor.gutterWidth();
        QStringList many;
        for (int i = 0; i < 12345; ++i)
            many.append(QString::number(i));
        editor.setLines(many);
        QVERIFY(editor.gutterWidth() > narrow);
        QVERIFY(!editor.grab().isNull());
        editor.clear();
        QCOMPARE(editor.lineCount(), 0);

        editor.setBackgroundColour(QColor(255, 255, 200));
        QCOMPARE(editor.backgroundColour(), QColor(255, 255, 200));

        show(editor);
        QTest::keyClick(&editor, Qt::Key_Tab);
        QTest::keyClick(&editor, Qt::Key_A);
        QCOMPARE(editor.text(), QString("\ta"));
    }
};

QTEST_MAIN(TestLineEditor)
#include "tst_lineeditor.moc"
