#include "calendar/aCalendar.h"

namespace
{
// Hour and minute offsets from a "%z" text: characters 0-2 (sign and hours) and 3-4.
void offsetParts(const QString& z, int* hours, int* minutes)
{
    *hours = z.left(3).toInt();
    *minutes = z.mid(3, 2).toInt();
}
} // namespace

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
        const CalDate there =
            CalDate::fromFields(d.year(), d.month(), d.day(), d.hour(), d.minute(), 0, Zones::byName(zoneName));
        return there.inZone(local);
    }
    // A vCalendar file (TZ line, no zone name): its times are UTC, shown at today's local offset.
    const CalDate g = CalDate::fromFields(d.year(), d.month(), d.day(), d.hour(), d.minute(), 0, Zones::utc());
    const CalDate l = CalDate::fromFields(d.year(), d.month(), d.day(), d.hour(), d.minute(), 0, local);
    int nowH = 0, nowM = 0, lH = 0, lM = 0;
    offsetParts(now.offsetText(), &nowH, &nowM);
    offsetParts(l.offsetText(), &lH, &lM);
    const CalDate shown = g.inZone(local);
    if (nowH == lH)
        return shown;
    return shown.addComponents(0, 0, 0, nowH - lH, nowM - lM, 0);
}
