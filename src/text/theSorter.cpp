#include "text/theSorter.h"

#include "calendar/aCalendar.h"

#include <algorithm>
#include <utility>

namespace
{
struct Range
{
    EntryPtr* items;
    double* keys;

    void exch(qsizetype a, qsizetype b) const
    {
        std::swap(items[a], items[b]);
        std::swap(keys[a], keys[b]);
    }
};

bool strictlyAscending(const double* keys, qsizetype l, qsizetype r)
{
    for (qsizetype k = l; k < r; ++k) {
        if (!(keys[k] < keys[k + 1]))
            return false;
    }
    return true;
}

// Three-way partitioning quicksort (pivot: the last element). Each level recurses into the
// smaller part and loops on the larger, so the stack stays shallow on sorted or equal keys;
// the parts are disjoint, so the order of the two sorts does not change the result.
void quickSortRange(const Range& a, qsizetype l, qsizetype r)
{
    while (l < r) {
        // A strictly ascending range would come out of the partition unchanged; skip the work.
        if (strictlyAscending(a.keys, l, r))
            return;
        const double v = a.keys[r];
        qsizetype i = l - 1, j = r, p = l - 1, q = r;
        for (;;) {
            while (a.keys[++i] < v) {
            }
            while (v < a.keys[--j]) {
                if (j == l)
                    break;
            }
            if (i >= j)
                break;
            a.exch(i, j);
            if (a.keys[i] == v) {
                ++p;
                a.exch(p, i);
            }
            if (v == a.keys[j]) {
                --q;
                a.exch(j, q);
            }
        }
        a.exch(i, r);
        j = i - 1;
        i = i + 1;
        for (qsizetype k = l; k < p; ++k, --j)
            a.exch(k, j);
        for (qsizetype k = r - 1; k > q; --k, ++i)
            a.exch(i, k);
        if (j - l < r - i) {
            quickSortRange(a, l, j);
            l = i;
        } else {
            quickSortRange(a, i, r);
            r = j;
        }
    }
}

template<typename KeyFn>
void sortByKey(EntryList& list, KeyFn key)
{
    QList<double> keys;
    keys.reserve(list.size());
    for (const EntryPtr& e : std::as_const(list))
        keys.append(e ? key(*e) : 0.0);
    theSorter::quickSort(list, keys);
}
} // namespace

void theSorter::quickSort(EntryList& list, QList<double>& keys)
{
    if (list.size() < 2 || keys.size() != list.size())
        return;
    const Range range{list.data(), keys.data()};
    quickSortRange(range, 0, list.size() - 1);
}

bool theSorter::stringSort(const EntryPtr& a, const EntryPtr& b)
{
    const QString& sa = a ? a->getSummary() : QString();
    const QString& sb = b ? b->getSummary() : QString();
    return QString::compare(sa, sb, Qt::CaseSensitive) < 0;
}

EntryList& theSorter::newArrayStartSort(const EntryList& list)
{
    newArray(list);
    return sortByStart();
}

EntryList& theSorter::sortByStart()
{
    sortByKey(theWorkingArray, [](const dataEntry& e) { return e.startSeconds1970(); });
    return theWorkingArray;
}

EntryList& theSorter::sortByEnd()
{
    sortByKey(theWorkingArray, [](const dataEntry& e) { return e.endSeconds1970(); });
    return theWorkingArray;
}

EntryList& theSorter::sortBySummary()
{
    std::stable_sort(theWorkingArray.begin(), theWorkingArray.end(), &theSorter::stringSort);
    return theWorkingArray;
}

void aCalendar::sortStart()
{
    theSorter sorter(theData);
    replaceTheData(sorter.sortByStart());
}

void aCalendar::sortEnd()
{
    theSorter sorter(theData);
    replaceTheData(sorter.sortByEnd());
}

void aCalendar::sortSummary()
{
    theSorter sorter(theData);
    replaceTheData(sorter.sortBySummary());
}
