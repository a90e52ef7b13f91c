// libical's own vCalendar 1.0 reader reads the files we write: rules with counts, open rules,
// exception dates, overrides and text Mac OS Roman cannot hold.

#include "calendar/aCalendar.h"
#include "formatsTestUtil.h"
#include "testutil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace formatstest;

class tst_vcalPeer : public QObject
{
    Q_OBJECT

    std::unique_ptr<testutil::TempSettings> m_settings;

    // The peer's lines for a vCalendar file made of @p entries, written as the CLI writes it.
    QStringList peerReads(const EntryList& entries)
    {
        aCalendar cal;
        const QString text = cal.createVCalStringWithData(entries);
        [&] { QVERIFY2(text.startsWith(QLatin1String("BEGIN:VCALENDAR\r\n")), qPrintable(text)); }();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.vcs"));
        QFile file(path);
        [&] { QVERIFY(file.open(QIODevice::WriteOnly)); }();
        file.write(Encoding::encodeMacRoman(text));
        file.close();
        QProcess peer;
        peer.start(QStringLiteral(TIDEWELL_VCAL_PEER), {path});
        [&] {
            QVERIFY(peer.waitForFinished(30000));
            QVERIFY2(peer.exitCode() == 0, peer.readAllStandardError().constData());
        }();
        return QString::fromUtf8(peer.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QStringList occurrencesOf(const QStringList& lines, const QString& summary)
    {
        QStringList out;
        bool in = false;
        for (const QString& l : lines) {
            if (l.startsWith(QLatin1String("EVENT ")))
                in = l.mid(6).startsWith(summary + QLatin1Char('|'));
            else if (in)
                out << l.mid(3);
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
        m_settings = std::make_unique<testutil::TempSettings>();
        countedUuids();
    }
    void cleanupTestCase() { Uuid::setGenerator({}); }

    void seriesWithExceptionsAndAnOverride()
    {
        EntryPtr series = timed(QStringLiteral("会議 with Zoë 😀"), 2007, 2, 1, 9, 0, 10, 0);
        series->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TH"));
        series->setLocation(QStringLiteral("Łódź"));
        series->setTheEXDATE(day(2007, 2, 8));
        EntryPtr moved = timed(QStringLiteral("Moved review"), 2007, 2, 16, 11, 0, 12, 0);
        moved->setRecDate(day(2007, 2, 15));
        moved->setRecTime(at(2007, 2, 15, 9, 0));
        series->addRecObjectArray(moved);
        const QStringList lines = peerReads({series});
        QVERIFY2(lines.contains(QStringLiteral(
                     "EVENT 会議 with Zoë 😀|Łódź|20070201T080000Z|20070201T090000Z|FREQ=WEEKLY;BYDAY=TH")),
                 qPrintable(lines.join('\n')));
        QVERIFY(lines.contains(QStringLiteral("EVENT Moved review||20070216T100000Z|20070216T110000Z|-")));
        // An open rule goes on (a rule without a duration would stop after two); the exception and
        // the moved occurrence are left out.
        const QStringList at = occurrencesOf(lines, QStringLiteral("会議 with Zoë 😀"));
        QCOMPARE(at.mid(0, 4),
                 (QStringList {"20070201T080000Z", "20070222T080000Z", "20070301T080000Z", "20070308T080000Z"}));
        QCOMPARE(at.size(), 58);
    }

    // A COUNT becomes an end date that keeps exactly COUNT occurrences: for an event of two days,
    // and across a daylight-saving change for a reader that repeats the UTC time.
    void countsKeepTheirOccurrences()
    {
        EntryPtr twoDays = dataEntry::create();
        twoDays->setSummary(QStringLiteral("Two days"));
        twoDays->updateStartDetail(day(2007, 3, 1), at(2007, 3, 1, 10, 0));
        twoDays->updateEndDetail(day(2007, 3, 2), at(2007, 3, 2, 10, 0));
        twoDays->setRRULE(QStringLiteral("FREQ=DAILY;COUNT=3"));
        EntryPtr lastFriday = timed(QStringLiteral("Last Friday"), 2007, 1, 26, 10, 0, 11, 0);
        lastFriday->setRRULE(QStringLiteral("FREQ=MONTHLY;BYDAY=-1FR;COUNT=3"));
        EntryPtr midMonth = timed(QStringLiteral("Mid-month"), 2007, 1, 15, 10, 0, 11, 0);
        midMonth->setRRULE(QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=15"));
        const QStringList lines = peerReads({twoDays, lastFriday, midMonth});
        QCOMPARE(occurrencesOf(lines, QStringLiteral("Two days")),
                 (QStringList {"20070301T090000Z", "20070302T090000Z", "20070303T090000Z"}));
        QCOMPARE(occurrencesOf(lines, QStringLiteral("Last Friday")),
                 (QStringList {"20070126T090000Z", "20070223T090000Z", "20070330T090000Z"}));
        QCOMPARE(occurrencesOf(lines, QStringLiteral("Mid-month")).size(), 60);
        QCOMPARE(occurrencesOf(lines, QStringLiteral("Mid-month")).value(2), QStringLiteral("20070315T090000Z"));
    }
};

QTEST_GUILESS_MAIN(tst_vcalPeer)
#include "tst_vcalPeer.moc"
