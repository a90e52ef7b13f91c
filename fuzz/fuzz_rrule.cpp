// Repeat rules both ways: vCalendar text to iCalendar, and an entry's rule back to vCalendar.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    const QString text = fuzz::text(data, size);
    const QString ical = doc.vCalRRULEtoiCalRRULE(text);
    for (const QString& rule : {text, ical}) {
        auto e = dataEntry::create();
        e->setStartTime(CalDate::fromFields(2007, 3, 15, 9, 30, 0));
        e->setStartDate(CalDate::fromFields(2007, 3, 15, 0, 0, 0));
        e->setEndDate(CalDate::fromFields(2007, 3, 15, 0, 0, 0));
        e->setEndTime(CalDate::fromFields(2007, 3, 15, 10, 0, 0));
        e->setRRULE(rule);
        e->rruleVcal();
        e->getVCal();
    }
    return 0;
}
