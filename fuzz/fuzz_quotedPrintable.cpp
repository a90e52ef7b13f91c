#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar::processQuotedPrintablePart(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
