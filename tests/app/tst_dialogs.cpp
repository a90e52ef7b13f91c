#include "Dialogs.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

class TestDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requiredSuffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("suffixes");
        QTest::addColumn<QString>("path");
        QTest::newRow("added") << "/tmp/work" << QStringList {"ics"} << "/tmp/work.ics";
        QTest::newRow("kept") << "/tmp/work.ics" << QStringList {"ics"} << "/tmp/work.ics";
        QTest::newRow("any case") << "/tmp/work.ICS" << QStringList {"ics"} << "/tmp/work.ICS";
        QTest::newRow("other dot") << "/tmp/v1.2" << QStringList {"vcal"} << "/tmp/v1.2.vcal";
        QTest::newRow("second allowed") << "/tmp/a.txt" << QStringList {"csv", "txt"} << "/tmp/a.txt";
        QTest::newRow("cancel") << "" << QStringList {"ics"} << "";
    }
    void requiredSuffix()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, suffixes);
        QFETCH(QString, path);
        QCOMPARE(Dialogs::withRequiredSuffix(typed, suffixes), path);
    }

    // Answers given ahead arrive after the call returns, as a real panel's would.
    void queuedAnswersArriveLater()
    {
        Dialogs::resetForTests();
        QWidget window;
        Dialogs::queueAnswer(2);
        Dialogs::queueAnswer(QStringLiteral("/tmp/out"));
        int chosen = -2;
        QString saved;
        Dialogs::ask(&window, "Export to Mail", "Which?", {"A", "B", "C"}, [&](int i) { chosen = i; });
        Dialogs::saveFile(&window, "Save", "x.ics", {"ics"}, [&](const QString& p) { saved = p; });
        QCOMPARE(chosen, -2);
        QTRY_COMPARE(chosen, 2);
        QTRY_COMPARE(saved, QStringLiteral("/tmp/out.ics"));
        QCOMPARE(Dialogs::log(), (QStringList {"Export to Mail: Which?", "save: Save"}));
    }

    void answerToAGoneWindowIsDropped()
    {
        Dialogs::resetForTests();
        auto* window = new QWidget;
        Dialogs::queueAnswer(0);
        bool called = false;
        Dialogs::ask(window, "Warning! Danger!", "Go?", {"Export to iCal", "Cancel"}, [&](int) { called = true; });
        delete window;
        QTest::qWait(20);
        QVERIFY(!called);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
