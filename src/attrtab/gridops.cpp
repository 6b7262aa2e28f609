#include "attrtab/gridops.h"

#include "widgets/stringgrid.h"

#include <QLocale>
#include <QString>

#include <vector>

namespace lumo {

void ClearGrid(widgets::StringGrid &grid)
{
    grid.beginUpdate();
    for (int r = 0; r < grid.rowCount(); ++r)
        for (int c = 0; c < grid.colCount(); ++c) {
            grid.setCells(c, r, QString());
            grid.setObjects(c, r, 0);
        }
    grid.endUpdate();
}

void AutoSizeColumns(widgets::StringGrid &grid, int margin)
{
    for (int c = 0; c < grid.colCount(); ++c) {
        int widest = 0;
        for (int r = 0; r < grid.rowCount(); ++r) {
            const QString text = grid.cells(c, r);
            if (!text.isEmpty())
                widest = qMax(widest, grid.textWidth(text));
        }
        if (widest > 0)
            grid.setColumnWidth(c, widest + margin);
    }
}

namespace {

// The number a key stands for; anything that does not read as one counts 0.
// Thousands separators are refused: "1,000" is not a number here.
double keyValue(const QLocale &locale, const QString &key)
{
    bool ok = false;
    const double v = locale.toDouble(key, &ok);
    return ok ? v : 0.0;
}

} // namespace

void SortGridRows(widgets::StringGrid &grid, int key1, int key2, bool numeric)
{
    const int first = 1;
    const int last = grid.rowCount() - 1;
    if (last - first + 1 < 2)
        return;

    // The exchange sort runs over the keys and a row permutation; the grid is
    // rewritten once at the end. Its outcome depends only on the keys, so it
    // equals swapping the rows themselves at every step.
    const int n = last - first + 1;
    std::vector<QString> keys(n);
    std::vector<double> values(numeric ? n : 0);
    std::vector<int> from(n);
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    for (int i = 0; i < n; ++i) {
        const int r = first + i;
        QString key;
        if (key1 >= 0)
            key += grid.cells(key1, r);
        if (key2 >= 0)
            key += grid.cells(key2, r);
        if (numeric)
            values[i] = keyValue(locale, key);
        keys[i] = std::move(key);
        from[i] = r;
    }
    bool moved = false;
    for (int i = 0; i < n - 1; ++i)
        for (int j = i + 1; j < n; ++j) {
            // Unordered values (NaN) swap too.
            const bool swap = numeric ? !(values[i] <= values[j]) : keys[i] > keys[j];
            if (!swap)
                continue;
            std::swap(keys[i], keys[j]);
            if (numeric)
                std::swap(values[i], values[j]);
            std::swap(from[i], from[j]);
            moved = true;
        }
    if (!moved)
        return;

    const int cols = grid.colCount();
    std::vector<QString> texts(static_cast<size_t>(n) * cols);
    std::vector<int> slotValues(static_cast<size_t>(n) * cols);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < cols; ++c) {
            texts[static_cast<size_t>(i) * cols + c] = grid.cells(c, first + i);
            slotValues[static_cast<size_t>(i) * cols + c] = grid.objects(c, first + i);
        }
    grid.beginUpdate();
    for (int i = 0; i < n; ++i) {
        const size_t src = static_cast<size_t>(from[i] - first) * cols;
        if (from[i] == first + i)
            continue;
        for (int c = 0; c < cols; ++c) {
            grid.setCells(c, first + i, texts[src + c]);
            grid.setObjects(c, first + i, slotValues[src + c]);
        }
    }
    grid.endUpdate();
}

} // namespace lumo
