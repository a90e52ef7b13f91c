#include "calendar/aCalendar.h"
#include "platform/Clock.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>

namespace
{
using testutil::germanNames;
using testutil::germanStore;
using testutil::kSlowdown;
using testutil::usStore;

QVariantMap storeNamed(const QString& name)
{
    return name == QLatin1String("de") ? germanStore() : usStore();
}

QLocale localeNamed(const QString& name)
{
    return name == QLatin1String("de") ? QLocale(QLocale::German, QLocale::Germany)
                                       : QLocale(QLocale::English, QLocale::UnitedStates);
}

QString day(const CalDate& d)
{
    return d ? d.format(QStringLiteral("%Y-%m-%d")) : QString();
}

QString clock(const CalDate& d)
{
    return d ? d.format(QStringLiteral("%H:%M:%S")) : QString();
}
} // namespace

class TestRecognition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void cleanup() { Clock::reset(); }

    void regexMatches_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* name, const QString& text, const char* pattern, const QStringList& expected) {
            QTest::newRow(name) << text << QString(pattern) << expected;
        };
        // Leftmost-longest: the longest alternative wins, not the first one listed.
        row("longest alternative", "abcd", "a|ab|abc", {"abc"});
        row("longest overall", "abcd", "(a|ab)(c|bcd)", {"abcd"});
        row("leftmost first", "xabcabc", "abc|bcabc", {"abc", "abc"});
        row("optional groups grow", "5th December 2006 x", "[0-9]?[0-9](th)? December( )?[0-9]?[0-9]?[0-9]?[0-9]",
            {"5th December 2006"});
        row("non-overlapping", "aaaa", "aa", {"aa", "aa"});
        // Only the first search may match at the beginning of a line.
        row("not bol after first", "aaa", "^a", {"a"});
        row("empty matches skipped", "xyz aaa", "a*", {"aaa"});
        row("no match", "hello", "[0-9]", {});
        // Characters, not bytes: "." takes the whole "ä".
        row("dot over umlaut", "5 März 2007", "M.rz", {"März"});
        row("bracket with umlaut", "Mär Mar", "M[äa]r", {"Mär", "Mar"});
        row("after non-ascii", "日本 12/05/2006 é 1/2/07", "[0-9]+/[0-9]+/[0-9]+", {"12/05/2006", "1/2/07"});
        row("case sensitive", "DECEMBER December", "December", {"December"});
        // A pattern that does not compile matches nothing (and never ends the program).
        row("bad pattern", "a(b", "(", {});
        row("bad bracket", "a[b", "[", {});
        row("nul inside", QString::fromLatin1("a\0a\0a", 5), "a", {"a", "a", "a"});
    }
    void regexMatches()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        testutil::TempSettings settings(localeNamed("us"), usStore());
        const aCalendar cal;
        QCOMPARE(cal.regex(text, pattern), expected);
    }

    void cleanUp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("punc");
        QTest::addColumn<QString>("ordinals");
        auto row = [](const char* name, const char* text, const char* punc, const char* ordinals) {
            QTest::newRow(name) << QString(text) << QString(punc) << QString(ordinals);
        };
        row("date", "December 5, 2006.", "December 5 2006", "December 5, 2006.");
        row("breaks", "a\r\nb\tc!?;:", "a  b c", "a\r\nb\tc!?;:");
        row("ordinals", "5th December, 2nd 3rd 1st", "5th December 2nd 3rd 1st", "5December, 231st");
        row("upper ordinals", "5TH DEC 22ND 23RD", "5TH DEC 22ND 23RD", "5DEC 2223RD");
    }
    void cleanUp()
    {
        QFETCH(QString, text);
        QFETCH(QString, punc);
        QFETCH(QString, ordinals);
        QCOMPARE(aCalendar::removePunc(text), punc);
        QCOMPARE(aCalendar::removeThNdSt(text), ordinals);
    }

    // What each recogniser finds in a phrase: "dates" and "times" list the phrases found in free
    // text, "time", "date" and "field" read one phrase (a pasted field for "field"). A store such
    // as "us %m/%d/%Y" overrides the short date format.
    void recognisers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QString kind;
        auto row = [&kind](const char* name, const char* store, const QString& text, const QStringList& expected) {
            QTest::addRow("%s: %s", qPrintable(kind), name) << kind << QString(store) << text << expected;
        };
        kind = "dates";
        row("ordinal phrase", "us", "Meet 5th December 2006 at 3 pm", {"5th December 2006"});
        row("month order, not text order", "us", "December 5 and January 9", {"January 9", "December 5 "});
        row("comma stripped", "us", "Lunch on December 5, 2006.", {"December 5 2006"});
        row("names beat numbers", "us", "December 5 2006 or 12/06/2006", {"December 5 2006"});
        row("abbreviation", "us", "on 5 Dec 2006", {"5 Dec 2006"});
        row("upper case not found", "us", "DECEMBER 5", {});
        row("numeric", "us", "on 12/05/2006 and 1/2/07", {"12/05/2006", "1/2/07"});
        row("nothing", "us", "hello world", {});
        row("german name", "de", "am 5. März 2007", {"5 März 2007"});
        row("german short name", "de", "am 5. Mär 2007", {"5 Mär 2007"});
        // The user's "." separator survives the clean-up of numeric dates.
        row("german numeric", "de", "Treffen am 12.05.2006.", {"12.05.2006"});
        // Times are blanked out before the clean-up drops their colons.
        row("time is no year", "us", "Lunch December 5 10:30 am", {"December 5 "});
        row("time range is no date", "us", "Meeting 12/05/2006 10:00-11:00", {"12/05/2006"});
        row("time before date", "us", "Call 14:30 12/05/2006", {"12/05/2006"});
        // Month names stand as words; an abbreviation may be written longer.
        row("name inside a word", "us", "Hire 3 Junior developers", {});
        row("name after letters", "us", "MidDec 5 party", {});
        row("longer abbreviation", "us", "on 5 Sept 2006", {"5 Sept 2006"});
        row("day inside a number", "us", "Budget 2015 December", {});

        kind = "times";
        row("am", "us", "Lunch at 10:30am", {"10:30am"});
        row("PM with space", "us", "Call at 3 PM or 4:15 PM", {"3 PM", "4:15 PM"});
        row("am/pm beats 24h", "us", "14:30 or 2:30 pm", {"2:30 pm"});
        row("24h user separator", "us", "at 14:30 and 16:00", {"14:30", "16:00"});
        row("pm without minutes", "us", "at 3pm", {"3pm"});
        row("seconds and AM", "us", "at 9:30:00 AM", {"9:30:00 AM"});
        row("numeric date is no time", "us", "on 12/05/2006", {});
        row("nothing", "us", "no digits here", {});
        // With "." as separator, rule 2 takes only a real dot; "14x30" is left to rule 3.
        row("dot separator", "de", "14x30 oder 14.30", {"14.30"});
        row("rule 3 fallback", "de", "um 14x30", {"14x30"});
        row("date dots are no time", "de", "am 12.05.2006 um 14.30 Uhr", {"14.30"});
        // A time never begins right after a digit; a refused match does not hide the real one.
        row("pm after a numeric date", "us", "Meeting 12/05/2006 11:30 pm", {"11:30 pm"});
        row("am after a numeric date", "us", "Meeting 12/05/2006 12:30 am", {"12:30 am"});
        row("am after a month-name date", "us", "Lunch with Ann December 5, 2006 10:30 am", {"10:30 am"});
        row("day before the time", "us", "Lunch December 5 10:30 am", {"10:30 am"});
        row("range", "us", "Meet 10:30-11:30am", {"11:30am"});

        kind = "time";
        row("am", "us", "10:30am", {"10:30:00"});
        row("PM spaced", "us", "10:30 PM", {"22:30:00"});
        row("12 am", "us", "12:00am", {"00:00:00"});
        row("12 pm", "us", "12:30 pm", {"12:30:00"});
        row("hour only", "us", "3 pm", {"15:00:00"});
        row("hour only glued", "us", "3pm", {"15:00:00"});
        row("24h colon", "us", "14:30", {"14:30:00"});
        row("24h dot", "us", "14.30", {"14:30:00"});
        row("dot pm", "us", "9.30pm", {"21:30:00"});
        row("seconds AM", "us", "9:30:15 AM", {"09:30:15"});
        row("other char", "us", "14x30", {});
        row("hour 25", "us", "25:00", {});
        row("13 pm", "us", "13:30pm", {});
        row("two times", "us", "10:30am 11:30am", {});
        row("de dot", "de", "14.30", {"14:30:00"});
        row("de colon", "de", "14:30", {"14:30:00"});
        row("de pm dot", "de", "9.30 PM", {"21:30:00"});

        kind = "date";
        row("us four-digit", "us", "12/05/2006", {"2006-12-05"});
        row("us two-digit", "us", "12/05/06", {"2006-12-05"});
        row("%Y read as %y", "us %m/%d/%Y", "12/05/06", {"2006-12-05"});
        row("%y read as %Y", "us %m/%d/%y", "12/05/2006", {"2006-12-05"});
        row("%1m", "us %1m/%d/%Y", "2/05/2006", {"2006-02-05"});
        row("lenient fallback", "us", "5th December 2006", {"2006-12-05"});
        row("month first", "us", "December 5 2006", {"2006-12-05"});
        row("no year", "us", "December 5 ", {"2007-12-05"});
        row("two dates go lenient", "us", "12/05/2006 12/06/2006", {});
        row("29 Feb", "us", "02/29/2008", {"2008-02-29"});
        row("no 29 Feb", "us", "02/29/2007", {});
        row("de dots", "de", "12.05.2006", {"2006-05-12"});
        row("de name", "de", "5 März 2007", {"2007-03-05"});
        row("de two-digit", "de", "12.05.06", {"2006-05-12"});

        kind = "field";
        row("us", "us", "12/05/2006", {"2006-12-05"});
        row("us two-digit", "us", "1/2/07", {"2007-01-02"});
        row("us iso", "us", "2006-12-05", {"2006-12-05"});
        row("us name", "us", "Dec 5, 2006", {"2006-12-05"});
        row("us empty", "us", "", {});
        row("us junk", "us", "tbd", {});
        row("us impossible", "us", "13/13/2006", {});
        row("de", "de", "12.05.2006", {"2006-05-12"});
        row("de slashes", "de", "12/05/2006", {"2006-05-12"});
        row("de name", "de", "5. Dezember 2006", {"2006-12-05"});
    }
    void recognisers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, store);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        const QString name = store.section(QLatin1Char(' '), 0, 0);
        QVariantMap values = storeNamed(name);
        if (store.contains(QLatin1Char(' ')))
            values.insert("NSShortDateFormatString", store.section(QLatin1Char(' '), 1));
        testutil::TempSettings settings(localeNamed(name), values);
        const aCalendar cal;
        QStringList found;
        QString one; // the single reading of "time", "date" and "field"
        if (kind == QLatin1String("dates"))
            found = cal.returnDatesInString(text);
        else if (kind == QLatin1String("times"))
            found = cal.returnTimeInString(text);
        else if (kind == QLatin1String("time"))
            one = clock(cal.returnCalendarTime(text));
        else if (kind == QLatin1String("date"))
            one = day(cal.returnCalendarDate(text));
        else
            one = day(cal.returnTCDate(text));
        if (!one.isEmpty())
            found << one;
        QCOMPARE(found, expected);
    }

    // Names and separators from the settings go into patterns literally.
    void specialCharactersInSettings()
    {
        QStringList months = germanStore().value("NSMonthNameArray").toStringList();
        months[4] = QStringLiteral("Ma(i");
        months[5] = QStringLiteral("J+ni");
        testutil::TempSettings settings(localeNamed("de"),
                                        {{"NSShortDateFormatString", "%d*%m*%Y"},
                                         {"NSTimeFormatString", "%H*%M*%S"},
                                         {"NSMonthNameArray", months}});
        const aCalendar cal;
        QCOMPARE(cal.returnDatesInString("am 5 Ma(i 2007"), QStringList {"5 Ma(i 2007"});
        QCOMPARE(cal.returnDatesInString("am 5 JJni 2007"), QStringList {});
        QCOMPARE(cal.returnDatesInString("am 05*12*2006"), QStringList {"05*12*2006"});
        QCOMPARE(cal.returnTimeInString("um 14*30 oder 14x30"), QStringList {"14*30"});
        QCOMPARE(day(cal.returnCalendarDate("05*12*2006")), QStringLiteral("2006-12-05"));
        QCOMPARE(day(cal.returnTCDate("05*12*2006")), QStringLiteral("2006-12-05"));
        QCOMPARE(clock(cal.returnCalendarTime("14*30")), QStringLiteral("14:30:00"));
    }

    // Delimited import reads dates on a worker thread while the window may match free text.
    void concurrentUse()
    {
        testutil::TempSettings settings(localeNamed("de"), germanStore());
        const aCalendar cal;
        std::atomic<int> wrong {0};
        QThread* worker = QThread::create([&] {
            for (int i = 0; i < 3000; ++i) {
                const QString field = QStringLiteral("%1.05.2006").arg(1 + i % 28, 2, 10, QLatin1Char('0'));
                const CalDate d = cal.returnTCDate(field);
                if (!d || d.day() != 1 + i % 28 || d.month() != 5)
                    ++wrong;
            }
        });
        worker->start();
        int mainWrong = 0;
        for (int i = 0; i < 3000; ++i) {
            if (cal.returnDatesInString(QStringLiteral("Treffen am %1. März 2007").arg(1 + i % 28))
                != QStringList {QStringLiteral("%1 März 2007").arg(1 + i % 28)})
                ++mainWrong;
        }
        QVERIFY(worker->wait(60000));
        delete worker;
        QCOMPARE(wrong.load(), 0);
        QCOMPARE(mainWrong, 0);
    }

    void hostileInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("million digits") << QString(1000000, QLatin1Char('7'));
        QTest::newRow("dates everywhere") << QStringLiteral("12/05/2006 10:30am ").repeated(20000);
        QTest::newRow("month names everywhere") << QStringLiteral("5 December 2006, ").repeated(20000);
        QTest::newRow("nul bytes") << QString::fromLatin1("on 12/05\0/2006 at 10:30\0am", 26);
        QTest::newRow("lone surrogates") << (QStringLiteral("December 5 ") + QChar(0xD800)
                                             + QStringLiteral(" 10:30am"));
        QTest::newRow("separators") << QString(500000, QLatin1Char('/'));
        QTest::newRow("colons and digits") << QStringLiteral("1:").repeated(200000);
    }
    void hostileInput()
    {
        QFETCH(QString, text);
        testutil::TempSettings settings(localeNamed("us"), usStore());
        const aCalendar cal;
        QElapsedTimer timer;
        timer.start();
        const QStringList dates = cal.returnDatesInString(text);
        const QStringList times = cal.returnTimeInString(text);
        for (const QString& d : dates.mid(0, 50))
            cal.returnCalendarDate(d);
        for (const QString& t : times.mid(0, 50))
            cal.returnCalendarTime(t);
        cal.returnCalendarDate(text);
        cal.returnCalendarTime(text);
        cal.returnTCDate(text);
        QVERIFY2(timer.elapsed() < 10000 * kSlowdown, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
