#include "calendar/aCalendar.h"

CalDate aCalendar::zoneAdjust(const CalDate& d) const
{
    if (d.isNull())
        return d;
    const QTimeZone local = Zones::local();
    const CalDate now = CalDate::now(local);
    const QString zoneName = !appTimeZone.isEmpty() ? appTimeZone : controlZoneString;
    if (zoneName.isEmpty() && controlHoursFromGMT.isEmpty())
        return d;
    if (!zoneName.isEmpty()) {
        // The file's zone is the user's own: nothing to shift.
        if (zoneName == now.format(QStringLiteral("%Z")) || zoneName == Zones::idOf(local))
            return d;
        const CalDate there
            = CalDate::fromFields(d.year(), d.month(), d.day(), d.hour(), d.minute(), 0, Zones::byName(zoneName));
        return there.inZone(local);
    }
    // A vCalendar file (TZ line, no zone name): its times are UTC, each shown at the offset the
    // local zone has on its own date (organisers' files read the same in winter and in summer).
    return CalDate::fromFields(d.year(), d.month(), d.day(), d.hour(), d.minute(), 0, Zones::utc()).inZone(local);
}
