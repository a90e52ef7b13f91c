// Delimited text split into rows and fields, one entry per row, then every writer of entries.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    const QString text = fuzz::text(data, size);
    // The first byte picks the delimiter (comma, tab, a semicolon that quotes like a comma) and the
    // date order.
    static const char* const delimiters[] = {",", "\t", ";"};
    static const char* const orders[] = {"", "DMY", "YMD"};
    const uint8_t pick = size > 0 ? data[0] : 0;
    doc.setCommaTabDateOrder(QString::fromLatin1(orders[(pick >> 2) % 3]));
    doc.processCT(text, QString::fromLatin1(delimiters[pick % 3]));
    if (pick & 0x40)
        doc.dropCommaTabHeader();
    const int rows = doc.getCommaTabRowCount();
    for (int row = 0; row < rows; ++row)
        doc.makeEntryWithSeparated(row, doc.getCommaTabDataOrder());
    doc.addPendingData();
    doc.createICalString(doc.getTheData(), nullptr);
    const QStringList columns {"startTime", "startDate", "endTime", "endDate", "theSummary"};
    aCalendar::ListOptions options;
    options.heading = pick & 0x80;
    doc.theCommaOut(doc.getTheData(), columns, options);
    doc.theTabOut(doc.getTheData(), columns, options);
    doc.textOutput();
    return 0;
}
