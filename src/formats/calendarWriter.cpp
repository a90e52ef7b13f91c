// Calendar envelopes around the entries' blocks: iCalendar 2.0 and vCalendar 1.0 files.

#include "calendar/aCalendar.h"
#include "formats/writeContext.h"
#include "platform/Encoding.h"
#include "platform/Memory.h"
#include "platform/Parallel.h"
#include "platform/Uuid.h"

#include <QSet>
#include <QStringEncoder>

#include <atomic>

namespace
{
// A file name becomes a TEXT value: no line breaks (they would start new properties), no other
// control characters (a file name may hold them; peers drop the line), and the characters TEXT
// reserves escaped.
QString textValue(QString text)
{
    writerParts::stripControlCharacters(text, 0);
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char(';'), QLatin1String("\\;"));
    text.replace(QLatin1Char(','), QLatin1String("\\,"));
    return text;
}

constexpr char kFooter[] = "END:VCALENDAR\r\n";

// A large calendar is written in pieces at once, each of at least this many entries.
constexpr qsizetype kEntriesPerPiece = 2000;

/// The entries in the order they are written: each entry once, each override right after its
/// parent (once, even when it is listed twice or among the entries).
QList<dataEntry*> writeOrder(const EntryList& entries)
{
    QList<dataEntry*> order;
    order.reserve(entries.size());
    QSet<const dataEntry*> written;
    written.reserve(entries.size());
    for (const EntryPtr& entry : entries) {
        if (!entry || written.contains(entry.get()))
            continue;
        written.insert(entry.get());
        order.append(entry.get());
        for (const EntryPtr& child : entry->getTheReoccDateArray()) {
            if (!child || written.contains(child.get()))
                continue;
            written.insert(child.get());
            order.append(child.get());
        }
    }
    return order;
}

/// Entries without a UID get theirs before the pieces are written, in file order, so that a file
/// written in pieces names its entries as one written in one go.
void giveUids(const QList<dataEntry*>& order)
{
    for (dataEntry* e : order) {
        if (e->getUIDValue().isEmpty() && e->notBlankLine())
            e->setNewUID();
    }
}

/// The blocks of the entries of @p order in pieces (@p append(i, text, context) writes entry i's):
/// piece k holds the blocks of its part of the list.
template <typename Append>
QList<QString> blockTexts(const QList<dataEntry*>& order, const dataEntry::WriteContext& context, Append append)
{
    const int n = Parallel::pieces(order.size(), kEntriesPerPiece);
    QList<QString> parts(n);
    QString* texts = parts.data();
    Parallel::run(n, [&](int k) {
        const dataEntry::WriteContext own = context;
        const qsizetype first = Parallel::pieceStart(order.size(), k, n);
        const qsizetype last = Parallel::pieceStart(order.size(), k + 1, n);
        for (qsizetype i = first; i < last; ++i)
            append(i, texts[k], own);
    });
    return parts;
}

/// The blocks as bytes, in pieces (see Parallel::bytesInPieces).
template <typename Append, typename Encode>
QList<QByteArray> blockBytes(const QList<dataEntry*>& order, const dataEntry::WriteContext& context, Append append,
                             Encode encode)
{
    return Parallel::bytesInPieces(
        order.size(), kEntriesPerPiece,
        [&] {
            return [&append, own = context](qsizetype i, QString& text) { append(i, text, own); };
        },
        encode);
}

void appendMacRoman(QByteArray& out, const QString& text)
{
    out += Encoding::encodeMacRoman(text);
}

QString vCalHeader(const dataEntry::WriteContext& context)
{
    QString tz = CalDate::now(context.local).offsetText();
    if (tz.size() > 3 && tz.endsWith(QLatin1String("00")))
        tz.chop(2);
    return QStringLiteral("BEGIN:VCALENDAR\r\nPRODID:PalmDesktop Generated\r\nTZ:%1\r\nVERSION:1.0\r\n").arg(tz);
}

/// The vCalendar forms of the repeat rules of @p order (in pieces); true when one has none.
bool vCalRules(const QList<dataEntry*>& order, QList<QString>* rules)
{
    rules->resize(order.size());
    QString* rule = rules->data();
    std::atomic<bool> untranslatable {false};
    const int n = Parallel::pieces(order.size(), kEntriesPerPiece);
    Parallel::run(n, [&](int k) {
        const qsizetype first = Parallel::pieceStart(order.size(), k, n);
        const qsizetype last = Parallel::pieceStart(order.size(), k + 1, n);
        for (qsizetype i = first; i < last; ++i) {
            const dataEntry* e = order.at(i);
            if (e->getRRULENoRRULE().isEmpty() || !e->notBlankLine())
                continue;
            rule[i] = e->rruleVcal();
            if (!rule[i].startsWith(QLatin1String("RRULE:")))
                untranslatable = true;
        }
    });
    return untranslatable;
}

/// The vCalendar file written entry by entry, for calendars with a rule that has no vCalendar
/// form: appends to @p out and returns the last message.
QString vCalOneByOne(const EntryList& entries, const dataEntry::WriteContext& context, QString& out)
{
    QString message;
    // vCalendar has no RECURRENCE-ID: each override follows its parent (once) as an event of its
    // own, and the parent names the occurrence it replaces as an exception date.
    QSet<const dataEntry*> written;
    for (const EntryPtr& entry : entries) {
        if (!entry || written.contains(entry.get()))
            continue;
        written.insert(entry.get());
        // A blank entry adds nothing; an untranslatable rule adds nothing and returns its message.
        const QString problem = entry->appendVCal(out, context);
        if (!problem.isEmpty()) {
            message = problem;
            continue;
        }
        for (const EntryPtr& child : entry->getTheReoccDateArray()) {
            if (!child || written.contains(child.get()))
                continue;
            written.insert(child.get());
            const QString childProblem = child->appendVCal(out, context);
            if (!childProblem.isEmpty())
                message = childProblem;
        }
    }
    out += QLatin1String(kFooter);
    return message;
}

