#include "searchtab/lumo2.h"

#include <algorithm>
#include <climits>
#include <numeric>
#include <vector>

namespace lumo {

QList<Lumo2> searchArray;
cad::DrawingSource searchArrayDrawing;

QString SearchPattern(const QString &box, bool prefixOnly)
{
    if (box.isEmpty())
        return QStringLiteral("*");
    if (prefixOnly)
        return box + QLatin1Char('*');
    return QLatin1Char('*') + box + QLatin1Char('*');
}

bool TextLess(const QString &a, const QString &b)
{
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    return std::lexicographical_compare(pa, pa + a.size(), pb, pb + b.size());
}

// A merge sort over positions: runs of about a hundredth of the entries are
// sorted first, then merged pairwise, so progress can be shown and a stop
// honoured between steps; the records themselves move once, at the end.
bool SortSearchResults(QList<Lumo2> &entries, const SortProgress &progress)
{
    const qsizetype n = entries.size();
    if (n < 2)
        return true;
    std::vector<qsizetype> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), qsizetype(0));
    const auto less = [&entries](qsizetype a, qsizetype b) { return TextLess(entries[a].text, entries[b].text); };

    const qsizetype run = std::max<qsizetype>(1, n / 100);
    int passes = 0;
    for (qsizetype width = run; width < n; width *= 2)
        ++passes;
    const double total = double(n) * (1 + passes);
    double done = 0;
    const int of = int(std::min<qsizetype>(n - 1, INT_MAX));
    int lastStep = 0;
    // A hundredth of the pass between two showings, and the end: the label
    // is repainted about a hundred times per pass, never per merge.
    const int stride = std::max(1, of / 100);
    const auto report = [&](double work) {
        done += work;
        if (!progress)
            return true;
        const int step = std::clamp(int(done / total * of), 1, of);
        if (step == lastStep || (step < of && lastStep > 0 && step < lastStep + stride))
            return true;
        lastStep = step;
        return progress(step, of);
    };

    for (qsizetype from = 0; from < n; from += run) {
        const qsizetype to = std::min(n, from + run);
        std::stable_sort(order.begin() + from, order.begin() + to, less);
        if (!report(double(to - from)))
            return false;
    }
    std::vector<qsizetype> merged(static_cast<size_t>(n));
    for (qsizetype width = run; width < n; width *= 2) {
        for (qsizetype from = 0; from < n; from += 2 * width) {
            const qsizetype mid = std::min(n, from + width);
            const qsizetype to = std::min(n, from + 2 * width);
            // std::merge takes from the left run on ties: equal texts keep their order.
            std::merge(order.begin() + from, order.begin() + mid, order.begin() + mid, order.begin() + to,
                       merged.begin() + from, less);
            if (!report(double(to - from)))
                return false;
        }
        order.swap(merged);
    }

    QList<Lumo2> sorted;
    sorted.reserve(n);
    for (const qsizetype i : order)
        sorted.append(std::move(entries[i]));
    entries = std::move(sorted);
    return true;
}

} // namespace lumo
