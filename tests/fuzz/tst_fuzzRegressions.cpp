// Inputs that once crashed, hung or misread in one of the readers, replayed through the same
// steps as the fuzz targets in fuzz/, plus what each must give now.
#include "../../fuzz/wellFormed.h"
#include "addressbook/invitee.h"
#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/NaturalDate.h"
#include "platform/PropertyList.h"
#include "testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace
{
// Sanitizer builds run many times slower; the bounds only catch runaway work.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr qint64 kSlowdown = 40;
#else
constexpr qint64 kSlowdown = 1;
#endif
// Per input, in an optimised build without sanitizers.
constexpr qint64 kBoundMs = 1000;

QString dataDir()
{
    return QStringLiteral(TIDEWELL_TEST_DATA "/fuzz");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString decoded(const QByteArray& bytes)
{
    return Encoding::decode(bytes, Encoding::Fallback::MacRoman);
}

// The steps of each fuzz target (fuzz/fuzz_<name>.cpp), on a fresh document.
void replayReader(const QByteArray& bytes)
{
    aCalendar doc;
    doc.setData(decoded(bytes));
    doc.dataCheck();
    doc.createICalString(doc.getTheData(), QStringLiteral("/tmp/Fuzz.ics"));
    doc.createVCalString();
}

void replayExpand(const QByteArray& bytes)
{
    aCalendar doc;
    doc.setData(decoded(bytes));
    repeatList expanded(doc.getTheData());
    expanded.getWarningString();
}

void replayRrule(const QByteArray& bytes)
{
    aCalendar doc;
    const QString text = decoded(bytes);
    const QString ical = doc.vCalRRULEtoiCalRRULE(text);
    for (const QString& rule : {text, ical}) {
        auto e = dataEntry::create();
        e->setStartTime(CalDate::fromFields(2007, 3, 15, 9, 30, 0));
        e->setStartDate(CalDate::fromFields(2007, 3, 15, 0, 0, 0));
        e->setEndDate(CalDate::fromFields(2007, 3, 15, 0, 0, 0));
        e->setEndTime(CalDate::fromFields(2007, 3, 15, 10, 0, 0));
        e->setRRULE(rule);
        e->rruleVcal();
        e->getVCal();
    }
}

void replayQuotedPrintable(const QByteArray& bytes)
{
    aCalendar::processQuotedPrintablePart(bytes);
}

void replayRecognition(const QByteArray& bytes)
{
    aCalendar doc;
    const QString text = decoded(bytes);
    for (const QString& phrase : doc.returnDatesInString(text))
        doc.returnCalendarDate(phrase);
    for (const QString& phrase : doc.returnTimeInString(text))
        doc.returnCalendarTime(phrase);
    doc.returnTCDate(text);
}

void replayNaturalDate(const QByteArray& bytes)
{
    const QString text = decoded(bytes);
    NaturalDate::parse(text,
                       NaturalDateSettings::fromShortDateFormat(QStringLiteral("%m/%d/%y"), DateNames::english()));
    NaturalDate::parse(text,
                       NaturalDateSettings::fromShortDateFormat(QStringLiteral("%d.%m.%Y"), DateNames::english(),
                                                                QStringLiteral(".")));
}

void replayGuess(const QByteArray& bytes)
{
    aCalendar doc;
    doc.processDateString(decoded(bytes));
    doc.createICalString(doc.getTheData(), nullptr);
}

void replayDelimited(const QByteArray& bytes)
{
    aCalendar doc;
    const bool tab = !bytes.isEmpty() && (bytes.at(0) & 1);
    doc.processCT(decoded(bytes), tab ? QStringLiteral("\t") : QStringLiteral(","));
    const int rows = int(doc.getCommaTabData().size());
    for (int row = 0; row < rows; ++row)
        doc.makeEntryWithSeparated(row, doc.getCommaTabDataOrder());
    doc.addPendingData();
    doc.createICalString(doc.getTheData(), nullptr);
}

// The writers' checks: what any input gives in every format must be well formed (an empty
// result); otherwise the first problem.
QString replayWriters(const QByteArray& bytes)
{
    aCalendar doc;
    doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
    doc.dataCheck();
    const EntryList& entries = doc.getTheData();
    const EntryPtr first = entries.value(0);
    // Names and addresses from the input, as the fuzz target takes them without its extra lines.
    const QString calName = first ? first->getSummary() : QString();
    QList<invitee> invitees;
    for (int i = 0; i < 2 && first; ++i) {
        invitee one;
        one.setTheRealName(i ? first->getLocation() : first->getSummary());
        one.setInviteeName(one.getTheRealName());
        one.setInviteeEmailAddress(first->getShortDESCRIPTION());
        invitees << one;
    }
    const QStringList columns {"startTime", "startDate", "endTime", "endDate", "theSummary"};
    aCalendar::ListOptions options;
    options.heading = true;
    QString blocks;
    for (const EntryPtr& e : entries) {
        if (e)
            blocks += e->getICalForICal(invitees, calName, QStringLiteral("o@x"));
    }
    const QString ics = doc.createICalString(entries, &calName);
    const QString vcs = doc.createVCalString();
    const QList<std::pair<const char*, QString>> problems {
        {"iCalendar", wellFormed::iCalendarProblem(ics)},
        {"vCalendar", wellFormed::vCalendarProblem(vcs.toUtf8())},
        {"comma list", wellFormed::delimitedProblem(doc.theCommaOut(entries, columns, options), QLatin1Char(','))},
        {"tab list", wellFormed::delimitedProblem(doc.theTabOut(entries, columns, options), QLatin1Char('\t'))},
        {"readable list", wellFormed::textProblem(doc.textOutput())},
        {"invitation",
         wellFormed::iCalendarProblem(doc.createInvitationString(entries, invitees, calName, QStringLiteral("o@x")),
                                      "\n")},
        {"appended invitation",
         wellFormed::iCalendarProblem(QStringLiteral("BEGIN:VCALENDAR\r\n") + blocks
                                      + QStringLiteral("END:VCALENDAR\r\n"))},
    };
    for (const auto& [what, problem] : problems) {
        if (!problem.isEmpty())
            return QLatin1String(what) + QStringLiteral(": ") + problem;
    }
    return {};
}

// libplist aborts the process on a key or string holding a NUL byte: XML with one is refused
// (XML cannot hold it), a binary list reads.
QString replayPropertyList(const QByteArray& bytes)
{
    const std::optional<PropertyList::Node> node = PropertyList::parse(bytes);
    if (bytes.startsWith("bplist"))
        return node ? QString() : QStringLiteral("a binary list was not read");
    if (bytes.contains('\0') && node)
        return QStringLiteral("XML with a NUL byte was read");
    return {};
}

// The input as the user's mail program's desktop file, found through mimeapps.list (PATH has no
// xdg-mime), and its first line as an Exec value. Each line of the file once reserved a megabyte.
QString replayExecLine(const QByteArray& bytes)
{
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("data/applications"));
    QFile list(root.filePath(QStringLiteral("mimeapps.list")));
    QFile desktop(root.filePath(QStringLiteral("data/applications/fuzz-mail.desktop")));
    if (!list.open(QIODevice::WriteOnly) || !desktop.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the fixtures");
    list.write("[Default Applications]\nx-scheme-handler/mailto=fuzz-mail.desktop;\n");
    desktop.write(bytes);
    list.close();
    desktop.close();
    const QList<std::pair<const char*, QString>> env {{"XDG_CONFIG_HOME", root.path()},
                                                      {"XDG_DATA_HOME", root.filePath(QStringLiteral("data"))},
                                                      {"XDG_CONFIG_DIRS", root.filePath(QStringLiteral("none"))},
                                                      {"XDG_DATA_DIRS", root.filePath(QStringLiteral("none"))},
                                                      {"PATH", root.filePath(QStringLiteral("none"))}};
    QList<QByteArray> saved;
    for (const auto& [name, value] : env) {
        saved << qgetenv(name);
        qputenv(name, QFile::encodeName(value));
    }
    Desktop::splitExecLine(QString::fromUtf8(bytes.left(bytes.indexOf('\n'))));
    Desktop::defaultMailHandler();
    for (qsizetype i = 0; i < env.size(); ++i)
        qputenv(env.at(i).first, saved.at(i));
    return {};
}

// Each replay returns "" or what went wrong; most only have to finish.
using Replay = std::function<QString(const QByteArray&)>;

template <void (*run)(const QByteArray&)>
QString finishes(const QByteArray& bytes)
{
    run(bytes);
    return {};
}

Replay replayFor(const QString& target)
{
    static const QHash<QString, Replay> targets {
        {QStringLiteral("reader"), finishes<replayReader>},
        {QStringLiteral("expand"), finishes<replayExpand>},
        {QStringLiteral("rrule"), finishes<replayRrule>},
        {QStringLiteral("quotedPrintable"), finishes<replayQuotedPrintable>},
        {QStringLiteral("recognition"), finishes<replayRecognition>},
        {QStringLiteral("naturalDate"), finishes<replayNaturalDate>},
        {QStringLiteral("guess"), finishes<replayGuess>},
        {QStringLiteral("delimited"), finishes<replayDelimited>},
        {QStringLiteral("writers"), replayWriters},
        {QStringLiteral("propertyList"), replayPropertyList},
        {QStringLiteral("execLine"), replayExecLine},
    };
    return targets.value(target);
}
} // namespace

class TestFuzzRegressions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-03-15T12:00:00Z");
    }

    void init() { m_settings = std::make_unique<testutil::TempSettings>(); }
    void cleanup() { m_settings.reset(); }

    // Every kept input, through the steps of the target that found it: no crash, bounded time, and
    // for the writers well-formed output.
    void replay_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("path");
        const QDir root(dataDir());
        const QStringList targets = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& target : targets) {
            const QDir dir(root.filePath(target));
            for (const QString& file : dir.entryList(QDir::Files, QDir::Name))
                QTest::newRow(qPrintable(target + QLatin1Char('/') + file)) << target << dir.filePath(file);
        }
    }

    void replay()
    {
        QFETCH(QString, target);
        QFETCH(QString, path);
        const auto run = replayFor(target);
        QVERIFY2(run, qPrintable(QStringLiteral("no replay for target ") + target));
        const QByteArray bytes = readFile(path);
        QElapsedTimer timer;
        timer.start();
        const QString problem = run(bytes);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY2(timer.elapsed() < kBoundMs * kSlowdown, qPrintable(QString::number(timer.elapsed()) + " ms"));
    }

    // A BYDAY list naming one position thousands of times made the expander walk every name in
    // every period (25 s for one 64 KB rule); the names now count once.
    void repeatedPositionExpandsOnce_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("once");
        QTest::addColumn<int>("occurrences");
        QTest::newRow("monthly 1MO") << "expand/monthly-one-position-named-16000-times.ics"
                                     << "BYDAY=1MO" << 1200;
        QTest::newRow("yearly -1FR") << "expand/yearly-one-position-named-13000-times.ics"
                                     << "BYDAY=-1FR" << 1200;
    }
    void repeatedPositionExpandsOnce()
    {
        QFETCH(QString, file);
        QFETCH(QString, once);
        QFETCH(int, occurrences);
        const QString text = decoded(readFile(dataDir() + QLatin1Char('/') + file));
        QVERIFY(text.size() > 60000);
        aCalendar doc;
        doc.setData(text);
        QCOMPARE(doc.entryCount(), 1);
        QElapsedTimer timer;
        timer.start();
        const repeatList expanded(doc.getTheData());
        QVERIFY2(timer.elapsed() < 2000 * kSlowdown, qPrintable(QString::number(timer.elapsed()) + " ms"));

        QString shortText = text;
        const qsizetype from = shortText.indexOf(QLatin1String("BYDAY="));
        shortText.replace(from, shortText.indexOf(QLatin1Char('\r'), from) - from, once);
        aCalendar single;
        single.setData(shortText);
        const repeatList expected(single.getTheData());
        QCOMPARE(expected.getDataArray().size(), qsizetype(occurrences));
        QCOMPARE(expanded.getDataArray().size(), expected.getDataArray().size());
        for (qsizetype i = 0; i < expected.getDataArray().size(); ++i)
            QCOMPARE(expanded.getDataArray().at(i)->getDTSTART(), expected.getDataArray().at(i)->getDTSTART());
        QCOMPARE(expanded.getWarningString(), expected.getWarningString());
    }

    // Open-ended rules naming overlapping positions (-1MO is always 4MO or 5MO): the stream whose
    // days another stream named first never reached the horizon, and each such rule walked a
    // thousand empty months (507 of them took 14 s in a sanitizer build). A shared day now counts
    // for every stream that names it.
    void overlappingPositionsReachTheHorizon()
    {
        const QString text
            = decoded(readFile(dataDir() + QStringLiteral("/expand/every-weekday-position-forever.vcs")));
        aCalendar doc;
        doc.setData(text);
        QCOMPARE(doc.entryCount(), 507);
        QElapsedTimer timer;
        timer.start();
        const repeatList expanded(doc.getTheData());
        // Only a guard against the walk coming back (speed is the benchmark's business).
        QVERIFY2(timer.elapsed() < 10000 * kSlowdown, qPrintable(QString::number(timer.elapsed()) + " ms"));

        const qsizetype end = text.indexOf(QLatin1String("END:VEVENT")) + 12;
        aCalendar one;
        one.setData(text.left(end) + QStringLiteral("END:VCALENDAR\r\n"));
        QCOMPARE(one.entryCount(), 1);
        const repeatList single(one.getTheData());
        QCOMPARE(expanded.getDataArray().size(), 507 * single.getDataArray().size());
        QCOMPARE(expanded.getWarningString(), repeatList(one.getTheData()).getWarningString());
    }

    // Which of two overlapping positions comes first in BYDAY does not change the occurrences.
    void overlappingPositionsInEitherOrder_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("every Monday, first Monday") << "MO,1MO"
                                                    << "1MO,MO";
        QTest::newRow("fourth or last Friday") << "4FR,-1FR"
                                               << "-1FR,4FR";
        QTest::newRow("month days 31 and -1") << "BYMONTHDAY=31,-1"
                                              << "BYMONTHDAY=-1,31";
    }
    void overlappingPositionsInEitherOrder()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        auto occurrences = [](const QString& parts) {
            const QString rule = parts.startsWith(QLatin1String("BY")) ? parts : QStringLiteral("BYDAY=") + parts;
            aCalendar doc;
            doc.setData(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                                       "BEGIN:VEVENT\r\nUID:a\r\nDTSTART;TZID=Europe/Paris:20070101T100000\r\n"
                                       "DURATION:PT1H\r\nRRULE:FREQ=MONTHLY;%1\r\nEND:VEVENT\r\n"
                                       "BEGIN:VEVENT\r\nUID:b\r\nDTSTART;TZID=Europe/Paris:20080101T100000\r\n"
                                       "DURATION:PT1H\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                            .arg(rule));
            QStringList starts;
            const repeatList expanded(doc.getTheData());
            for (const EntryPtr& e : expanded.getDataArray())
                starts.append(e->getFullStartTime().format(QStringLiteral("%Y-%m-%d")));
            return starts;
        };
        const QStringList a = occurrences(first);
        QVERIFY(a.size() > 12);
        QCOMPARE(a, occurrences(second));
        QVERIFY(a.last() >= QStringLiteral("2008-01-01"));
    }

    // Every guessed entry carries the whole pasted text. 64 KB of "1 2 1 2" holds 10,922 dates, so
    // a written calendar held the text 10,922 times (a gigabyte); past a budget only the first
    // entry carries it. Ordinary pastes keep it on every entry.
    void hugePasteKeepsItsTextOnce()
    {
        const QString text = decoded(readFile(dataDir() + QStringLiteral("/guess/numbers-everywhere.txt")));
        QCOMPARE(text.size(), 65536);
        aCalendar doc;
        QElapsedTimer timer;
        timer.start();
        doc.processDateString(text);
        QCOMPARE(doc.entryCount(), 10922);
        QCOMPARE(doc.getEntryAtIndex(0)->getShortDESCRIPTION(), text);
        QVERIFY(!doc.getEntryAtIndex(0)->getSummary().isEmpty());
        for (int i = 1; i < doc.entryCount(); ++i) {
            QVERIFY(doc.getEntryAtIndex(i)->getShortDESCRIPTION().isEmpty());
            QVERIFY(doc.getEntryAtIndex(i)->getSummary().isEmpty());
        }
        const QString ics = doc.createICalString(doc.getTheData(), nullptr);
        QVERIFY2(ics.size() < 4000000, qPrintable(QString::number(ics.size())));
        QVERIFY2(timer.elapsed() < 1000 * kSlowdown, qPrintable(QString::number(timer.elapsed()) + " ms"));
    }

    void ordinaryPasteKeepsTextOnEveryEntry()
    {
        const QString text = QStringLiteral("Dentist 12/05/2006 10:30am, again 12/19/2006 11:00am");
        aCalendar doc;
        doc.processDateString(text);
        QCOMPARE(doc.entryCount(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(doc.getEntryAtIndex(i)->getShortDESCRIPTION(), text);
            QVERIFY(doc.getEntryAtIndex(i)->getSummary().startsWith(QLatin1String("Dentist ")));
        }
    }

    // Lines were folded every 72 UTF-16 units, so a line of accented letters or euro signs ran to
    // 150 octets (RFC 5545 allows 75). Folded by octets, the texts still read back whole.
    void multibyteTextsFoldByOctets()
    {
        const QByteArray bytes = readFile(dataDir() + QStringLiteral("/writers/multibyte-summary.ics"));
        aCalendar doc;
        doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
        QCOMPARE(doc.entryCount(), 1);
        const QString summary = doc.getEntryAtIndex(0)->getSummary();
        QVERIFY(summary.toUtf8().size() > 150);
        const QString name = QStringLiteral("Caf\u00e9 \u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac"
                                            "\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac"
                                            "\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac\u20ac");
        const QString ics = doc.createICalString(doc.getTheData(), &name);
        QCOMPARE(wellFormed::iCalendarProblem(ics), QString());
        QVERIFY(ics.contains(QStringLiteral("X-WR-CALNAME;VALUE=TEXT:")));
        aCalendar again;
        again.setData(ics);
        QCOMPARE(again.entryCount(), 1);
        QCOMPARE(again.getEntryAtIndex(0)->getSummary(), summary);
        QCOMPARE(again.getEntryAtIndex(0)->getLocation(), doc.getEntryAtIndex(0)->getLocation());
        const QString blocks = doc.getEntryAtIndex(0)->getICalForICal({}, QString(), QString());
        QCOMPARE(wellFormed::iCalendarProblem(blocks), QString());
    }

    // Control characters from a broken file are left out of the calendar name and the lists, and
    // the rest of the text is kept.
    void controlCharactersLeftOut()
    {
        const QByteArray bytes = readFile(dataDir() + QStringLiteral("/writers/control-characters-in-summary.ics"));
        aCalendar doc;
        doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
        QCOMPARE(doc.entryCount(), 1);
        const QString name = doc.getEntryAtIndex(0)->getSummary();
        QVERIFY(name.contains(QChar(7)));
        QVERIFY(doc.createICalString(doc.getTheData(), &name)
                    .contains(QStringLiteral("X-WR-CALNAME;VALUE=TEXT:Bell and  escape\r\n")));
        const QString csv = doc.theCommaOut(doc.getTheData(), {QStringLiteral("theSummary")});
        QVERIFY2(csv.startsWith(QStringLiteral("Bell and  escape,nul byte and del")), qPrintable(csv));
        QVERIFY(doc.textOutput().contains(QStringLiteral("\tBell and  escape\n")));
    }

    // ATTENDEE and ORGANIZER lines are copied into what is written, so only well-formed ones are
    // kept; peers drop a line with an unnamed or empty parameter, and a quote that does not
    // enclose a whole value runs on into later lines. A dropped line is reported.
    void addressLinesKeptOnlyWhenWellFormed_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("kept");
        QTest::newRow("plain") << "ATTENDEE;CN=Ann;PARTSTAT=NEEDS-ACTION:mailto:ann@example.com" << true;
        QTest::newRow("quoted with colon") << "ATTENDEE;CN=\"Lee: Ann\";ROLE=CHAIR:mailto:ann@example.com" << true;
        QTest::newRow("list of values") << "ATTENDEE;DELEGATED-TO=\"mailto:a@x\",\"mailto:b@x\":mailto:c@x" << true;
        QTest::newRow("empty value") << "ORGANIZER;CN=:mailto:o@example.com" << true;
        QTest::newRow("empty parameter") << "ATTENDEE;CN=Ann;;PARTSTAT=NEEDS-ACTION:mailto:ann@example.com" << false;
        QTest::newRow("unnamed parameter") << "ORGANIZER;=Max:mailto:max@example.com" << false;
        QTest::newRow("no value") << "ATTENDEE;RSVP:mailto:ann@example.com" << false;
        QTest::newRow("unclosed quote") << "ATTENDEE;CN=\"Doe, Jane;ROLE=CHAIR:mailto:jane@example.com" << false;
        QTest::newRow("quote inside a value") << "ATTENDEE;CN=A\"n\"n:mailto:ann@example.com" << false;
        QTest::newRow("text after a quoted value") << "ATTENDEE;CN=\"Ann\"x:mailto:ann@example.com" << false;
        QTest::newRow("no address") << "ATTENDEE;CN=Ann:" << false;
    }
    void addressLinesKeptOnlyWhenWellFormed()
    {
        QFETCH(QString, line);
        QFETCH(bool, kept);
        aCalendar doc;
        doc.setData(
            QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:a\r\n"
                           "DTSTART:20070315T090000Z\r\nSUMMARY:Budget\r\n%1\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                .arg(line));
        QCOMPARE(doc.entryCount(), 1);
        const EntryPtr e = doc.getEntryAtIndex(0);
        const bool organiser = line.startsWith(QLatin1String("ORGANIZER"));
        QCOMPARE(organiser ? !e->getORGANIZER().isEmpty() : !e->getATTENDEE().isEmpty(), kept);
        QCOMPARE(doc.getEventBool(), !kept);
        const QString ics = doc.createICalString(doc.getTheData(), nullptr);
        QCOMPARE(wellFormed::iCalendarProblem(ics), QString());
        QCOMPARE(ics.contains(line), kept);
    }

    // An alarm's lines were copied as they stood: one that is no property at all, or longer than
    // a line may be, went into every calendar written. Such lines are dropped (and reported), the
    // rest of the alarm kept and folded when written.
    void alarmKeepsOnlyWellFormedLines()
    {
        const QByteArray bytes = readFile(dataDir() + QStringLiteral("/writers/alarm-with-broken-and-long-lines.ics"));
        aCalendar doc;
        doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
        QCOMPARE(doc.entryCount(), 1);
        QVERIFY(doc.getEventBool());
        const QString ics = doc.createICalString(doc.getTheData(), nullptr);
        QCOMPARE(wellFormed::iCalendarProblem(ics), QString());
        const qsizetype begin = ics.indexOf(QLatin1String("BEGIN:VALARM\r\n"));
        const qsizetype end = ics.indexOf(QLatin1String("END:VALARM\r\n"));
        QVERIFY(begin >= 0 && end > begin);
        QString alarm = ics.mid(begin, end - begin);
        alarm.replace(QLatin1String("\r\n "), QString());
        QCOMPARE(alarm,
                 QStringLiteral("BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nDESCRIPTION:")
                     + QStringLiteral("Water the plants, all of them, ").repeated(5) + QStringLiteral("\r\n"));
    }

    // Values copied from the file (UID, CATEGORIES, STATUS, ...) were written on one line however
    // long they were; folded now, they read back the same.
    void longCopiedValuesReadBack_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("UID and SEQUENCE") << "writers/long-uid.ics";
        QTest::newRow("CATEGORIES, STATUS, CLASS") << "writers/long-categories-and-status.ics";
    }
    void longCopiedValuesReadBack()
    {
        QFETCH(QString, file);
        aCalendar doc;
        doc.setDataFromBytes(readFile(dataDir() + QLatin1Char('/') + file), Encoding::Fallback::MacRoman);
        QCOMPARE(doc.entryCount(), 1);
        const QString ics = doc.createICalString(doc.getTheData(), nullptr);
        QCOMPARE(wellFormed::iCalendarProblem(ics), QString());
        aCalendar again;
        again.setData(ics);
        QCOMPARE(again.entryCount(), 1);
        QCOMPARE(again.createICalString(again.getTheData(), nullptr).section(QLatin1String("VERSION:2.0"), 1),
                 ics.section(QLatin1String("VERSION:2.0"), 1));
    }

private:
    std::unique_ptr<testutil::TempSettings> m_settings;
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzRegressions.moc"
