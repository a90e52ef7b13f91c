#pragma once

// Entries and deterministic identifiers for the writer tests.

#include "calendar/dataEntry.h"
#include "platform/Uuid.h"

#include <memory>

namespace formatstest
{
/// UIDs 00000000-0000-0000-0000-000000000001, ...002, ... from the next call on.
inline void countedUuids()
{
    auto counter = std::make_shared<int>(0);
    Uuid::setGenerator([counter] { return QStringLiteral("00000000-0000-0000-0000-%1").arg(++*counter, 12, 10, QLatin1Char('0')); });
}

inline CalDate day(int y, int m, int d)
{
    return CalDate::fromFields(y, m, d, 0, 0, 0);
}

inline CalDate at(int y, int m, int d, int h, int min)
{
    return CalDate::fromFields(y, m, d, h, min, 0);
}

/// A timed entry on one day, made the way the table makes it (dates at midnight, times apart).
inline EntryPtr timed(const QString& summary, int y, int m, int d, int sh, int smin, int eh, int emin)
{
    auto e = dataEntry::create();
    e->setSummary(summary);
    e->updateStartDetail(day(y, m, d), at(y, m, d, sh, smin));
    e->updateEndDetail(day(y, m, d), at(y, m, d, eh, emin));
    return e;
}

/// An all-day entry from one day to another (inclusive).
inline EntryPtr allDay(const QString& summary, const CalDate& from, const CalDate& to)
{
    auto e = dataEntry::create();
    e->setSummary(summary);
    e->updateStartDetail(from, CalDate());
    e->updateEndDetail(to, CalDate());
    return e;
}
} // namespace formatstest
