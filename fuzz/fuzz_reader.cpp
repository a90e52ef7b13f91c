// The calendar file reader on a fresh document, from the file's bytes (decoding, charsets, zones),
// then both writers over what it read.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    doc.setDataFromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                         Encoding::Fallback::MacRoman);
    doc.dataCheck();
    doc.createICalString(doc.getTheData(), QStringLiteral("/tmp/Fuzz.ics"));
    doc.createVCalString();
    return 0;
}
