#pragma once
// Numbers inside drawing texts: the digit-run finder, the radix helpers and
// the addition of an amount to the number of one text.

#include <QString>
#include <QStringView>

namespace tools {

enum class NumberRadix { Decimal = 10, Hexadecimal = 16, Octal = 8 };

struct DigitRun {
    QString prefix;
    QString digits; // empty when the text holds no ASCII digit
    QString suffix;
};

// Trims blanks (codes up to U+0020) from both ends, then splits at the last
// run of ASCII digits (`fromEnd`) or at the first one.
DigitRun SplitDigitRun(const QString &text, bool fromEnd);

// True when every character is a hexadecimal / octal digit; true for "".
bool IsHexDigits(QStringView text);
bool IsOctalDigits(QStringView text);

// Sum of digit x 8^(characters after it), 32-bit wrap-around, each digit taken
// at its decimal value: callers that need octal digits check with
// IsOctalDigits first ("18" gives 16). A character that is no decimal digit at
// all makes `ok` false (and counts as 0) when `ok` is given.
qint32 OctalToInt(QStringView text, bool *ok = nullptr);

// Octal digits of `value`, "0" in front up to `width` characters; 0 gives
// `width` zeros. A negative value is a minus sign and the digits of its
// magnitude, the sign counting towards the width ("-05").
QString IntToOctal(qint32 value, int width);

// Decimal digits of `value`, zero-padded to `width` characters, the minus sign
// of a negative value counting towards the width (-5, 3 -> "-05").
QString PadDecimal(qint32 value, int width);

// Upper-case hexadecimal of the 32-bit two's-complement form, at least
// `width` digits.
QString PadHex(qint32 value, int width);

// Strict readers for user input: optional sign and ASCII digits (decimal) or
// hexadecimal digits only; false when the text is not such a number or does
// not fit 32 bits (hexadecimal: at most 8 digits).
bool ParseDecimal(QStringView text, qint32 *value);
bool ParseHex(QStringView text, qint32 *value);

struct AdditionSettings {
    NumberRadix radix = NumberRadix::Decimal;
    qint32 amount = 1;
    bool fromEnd = true;  // decimal: last digit run ("末尾から") or first ("先頭から")
    int digitCount = 2;   // hexadecimal / octal: characters at the end that hold the number, 1..8
};

// Adds the amount to the number of one text in the settings' radix and returns
// the new text; a text without such a number (or blank, or an amount of 0)
// comes back unchanged. `changed` tells whether the text was rewritten.
QString AddToNumber(const QString &text, const AdditionSettings &settings, bool *changed = nullptr);

} // namespace tools
