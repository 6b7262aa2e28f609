#pragma once
// Sequential numbering: a series of texts prefix + number + suffix, counting
// up from a start value by a step in decimal, hexadecimal or octal.

#include "tools/numbers.h"

#include <QString>
#include <QStringList>

namespace tools {

// The dialog's values, as typed.
struct RenbanInput {
    NumberRadix radix = NumberRadix::Decimal;
    QString prefix;                       // 前固定
    QString start = QStringLiteral("00"); // 開始数: its length is the number width; empty = fixed text
    QString suffix;                       // 後固定
    QString step = QStringLiteral("1");   // アップ数, decimal
    QString count = QStringLiteral("16"); // 作成数, decimal
};

// The values read from an input.
struct RenbanPlan {
    bool fixedText = false;  // 開始数 empty: every item is prefix + suffix
    bool validStart = true;  // false only for an octal 開始数 holding a non-digit
    qint32 start = 0;
    qint32 step = 1;
    int count = 0;
    int width = 0;
};

// How the values are read for creating the items: an empty count is one
// item, a start that is not a number of the radix counts from 1. The preview
// reads them its own way (see RenbanPreview).
RenbanPlan PlanRenban(const RenbanInput &input);

// ASCII a-z to upper case; every other character unchanged.
QString UpperAsciiLetters(const QString &s);

// The number text of one value: decimal, upper-case hexadecimal (32-bit
// two's complement when negative) or octal, zero-padded to `width`.
QString RenbanNumberText(qint32 value, NumberRadix radix, int width);

// The items to create, in order. Empty when the start value is not valid
// (then `error` gets the message to show) or when the count is 0.
QStringList RenbanItems(const RenbanInput &input, QString *error = nullptr);

// The one-line preview: "[ first ] ～ [ last ]", or "[ fixed ] x count". The
// first is the start as typed; the last is start + step x (count - 1), where
// an unreadable start reads as 0 and an empty count as 0 in decimal, 1 in
// hexadecimal and octal (so a count of 0 shows the value before the start).
QString RenbanPreview(const RenbanInput &input);

// Grid rows the numbering writes, both ends included: from the current row to
// the last row of the grid when the selection covers a single row, otherwise
// the selection's rows.
struct RowRange {
    int first = 0;
    int last = -1;
};
RowRange RenbanGridRows(int selectionTop, int selectionBottom, int currentRow, int lastRow);

// Puts the items into the editor's lines: appended after the last line, or
// (`insert`) inserted in order at `insertLine` (from 0; clamped to the text),
// so they end up before the line that held the caret.
void PlaceRenbanLines(QStringList &lines, const QStringList &items, bool insert, int insertLine);

} // namespace tools
