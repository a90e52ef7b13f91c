#pragma once

#include <QString>
#include <QTimeZone>

namespace caldav
{
/// The VTIMEZONE component (CR LF lines) of @p zone under the name @p tzid, for events from the
/// year @p fromYear on, as the resources put on a CalDAV server carry it: RFC 5545 wants one for
/// every TZID, strict servers refuse resources without, and others build it themselves at a
/// cost that dominated an append.
///
/// The zone's yearly rule of @p referenceYear becomes two observances with RRULEs, starting in
/// the first year since which the zone has kept that rule; the transitions before it (back to
/// @p fromYear) are written one by one. A zone that keeps one offset gets one observance. A
/// rule that no RRULE of the usual form expresses (or that changes within ten years of
/// @p referenceYear) gets every transition up to ten years after @p referenceYear.
QString vtimezone(const QTimeZone& zone, const QString& tzid, int fromYear, int referenceYear);
} // namespace caldav
