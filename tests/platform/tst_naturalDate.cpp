#include "platform/Clock.h"
#include "platform/NaturalDate.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QTest>

namespace
{
using testutil::germanNames;
using testutil::germanStore;
using testutil::kSlowdown;
using testutil::usStore;


NaturalDateSettings settingsFor(const QString& which)
{
    if (which == QLatin1String("de"))
        return NaturalDateSettings::fromShortDateFormat(QStringLiteral("%d.%m.%Y"), germanNames(), QStringLiteral("."));
    return NaturalDateSettings::fromShortDateFormat(QStringLiteral("%m/%d/%y"), DateNames::english(),
                                                    QStringLiteral(":"));
}

QString shown(const CalDate& d)
{
    return d ? d.format(QStringLiteral("%Y-%m-%d %H:%M:%S")) : QString();
}
} // namespace

class TestNaturalDate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void cleanup() { Clock::reset(); }

    void lenient_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty: refused

        auto us = [](const char* name, const QString& text, const char* expected) {
            QTest::addRow("us %s", name) << "us" << text << QString::fromUtf8(expected);
        };
        auto de = [](const char* name, const QString& text, const char* expected) {
            QTest::addRow("de %s", name) << "de" << text << QString::fromUtf8(expected);
        };

        // Numeric dates in the user's order, ISO dates.
        us("m/d/y", "12/05/2006", "2006-12-05 00:00:00");
        us("short numbers", "12/5/06", "2006-12-05 00:00:00");
        us("january 2nd", "1/2/2007", "2007-01-02 00:00:00");
        us("dashes", "12-05-2006", "2006-12-05 00:00:00");
        us("dots with four-digit year", "12.05.2006", "2006-12-05 00:00:00");
        us("two-digit year far ahead", "3/4/45", "1945-03-04 00:00:00");
        us("iso", "2006-12-05", "2006-12-05 00:00:00");
        us("iso slashes", "2006/12/05", "2006-12-05 00:00:00");
        us("iso T minutes", "2006-12-05T14:30", "2006-12-05 14:30:00");
        us("iso T seconds", "2006-12-05T14:30:15", "2006-12-05 14:30:15");
        us("iso space", "2006-12-05 14:30", "2006-12-05 14:30:00");
        us("iso utc", "2006-12-05T13:30:00Z", "2006-12-05 14:30:00");
        us("iso offset", "2006-12-05T08:30:00-05:00", "2006-12-05 14:30:00");
        us("quoted field", "\"12/05/2006\"", "2006-12-05 00:00:00");
        us("blanks around", "  12/05/2006\t", "2006-12-05 00:00:00");

        // Month names.
        us("month day comma year", "December 5, 2006", "2006-12-05 00:00:00");
        us("abbreviation", "Dec 5 2006", "2006-12-05 00:00:00");
        us("abbreviation dot two-digit year", "dec. 5, 06", "2006-12-05 00:00:00");
        us("day month year", "5 December 2006", "2006-12-05 00:00:00");
        us("ordinal", "5th December 2006", "2006-12-05 00:00:00");
        us("ordinal glued", "5December 2006", "2006-12-05 00:00:00");
        us("the 5th of", "the 5th of December", "2007-12-05 00:00:00");
        us("upper case no year", "DECEMBER 5", "2007-12-05 00:00:00");
        us("spreadsheet", "5-Dec-06", "2006-12-05 00:00:00");
        us("sept", "Sept 3 2007", "2007-09-03 00:00:00");
        us("ordinal after month", "March 3rd", "2007-03-03 00:00:00");
        us("leap day", "29 February 2008", "2008-02-29 00:00:00");
        us("sentence end", "5 December 2006.", "2006-12-05 00:00:00");

        // Dates with times, as mail programs and spreadsheets write them.
        us("weekday and pm", "Tuesday, December 5, 2006 2:30 PM", "2006-12-05 14:30:00");
        us("ordinal at 3pm", "December 5th, 2006 at 3pm", "2006-12-05 15:00:00");
        us("mail date", "Tue, 5 Dec 2006 14:30:00 +0100", "2006-12-05 14:30:00");
        us("mail date comment", "Tue, 5 Dec 2006 14:30:00 +0100 (CET)", "2006-12-05 14:30:00");
        us("mail date gmt", "Tue, 5 Dec 2006 13:30:00 GMT", "2006-12-05 14:30:00");
        us("est", "Dec 5 2006 9:30 am EST", "2006-12-05 15:30:00");
        us("gmt+1", "Dec 5 2006 13:30 GMT+1", "2006-12-05 13:30:00");
        us("offset out of range", "Dec 5 2006 13:30 +1900", "");
        us("numeric and time", "12/05/2006 14:30", "2006-12-05 14:30:00");
        us("numeric and seconds pm", "12/05/2006 2:30:45 PM", "2006-12-05 14:30:45");
        us("time first", "14:30 12/05/2006", "2006-12-05 14:30:00");
        us("tomorrow", "tomorrow at 9am", "2007-01-16 09:00:00");
        us("today", "today", "2007-01-15 00:00:00");

        // Times alone fall on today.
        us("h:mm", "9:30", "2007-01-15 09:30:00");
        us("seconds AM", "9:30:00 AM", "2007-01-15 09:30:00");
        us("seconds pm lower", "9:30:00 pm", "2007-01-15 21:30:00");
        us("dot pm", "9.30pm", "2007-01-15 21:30:00");
        us("24h", "21:30", "2007-01-15 21:30:00");
        us("24h dot", "21.30", "2007-01-15 21:30:00");
        us("12 AM", "12:00 AM", "2007-01-15 00:00:00");
        us("12 pm", "12:15 pm", "2007-01-15 12:15:00");
        us("3 PM", "3 PM", "2007-01-15 15:00:00");
        us("p.m.", "3 p.m.", "2007-01-15 15:00:00");
        us("noon", "noon", "2007-01-15 12:00:00");
        us("12 noon", "12 noon", "2007-01-15 12:00:00");
        us("midnight", "midnight", "2007-01-15 00:00:00");
        us("zero hour", "0:30", "2007-01-15 00:30:00");

        // Daylight saving in Paris: the gap moves forward, the overlap keeps the wall time.
        us("dst gap", "2007-03-25T02:30", "2007-03-25 03:30:00");
        us("dst overlap", "2007-10-28 02:30", "2007-10-28 02:30:00");

        // Refused.
        us("no such day", "February 29, 2007", "");
        us("no such day numeric", "2/29/2007", "");
        us("april 31", "4/31/2007", "");
        us("32/13", "32/13/2006", "");
        us("month 13", "13/05/2006", "");
        us("phone number", "call me at 555 1234", "");
        us("version", "version 2.0.1", "");
        us("bare version", "2.0.1", "");
        us("version with year-like tail", "10.2.14", "");
        us("word", "hello", "");
        us("empty", "", "");
        us("month and year only", "December 2006", "");
        us("month only", "March", "");
        us("year only", "2006", "");
        us("four digits", "1430", "");
        us("hour 25", "25:00", "");
        us("minute 75", "9:75", "");
        us("13 am", "13:00 am", "");
        us("two numbers", "12/05", "");
        us("one-digit year", "1/2/3", "");
        us("four numbers", "12/05/2006/7", "");
        us("room number", "room 101 at 10:30", "");
        us("two times", "5 December 2006 14:30 15:30", "");
        us("two dates", "12/05/2006 12/06/2006", "");
        us("huge number", "99999999999999999999/1/2006", "");
        us("month name prefix", "Marketing 5", "");

        // European settings: day first, "." in dates and times, German names in any case.
        de("d.m.Y", "05.12.2006", "2006-12-05 00:00:00");
        de("d.m.y", "5.12.06", "2006-12-05 00:00:00");
        de("slashes in user order", "12/05/2006", "2006-05-12 00:00:00");
        de("dotted day", "5. Dezember 2006", "2006-12-05 00:00:00");
        de("abbreviation and Uhr", "5. Dez. 2006, 14.30 Uhr", "2006-12-05 14:30:00");
        de("am um", "am 5. März 2007 um 9.30 Uhr", "2007-03-05 09:30:00");
        de("upper case umlaut", "MÄRZ 5", "2007-03-05 00:00:00");
        de("short name lower case", "3. mär 2007", "2007-03-03 00:00:00");
        de("weekday", "Dienstag, 5. Dezember 2006", "2006-12-05 00:00:00");
        de("time with dot seconds", "21.30.00", "2007-01-15 21:30:00");
        de("time dot", "14.30", "2007-01-15 14:30:00");
        de("Uhr", "14 Uhr", "2007-01-15 14:00:00");
        de("Uhr with full stop", "um 9.30 Uhr.", "2007-01-15 09:30:00");
        de("two-digit year with dots", "10.2.14", "2014-02-10 00:00:00");
        de("english names too", "5 December 2006", "2006-12-05 00:00:00");
        de("iso", "2006-12-05", "2006-12-05 00:00:00");
        de("no 31 February", "31.02.2007", "");
        de("month and year", "Mai 2007", "");
        de("invalid month", "12.13.2006", "");
    }
    void lenient()
    {
        QFETCH(QString, store);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(shown(NaturalDate::parse(text, settingsFor(store))), expected);
    }

    // The user's store decides the order when no settings are given.
    void userStore_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("us") << false << "05/12/2006" << "2006-05-12 00:00:00";
        QTest::newRow("de") << true << "05/12/2006" << "2006-12-05 00:00:00";
        QTest::newRow("de names") << true << "5. Dezember 2006 um 14.30" << "2006-12-05 14:30:00";
        QTest::newRow("de dot seconds") << true << "14.30.15" << "2007-01-15 14:30:15";
        QTest::newRow("us dot seconds") << false << "10.30.15" << "";
    }
    void userStore()
    {
        QFETCH(bool, german);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        testutil::TempSettings settings(german ? QLocale(QLocale::German, QLocale::Germany)
                                               : QLocale(QLocale::English, QLocale::UnitedStates),
                                        german ? germanStore() : usStore());
        QCOMPARE(shown(NaturalDate::dateWithNaturalLanguageString(text)), expected);
    }

    void localeOrdering()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        const QVariantMap dmy{{"NSDateTimeOrdering", "DMYH"}, {"NSDateFormatString", "DMYH"}};
        QCOMPARE(shown(NaturalDate::dateWithNaturalLanguageString("05/12/2006", dmy)), "2006-12-05 00:00:00");
        const QVariantMap ymd{{"NSDateTimeOrdering", "YMDH"}};
        QCOMPARE(shown(NaturalDate::dateWithNaturalLanguageString("06/12/05", ymd)), "2006-12-05 00:00:00");
        // A broken ordering falls back to the user's.
        const QVariantMap broken{{"NSDateTimeOrdering", "DDMH"}};
        QCOMPARE(shown(NaturalDate::dateWithNaturalLanguageString("05/12/2006", broken)), "2006-05-12 00:00:00");
    }

    void orderingOfFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("ordering");
        QTest::newRow("us") << "%m/%d/%y" << "MDYH";
        QTest::newRow("de") << "%d.%m.%Y" << "DMYH";
        QTest::newRow("no leading zero") << "%e/%1m/%Y" << "DMYH";
        QTest::newRow("reduced") << "y-m-d" << "YMDH";
        QTest::newRow("names") << "%d %b %Y" << "DMYH";
        QTest::newRow("nonsense") << "%H:%M" << "MDYH";
    }
    void orderingOfFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, ordering);
        QCOMPARE(NaturalDateSettings::orderingOfFormat(format), ordering);
    }

    void strictParse()
    {
        QCOMPARE(shown(NaturalDate::dateWithString("12/05/06", "%m/%d/%y")), "2006-12-05 00:00:00");
        QCOMPARE(shown(NaturalDate::dateWithString("10:30am", "%I:%M%p")), "2001-01-01 10:30:00");
        QVERIFY(NaturalDate::dateWithString("12/05/06 x", "%m/%d/%y").isNull());
    }

    // Year-less dates follow the clock, including the leap day.
    void yearFromClock()
    {
        const NaturalDateSettings us = settingsFor("us");
        QVERIFY(NaturalDate::parse("February 29", us).isNull());
        testutil::pinClock("2008-06-01T12:00:00Z");
        QCOMPARE(shown(NaturalDate::parse("February 29", us)), "2008-02-29 00:00:00");
        QCOMPARE(shown(NaturalDate::parse("9:30", us)), "2008-06-01 09:30:00");
        // Just after midnight in Paris the UTC date is still the day before: "today" is Paris's.
        testutil::pinClock("2008-06-01T22:30:00Z");
        QCOMPARE(shown(NaturalDate::parse("today", us)), "2008-06-02 00:00:00");
    }

    void hostileInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("million digits") << QString(1000000, QLatin1Char('7'));
        QTest::newRow("long date-like") << QStringLiteral("12/05/2006 ").repeated(50000);
        QTest::newRow("nul bytes") << QString::fromLatin1("12/05\0/2006", 11);
        QTest::newRow("lone surrogate") << (QStringLiteral("12/05/2006 ") + QChar(0xD800));
        QTest::newRow("replacement chars") << QString(200, QChar(0xFFFD));
        QTest::newRow("only separators") << QString(200, QLatin1Char('/'));
        QTest::newRow("many dots") << QStringLiteral("1.").repeated(100);
    }
    void hostileInput()
    {
        QFETCH(QString, text);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(NaturalDate::parse(text, settingsFor("us")).isNull());
        QVERIFY(timer.elapsed() < 1000 * kSlowdown);
    }
};

QTEST_GUILESS_MAIN(TestNaturalDate)
#include "tst_naturalDate.moc"
