// Delimited text split into rows and fields, then one entry per row.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    const QString text = fuzz::text(data, size);
    const bool tab = size > 0 && (data[0] & 1);
    doc.processCT(text, tab ? QStringLiteral("\t") : QStringLiteral(","));
    const int rows = doc.getCommaTabRowCount();
    for (int row = 0; row < rows; ++row)
        doc.makeEntryWithSeparated(row, doc.getCommaTabDataOrder());
    doc.addPendingData();
    doc.createICalString(doc.getTheData(), nullptr);
    return 0;
}
