#include "calendar/aCalendar.h"
#include "platform/Clock.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QTest>

namespace
{
using testutil::germanNames;
using testutil::germanStore;
using testutil::kSlowdown;
using testutil::usStore;

// One entry as "date start-end" ("-" for an absent part), e.g. "2006-12-05 12:30-13:30".
QString brief(const EntryPtr& e)
{
    auto part
        = [](const CalDate& d, const char* f) { return d ? d.format(QString::fromLatin1(f)) : QStringLiteral("-"); };
    QString s = part(e->getStartDate(), "%Y-%m-%d") + QLatin1Char(' ') + part(e->getStartTime(), "%H:%M")
        + QLatin1Char('-') + part(e->getEndTime(), "%H:%M");
    if (e->getEndDate() != e->getStartDate())
        s += QStringLiteral(" until ") + part(e->getEndDate(), "%Y-%m-%d");
    return s;
}

QStringList briefs(const aCalendar& cal)
{
    QStringList out;
    for (const EntryPtr& e : cal.getTheData())
        out.append(brief(e));
    return out;
}
} // namespace

class TestClipboardGuess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void cleanup() { Clock::reset(); }

    void pairing_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("summary"); // of every entry
        auto row = [](const char* tag, bool german, const QString& text, const QStringList& entries,
                      const QString& summary) { QTest::newRow(tag) << german << text << entries << summary; };

        row("date and pm time", false, "Dentist 12/05/2006 at 12:30 pm", QStringList {"2006-12-05 12:30-13:30"},
            "Dentist  at ");
        row("one date two times", false, "Meeting 12/05/2006 from 10:30 am to 11:45 am",
            QStringList {"2006-12-05 10:30-11:45"}, "Meeting  from  to ");
        row("two dates one time", false, "12/05/2006 or 12/06/2006 at 3 pm", QStringList {"- 15:00-16:00"}, " or  at ");
        row("three times", false, "9:00 am, 11:00 am and 2:00 pm", QStringList {"- 09:00-11:00", "- 14:00-15:00"},
            ",  and ");
        row("two dates two times in text order", false, "December 5 at 10:30am and January 9 at 2:00pm",
            QStringList {"2007-12-05 10:30-11:30", "2007-01-09 14:00-15:00"}, "at  and at ");
        row("month name date", false, "Meet 5th December 2006 at 3 pm", QStringList {"2006-12-05 15:00-16:00"},
            "Meet  at ");
        // The phrase was found without its comma, so it does not stand in the text and stays.
        row("date only, punctuation", false, "Lunch on December 5, 2006.", QStringList {"2006-12-05 --- until -"},
            "Lunch on December 5, 2006.");
        row("phrase at the end", false, "Call Bob 1/2/07", QStringList {"2007-01-02 --- until -"}, "Call Bob ");
        row("unreadable time", false, "Party 12/05/2006 at 13:30pm", QStringList {"2006-12-05 ---"}, "Party  at ");
        row("leap day", false, "Review 02/29/2008 at 9:30am", QStringList {"2008-02-29 09:30-10:30"}, "Review  at ");
        row("no such day", false, "Review 02/29/2007 at 9:30am", QStringList {"- 09:30-10:30"}, "Review  at ");
        row("pm after a numeric date", false, "Meeting 12/05/2006 11:30 pm",
            QStringList {"2006-12-05 23:30-00:30 until 2006-12-06"}, "Meeting  ");
        row("am after a month-name date", false, "Lunch with Ann December 5, 2006 10:30 am",
            QStringList {"2006-12-05 10:30-11:30"}, "Lunch with Ann December 5, 2006 ");
        row("hour ends after midnight", false, "Party 12/05/2006 at 11:30 pm",
            QStringList {"2006-12-05 23:30-00:30 until 2006-12-06"}, "Party  at ");
        row("range ends after midnight", false, "Late 12/05/2006 from 10 pm to 2 am",
            QStringList {"2006-12-05 22:00-02:00 until 2006-12-06"}, "Late  from  to ");
        row("german", true, "Treffen am 12.05.2006 um 14.30 Uhr", QStringList {"2006-05-12 14:30-15:30"},
            "Treffen am  um  Uhr");
        row("german names", true, "Essen am 5. März 2007 von 12.00 bis 13.30", QStringList {"2007-03-05 12:00-13:30"},
            "Essen am 5. März 2007 von  bis ");
    }
    void pairing()
    {
        QFETCH(bool, german);
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QFETCH(QString, summary);
        testutil::TempSettings settings(german ? QLocale(QLocale::German, QLocale::Germany)
                                               : QLocale(QLocale::English, QLocale::UnitedStates),
                                        german ? germanStore() : usStore());
        aCalendar cal;
        cal.processDateString(&text);
        QCOMPARE(briefs(cal), entries);
        for (const EntryPtr& e : cal.getTheData()) {
            QVERIFY(e->getDataCheck() || e->getStartDate().isNull());
            QCOMPARE(e->getSummary(), summary);
            QCOMPARE(e->getShortDESCRIPTION(), text);
        }
    }

    void nothingRecognised()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        aCalendar cal;
        const QString text = QStringLiteral("hello world\nno dates here");
        cal.processDateString(text);
        QCOMPARE(cal.entryCount(), 1);
        const EntryPtr e = cal.getEntryAtIndex(0);
        QCOMPARE(e->getShortDESCRIPTION(), text);
        QVERIFY(e->getSummary().isEmpty());
        QVERIFY(e->getStartDate().isNull() && e->getStartTime().isNull() && e->getEndTime().isNull());
    }

    void nullTextAndAppendOrder()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        aCalendar cal;
        cal.processDateString(nullptr);
        QCOMPARE(cal.entryCount(), 0);
        cal.processDateString(QStringLiteral("first 1/2/07"));
        cal.processDateString(QStringLiteral("second 1/3/07 at 9:00 am"));
        QCOMPARE(briefs(cal), (QStringList {"2007-01-02 --- until -", "2007-01-03 09:00-10:00"}));
    }

    // The entry carries the zone the appointment was written in: the machine's.
    void startLine()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        aCalendar cal;
        cal.processDateString(QStringLiteral("Dentist 12/05/2006 at 12:30 pm"));
        cal.processDateString(QStringLiteral("Holiday 12/06/2006"));
        QCOMPARE(cal.getEntryAtIndex(0)->getDTSTART(), QStringLiteral("DTSTART;TZID=Europe/Paris:20061205T123000"));
        QCOMPARE(cal.getEntryAtIndex(1)->getDTSTART(), QStringLiteral("DTSTART;VALUE=DATE:20061206"));
    }

    // A huge paste with thousands of different dates: every phrase leaves the summary, quickly.
    void hugePaste()
    {
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        QString text;
        int count = 0;
        for (int y = 2000; y < 2010; ++y) {
            for (int m = 1; m <= 12; ++m) {
                for (int d = 1; d <= 28; ++d, ++count)
                    text += QStringLiteral("on %1/%2/%3, ").arg(m).arg(d).arg(y);
            }
        }
        text = text.repeated(5);
        aCalendar cal;
        QElapsedTimer timer;
        timer.start();
        cal.processDateString(text);
        QVERIFY2(timer.elapsed() < 20000 * kSlowdown, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(cal.entryCount(), count * 5);
        QCOMPARE(cal.getEntryAtIndex(0)->getSummary(), QStringLiteral("on , ").repeated(count * 5));
        QCOMPARE(brief(cal.getEntryAtIndex(count - 1)), QStringLiteral("2009-12-28 --- until -"));
    }

    void hostileText_data()
    {
        QTest::addColumn<QString>("text");
        auto row = [](const char* tag, const QString& text) { QTest::newRow(tag) << text; };
        row("nul bytes", QString::fromLatin1("a\0 12/05/2006 \0 at 10:30am", 26));
        row("lone surrogate", (QStringLiteral("x ") + QChar(0xDC00) + QStringLiteral(" 10:30am")));
        row("million digits", QString(1000000, QLatin1Char('4')));
        row("many times", QStringLiteral("10:30am ").repeated(20000));
    }
    void hostileText()
    {
        QFETCH(QString, text);
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usStore());
        aCalendar cal;
        QElapsedTimer timer;
        timer.start();
        cal.processDateString(text);
        QVERIFY(cal.entryCount() >= 1);
        QCOMPARE(cal.getEntryAtIndex(0)->getShortDESCRIPTION(), text);
        QVERIFY2(timer.elapsed() < 10000 * kSlowdown, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestClipboardGuess)
#include "tst_clipboardGuess.moc"
