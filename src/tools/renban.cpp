#include "tools/renban.h"

namespace tools {

namespace {

QString radixName(NumberRadix radix)
{
    switch (radix) {
    case NumberRadix::Hexadecimal:
        return QStringLiteral("16進数");
    case NumberRadix::Octal:
        return QStringLiteral("8進数");
    case NumberRadix::Decimal:
        break;
    }
    return QStringLiteral("10進数");
}

// A count box as a number of items: `fallback` when empty or not a number.
int readCount(const QString &text, int fallback)
{
    qint32 count = 0;
    if (!ParseDecimal(text, &count) || count < 0)
        return fallback;
    return count;
}

// The start value in the radix; `unreadable` when it is not such a number.
// Octal takes every decimal digit at its own value, 8 and 9 included; only a
// character that is no digit at all makes the start invalid.
qint32 readStart(const RenbanInput &input, qint32 unreadable, bool *valid)
{
    *valid = true;
    qint32 value = 0;
    switch (input.radix) {
    case NumberRadix::Decimal:
        return ParseDecimal(input.start, &value) ? value : unreadable;
    case NumberRadix::Hexadecimal:
        return ParseHex(input.start, &value) ? value : unreadable;
    case NumberRadix::Octal:
        value = OctalToInt(input.start, valid);
        return *valid ? value : 0;
    }
    return unreadable;
}

qint32 readStep(const RenbanInput &input)
{
    qint32 step = 1;
    return ParseDecimal(input.step, &step) ? step : 1;
}

} // namespace

RenbanPlan PlanRenban(const RenbanInput &input)
{
    RenbanPlan plan;
    plan.width = int(input.start.size());
    if (input.start.isEmpty()) {
        // Fixed text: an empty or unreadable count is no items.
        plan.fixedText = true;
        plan.count = readCount(input.count, 0);
        return plan;
    }
    plan.count = input.count.isEmpty() ? 1 : readCount(input.count, 0);
    plan.step = readStep(input);
    plan.start = readStart(input, 1, &plan.validStart);
    return plan;
}

QString UpperAsciiLetters(const QString &s)
{
    QString out = s;
    for (QChar &c : out) {
        if (c >= u'a' && c <= u'z')
            c = QChar(char16_t(c.unicode() - (u'a' - u'A')));
    }
    return out;
}

QString RenbanNumberText(qint32 value, NumberRadix radix, int width)
{
    switch (radix) {
    case NumberRadix::Hexadecimal:
        return PadHex(value, width);
    case NumberRadix::Octal:
        return IntToOctal(value, width);
    case NumberRadix::Decimal:
        break;
    }
    return PadDecimal(value, width);
}

QStringList RenbanItems(const RenbanInput &input, QString *error)
{
    if (error)
        error->clear();
    const RenbanPlan plan = PlanRenban(input);
    QStringList items;
    if (plan.fixedText) {
        const QString fixed = UpperAsciiLetters(input.prefix + input.suffix);
        for (int k = 0; k < plan.count; ++k)
            items.append(fixed);
        return items;
    }
    if (!plan.validStart) {
        if (error)
            *error = QStringLiteral("開始数「%1」は%2として正しくありません．")
                         .arg(input.start, radixName(input.radix));
        return items;
    }
    items.reserve(plan.count);
    quint32 value = quint32(plan.start);
    for (int k = 0; k < plan.count; ++k) {
        items.append(UpperAsciiLetters(input.prefix + RenbanNumberText(qint32(value), input.radix, plan.width)
                                       + input.suffix));
        value += quint32(plan.step); // 32-bit wrap-around
    }
    return items;
}

QString RenbanPreview(const RenbanInput &input)
{
    if (input.start.isEmpty())
        return QStringLiteral("[ %1 ] x %2")
            .arg(UpperAsciiLetters(input.prefix + input.suffix), QString::number(readCount(input.count, 0)));
    bool validStart = true;
    const quint32 start = quint32(readStart(input, 0, &validStart));
    if (!validStart)
        return QStringLiteral("開始数が%1として正しくありません").arg(radixName(input.radix));
    const int count = readCount(input.count, input.radix == NumberRadix::Decimal ? 0 : 1);
    const qint32 last = qint32(quint32(readStep(input)) * quint32(count - 1) + start); // 32-bit wrap-around
    const QString lastText = RenbanNumberText(last, input.radix, int(input.start.size()));
    return UpperAsciiLetters(QStringLiteral("[ %1 ] ～ [ %2 ]")
                                 .arg(input.prefix + input.start + input.suffix, input.prefix + lastText + input.suffix));
}

RowRange RenbanGridRows(int selectionTop, int selectionBottom, int currentRow, int lastRow)
{
    if (selectionTop == selectionBottom)
        return {currentRow, lastRow};
    return {selectionTop, qMin(selectionBottom, lastRow)};
}

void PlaceRenbanLines(QStringList &lines, const QStringList &items, bool insert, int insertLine)
{
    if (!insert) {
        lines += items;
        return;
    }
    qsizetype at = qBound(qsizetype(0), qsizetype(insertLine), lines.size());
    for (const QString &item : items)
        lines.insert(at++, item);
}

} // namespace tools