QString iCalHeader(const dataEntry::WriteContext& context, const QString* calName)
{
    // Peers read X-WR-TIMEZONE as a zone identifier, so it names the zone, not an abbreviation.
    QString out = QStringLiteral("BEGIN:VCALENDAR\r\nCALSCALE:GREGORIAN\r\nX-WR-TIMEZONE;VALUE=TEXT:%1\r\n"
                                 "PRODID:-//Quenlor\\, //Quenlor//EN\r\n")
                      .arg(context.localId);
    if (calName) {
        const QString file = calName->mid(calName->lastIndexOf(QLatin1Char('/')) + 1);
        const QString name = file.left(file.indexOf(QLatin1Char('.')));
        out += dataEntry::the72Split(QStringLiteral("X-WR-CALNAME;VALUE=TEXT:") + textValue(name))
            + QStringLiteral("\r\n");
    }
    out += QStringLiteral("X-WR-RELCALID;VALUE=TEXT:%1\r\n").arg(Uuid::create());
    out += QStringLiteral("VERSION:2.0\r\n");
    return out;
}

/// @p head, the parts in order, and the calendar's last line, in one allocation.
QString joined(QString head, const QList<QString>& parts)
{
    qsizetype size = head.size() + qsizetype(sizeof kFooter) - 1;
    for (const QString& part : parts)
        size += part.size();
    head.reserve(size);
    Memory::preferLargePages(head.data(), head.capacity() * qsizetype(sizeof(QChar)));
    for (const QString& part : parts)
        head += part;
    head += QLatin1String(kFooter);
    return head;
}

/// The file as parts to be written one after another: @p head, the pieces, the footer.
QList<QByteArray> withEnds(QByteArray head, QList<QByteArray> pieces)
{
    pieces.prepend(std::move(head));
    pieces.append(QByteArray(kFooter));
    return pieces;
}
} // namespace

QString aCalendar::createICalString(const EntryList& entries, const QString* calName) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    QString head = iCalHeader(context, calName);
    const QList<dataEntry*> order = writeOrder(entries);
    giveUids(order);
    return joined(std::move(head), blockTexts(order, context,
                                              [&](qsizetype i, QString& text, const dataEntry::WriteContext& own) {
                                                  order.at(i)->appendICal(text, own);
                                              }));
}

QByteArray aCalendar::createICalBytes(const EntryList& entries, const QString* calName) const
{
    return Parallel::joined(createICalParts(entries, calName));
}

QList<QByteArray> aCalendar::createICalParts(const EntryList& entries, const QString* calName) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    const QByteArray head = iCalHeader(context, calName).toUtf8();
    const QList<dataEntry*> order = writeOrder(entries);
    giveUids(order);
    return withEnds(head, blockBytes(order, context,
                                     [&](qsizetype i, QString& text, const dataEntry::WriteContext& own) {
                                         order.at(i)->appendICal(text, own);
                                     },
                                     [](QByteArray& out, const QString& text) { Encoding::appendUtf8(out, text); }));
}

bool aCalendar::createICalTo(const EntryList& entries, const QString* calName,
                             const std::function<bool(const QByteArray&)>& sink) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    const QByteArray head = iCalHeader(context, calName).toUtf8();
    const QList<dataEntry*> order = writeOrder(entries);
    giveUids(order);
    if (!sink(head))
        return false;
    const bool written = Parallel::bytesInPiecesTo(
        order.size(), kEntriesPerPiece,
        [&] {
            return [&, own = context](qsizetype i, QString& text) { order.at(i)->appendICal(text, own); };
        },
        [](QByteArray& out, const QString& text) { Encoding::appendUtf8(out, text); }, sink);
    return written && sink(QByteArray(kFooter));
}

QString aCalendar::createVCalString() const
{
    return createVCalStringWithData(getTheData());
}

QString aCalendar::createVCalStringWithData(const EntryList& entries) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    QString out = vCalHeader(context);
    // The repeat rules in their vCalendar form first: a rule without one makes the file the
    // message, and then it is written entry by entry as always.
    const QList<dataEntry*> order = writeOrder(entries);
    QList<QString> rules;
    if (vCalRules(order, &rules)) {
        const QString message = vCalOneByOne(entries, context, out);
        return message.isEmpty() ? out : message;
    }
    giveUids(order);
    return joined(std::move(out), blockTexts(order, context,
                                             [&](qsizetype i, QString& text, const dataEntry::WriteContext& own) {
                                                 order.at(i)->appendVCal(text, own, &rules.at(i));
                                             }));
}

QByteArray aCalendar::createVCalBytes(const EntryList& entries, QString* message) const
{
    return Parallel::joined(createVCalParts(entries, message));
}

QList<QByteArray> aCalendar::createVCalParts(const EntryList& entries, QString* message) const
{
    message->clear();
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    QString head = vCalHeader(context);
    const QList<dataEntry*> order = writeOrder(entries);
    QList<QString> rules;
    if (vCalRules(order, &rules)) {
        *message = vCalOneByOne(entries, context, head);
        if (!message->isEmpty())
            return {};
        return {Encoding::encodeMacRoman(head)};
    }
    giveUids(order);
    return withEnds(Encoding::encodeMacRoman(head),
                    blockBytes(order, context,
                               [&](qsizetype i, QString& text, const dataEntry::WriteContext& own) {
                                   order.at(i)->appendVCal(text, own, &rules.at(i));
                               },
                               appendMacRoman));
}
