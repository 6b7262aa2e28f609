#pragma once
// Full-width / half-width conversions of Japanese drawing texts: ten
// conversions of one character class by a fixed table, and two whole-string
// foldings (AllToZen / AllToHan) that may change the string's length.

#include <QList>
#include <QString>

namespace zenHanUtil {

// One row of a conversion table: a full-width string and its half-width
// counterpart, each one or two characters.
struct WidthPair {
    QString zen;
    QString han;
};

// The five tables, rows in the order the conversions apply them.
const QList<WidthPair> &DigitTable();
const QList<WidthPair> &NumericTable();
const QList<WidthPair> &AlphaTable();
const QList<WidthPair> &SymbolTable();
const QList<WidthPair> &KanaTable();

void KanaHanToZen(QString &s);
void KanaZenToHan(QString &s);
void DigitHanToZen(QString &s);
void DigitZenToHan(QString &s);
void NumericHanToZen(QString &s);
void NumericZenToHan(QString &s);
void AlphaHanToZen(QString &s);
void AlphaZenToHan(QString &s);
void SymbolHanToZen(QString &s);
void SymbolZenToHan(QString &s);

// Whole-string folding: LCMapStringW on Windows, elsewhere the Unicode
// halfwidth and fullwidth forms (ASCII, space, katakana with sound marks).
void AllToZen(QString &s);
void AllToHan(QString &s);

// The portable foldings, also used on Windows by the tests.
QString PortableToZen(const QString &s);
QString PortableToHan(const QString &s);

} // namespace zenHanUtil
