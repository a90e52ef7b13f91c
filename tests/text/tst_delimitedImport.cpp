#include "calendar/aCalendar.h"
#include "platform/Encoding.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

#include <thread>

using Rows = QList<QStringList>;

namespace
{
QString fmt(const CalDate& d, const char* format)
{
    return d.isNull() ? QStringLiteral("-") : d.format(QString::fromLatin1(format));
}

// Writes fields the way spreadsheets and mail programs do: quoted when they hold the delimiter,
// a quote or a line break, with inner quotes doubled.
QString writeCsv(const Rows& rows, const QString& lineEnd)
{
    QStringList lines;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (QString f : row) {
            if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')) || f.contains(QLatin1Char('\n'))) {
                f.replace(QLatin1String("\""), QLatin1String("\"\""));
                f = QLatin1Char('"') + f + QLatin1Char('"');
            }
            cells.append(f);
        }
        lines.append(cells.join(QLatin1Char(',')));
    }
    return lines.join(lineEnd);
}
} // namespace

class TestDelimitedImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void cleanup() { Clock::reset(); }

    void splitting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("limiter");
        QTest::addColumn<Rows>("expected");
        auto row = [](const char* tag, const QString& text, const QString& limiter, const Rows& expected) {
            QTest::newRow(tag) << text << limiter << expected;
        };
        const QString comma = QStringLiteral(",");
        const QString tab = QStringLiteral("\t");

        row("CR LF", "a,b\r\nc,d", comma, Rows {{"a", "b"}, {"c", "d"}});
        row("CR", "a,b\rc,d", comma, Rows {{"a", "b"}, {"c", "d"}});
        row("LF", "a,b\nc,d", comma, Rows {{"a", "b"}, {"c", "d"}});
        // Blank records (empty lines, the end of a text ending in a line end, lines of delimiters
        // and blanks) are no records.
        row("CR CR LF", "a\r\r\nb", comma, Rows {{"a"}, {"b"}});
        row("final line end", "a,b\n", comma, Rows {{"a", "b"}});
        row("blank lines", "\na\n\n ,, \t\n,,,,\nb\n\n", comma, Rows {{"a"}, {"b"}});
        row("empty text", "", comma, Rows {});
        row("empty fields", "a,,b,", comma, Rows {{"a", "", "b", ""}});
        row("quoted field with commas", "\"x\",\"a,b\",c", comma, Rows {{"x", "a,b", "c"}});
        row("quote then comma", "\"x\",y", comma, Rows {{"x", "y"}});
        row("unclosed quote takes the rest of the row", "a,\"b", comma, Rows {{"a", "b"}});
        row("unclosed quote keeps commas", "a,\"b,c\nd,e", comma, Rows {{"a", "b,c"}, {"d", "e"}});
        row("lone quote is an empty field", "a,\",b", comma, Rows {{"a", "", "b"}});
        row("empty quoted fields", "\"\",\"\"", comma, Rows {{"", ""}});
        row("quoted rows", "\"a\",\"b\"\n\"c\",\"d\"", comma, Rows {{"a", "b"}, {"c", "d"}});
        row("quoted rows, final CR LF", "\"a\",\"b\"\r\n\"c\",\"d\"\r\n", comma, Rows {{"a", "b"}, {"c", "d"}});
        row("quoted rows with an unquoted row between", "\"a\",\"b\"\nplain,row\n\"c\",\"d\"", comma,
            Rows {{"a", "b"}, {"plain", "row"}, {"c", "d"}});
        row("line break in a quoted field", "09:00,\"Line 1\r\nLine 2\",x\r\n10:00,y,z", comma,
            Rows {{"09:00", "Line 1\nLine 2", "x"}, {"10:00", "y", "z"}});
        row("line break in the first field", "\"one\ntwo\",x\nnext,y", comma, Rows {{"one\ntwo", "x"}, {"next", "y"}});
        row("empty line inside a quoted field", "a,\"p1\n\np2\"\nb,c", comma, Rows {{"a", "p1\n\np2"}, {"b", "c"}});
        row("doubled quotes", "\"He said \"\"hi\"\"\",x", comma, Rows {{"He said \"hi\"", "x"}});
        row("doubled quote before a comma", "\"a\"\",b\",c", comma, Rows {{"a\",b", "c"}});
        row("only a doubled quote", "x,\"\"\"\"", comma, Rows {{"x", "\""}});
        row("quote inside a quoted field", "\"abc\"def\",x", comma, Rows {{"abc\"def", "x"}});
        row("inch mark, no quoting", "5\" screen,x", comma, Rows {{"5\" screen", "x"}});
        row("inch mark beside quoting", "x,5\",\"y\"", comma, Rows {{"x", "5\"", "y"}});
        row("stray quote does not join rows", "ab\"c,d\ne,f", comma, Rows {{"ab\"c", "d"}, {"e", "f"}});
        row("one quoted column", "\"Smith, John\"\n\"Doe, Jane\"", comma, Rows {{"Smith, John"}, {"Doe, Jane"}});
        row("NUL characters", QString::fromUtf16(u"a\u0000b,c\u0000", 6), comma,
            Rows {{QString::fromUtf16(u"a\u0000b", 3), QString::fromUtf16(u"c\u0000", 2)}});

        row("tab", "a\tb\t\tc", tab, Rows {{"a", "b", "", "c"}});
        row("tab keeps commas", "a,b\t\"c,d\"", tab, Rows {{"a,b", "\"c,d\""}});
        row("tab keeps quotes", "\"x\"\ty", tab, Rows {{"\"x\"", "y"}});
        row("tab, quoted with doubled quotes", "\"\"\"Q1\"\" review\"\tx\r\nSay \"hi\"\t\"a\"\"b\"c\"", tab,
            Rows {{"\"Q1\" review", "x"}, {"Say \"hi\"", "\"a\"\"b\"c\""}});
        row("tab, line break in quotes", "\"a\nb\"\tc\nd\te", tab, Rows {{"\"a\nb\"", "c"}, {"d", "e"}});
        row("tab, CR LF", "a\tb\r\nc\td\r\n", tab, Rows {{"a", "b"}, {"c", "d"}});
        row("tab, blank lines", "\t\t\n\ta\t\n", tab, Rows {{"", "a", ""}});
        // Semicolon files from European spreadsheets quote fields as comma files do.
        row("semicolon, quoted", "\"Lunch; with Ann\";12.05.2006;\"say \"\"hi\"\"\"\r\nx;\"a\nb\";5\" screen", ";",
            Rows {{"Lunch; with Ann", "12.05.2006", "say \"hi\""}, {"x", "a\nb", "5\" screen"}});
        row("two-character delimiter", "a::b::\nc", "::", Rows {{"a", "b", ""}, {"c"}});
        row("no delimiter", "a,b\nc", "", Rows {{"a,b"}, {"c"}});
    }
    void splitting()
    {
        QFETCH(QString, text);
        QFETCH(QString, limiter);
        QFETCH(Rows, expected);
        testutil::TempSettings settings;
        aCalendar cal;
        QVERIFY(cal.processCT(text, limiter));
        QCOMPARE(cal.getCommaTabData(), expected);
        int widest = 0;
        for (const QStringList& row : expected)
            widest = std::max(widest, int(row.size()));
        QCOMPARE(cal.getCommaTabDataMax(), widest);
    }

    void resplitReplacesRows()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        cal.processCT(QStringLiteral("a,b,c,d\ne"), QStringLiteral(","));
        cal.processCT(QStringLiteral("x,y"), QStringLiteral(","));
        QCOMPARE(cal.getCommaTabData(), (Rows {{"x", "y"}}));
        QCOMPARE(cal.getCommaTabDataMax(), 2);
        QCOMPARE(cal.getCommaTabDataItemCount(0), 2);
        QCOMPARE(cal.getCommaTabDataItemCount(1), 0);
        QCOMPARE(cal.getCommaTabDataItemCount(-1), 0);

        cal.processCT(QStringLiteral("Start Time,Start Date,Summary,a,b\n09:00,1/2/07,x"), QStringLiteral(","));
        QCOMPARE(cal.getCommaTabDataMax(), 5);
        QVERIFY(cal.dropCommaTabHeader());
        QCOMPARE(cal.getCommaTabData(), (Rows {{"09:00", "1/2/07", "x"}}));
        QCOMPARE(cal.getCommaTabDataMax(), 3);
        QVERIFY(cal.dropCommaTabHeader());
        QVERIFY(!cal.dropCommaTabHeader());
        cal.processCT(QStringLiteral("a"), QStringLiteral(","));
        cal.clearCommaTabData();
        QVERIFY(cal.getCommaTabData().isEmpty());
        QCOMPARE(cal.getCommaTabDataItemCount(0), 0);
    }

    // What a spreadsheet writes must come back field for field: commas, quotes, line breaks,
    // empty fields and leading or trailing blanks, with both line-end conventions.
    void roundTripOfQuotedFields()
    {
        testutil::TempSettings settings;
        QRandomGenerator rng(20070315);
        const QString alphabet = QStringLiteral("ab ,\"\n\r\t;\\é");
        for (int round = 0; round < 300; ++round) {
            Rows rows;
            const int rowCount = 1 + int(rng.bounded(5));
            const int width = 1 + int(rng.bounded(5));
            for (int r = 0; r < rowCount; ++r) {
                QStringList row;
                for (int c = 0; c < width; ++c) {
                    QString f;
                    const int len = int(rng.bounded(6));
                    for (int k = 0; k < len; ++k)
                        f.append(alphabet.at(int(rng.bounded(int(alphabet.size())))));
                    f.replace(QLatin1String("\r\n"), QLatin1String("\n"));
                    f.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                    row.append(f);
                }
                // A row of one empty field and an empty line read alike; keep rows non-empty.
                if (row.join(QString()).trimmed().isEmpty())
                    row[0] = QStringLiteral("z");
                rows.append(row);
            }
            const QString lineEnd = round % 2 ? QStringLiteral("\r\n") : QStringLiteral("\n");
            const QString text = writeCsv(rows, lineEnd);
            aCalendar cal;
            cal.processCT(text, QStringLiteral(","));
            if (cal.getCommaTabData() != rows) {
                qWarning() << "text" << text;
                QCOMPARE(cal.getCommaTabData(), rows);
            }
        }
    }

    // Shapes that must neither hang nor crash. A linear split takes well under a second each (a few
    // in a sanitizer build); anything quadratic in these sizes would take minutes.
    void hostileShapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("widest");
        auto row = [](const char* tag, const QString& text, int rows, int widest) {
            QTest::newRow(tag) << text << rows << widest;
        };
        const int mb = 1 << 20;
        row("1 MB line without line ends", QString(mb, QLatin1Char('x')), 1, 1);
        row("a million columns", QLatin1Char('x') + QString(1000000, QLatin1Char(',')), 1, 1000001);
        row("a million quotes", QString(1000000, QLatin1Char('"')), 1, 1);
        QString unclosed;
        for (int i = 0; i < 100000; ++i)
            unclosed += QStringLiteral("a,\"b,c\n");
        row("100000 unclosed quotes", unclosed, 100000, 2);
        QString openers;
        for (int i = 0; i < 200000; ++i)
            openers += QStringLiteral(",\"\"\"x");
        row("quote runs that never close", openers, 1, 2);
        row("200000 line ends", QString(200000, QLatin1Char('\n')), 0, 0);
        row("200000 CRs", QString(200000, QLatin1Char('\r')), 0, 0);
        QString nul(mb, QChar(0));
        row("NUL bytes", nul, 1, 1);
        QString multi = QStringLiteral("\"");
        multi += QString(200000, QLatin1Char('\n'));
        multi += QStringLiteral("\",x");
        row("one field of 200000 line ends", multi, 1, 2);
    }
    void hostileShapes()
    {
        QFETCH(QString, text);
        QFETCH(int, rows);
        QFETCH(int, widest);
        testutil::TempSettings settings;
        aCalendar cal;
        QElapsedTimer timer;
        timer.start();
        cal.processCT(text, QStringLiteral(","));
        QCOMPARE(int(cal.getCommaTabData().size()), rows);
        QCOMPARE(cal.getCommaTabDataMax(), widest);
        cal.processCT(text, QStringLiteral("\t"));
        QVERIFY2(timer.elapsed() < 10000 * testutil::kSlowdown,
                 qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }

    void quoteRunsThatNeverCloseKeepTheirText()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        cal.processCT(QStringLiteral(",\"\"\"x,\"\"\"x"), QStringLiteral(","));
        // The first quote opens; a doubled quote is one quote character and a quote followed by
        // anything but a comma is kept; nothing closes, so the field takes the rest of the row.
        QCOMPARE(cal.getCommaTabData(), (Rows {{"", "\"x,\"\"x"}}));
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Rows>("expected");
        auto row = [](const char* tag, const QByteArray& bytes, const Rows& expected) {
            QTest::newRow(tag) << bytes << expected;
        };
        row("UTF-8", QByteArray("caf\xc3\xa9,\"na\xc3\xafve, tr\xc3\xa8s\"\n"), Rows {{"café", "naïve, très"}});
        row("UTF-8 with BOM", QByteArray("\xef\xbb\xbf\"x\",y"), Rows {{"x", "y"}});
        row("Windows-1252", QByteArray("caf\xe9,\x93quoted\x94,\x80 5"), Rows {{"café", "“quoted”", "€ 5"}});
        row("invalid UTF-8 reads as Windows-1252", QByteArray("\xc3\xa9\xff,x"),
            Rows {{QString::fromUtf8("Ã©ÿ"), "x"}});
        row("NUL bytes", QByteArray("a\0b,c", 5), Rows {{QString::fromUtf16(u"a\u0000b", 3), "c"}});
        const QString utf16Text = QStringLiteral("\"Réunion, salle 2\",x\r\nÉté,y");
        QByteArray le("\xff\xfe");
        le.append(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2);
        row("UTF-16 LE", le, Rows {{"Réunion, salle 2", "x"}, {"Été", "y"}});
        QByteArray be("\xfe\xff");
        for (QChar c : utf16Text) {
            be.append(char(c.unicode() >> 8));
            be.append(char(c.unicode() & 0xff));
        }
        row("UTF-16 BE", be, Rows {{"Réunion, salle 2", "x"}, {"Été", "y"}});
        row("truncated UTF-16",
            QByteArray("\xff\xfe"
                       "a\0,\0b",
                       7),
            Rows {});
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Rows, expected);
        testutil::TempSettings settings;
        aCalendar cal;
        cal.processCT(Encoding::decode(bytes, Encoding::Fallback::Windows1252), QStringLiteral(","));
        const Rows rows = cal.getCommaTabData();
        // Half a UTF-16 unit at the end may decode to a replacement character or to nothing; what
        // came before stays.
        if (QByteArray(QTest::currentDataTag()) == "truncated UTF-16") {
            QCOMPARE(rows.size(), 1);
            QCOMPARE(rows.value(0).size(), 2);
            QCOMPARE(rows.value(0).value(0), QStringLiteral("a"));
            return;
        }
        QCOMPARE(rows, expected);
    }

    void columnOrderFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("codes");
        auto row = [](const char* tag, const QString& text, const QStringList& codes) {
            QTest::newRow(tag) << text << codes;
        };
        row("titles", "Summary,Start Date,Start Time,End Date,End Time,Description",
            QStringList {"4", "1", "0", "3", "2", "5"});
        row("codes", "4,1,0,3,2,5", QStringList {"4", "1", "0", "3", "2", "5"});
        row("loose titles", " start-date , START_TIME,summary ", QStringList {"1", "0", "4"});
        row("mixed", "1,Summary", QStringList {"1", "4"});
        row("skipped columns", "Summary,-,,skip,Ignore,9,Start Date",
            QStringList {"4", "-1", "-1", "-1", "-1", "9", "1"});
        row("headings of mail programs", "Subject,Start Date,Start Time,End Date,End Time,Description,Location",
            QStringList {"4", "1", "0", "3", "2", "5", "6"});
        row("unknown title", "Summary,Venue", QStringList {});
        row("nothing", "  ", QStringList {});
    }
    void columnOrderFromText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, codes);
        QString error = QStringLiteral("stale");
        const ColumnOrder order = aCalendar::columnOrderFromText(text, &error);
        QStringList got;
        for (const ColumnDescriptor& c : order)
            got.append(c.code);
        QCOMPARE(got, codes);
        QCOMPARE(error.isEmpty(), !codes.isEmpty());
        if (!codes.isEmpty() && text == QLatin1String("Summary,Start Date,Start Time,End Date,End Time,Description"))
            QCOMPARE(order.value(0).title, QStringLiteral("Summary"));
    }

    // One table for both conventions: the same appointments written the US way and the
    // European way must become the same entries.
    void entries_data()
    {
        QTest::addColumn<QString>("shortDate");
        QTest::addColumn<QString>("timeFormat");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QStringList>("expected"); // per row: start | end | summary | description
        auto row = [](const char* tag, const QString& shortDate, const QString& timeFormat, const QString& text,
                      const QString& columns, const QStringList& expected) {
            QTest::newRow(tag) << shortDate << timeFormat << text << columns << expected;
        };

        const QString us = QStringLiteral("%m/%d/%y");
        const QString usTime = QStringLiteral("%I:%M:%S %p");
        const QString eu = QStringLiteral("%d.%m.%Y");
        const QString euTime = QStringLiteral("%H.%M.%S");
        const QString defaultOrder;

        row("US, default order", us, usTime,
            "9:30 AM,03/15/2007,11:00 AM,03/15/2007,Budget,\"Room 2, floor 3\\nBring slides\"", defaultOrder,
            QStringList {"2007-03-15 09:30|2007-03-15 11:00|Budget|Room 2, floor 3\rBring slides|1"});
        row("US, two-digit year and PM", us, usTime, "1:00 PM,12/31/06,2:30 PM,12/31/06,Party,x", defaultOrder,
            QStringList {"2006-12-31 13:00|2006-12-31 14:30|Party|x|1"});
        row("US, 29 February", us, usTime, "Leap day,02/29/2008,02/29/2008", "Summary,Start Date,End Date",
            QStringList {"2008-02-29 --|2008-02-29 --|Leap day||1"});
        row("Europe, default order", eu, euTime, "09.30\t15.03.2007\t11.00\t15.03.2007\tBesprechung\tRaum 2",
            defaultOrder, QStringList {"2007-03-15 09:30|2007-03-15 11:00|Besprechung|Raum 2|1"});
        row("Europe, day first", eu, euTime, "Sitzung,01.02.2007,03.02.2007", "Summary,Start Date,End Date",
            QStringList {"2007-02-01 --|2007-02-03 --|Sitzung||1"});
        row("quoted multi-line description", us, usTime,
            "Summary,Start Date,Description\r\n\"Review, final\",03/15/2007,\"Line 1\r\nLine \"\"2\"\"\"\r\n",
            "Summary,Start Date,Description",
            QStringList {"- --|- --|Summary|Description|0", "2007-03-15 --|- --|Review, final|Line 1\nLine \"2\"|1"});
        row("fewer fields than columns", us, usTime, "9:30 AM,03/15/2007", defaultOrder,
            QStringList {"2007-03-15 09:30|- --|||0"});
        row("more fields than columns", us, usTime, "Talk,03/15/2007,extra,more", "Summary,Start Date",
            QStringList {"2007-03-15 --|- --|Talk||1"});
        row("skipped column", us, usTime, "Talk,Hall B,03/15/2007", "Summary,-,Start Date",
            QStringList {"2007-03-15 --|- --|Talk||1"});
        row("unreadable date and time", us, usTime, "soon,someday,,,Later,\"\\tTabbed\\, escaped\"", defaultOrder,
            QStringList {"- --|- --|Later| Tabbed, escaped|0"});
        row("blank lines make no entries", us, usTime, "Talk,03/15/2007\n\n,\n", "Summary,Start Date",
            QStringList {"2007-03-15 --|- --|Talk||1"});
    }
    void entries()
    {
        QFETCH(QString, shortDate);
        QFETCH(QString, timeFormat);
        QFETCH(QString, text);
        QFETCH(QString, columns);
        QFETCH(QStringList, expected);
        const bool european = shortDate.contains(QLatin1Char('.'));
        testutil::TempSettings settings(european ? QLocale(QLocale::German, QLocale::Germany)
                                                 : QLocale(QLocale::English, QLocale::UnitedStates),
                                        {{"NSShortDateFormatString", shortDate}, {"NSTimeFormatString", timeFormat}});
        aCalendar cal;
        const QString limiter = text.contains(QLatin1Char('\t')) ? QStringLiteral("\t") : QStringLiteral(",");
        cal.processCT(text, limiter);
        QString error;
        const ColumnOrder order
            = columns.isEmpty() ? cal.getCommaTabDataOrder() : aCalendar::columnOrderFromText(columns, &error);
        QVERIFY2(!order.isEmpty(), qPrintable(error));
        QCOMPARE(cal.makeAllEntriesWithSeparated(order), int(cal.getCommaTabData().size()));
        QCOMPARE(cal.entryCount(), 0); // pending until joined
        QStringList got;
        for (const EntryPtr& e : cal.getPendingEntries()) {
            const QString start = fmt(e->getStartDate(), "%Y-%m-%d") + QLatin1Char(' ')
                + (e->getStartTime().isNull() ? QStringLiteral("--") : fmt(e->getStartTime(), "%H:%M"));
            const QString end = fmt(e->getEndDate(), "%Y-%m-%d") + QLatin1Char(' ')
                + (e->getEndTime().isNull() ? QStringLiteral("--") : fmt(e->getEndTime(), "%H:%M"));
            got.append(QStringList {start, end, e->getSummary(), e->getShortDESCRIPTION(),
                                    e->getDataCheck() ? QStringLiteral("1") : QStringLiteral("0")}
                           .join(QLatin1Char('|')));
        }
        QCOMPARE(got, expected);
        cal.addPendingData();
        QCOMPARE(cal.entryCount(), int(expected.size()));
        QVERIFY(cal.getPendingEntries().isEmpty());
    }

    // Dates in an order other than the user's: European files on a US machine and the reverse.
    void givenDateOrder_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const QString& order, const QString& field, const QString& expected) {
            QTest::newRow(tag) << order << field << expected;
        };
        row("DMY slashes", "DMY", "05/12/2006", "2006-12-05");
        row("DMY dots, two-digit year", "DMY", "25.12.06", "2006-12-25");
        row("DMY impossible as MDY", "dmy", "25/12/2006", "2006-12-25");
        row("YMD", "YMD", "06/12/05", "2006-12-05");
        row("ISO whatever the order", "DMY", "2006-12-05", "2006-12-05");
        row("user's order", "", "05/12/2006", "2006-05-12");
    }
    void givenDateOrder()
    {
        QFETCH(QString, order);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), testutil::usStore());
        aCalendar cal;
        cal.setCommaTabDateOrder(order);
        cal.processCT(field + QStringLiteral(",x"), QStringLiteral(","));
        cal.makeAllEntriesWithSeparated(aCalendar::columnOrderFromText(QStringLiteral("Start Date,Summary"), nullptr));
        QCOMPARE(fmt(cal.getPendingEntries().value(0)->getStartDate(), "%Y-%m-%d"), expected);
    }

    // An Outlook export: its heading names the columns, those we do not read are skipped.
    void headingOfAnotherProgram()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), testutil::usStore());
        aCalendar cal;
        cal.processCT(QStringLiteral("\"Subject\",\"Start Date\",\"Start Time\",\"End Date\",\"End Time\","
                                     "\"All day event\",\"Description\",\"Location\"\r\n"
                                     "\"Budget, Q1\",\"3/15/2007\",\"9:30:00 AM\",\"3/15/2007\",\"11:00:00 AM\","
                                     "\"False\",\"Bring slides\",\"Room 2\"\r\n"),
                      QStringLiteral(","));
        QStringList ignored;
        const ColumnOrder order = aCalendar::columnOrderFromHeading(cal.getCommaTabRow(0), &ignored);
        QCOMPARE(ignored, QStringList {"All day event"});
        QVERIFY(cal.dropCommaTabHeader());
        cal.makeAllEntriesWithSeparated(order);
        QCOMPARE(cal.getPendingEntries().size(), 1);
        const EntryPtr e = cal.getPendingEntries().first();
        QCOMPARE(e->getSummary(), QStringLiteral("Budget, Q1"));
        QCOMPARE(e->getLocation(), QStringLiteral("Room 2"));
        QCOMPARE(e->getShortDESCRIPTION(), QStringLiteral("Bring slides"));
        QCOMPARE(fmt(e->getFullStartTime(), "%Y-%m-%d %H:%M"), QStringLiteral("2007-03-15 09:30"));
        QCOMPARE(fmt(e->getFullEndTime(), "%Y-%m-%d %H:%M"), QStringLiteral("2007-03-15 11:00"));
        QVERIFY(aCalendar::columnOrderFromHeading({"a", "b"}).isEmpty());
    }

    // Past the row limit the first rows are kept and the caller is told.
    void rowLimit()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        QString text = QStringLiteral("x\n\n").repeated(aCalendar::kMaxCommaTabRows);
        QVERIFY(cal.processCT(text, QStringLiteral(",")));
        QCOMPARE(cal.getCommaTabRowCount(), aCalendar::kMaxCommaTabRows);
        QVERIFY(!cal.getCommaTabRowLimitReached());
        text += QStringLiteral("last");
        QVERIFY(!cal.processCT(text, QStringLiteral(",")));
        QCOMPARE(cal.getCommaTabRowCount(), aCalendar::kMaxCommaTabRows);
        QVERIFY(cal.getCommaTabRowLimitReached());
        QCOMPARE(cal.getCommaTabRow(aCalendar::kMaxCommaTabRows - 1), QStringList {"x"});
    }

    // More different dates than the import remembers: every row is still read on its own.
    void manyDifferentDates()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates),
                                        {{"NSShortDateFormatString", "%m/%d/%y"}});
        aCalendar cal;
        const QDate first(1999, 12, 30);
        QString text;
        const int rowCount = 5000;
        for (int i = 0; i < rowCount; ++i)
            text += first.addDays(i).toString(QStringLiteral("MM/dd/yyyy")) + QStringLiteral(",x\n");
        text.chop(1);
        cal.processCT(text, QStringLiteral(","));
        cal.makeAllEntriesWithSeparated(aCalendar::columnOrderFromText(QStringLiteral("Start Date,Summary"), nullptr));
        QCOMPARE(int(cal.getPendingEntries().size()), rowCount);
        for (int i = 0; i < rowCount; ++i) {
            const QString expected = first.addDays(i).toString(QStringLiteral("yyyy-MM-dd"));
            QCOMPARE(fmt(cal.getPendingEntries().at(i)->getStartDate(), "%Y-%m-%d"), expected);
        }
        // A new split reads the same texts again under the same rules.
        cal.processCT(QStringLiteral("02/29/2000,y"), QStringLiteral(","));
        cal.makeAllEntriesWithSeparated(aCalendar::columnOrderFromText(QStringLiteral("Start Date,Summary"), nullptr));
        QCOMPARE(fmt(cal.getPendingEntries().last()->getStartDate(), "%Y-%m-%d"), QStringLiteral("2000-02-29"));
    }

    void cancelStopsBetweenRows()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        cal.processCT(QStringLiteral("a\nb\nc"), QStringLiteral(","));
        QAtomicInt cancel(1);
        QCOMPARE(cal.makeAllEntriesWithSeparated(aCalendar::defaultColumnOrder(), &cancel), 0);
        QCOMPARE(cal.pendingCount(), 0);
    }

    // The import's worker makes every row while the GUI thread only watches the count.
    void workerThreadMakesEntries()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates),
                                        {{"NSShortDateFormatString", "%m/%d/%y"}});
        aCalendar cal;
        QString text;
        const int rowCount = 3000;
        for (int i = 0; i < rowCount; ++i)
            text += QStringLiteral("10:%1 AM,03/%2/2007,11:%1 AM,03/%2/2007,\"Row %3, part\",\"d\\n%3\"\n")
                        .arg(i % 60, 2, 10, QLatin1Char('0'))
                        .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                        .arg(i);
        cal.processCT(text, QStringLiteral(","));
        const int rows = int(cal.getCommaTabData().size());
        const ColumnOrder order = cal.getCommaTabDataOrder();

        std::thread worker([&cal, &order, rows] {
            for (int r = 0; r < rows; ++r)
                cal.makeEntryWithSeparated(r, order);
        });
        int last = 0;
        bool monotonic = true;
        int polls = 0;
        while (true) {
            const int now = cal.pendingCount();
            monotonic = monotonic && now >= last && now <= rows;
            last = now;
            ++polls;
            if (now == rows)
                break;
            std::this_thread::yield();
        }
        worker.join();
        QVERIFY(monotonic);
        QVERIFY(polls > 0);
        QCOMPARE(cal.pendingCount(), rows);
        QCOMPARE(int(cal.getPendingEntries().size()), rows);
        cal.addPendingData();
        QCOMPARE(cal.pendingCount(), 0);
        QCOMPARE(cal.entryCount(), rows);
        const EntryPtr e = cal.getEntryAtIndex(5);
        QCOMPARE(e->getSummary(), QStringLiteral("Row 5, part"));
        QCOMPARE(e->getShortDESCRIPTION(), QStringLiteral("d\r5"));
        QCOMPARE(fmt(e->getFullStartTime(), "%Y-%m-%d %H:%M"), QStringLiteral("2007-03-06 10:05"));
        QVERIFY(e->getDataCheck());
    }
};

QTEST_GUILESS_MAIN(TestDelimitedImport)
#include "tst_delimitedImport.moc"
