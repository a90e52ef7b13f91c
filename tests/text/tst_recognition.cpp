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
        // Leftmost-longest: the longest alternative wins, not the first one listed.
        QTest::newRow("longest alternative") << "abcd"
                                             << "a|ab|abc" << QStringList {"abc"};
        QTest::newRow("longest overall") << "abcd"
                                         << "(a|ab)(c|bcd)" << QStringList {"abcd"};
        QTest::newRow("leftmost first") << "xabcabc"
                                        << "abc|bcabc" << QStringList {"abc", "abc"};
        QTest::newRow("optional groups grow")
            << "5th December 2006 x"
            << "[0-9]?[0-9](th)? December( )?[0-9]?[0-9]?[0-9]?[0-9]" << QStringList {"5th December 2006"};
        QTest::newRow("non-overlapping") << "aaaa"
                                         << "aa" << QStringList {"aa", "aa"};
        // Only the first search may match at the beginning of a line.
        QTest::newRow("not bol after first") << "aaa"
                                             << "^a" << QStringList {"a"};
        QTest::newRow("empty matches skipped") << "xyz aaa"
                                               << "a*" << QStringList {"aaa"};
        QTest::newRow("no match") << "hello"
                                  << "[0-9]" << QStringList {};
        // Characters, not bytes: "." takes the whole "ä".
        QTest::newRow("dot over umlaut") << "5 März 2007"
                                         << "M.rz" << QStringList {"März"};
        QTest::newRow("bracket with umlaut") << "Mär Mar"
                                             << "M[äa]r" << QStringList {"Mär", "Mar"};
        QTest::newRow("after non-ascii") << "日本 12/05/2006 é 1/2/07"
                                         << "[0-9]+/[0-9]+/[0-9]+" << QStringList {"12/05/2006", "1/2/07"};
        QTest::newRow("case sensitive") << "DECEMBER December"
                                        << "December" << QStringList {"December"};
        // A pattern that does not compile matches nothing (and never ends the program).
        QTest::newRow("bad pattern") << "a(b"
                                     << "(" << QStringList {};
        QTest::newRow("bad bracket") << "a[b"
                                     << "[" << QStringList {};
        QTest::newRow("nul inside") << QString::fromLatin1("a\0a\0a", 5) << "a" << QStringList {"a", "a", "a"};
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
        QTest::newRow("date") << "December 5, 2006."
                              << "December 5 2006"
                              << "December 5, 2006.";
        QTest::newRow("breaks") << "a\r\nb\tc!?;:"
                                << "a  b c"
                                << "a\r\nb\tc!?;:";
        QTest::newRow("ordinals") << "5th December, 2nd 3rd 1st"
                                  << "5th December 2nd 3rd 1st"
                                  << "5December, 231st";
        QTest::newRow("upper ordinals") << "5TH DEC 22ND 23RD"
                                        << "5TH DEC 22ND 23RD"
                                        << "5DEC 2223RD";
    }
    void cleanUp()
    {
        QFETCH(QString, text);
        QFETCH(QString, punc);
        QFETCH(QString, ordinals);
        QCOMPARE(aCalendar::removePunc(text), punc);
        QCOMPARE(aCalendar::removeThNdSt(text), ordinals);
    }

    void datesInString_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("ordinal phrase") << "us"
                                        << "Meet 5th December 2006 at 3 pm" << QStringList {"5th December 2006"};
        QTest::newRow("month order, not text order")
            << "us"
            << "December 5 and January 9" << QStringList {"January 9", "December 5 "};
        QTest::newRow("comma stripped") << "us"
                                        << "Lunch on December 5, 2006." << QStringList {"December 5 2006"};
        QTest::newRow("names beat numbers") << "us"
                                            << "December 5 2006 or 12/06/2006" << QStringList {"December 5 2006"};
        QTest::newRow("abbreviation") << "us"
                                      << "on 5 Dec 2006" << QStringList {"5 Dec 2006"};
        QTest::newRow("upper case not found") << "us"
                                              << "DECEMBER 5" << QStringList {};
        QTest::newRow("numeric") << "us"
                                 << "on 12/05/2006 and 1/2/07" << QStringList {"12/05/2006", "1/2/07"};
        QTest::newRow("nothing") << "us"
                                 << "hello world" << QStringList {};
        QTest::newRow("german name") << "de"
                                     << "am 5. März 2007" << QStringList {"5 März 2007"};
        QTest::newRow("german short name") << "de"
                                           << "am 5. Mär 2007" << QStringList {"5 Mär 2007"};
        // The user's "." separator survives the clean-up of numeric dates.
        QTest::newRow("german numeric") << "de"
                                        << "Treffen am 12.05.2006." << QStringList {"12.05.2006"};
        // Times are blanked out before the clean-up drops their colons.
        QTest::newRow("time is no year") << "us"
                                         << "Lunch December 5 10:30 am" << QStringList {"December 5 "};
        QTest::newRow("time range is no date") << "us"
                                               << "Meeting 12/05/2006 10:00-11:00" << QStringList {"12/05/2006"};
        QTest::newRow("time before date") << "us"
                                          << "Call 14:30 12/05/2006" << QStringList {"12/05/2006"};
        // Month names stand as words; an abbreviation may be written longer.
        QTest::newRow("name inside a word") << "us"
                                            << "Hire 3 Junior developers" << QStringList {};
        QTest::newRow("name after letters") << "us"
                                            << "MidDec 5 party" << QStringList {};
        QTest::newRow("longer abbreviation") << "us"
                                             << "on 5 Sept 2006" << QStringList {"5 Sept 2006"};
        QTest::newRow("day inside a number") << "us"
                                             << "Budget 2015 December" << QStringList {};
    }
    void datesInString()
    {
        QFETCH(QString, store);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        testutil::TempSettings settings(localeNamed(store), storeNamed(store));
        const aCalendar cal;
        QCOMPARE(cal.returnDatesInString(text), expected);
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

    void timesInString_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("am") << "us"
                            << "Lunch at 10:30am" << QStringList {"10:30am"};
        QTest::newRow("PM with space") << "us"
                                       << "Call at 3 PM or 4:15 PM" << QStringList {"3 PM", "4:15 PM"};
        QTest::newRow("am/pm beats 24h") << "us"
                                         << "14:30 or 2:30 pm" << QStringList {"2:30 pm"};
        QTest::newRow("24h user separator") << "us"
                                            << "at 14:30 and 16:00" << QStringList {"14:30", "16:00"};
        QTest::newRow("pm without minutes") << "us"
                                            << "at 3pm" << QStringList {"3pm"};
        QTest::newRow("seconds and AM") << "us"
                                        << "at 9:30:00 AM" << QStringList {"9:30:00 AM"};
        QTest::newRow("numeric date is no time") << "us"
                                                 << "on 12/05/2006" << QStringList {};
        QTest::newRow("nothing") << "us"
                                 << "no digits here" << QStringList {};
        // With "." as separator, rule 2 takes only a real dot; "14x30" is left to rule 3.
        QTest::newRow("dot separator") << "de"
                                       << "14x30 oder 14.30" << QStringList {"14.30"};
        QTest::newRow("rule 3 fallback") << "de"
                                         << "um 14x30" << QStringList {"14x30"};
        QTest::newRow("date dots are no time") << "de"
                                               << "am 12.05.2006 um 14.30 Uhr" << QStringList {"14.30"};
        // A time never begins right after a digit; a refused match does not hide the real one.
        QTest::newRow("pm after a numeric date") << "us"
                                                 << "Meeting 12/05/2006 11:30 pm" << QStringList {"11:30 pm"};
        QTest::newRow("am after a numeric date") << "us"
                                                 << "Meeting 12/05/2006 12:30 am" << QStringList {"12:30 am"};
        QTest::newRow("am after a month-name date")
            << "us"
            << "Lunch with Ann December 5, 2006 10:30 am" << QStringList {"10:30 am"};
        QTest::newRow("day before the time") << "us"
                                             << "Lunch December 5 10:30 am" << QStringList {"10:30 am"};
        QTest::newRow("range") << "us"
                               << "Meet 10:30-11:30am" << QStringList {"11:30am"};
    }
    void timesInString()
    {
        QFETCH(QString, store);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        testutil::TempSettings settings(localeNamed(store), storeNamed(store));
        const aCalendar cal;
        QCOMPARE(cal.returnTimeInString(text), expected);
    }

    void calendarTime_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("expected");
        QTest::newRow("am") << "us"
                            << "10:30am"
                            << "10:30:00";
        QTest::newRow("PM spaced") << "us"
                                   << "10:30 PM"
                                   << "22:30:00";
        QTest::newRow("12 am") << "us"
                               << "12:00am"
                               << "00:00:00";
        QTest::newRow("12 pm") << "us"
                               << "12:30 pm"
                               << "12:30:00";
        QTest::newRow("hour only") << "us"
                                   << "3 pm"
                                   << "15:00:00";
        QTest::newRow("hour only glued") << "us"
                                         << "3pm"
                                         << "15:00:00";
        QTest::newRow("24h colon") << "us"
                                   << "14:30"
                                   << "14:30:00";
        QTest::newRow("24h dot") << "us"
                                 << "14.30"
                                 << "14:30:00";
        QTest::newRow("dot pm") << "us"
                                << "9.30pm"
                                << "21:30:00";
        QTest::newRow("seconds AM") << "us"
                                    << "9:30:15 AM"
                                    << "09:30:15";
        QTest::newRow("other char") << "us"
                                    << "14x30"
                                    << "";
        QTest::newRow("hour 25") << "us"
                                 << "25:00"
                                 << "";
        QTest::newRow("13 pm") << "us"
                               << "13:30pm"
                               << "";
        QTest::newRow("two times") << "us"
                                   << "10:30am 11:30am"
                                   << "";
        QTest::newRow("de dot") << "de"
                                << "14.30"
                                << "14:30:00";
        QTest::newRow("de colon") << "de"
                                  << "14:30"
                                  << "14:30:00";
        QTest::newRow("de pm dot") << "de"
                                   << "9.30 PM"
                                   << "21:30:00";
    }
    void calendarTime()
    {
        QFETCH(QString, store);
        QFETCH(QString, phrase);
        QFETCH(QString, expected);
        testutil::TempSettings settings(localeNamed(store), storeNamed(store));
        const aCalendar cal;
        QCOMPARE(clock(cal.returnCalendarTime(phrase)), expected);
    }

    void calendarDate_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("shortFormat"); // overrides the store's short date format
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("expected");
        QTest::newRow("us four-digit") << "us"
                                       << ""
                                       << "12/05/2006"
                                       << "2006-12-05";
        QTest::newRow("us two-digit") << "us"
                                      << ""
                                      << "12/05/06"
                                      << "2006-12-05";
        QTest::newRow("%Y read as %y") << "us"
                                       << "%m/%d/%Y"
                                       << "12/05/06"
                                       << "2006-12-05";
        QTest::newRow("%y read as %Y") << "us"
                                       << "%m/%d/%y"
                                       << "12/05/2006"
                                       << "2006-12-05";
        QTest::newRow("%1m") << "us"
                             << "%1m/%d/%Y"
                             << "2/05/2006"
                             << "2006-02-05";
        QTest::newRow("lenient fallback") << "us"
                                          << ""
                                          << "5th December 2006"
                                          << "2006-12-05";
        QTest::newRow("month first") << "us"
                                     << ""
                                     << "December 5 2006"
                                     << "2006-12-05";
        QTest::newRow("no year") << "us"
                                 << ""
                                 << "December 5 "
                                 << "2007-12-05";
        QTest::newRow("two dates go lenient") << "us"
                                              << ""
                                              << "12/05/2006 12/06/2006"
                                              << "";
        QTest::newRow("29 Feb") << "us"
                                << ""
                                << "02/29/2008"
                                << "2008-02-29";
        QTest::newRow("no 29 Feb") << "us"
                                   << ""
                                   << "02/29/2007"
                                   << "";
        QTest::newRow("de dots") << "de"
                                 << ""
                                 << "12.05.2006"
                                 << "2006-05-12";
        QTest::newRow("de name") << "de"
                                 << ""
                                 << "5 März 2007"
                                 << "2007-03-05";
        QTest::newRow("de two-digit") << "de"
                                      << ""
                                      << "12.05.06"
                                      << "2006-05-12";
    }
    void calendarDate()
    {
        QFETCH(QString, store);
        QFETCH(QString, shortFormat);
        QFETCH(QString, phrase);
        QFETCH(QString, expected);
        QVariantMap values = storeNamed(store);
        if (shortFormat.startsWith(QLatin1Char('%')))
            values.insert("NSShortDateFormatString", shortFormat);
        testutil::TempSettings settings(localeNamed(store), values);
        const aCalendar cal;
        QCOMPARE(day(cal.returnCalendarDate(phrase)), expected);
    }

    void tcDate_data()
    {
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("us") << "us"
                            << "12/05/2006"
                            << "2006-12-05";
        QTest::newRow("us two-digit") << "us"
                                      << "1/2/07"
                                      << "2007-01-02";
        QTest::newRow("us iso") << "us"
                                << "2006-12-05"
                                << "2006-12-05";
        QTest::newRow("us name") << "us"
                                 << "Dec 5, 2006"
                                 << "2006-12-05";
        QTest::newRow("us empty") << "us"
                                  << ""
                                  << "";
        QTest::newRow("us junk") << "us"
                                 << "tbd"
                                 << "";
        QTest::newRow("us impossible") << "us"
                                       << "13/13/2006"
                                       << "";
        QTest::newRow("de") << "de"
                            << "12.05.2006"
                            << "2006-05-12";
        QTest::newRow("de slashes") << "de"
                                    << "12/05/2006"
                                    << "2006-05-12";
        QTest::newRow("de name") << "de"
                                 << "5. Dezember 2006"
                                 << "2006-12-05";
    }
    void tcDate()
    {
        QFETCH(QString, store);
        QFETCH(QString, field);
        QFETCH(QString, expected);
        testutil::TempSettings settings(localeNamed(store), storeNamed(store));
        const aCalendar cal;
        QCOMPARE(day(cal.returnTCDate(field)), expected);
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
