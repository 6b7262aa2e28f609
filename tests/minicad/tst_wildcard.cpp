#include "minicad/model/wildcard.h"

#include <QtTest>

class TestWildcard : public QObject {
    Q_OBJECT
private slots:
    void match_data();
    void match();
};

void TestWildcard::match_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("expected");

    // Literal and case
    QTest::newRow("literal") << "ABC" << "ABC" << true;
    QTest::newRow("literal-case-sensitive") << "abc" << "ABC" << false;
    QTest::newRow("literal-longer-text") << "ABCD" << "ABC" << false;
    QTest::newRow("empty-both") << "" << "" << true;
    QTest::newRow("empty-pattern") << "A" << "" << false;
    QTest::newRow("japanese-literal") << "線番" << "線番" << true;
    // *
    QTest::newRow("star-any") << "ABC" << "*" << true;
    QTest::newRow("star-empty-text") << "" << "*" << true;
    QTest::newRow("star-middle") << "A-123-Z" << "A*Z" << true;
    QTest::newRow("star-middle-no-end") << "A-123-Y" << "A*Z" << false;
    QTest::newRow("star-contains") << "xxHELLOyy" << "*HELLO*" << true;
    QTest::newRow("star-backtrack") << "abab" << "*ab" << true;
    QTest::newRow("star-several") << "a1b2c3" << "a*b*c*" << true;
    // ?
    QTest::newRow("question-one") << "AB" << "A?" << true;
    QTest::newRow("question-not-zero") << "A" << "A?" << false;
    QTest::newRow("question-not-two") << "ABC" << "A?" << false;
    QTest::newRow("question-kanji") << "A線" << "A?" << true;
    // #
    QTest::newRow("hash-digit") << "R5" << "R#" << true;
    QTest::newRow("hash-not-letter") << "RX" << "R#" << false;
    QTest::newRow("hash-two") << "R12" << "R##" << true;
    // @
    QTest::newRow("at-letter") << "1a" << "1@" << true;
    QTest::newRow("at-upper") << "1Z" << "1@" << true;
    QTest::newRow("at-not-digit") << "12" << "1@" << false;
    QTest::newRow("at-not-punct") << "1-" << "1@" << false;
    // .
    QTest::newRow("dot-punct") << "A-B" << "A.B" << true;
    QTest::newRow("dot-space") << "A B" << "A.B" << true;
    QTest::newRow("dot-not-letter") << "AxB" << "A.B" << false;
    QTest::newRow("dot-not-digit") << "A1B" << "A.B" << false;
    // [...]
    QTest::newRow("set-member") << "B" << "[ABC]" << true;
    QTest::newRow("set-nonmember") << "D" << "[ABC]" << false;
    QTest::newRow("set-range") << "K5" << "[A-Z]#" << true;
    QTest::newRow("set-range-out") << "k5" << "[A-Z]#" << false;
    QTest::newRow("set-two-ranges") << "7" << "[a-c0-9]" << true;
    QTest::newRow("set-dash-at-end") << "-" << "[AB-]" << true;
    QTest::newRow("set-bracket-first") << "]" << "[]A]" << true;
    QTest::newRow("set-unclosed-literal") << "[A" << "[A" << true;
    // [~...]
    QTest::newRow("notset-excluded") << "A" << "[~ABC]" << false;
    QTest::newRow("notset-other") << "D" << "[~ABC]" << true;
    QTest::newRow("notset-range") << "5" << "[~A-Z]" << true;
    QTest::newRow("notset-needs-one-char") << "" << "[~A]" << false;
    // leading ~
    QTest::newRow("tilde-negates") << "ABC" << "~A*" << false;
    QTest::newRow("tilde-negates-other") << "XBC" << "~A*" << true;
    QTest::newRow("tilde-whole-alternatives") << "BX" << "~A*,B*" << false;
    QTest::newRow("tilde-later-literal") << "A~" << "A~" << true;
    // backquote
    QTest::newRow("escape-star") << "A*" << "A`*" << true;
    QTest::newRow("escape-star-not-wild") << "AB" << "A`*" << false;
    QTest::newRow("escape-hash") << "#1" << "`##" << true;
    QTest::newRow("escape-comma") << "A,B" << "A`,B" << true;
    QTest::newRow("escape-tilde") << "~A" << "`~A" << true;
    QTest::newRow("escape-in-set") << "]" << "[x`]]" << true;
    // , alternatives
    QTest::newRow("comma-first") << "TEXT" << "TEXT,INSERT" << true;
    QTest::newRow("comma-second") << "INSERT" << "TEXT,INSERT" << true;
    QTest::newRow("comma-none") << "MTEXT" << "TEXT,INSERT" << false;
    QTest::newRow("comma-empty-alternative") << "" << "A," << true;
    QTest::newRow("comma-inside-set") << "," << "[,]" << true;
}

void TestWildcard::match()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, expected);
    QCOMPARE(minicad::wcmatch(text, pattern), expected);
}

QTEST_APPLESS_MAIN(TestWildcard)
#include "tst_wildcard.moc"
