// Free-text appointment guessing, then the iCalendar writer over what it made.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    doc.processDateString(fuzz::text(data, size));
    doc.createICalString(doc.getTheData(), nullptr);
    return 0;
}
