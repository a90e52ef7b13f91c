// The calendar file reader on a fresh document, from the file's bytes (decoding, charsets, zones),
// then both writers over what it read. The bytes are read twice, whole and in small pieces on
// several threads; the two documents must be the same (the fuzzer stops on any difference).
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"
#include "platform/Parallel.h"
#include "platform/Uuid.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace
{
// The document as text: what the writer makes of it, and what the read said and left.
QString contents(aCalendar& doc, const QString& message)
{
    int uid = 0;
    Uuid::setGenerator([&uid] { return QStringLiteral("uid-%1").arg(++uid); });
    QStringList out {message,
                     doc.getReadNotes().join(QLatin1Char('\n')),
                     doc.getAppTimeZone(),
                     QStringLiteral("%1%2%3%4 %5")
                         .arg(doc.getTodoBool())
                         .arg(doc.getEventBool())
                         .arg(doc.getErrorBool())
                         .arg(doc.getDescBool())
                         .arg(doc.getTheRecObjects().size())};
    for (const EntryPtr& e : doc.getTheData())
        out << QString::number(e->getSourceLine());
    out << doc.createICalString(doc.getTheData(), QStringLiteral("/tmp/Fuzz.ics"));
    Uuid::setGenerator({});
    return out.join(QLatin1Char('\n'));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString whole;
    {
        int uid = 0;
        Uuid::setGenerator([&uid] { return QStringLiteral("read-%1").arg(++uid); });
        aCalendar& doc = fuzz::freshDocument();
        whole = contents(doc, doc.setDecodedData(Encoding::decodeCalendar(bytes, Encoding::Fallback::MacRoman)));
    }
    int uid = 0;
    Uuid::setGenerator([&uid] { return QStringLiteral("read-%1").arg(++uid); });
    Parallel::setLimits(3, 24);
    aCalendar& doc = fuzz::freshDocument();
    const QString message = doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
    Parallel::setLimits(0);
    if (contents(doc, message) != whole) {
        std::fprintf(stderr, "read in pieces differs from the whole read\n");
        std::abort();
    }
    doc.dataCheck();
    doc.createVCalString();
    return 0;
}
