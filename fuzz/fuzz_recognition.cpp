// Date and time phrases found in free text, then read as dates and times.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static aCalendar doc;
    const QString text = fuzz::text(data, size);
    for (const QString& phrase : doc.returnDatesInString(text))
        doc.returnCalendarDate(phrase);
    for (const QString& phrase : doc.returnTimeInString(text))
        doc.returnCalendarTime(phrase);
    doc.returnTCDate(text);
    return 0;
}
