// Recurrence expansion of whatever entries the reader makes of the input. The list writers read
// the expansion's rows instead of the copies: each row must say what the entry made for it says,
// and the list written from the rows must be the list written from the entries. Expanded in pieces
// on several threads, the rows must be those of one loop over the entries.
#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "fuzzcommon.h"
#include "platform/Parallel.h"

#include <cmath>
#include <cstdlib>
#include <numeric>

namespace
{
bool sameDate(const CalDate& a, const CalDate& b)
{
    return a.isNull() ? b.isNull() : !b.isNull() && a.secsSinceEpoch() == b.secsSinceEpoch() && a.zoneId() == b.zoneId();
}

bool sameKey(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    aCalendar& doc = fuzz::freshDocument();
    doc.setData(fuzz::text(data, size));
    repeatList expanded(doc.getTheData());
    QList<repeatList::Row> rows;
    QList<double> keys;
    for (qsizetype i = 0; i < expanded.size(); ++i) {
        rows << expanded.row(i);
        keys << expanded.startSeconds(i);
    }
    const EntryList& made = expanded.getDataArray();
    if (made.size() != rows.size())
        std::abort();
    for (qsizetype i = 0; i < made.size(); ++i) {
        const dataEntry& e = *made.at(i);
        const repeatList::Row& r = rows.at(i);
        if (!sameDate(r.start, e.getFullStartTime()) || !sameDate(r.end, e.getFullEndTime())
            || r.noTimes != (!e.getStartTime() && !e.getEndTime()) || r.notBlank != e.notBlankLine()
            || r.texts->getSummary() != e.getSummary() || r.texts->getShortDESCRIPTION() != e.getShortDESCRIPTION()
            || !sameKey(keys.at(i), e.startSeconds1970()))
            std::abort();
    }
    const QStringList columns {QStringLiteral("startDate"), QStringLiteral("startTime"), QStringLiteral("endDate"),
                               QStringLiteral("endTime"), QStringLiteral("theSummary")};
    QList<qsizetype> all(expanded.size());
    std::iota(all.begin(), all.end(), qsizetype(0));
    const QByteArray list = doc.delimitedListBytes(expanded, all, columns, true, aCalendar::ListOptions());
    if (list != doc.theTabOut(made, columns).toUtf8())
        std::abort();
    // Expanded in pieces of one entry on several threads, the rows are those of one loop.
    Parallel::setLimits(3, 1);
    const repeatList inPieces(doc.getTheData());
    const QByteArray piecesList = doc.delimitedListBytes(inPieces, all, columns, true, aCalendar::ListOptions());
    Parallel::setLimits(0);
    if (inPieces.size() != expanded.size() || inPieces.getWarningString() != expanded.getWarningString()
        || piecesList != list)
        std::abort();
    for (qsizetype i = 0; i < expanded.size(); ++i) {
        if (!sameKey(inPieces.startSeconds(i), keys.at(i)) || !inPieces.entryAt(i) != !expanded.entryAt(i))
            std::abort();
    }
    return 0;
}
