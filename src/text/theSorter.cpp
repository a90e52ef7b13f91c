#include "text/theSorter.h"

#include "calendar/aCalendar.h"
#include "text/quickSort.h"

#include <algorithm>
#include <utility>

namespace
{
template <typename KeyFn>
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
    sorting::quickSortByKeys(list.data(), keys.data(), list.size());
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
