// The text tools on the TEXT tab's editor, driven through the main window's
// popup menu actions and their dialogs.

#include "../common/formfixture.h"
#include "app/targetcadform.h"
#include "tooldialogs.h"
#include "tools/widthcommands.h"
#include "widgets/lineeditor.h"

#include <QAction>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>


using namespace lumo;
using testing::FormFixture;
using tools::NumberRadix;

namespace {

void select(widgets::LineEditor *ed, int from, int to)
{
    QTextCursor c = ed->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    ed->setTextCursor(c);
}

void caretToLine(widgets::LineEditor *ed, int line)
{
    ed->setTextCursor(QTextCursor(ed->document()->findBlockByNumber(line)));
}

// What every tool leaves behind: the text before it saved, and nothing running.
void checkUndoMarkAndIdle(FormFixture &f, const QString &before)
{
    QCOMPARE(f->undoText, before);
    QVERIFY(f->undoFlag);
    QVERIFY(f->SpeedButton4->isEnabled());
    QVERIFY(!f->runFlag);
    QVERIFY(!f->SpeedButton5->isEnabled());
    QVERIFY(f->SynEdit1->isEnabled());
}

} // namespace

class TestEditorTools : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyLine_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all to zen") << "N1" << QStringList{"abc 1", "ｶﾞ"} << QStringList{"ａｂｃ　１", "ガ"};
        QTest::newRow("all to han") << "N4" << QStringList{"ＡＢＣ　１", "ガ"} << QStringList{"ABC 1", "ｶﾞ"};
        QTest::newRow("parens only") << "N28" << QStringList{"f(x) （y） [z]", ")("}
                                     << QStringList{"f（x） （y） [z]", "）（"};
    }
    void everyLine()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, input);
        QFETCH(QStringList, expected);
        FormFixture f;
        f->SynEdit1->setLines(input);
        QAction *a = action == "N1" ? f->N1 : action == "N4" ? f->N4 : f->N28;
        a->trigger();
        QCOMPARE(f->SynEdit1->lines(), expected);
        checkUndoMarkAndIdle(f, input.join('\n'));
    }

    void submenuPicksItsFunction_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("kana han->zen voiced") << 0 << "ｶﾞｷﾞｸﾞ" << "ガギグ";
        QTest::newRow("kana han->zen lone mark") << 0 << "ﾜﾞﾟ｡" << "ワﾞﾟ｡";
        QTest::newRow("kana zen->han") << 1 << "ガパ" << "ｶﾞﾊﾟ";
        QTest::newRow("digits on -1.5") << 2 << "-1.5" << "-１.５";
        QTest::newRow("digits zen->han") << 3 << "１２－" << "12－";
        QTest::newRow("numerics on -1.5") << 4 << "-1.5" << "－１．５";
        QTest::newRow("numerics zen->han") << 5 << "－１．５，" << "-1.5,";
        QTest::newRow("alphabet both cases") << 6 << "aZ1" << "ａＺ1";
        QTest::newRow("alphabet zen->han") << 7 << "ａＺ１" << "aZ１";
        QTest::newRow("symbols starred rows") << 8 << "\"a b\\" << "”a　b￥";
        QTest::newRow("symbols zen->han") << 9 << "”’￥（" << "\"'\\(";
    }
    void submenuPicksItsFunction()
    {
        QFETCH(int, item);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        FormFixture f;
        QCOMPARE(f->conversionItems.size(), tools::kWidthSubmenuSize);
        QCOMPARE(f->conversionItems.at(item)->text(), QString::fromUtf8(tools::WidthSubmenuItem(item).caption));
        f->SynEdit1->setLines({input, input});
        f->conversionItems.at(item)->trigger();
        QCOMPARE(f->SynEdit1->lines(), (QStringList{expected, expected}));
        checkUndoMarkAndIdle(f, input + '\n' + input);
    }

    void submenuIgnoresOtherSenders()
    {
        FormFixture f;
        f->SynEdit1->setLines({"abc"});
        f->N23Click(f->N1);
        f->N23Click(nullptr);
        QCOMPARE(f->SynEdit1->lines(), QStringList{"abc"});
        QVERIFY(!f->undoFlag);
    }

    void selection_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QStringList>("expected");
        // "  cd\n": leading blanks and the final break go, so "ef" joins the result.
        QTest::newRow("zen trims the ends") << "N2" << QStringList{"ab", "  cd", "ef", "gh"} << 3 << 8
                                            << QStringList{"ab", "ｃｄef", "gh"};
        QTest::newRow("zen over lines") << "N2" << QStringList{"a", "b", "c"} << 0 << 3
                                        << QStringList{"ａ", "ｂ", "c"};
        QTest::newRow("han trims the ends") << "N5" << QStringList{"x", "  ＡＢ", "y"} << 2 << 7
                                           << QStringList{"x", "ABy"};
        QTest::newRow("han part of a line") << "N5" << QStringList{"ＡＢ ＣＤ"} << 0 << 2
                                            << QStringList{"AB ＣＤ"};
    }
    void selection()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, input);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QStringList, expected);
        FormFixture f;
        f->SynEdit1->setLines(input);
        select(f->SynEdit1, from, to);
        (action == "N2" ? f->N2 : f->N5)->trigger();
        QCOMPARE(f->SynEdit1->lines(), expected);
        checkUndoMarkAndIdle(f, input.join('\n'));
    }

    void emptySelectionChangesNothing()
    {
        FormFixture f;
        f->SynEdit1->setLines({"abc"});
        f->N2Click();
        f->N5Click();
        QCOMPARE(f->SynEdit1->lines(), QStringList{"abc"});
        QVERIFY(!f->undoFlag);
        QVERIFY(!f->runFlag);
    }

    void stopKeepsConvertedLinesAndUndoRestores()
    {
        FormFixture f;
        QStringList input;
        for (int i = 0; i < 40; ++i)
            input << QStringLiteral("x%1").arg(i);
        f->SynEdit1->setLines(input);
        bool editorEnabledDuringRun = true;
        QTimer::singleShot(0, f.form.get(), [&] {
            editorEnabledDuringRun = f->SynEdit1->isEnabled();
            f->SpeedButton5->click(); // "中止": only works while the run enables it
        });
        f->N1->trigger();
        QVERIFY(!editorEnabledDuringRun);
        const QStringList out = f->SynEdit1->lines();
        QCOMPARE(out.size(), input.size());
        int converted = 0;
        while (converted < out.size() && out.at(converted) != input.at(converted))
            ++converted;
        QVERIFY(converted >= 1);
        QVERIFY(converted < input.size());
        QCOMPARE(out.at(0), QStringLiteral("ｘ０"));
        QCOMPARE(out.mid(converted), input.mid(converted));
        checkUndoMarkAndIdle(f, input.join('\n'));

        f->SpeedButton4->click(); // nothing typed since: back to the text before the tool
        QCOMPARE(f->SynEdit1->lines(), input);
        QVERIFY(!f->undoFlag);
    }

    void replaceAll_data()
    {
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ignore case") << true << "abc" << "X" << "ABC abc Abc" << "X X X";
        QTest::newRow("case-sensitive") << false << "abc" << "X" << "ABC abc Abc" << "ABC X Abc";
        QTest::newRow("no overlap") << false << "aa" << "a" << "aaaa" << "aa";
        QTest::newRow("empty replacement deletes") << false << "b" << "" << "abcb" << "ac";
    }
    void replaceAll()
    {
        QFETCH(bool, ignoreCase);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        FormFixture f;
        f->SynEdit1->setLines({line, line});
        testing::acceptTikan(f->LumoTikanForm, search, replacement, ignoreCase);
        f->N7->trigger();
        QCOMPARE(f->SynEdit1->lines(), (QStringList{expected, expected}));
        checkUndoMarkAndIdle(f, line + '\n' + line);
    }

    void replaceAllPrefillCancelAndEmptySearch()
    {
        FormFixture f;
        f->SynEdit1->setLines({"ABC", "DEF"});
        QString search, replacement;
        testing::whenShown(f->LumoTikanForm, [&] {
            search = f->LumoTikanForm->searchText();
            replacement = f->LumoTikanForm->replaceText();
            testing::press(f->LumoTikanForm, "Button1");
        });
        f->N7Click();
        QCOMPARE(search, QStringLiteral("ABC"));
        QCOMPARE(replacement, QStringLiteral("ABC"));
        QCOMPARE(f->SynEdit1->lines(), (QStringList{"ABC", "DEF"}));
        QVERIFY(f->undoFlag); // "実行" without editing still marks

        FormFixture g;
        g->SynEdit1->setLines({"ABC"});
        testing::cancel(g->LumoTikanForm);
        g->N7Click();
        testing::acceptTikan(g->LumoTikanForm, "", "x", false);
        g->N7Click();
        QCOMPARE(g->SynEdit1->lines(), QStringList{"ABC"});
        QVERIFY(!g->undoFlag);
    }

    void replaceSelectionIgnoresCheckBoxAndPrefillsFirstLine()
    {
        FormFixture f;
        f->SynEdit1->setLines({"ABC abc", "abc"});
        select(f->SynEdit1, 0, 10); // "ABC abc\nab"
        QString seen;
        testing::acceptTikan(f->LumoTikanForm, "abc", "X", true, &seen);
        f->N8->trigger();
        QCOMPARE(seen, QStringLiteral("ABC abc"));
        QCOMPARE(f->SynEdit1->lines(), (QStringList{"ABC X", "abc"}));
        checkUndoMarkAndIdle(f, "ABC abc\nabc");

        // Leading blanks and the final line break of the selection are gone.
        f->SynEdit1->setLines({"  abc", "d"});
        select(f->SynEdit1, 0, 6);
        testing::acceptTikan(f->LumoTikanForm, "abc", "X", false);
        f->N8Click();
        QCOMPARE(f->SynEdit1->lines(), QStringList{"Xd"});
    }

    void addition_data()
    {
        QTest::addColumn<int>("radix");
        QTest::addColumn<bool>("fromEnd");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("W012") << 10 << true << 2 << "1" << "W012" << "W013";
        QTest::newRow("W999 grows") << 10 << true << 2 << "1" << "W999" << "W1000";
        QTest::newRow("last run") << 10 << true << 2 << "1" << "A1-B09" << "A1-B10";
        QTest::newRow("first run") << 10 << false << 2 << "1" << "A1-B09" << "A2-B09";
        QTest::newRow("trailing blank goes") << 10 << true << 2 << "1" << "No.7 " << "No.8";
        QTest::newRow("minus one") << 10 << true << 2 << "-1" << "W010" << "W009";
        QTest::newRow("negative keeps width") << 10 << true << 2 << "-10" << "005" << "-05";
        QTest::newRow("full-width digits") << 10 << true << 2 << "1" << "ＡＢ１２" << "ＡＢ１２";
        QTest::newRow("eleven digits") << 10 << true << 2 << "1" << "99999999999" << "00000000001";
        QTest::newRow("hex IO3F") << 16 << true << 2 << "1" << "IO3F" << "IO40";
        QTest::newRow("hex IOff") << 16 << true << 2 << "1" << "IOff" << "IO100";
        QTest::newRow("hex short") << 16 << true << 2 << "1" << "7" << "08";
        QTest::newRow("hex not hex") << 16 << true << 2 << "1" << "IOFG" << "IOFG";
        QTest::newRow("octal P07") << 8 << true << 2 << "1" << "P07" << "P10";
        QTest::newRow("octal P08") << 8 << true << 2 << "1" << "P08" << "P08";
    }
    void addition()
    {
        QFETCH(int, radix);
        QFETCH(bool, fromEnd);
        QFETCH(int, digits);
        QFETCH(QString, amount);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        FormFixture f;
        f->SynEdit1->setLines({input, "", input});
        testing::acceptKasan(f->LumoKasanForm, NumberRadix(radix), amount, fromEnd, digits);
        f->N14->trigger();
        QCOMPARE(f->SynEdit1->lines(), (QStringList{expected, "", expected}));
        checkUndoMarkAndIdle(f, input + "\n\n" + input);
    }

    void additionSelectionAndZeroAmount()
    {
        FormFixture f;
        f->SynEdit1->setLines({"A1", "B1", "C1"});
        select(f->SynEdit1, 3, 8); // "B1\nC1"
        testing::acceptKasan(f->LumoKasanForm, NumberRadix::Decimal, "2");
        f->N15->trigger();
        QCOMPARE(f->SynEdit1->lines(), (QStringList{"A1", "B3", "C3"}));
        checkUndoMarkAndIdle(f, "A1\nB1\nC1");

        FormFixture g;
        g->SynEdit1->setLines({"A1"});
        for (const char *amount : {"0", "x"}) {
            testing::acceptKasan(g->LumoKasanForm, NumberRadix::Decimal, amount);
            g->N14Click();
        }
        testing::cancel(g->LumoKasanForm);
        g->N14Click();
        QCOMPARE(g->SynEdit1->lines(), QStringList{"A1"});
        QVERIFY(!g->undoFlag);
    }

    void numberingAppendsAndInserts()
    {
        FormFixture f;
        QStringList input;
        for (int i = 0; i < 7; ++i)
            input << QStringLiteral("L%1").arg(i);
        f->SynEdit1->setLines(input);
        testing::acceptRenban(f->LumoRenbanForm, tools::RenbanInput{});
        f->N17->trigger();
        QStringList lines = f->SynEdit1->lines();
        QCOMPARE(lines.size(), 23);
        QCOMPARE(lines.at(7), QStringLiteral("00"));
        QCOMPARE(lines.at(22), QStringLiteral("15"));
        checkUndoMarkAndIdle(f, input.join('\n'));

        f->SynEdit1->setLines(input);
        caretToLine(f->SynEdit1, 5);
        tools::RenbanInput in;
        in.prefix = "w";
        in.start = "1";
        in.suffix = "-a";
        in.step = "2";
        in.count = "2";
        testing::acceptRenban(f->LumoRenbanForm, in, "Button2"); // "挿入"
        f->N17Click();
        lines = f->SynEdit1->lines();
        QCOMPARE(lines.mid(4, 4), (QStringList{"L4", "W1-A", "W3-A", "L5"}));
        QCOMPARE(f->SynEdit1->caretLine() - 1, 7); // still on the line that held it
    }

    void numberingRefusesInvalidOctalStartAndEmptyCount()
    {
        FormFixture f;
        f->SynEdit1->setLines({"L0"});
        tools::RenbanInput in;
        in.radix = NumberRadix::Octal;
        in.start = "0a";
        bool stayedOpen = false;
        testing::whenShown(f->LumoRenbanForm, [&] {
            f->LumoRenbanForm->setInput(in);
            testing::press(f->LumoRenbanForm, "Button1");
            stayedOpen = f->LumoRenbanForm->isVisible();
            f->LumoRenbanForm->reject();
        });
        f->N17Click();
        QVERIFY(stayedOpen);
        QCOMPARE(f.messages.messages.size(), 1);
        QCOMPARE(f->SynEdit1->lines(), QStringList{"L0"});
        QVERIFY(!f->undoFlag);

        in = tools::RenbanInput{};
        in.start = "";
        in.count = "";
        testing::acceptRenban(f->LumoRenbanForm, in);
        f->N17Click();
        QCOMPARE(f.messages.messages.size(), 1);
        QCOMPARE(f->SynEdit1->lines(), QStringList{"L0"});
    }

    void dialogsCreatedOnceAfterTargetCadDialog()
    {
        FormFixture f;
        const QObjectList kids = f->children();
        const qsizetype cad = kids.indexOf(f->TargetCADForm);
        const qsizetype tikan = kids.indexOf(f->LumoTikanForm);
        const qsizetype kasan = kids.indexOf(f->LumoKasanForm);
        const qsizetype renban = kids.indexOf(f->LumoRenbanForm);
        QVERIFY(cad >= 0);
        QVERIFY(cad < tikan && tikan < kasan && kasan < renban);
        // Values persist: the same dialog shows what was typed last time.
        f->SynEdit1->setLines({"a"});
        testing::acceptKasan(f->LumoKasanForm, NumberRadix::Hexadecimal, "5", true, 3);
        f->N14Click();
        QCOMPARE(f->LumoKasanForm->digitCount(), 3);
        QCOMPARE(f->LumoKasanForm->amount(), 5);
    }
};

QTEST_MAIN(TestEditorTools)
#include "test_editortools.moc"
