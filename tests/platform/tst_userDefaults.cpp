#include "platform/UserDefaults.h"
#include "testutil.h"

#include <QTest>

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void derivedFromLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US short date") << "en_US" << "NSShortDateFormatString" << "%m/%d/%y";
        QTest::newRow("en_US time") << "en_US" << "NSTimeFormatString" << "%I:%M:%S %p";
        QTest::newRow("en_US long date") << "en_US" << "NSDateFormatString" << "%A, %B %e, %Y";
        QTest::newRow("en_US short time-date") << "en_US" << "NSShortTimeDateFormatString" << "%m/%d/%y %I:%M %p";
        QTest::newRow("en_GB short date") << "en_GB" << "NSShortDateFormatString" << "%d/%m/%Y";
        QTest::newRow("en_GB time") << "en_GB" << "NSTimeFormatString" << "%H:%M:%S";
        QTest::newRow("de_DE short date") << "de_DE" << "NSShortDateFormatString" << "%d.%m.%y";
        QTest::newRow("de_DE time") << "de_DE" << "NSTimeFormatString" << "%H:%M:%S";
        QTest::newRow("C is treated as en_US") << "C" << "NSShortDateFormatString" << "%m/%d/%y";
    }
    void derivedFromLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        testutil::TempSettings settings{QLocale(locale)};
        QCOMPARE(UserDefaults::standard().string(key), expected);
    }

    void namesFromLocale()
    {
        testutil::TempSettings settings{QLocale("de_DE")};
        const DateNames n = UserDefaults::standard().dateNames();
        QCOMPARE(n.months.size(), 12);
        QCOMPARE(n.months.at(2), QString::fromUtf8("März"));
        QCOMPARE(n.weekdays.size(), 7);
        QCOMPARE(n.weekdays.at(0), QStringLiteral("Sonntag")); // Sunday first, as the user's settings keep them
        QCOMPARE(n.amPm.size(), 2);
    }

    void storedValueWins()
    {
        testutil::TempSettings settings{QLocale("en_US"), {{"NSShortDateFormatString", "%d.%m.%Y"},
                                                           {"NSMonthNameArray", QStringList{"a", "b"}}}};
        QCOMPARE(UserDefaults::standard().string("NSShortDateFormatString"), QStringLiteral("%d.%m.%Y"));
        QCOMPARE(UserDefaults::standard().stringList("NSMonthNameArray"), (QStringList{"a", "b"}));
        // Program keys have no derived value.
        QVERIFY(UserDefaults::standard().string("calendar").isEmpty());
        UserDefaults::standard().setValue("calendar", "Work");
        QCOMPARE(UserDefaults::standard().string("calendar"), QStringLiteral("Work"));
    }

    void storesAreSeparate()
    {
        {
            testutil::TempSettings a;
            UserDefaults::standard().setValue("versionCheck", "1");
            QCOMPARE(UserDefaults::standard().string("versionCheck"), QStringLiteral("1"));
        }
        testutil::TempSettings b;
        QVERIFY(!UserDefaults::standard().contains("versionCheck"));
    }

    void qtFormats_data()
    {
        QTest::addColumn<QString>("qt");
        QTest::addColumn<QString>("expected");
        QTest::newRow("iso") << "yyyy-MM-dd" << "%Y-%m-%d";
        QTest::newRow("12 hour") << "h:mm AP" << "%I:%M %p";
        QTest::newRow("24 hour") << "HH.mm.ss" << "%H.%M.%S";
        QTest::newRow("names") << "dddd d MMMM yyyy" << "%A %e %B %Y";
        QTest::newRow("quoted literal") << "d 'de' MMMM" << "%e de %B";
    }
    void qtFormats()
    {
        QFETCH(QString, qt);
        QFETCH(QString, expected);
        QCOMPARE(UserDefaults::fromQtFormat(qt), expected);
    }
};

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userDefaults.moc"
