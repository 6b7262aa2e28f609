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

} // namespace

RenbanPlan PlanRenban(const RenbanInput &input)
{
    RenbanPlan plan;
    plan.width = int(input.start.size());
    qint32 count = 0;
    if (input.start.isEmpty()) {
        // Fixed text: an empty or unreadable count is no items.
        plan.fixedText = true;
        if (!ParseDecimal(input.count, &count) || count < 0)
            count = 0;
        plan.count = count;
        return plan;
    }
    if (input.count.isEmpty())
        count = 1;
    else if (!ParseDecimal(input.count, &count) || count < 0)
        count = 0;
    plan.count = count;
    if (!ParseDecimal(input.step, &plan.step))
        plan.step = 1;
    switch (input.radix) {
    case NumberRadix::Decimal:
        plan.validStart = ParseDecimal(input.start, &plan.start);
        break;
    case NumberRadix::Hexadecimal:
        plan.validStart = ParseHex(input.start, &plan.start);
        break;
    case NumberRadix::Octal:
        plan.validStart = IsOctalDigits(input.start);
        if (plan.validStart)
            plan.start = OctalToInt(input.start);
        break;
    }
    if (!plan.validStart)
        plan.start = 0;
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
    const RenbanPlan plan = PlanRenban(input);
    if (plan.fixedText)
        return QStringLiteral("[ %1 ] x %2").arg(UpperAsciiLetters(input.prefix + input.suffix)).arg(plan.count);
    if (!plan.validStart)
        return QStringLiteral("開始数が%1として正しくありません").arg(radixName(input.radix));
    const QString first = input.prefix + input.start + input.suffix;
    if (plan.count == 0)
        return QStringLiteral("[ %1 ] x 0").arg(UpperAsciiLetters(first));
    const qint32 last = qint32(quint32(plan.step) * quint32(plan.count - 1) + quint32(plan.start));
    const QString lastText = input.prefix + RenbanNumberText(last, input.radix, plan.width) + input.suffix;
    return UpperAsciiLetters(QStringLiteral("[ %1 ] ～ [ %2 ]").arg(first, lastText));
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
