// A CalDAV server's answer body: read as a multistatus answer (what was complete before an error
// included) and as an error body; the calendars it names get their titles, and the calendar data
// it carries is read into a document as an import does, each entry's resource address made from
// its UID.
#include "bridges/caldavCalendars.h"
#include "bridges/caldavProtocol.h"
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QUrl base(QStringLiteral("http://127.0.0.1:5232/user/calendar/"));
    QString error;
    QList<caldav::DavResponse> soFar;
    const std::optional<QList<caldav::DavResponse>> responses = caldav::parseMultistatus(body, base, &error, &soFar);
    caldav::errorConditions(body);
    if (!responses && error.isEmpty()) {
        std::fprintf(stderr, "an unreadable answer without a reason\n");
        std::abort();
    }

    QList<caldav::Calendar> calendars;
    aCalendar& doc = fuzz::freshDocument();
    for (const caldav::DavResponse& r : responses ? *responses : soFar) {
        caldav::statusText(r.status);
        caldav::sameResource(r.url, base);
        if (r.isCalendar)
            calendars << caldav::Calendar {QStringLiteral("fuzz"), caldav::asCollection(r.url), r.displayName,
                                           r.components, QString()};
        for (const QUrl& home : r.calendarHomes)
            caldav::asCollection(home);
        if (r.calendarData)
            doc.setData(*r.calendarData);
    }
    caldav::assignTitles({QStringLiteral("Home"), QStringLiteral("Work")}, calendars);
    for (const EntryPtr& e : doc.getTheData()) {
        if (!e)
            continue;
        e->getUID();
        // Whatever the UID holds, its resource is one name inside the calendar's collection.
        const QUrl url = caldav::resourceUrl(base, e->getUIDValue());
        if (url.isEmpty())
            continue;
        const QString path = url.path(QUrl::FullyEncoded);
        const QString prefix = base.path(QUrl::FullyEncoded);
        if (url.scheme() != base.scheme() || url.authority() != base.authority() || !path.startsWith(prefix)
            || path.mid(prefix.size()).contains(QLatin1Char('/')) || !url.query().isEmpty()
            || !url.fragment().isEmpty()) {
            std::fprintf(stderr, "the resource of UID %s is outside the calendar: %s\n",
                         e->getUIDValue().toUtf8().constData(), url.toString().toUtf8().constData());
            std::abort();
        }
    }
    return 0;
}
