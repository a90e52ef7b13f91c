// Recurrence expansion of whatever entries the reader makes of the input.
#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    doc.setData(fuzz::text(data, size));
    repeatList expanded(doc.getTheData());
    expanded.getDataArray();
    expanded.getWarningString();
    return 0;
}
