// The desktop layer: Exec lines of desktop files, the running programs, the script runner where
// there is none, the Library folder.

#include "platform/Desktop.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

class tst_desktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void execLines_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("field codes go") << "thunderbird %u" << QStringList {"thunderbird"};
        QTest::newRow("quoted words and escapes") << "\"/opt/My Mail/mail\" --title \"a \\\\\"b\\\\\" \\\\\\\\c\" %U"
                                                  << QStringList {"/opt/My Mail/mail", "--title", "a \"b\" \\c"};
        QTest::newRow("value escapes") << "mail\\s--x\\tone" << QStringList {"mail", "--x", "one"};
        QTest::newRow("percent signs") << "mail --rate=100%% --f%fx" << QStringList {"mail", "--rate=100%", "--fx"};
        QTest::newRow("name, icon, location")
            << "kmail -qwindowtitle %c %i %k"
            << QStringList {"kmail", "-qwindowtitle", "KMail", "--icon", "kmail", "/x.desktop"};
        QTest::newRow("flatpak markers") << "flatpak run org.x.Mail @@u %u @@"
                                         << QStringList {"flatpak", "run", "org.x.Mail"};
        QTest::newRow("unterminated quote keeps the text") << "mail \"open end" << QStringList {"mail", "open end"};
        QTest::newRow("empty") << "" << QStringList {};
    }
    void execLines()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, words);
        QCOMPARE(Desktop::splitExecLine(exec, "KMail", "kmail", "/x.desktop"), words);
    }

    void runningApplications()
    {
        // Our own process is among them.
        QVERIFY(Desktop::runningApplications().contains(QCoreApplication::applicationName()));
        Desktop::setRunningApplicationsProvider([] { return QStringList {"iCal"}; });
        QCOMPARE(Desktop::runningApplications(), QStringList {"iCal"});
        Desktop::setRunningApplicationsProvider({});
    }

    void withoutScriptRunner()
    {
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir empty;
        qputenv("PATH", empty.path().toUtf8());
        QString why;
        QVERIFY(!Desktop::canRunScripts());
        QVERIFY(!Desktop::runScript("tell application \"iCal\"\n quit\n end tell\n", &why));
        QCOMPARE(why, "cannot run scripts");
        QVERIFY(!Desktop::startProgram("no-such-mail-program", {}, &why));
        QCOMPARE(why, "no-such-mail-program: no such program");
        QVERIFY(!Desktop::launchApplication("iCal", &why));
        qputenv("PATH", path);
    }

    void libraryFolder()
    {
        qputenv("TIDEWELL_LIBRARY_DIR", "/mnt/mac/Users/ann/Library//");
        QCOMPARE(Desktop::libraryFolder(), "/mnt/mac/Users/ann/Library");
        qunsetenv("TIDEWELL_LIBRARY_DIR");
        QCOMPARE(Desktop::libraryFolder(), QDir::homePath() + "/Library");
    }
};

QTEST_GUILESS_MAIN(tst_desktop)
#include "tst_desktop.moc"
