#pragma once

#include "calendar/dataEntry.h"

#include <QList>

/// Orders entry lists by start, by end or by summary. The sorter keeps its own list of the
/// entries it was given (the entries themselves are shared, not copied) and rearranges that list.
///
/// Start and end sorting is a three-way quicksort on seconds since 1970; it is not stable, so
/// entries with equal keys may change their relative order. Summary sorting compares texts by
/// UTF-16 code unit, case-sensitively, with no locale ("B" < "a" < "b").
class theSorter
{
public:
    theSorter() = default;
    /// initWithArrayData: the working list is a copy of @p list.
    explicit theSorter(const EntryList& list)
        : theWorkingArray(list)
    {
    }

    void newArray(const EntryList& list) { theWorkingArray = list; }
    EntryList& newArrayStartSort(const EntryList& list);

    EntryList& sortByStart();
    EntryList& sortByEnd();
    EntryList& sortBySummary();

    const EntryList& workingArray() const { return theWorkingArray; }

    /// The three-way quicksort itself, over @p list ordered by @p keys (one key per entry, moved
    /// along with it). Recursion depth stays logarithmic whatever the keys.
    static void quickSort(EntryList& list, QList<double>& keys);
    /// Summary order: true when @p a's summary sorts before @p b's.
    static bool stringSort(const EntryPtr& a, const EntryPtr& b);

private:
    EntryList theWorkingArray;
};
