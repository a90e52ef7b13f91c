// Imports and exports from the window, offscreen, with every dialog answered by the test: the file
// imports, the calendar application's calendars, the checks and messages of every export, the
// written bytes, the expansion questions, mail, and each command from the menus and the toolbar.

#include "HelpWindow.h"
#include "ToolbarItems.h"
#include "bridges/bridgesTestUtil.h"
#include "platform/Desktop.h"
#include "platform/UserDefaults.h"
#include "windowTestUtil.h"

#include <QAction>
#include <QComboBox>
#include <QTextBrowser>
#include <QToolBar>

#include <unistd.h>

using windowtest::Event;
using windowtest::Window;
using Item = AppControl::MenuItem;

namespace
{
// Explicit formats, so that the command-line tool (its own process, its own settings file)
// formats exactly as the window does.
const QVariantMap kFormats {{"NSShortDateFormatString", "%m/%d/%Y"},
                            {"NSTimeFormatString", "%H:%M:%S"},
                            {"NSDateFormatString", "%A, %B %e, %Y"}};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Runs one command through its menu item or its toolbar item.
void run(Window& w, Item item, const QString& toolbarId)
{
    if (toolbarId.isEmpty())
        w->menuItem(item)->trigger();
    else
        w->toolbarAction(toolbarId)->trigger();
}

/// A path the window cannot write: in a read-only folder, or (for root, who writes anywhere)
/// below a file.
QString unwritablePath(const QTemporaryDir& dir, const QString& name)
{
    if (geteuid() == 0) {
        windowtest::writeBytes(dir.filePath("plain"), "x");
        return dir.filePath("plain/") + name;
    }
    QDir(dir.path()).mkpath("locked");
    QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
    return dir.filePath("locked/") + name;
}
} // namespace

class TestImportExport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        windowtest::writeBytes(path, bytes);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-01-15T12:00:00Z");
        QVERIFY(m_dir.isValid());
        Desktop::setRunningApplicationsProvider([] { return QStringList {"Finder"}; });
    }

    // Files chosen together are one text, in the panel's order: the second file here is no
    // calendar on its own. A file that cannot be read is named; the others are read.
    void filesChosenTogetherAreOneText()
    {
        Window w;
        const QByteArray whole
            = windowtest::calendarText({{"First", "20070310T090000"}, {"Second", "20070301T090000"}});
        const qsizetype cut = whole.indexOf("BEGIN:VEVENT", whole.indexOf("END:VEVENT"));
        const QString a = write("part1.ics", whole.left(cut));
        const QString b = write("part2.ics", whole.mid(cut));
        const QString missing = m_dir.filePath("missing.ics");
        Dialogs::queueAnswer(QStringList {a, missing, b});
        w->importFromFileICal();
        QTRY_COMPARE(w.summaries(), (QStringList {"First", "Second"}));
        QCOMPARE(Dialogs::log().first(), QStringLiteral("open: Import from iCal file"));
        QVERIFY2(Dialogs::log().at(1).startsWith("Warning!: This file could not be read:\n" + missing + ": "),
                 qPrintable(Dialogs::log().join('|')));
        QCOMPARE(Dialogs::log().size(), 2);
    }

    // "From iCal" and "To iCal" with the placeholder chosen: the message, and the toolbar (where
    // the pop-up lives) shown again.
    void placeholderShowsTheToolbar_data()
    {
        QTest::addColumn<bool>("exporting");
        QTest::newRow("To iCal") << true;
        QTest::newRow("From iCal") << false;
    }
    void placeholderShowsTheToolbar()
    {
        QFETCH(bool, exporting);
        Window w({"Work"});
        w.addEntries({"x"});
        w->toolbar()->hide();
        QCOMPARE(w->calendarPopup()->currentIndex(), 0);
        exporting ? w->exportToICal() : w->importFromICal();
        QCOMPARE(Dialogs::log(),
                 QStringList {exporting ? "Error!: Please select a calendar for export."
                                        : "Error!: Please select a calendar for import."});
        QVERIFY(w->toolbar()->isVisible());
        QVERIFY(!w->getAlertWindow());
        QCOMPARE(w.summaries(), QStringList {"x"});
    }

    // From iCal reads the calendar's file; sending the entries back asks "Warning! Danger!"
    // once; each append adds the entries after the calendar's own.
    void calendarApplicationRoundTrip()
    {
        bridgetest::Library lib;
        lib.addCalendar("A1", "Work", windowtest::calendarText({{"Planning", "20070305T090000"}}));
        lib.addCalendar("B2", "Home", QByteArray("BEGIN:VCALENDAR\r\nX-NAME:\xff\xfe\r\nEND:VCALENDAR\r\n"));
        Window w({"Work", "Home", "Gone"});
        w->calendarPopup()->setCurrentIndex(1);
        w->importFromICal();
        QCOMPARE(w.summaries(), QStringList {"Planning"});
        QVERIFY(w.doc().getDirectiCalImport());

        Dialogs::queueAnswer(0); // "Export to iCal"
        w->exportToICal();
        QTRY_VERIFY(!w->getAlertWindow());
        QCOMPARE(Dialogs::log().filter("Warning! Danger!").size(), 1);
        QCOMPARE(readAll(lib.dataFile("A1")).count("SUMMARY:Planning\r\n"), 2);
        w->exportToICal(); // no second question
        QCOMPARE(Dialogs::log().filter("Warning! Danger!").size(), 1);
        QCOMPARE(readAll(lib.dataFile("A1")).count("SUMMARY:Planning\r\n"), 3);
        QVERIFY(readAll(lib.dataFile("A1")).endsWith("END:VEVENT\r\nEND:VCALENDAR\r\n"));

        // A calendar file that is no UTF-8 is left alone: "Export failed".
        Dialogs::resetForTests();
        w->calendarPopup()->setCurrentIndex(2);
        const QByteArray home = readAll(lib.dataFile("B2"));
        w->exportToICal();
        QCOMPARE(Dialogs::log(), QStringList {"Error!: Export failed"});
        QCOMPARE(readAll(lib.dataFile("B2")), home);
        QVERIFY(!w->getAlertWindow());

        // A calendar that has gone since the list was read.
        Dialogs::resetForTests();
        w->calendarPopup()->setCurrentIndex(3);
        w->exportToICal();
        QCOMPARE(Dialogs::log(),
                 QStringList {"Error!: The calendar list has changed and your selected calendar is "
                              "no longer available.  Please select a new calendar for your export."});
        QVERIFY(!w->getAlertWindow());
    }

    // The message of each export for one and for several problem entries, with the rows selected.
    void exportMessages_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("problems");
        QTest::addColumn<QString>("message");
        const QString one = "The list contains an error such as an event that finish before it starts, or an event "
                            "that have no duration! The problem entry is highlighted, please scroll to find it and "
                            "either delete it or change the times.";
        const QString two = "The list contains 2 errors, such as events that finish before they start, or events "
                            "that have no duration! Problem entries are highlighted, please scroll to find them and "
                            "either delete them or change the times.";
        const QString finishes = "The list contains an event that finishes before it starts!";
        QTest::newRow("iCal file, one") << int(Item::ExportICalFile) << 1 << one;
        QTest::newRow("iCal file, two") << int(Item::ExportICalFile) << 2 << two;
        const QList<QPair<Item, const char*>> others {
            {Item::ExportVCalFile, "vCal file"}, {Item::ExportTabFile, "tab"},  {Item::ExportCommaFile, "comma"},
            {Item::ExportTextFile, "text"},      {Item::ExportICal, "To iCal"}, {Item::ExportMail, "To Mail"}};
        for (const auto& [item, name] : others) {
            QTest::addRow("%s, one", name) << int(item) << 1 << finishes;
            QTest::addRow("%s, two", name) << int(item) << 2 << finishes;
        }
    }
    void exportMessages()
    {
        QFETCH(int, command);
        QFETCH(int, problems);
        QFETCH(QString, message);
        bridgetest::Library lib;
        lib.addCalendar("A1", "Work", windowtest::calendarText({}));
        Window w({"Work"});
        w->calendarPopup()->setCurrentIndex(1);
        w.addEntries({"Good", "Bad", "Fine", "Worse"});
        for (int row : {1, 3}) {
            if (row == 1 || problems == 2)
                w.doc().getEntryAtIndex(row)->setEndDate(CalDate::fromFields(2007, 2, 1, 0, 0, 0));
        }
        w->selectRows({0});
        w->menuItem(Item(command))->trigger();
        QCOMPARE(Dialogs::log(), QStringList {"Error!: " + message});
        const QList<int> rows = problems == 1 ? QList<int> {1} : QList<int> {1, 3};
        QCOMPARE(w->selectedRows(), rows);
        QVERIFY(!w->getAlertWindow());
    }

    // What the window writes is what the command-line tool writes for the same calendar.
    void writtenBytesAreTheToolsBytes_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("extension"); // the window's
        QTest::addColumn<QString>("cliExtension");
        QTest::addColumn<bool>("strayByte"); // a UTF-8 file with one byte that is not: read alike
        QTest::newRow("iCalendar") << int(Item::ExportICalFile) << "ics"
                                   << "ics" << false;
        QTest::newRow("vCalendar") << int(Item::ExportVCalFile) << "vcal"
                                   << "vcal" << false;
        QTest::newRow("comma") << int(Item::ExportCommaFile) << "csv"
                               << "csv" << false;
        QTest::newRow("tab") << int(Item::ExportTabFile) << "txt"
                             << "tab" << false;
        QTest::newRow("text") << int(Item::ExportTextFile) << "txt"
                              << "txt" << false;
        QTest::newRow("iCalendar, a stray byte") << int(Item::ExportICalFile) << "ics"
                                                 << "ics" << true;
    }
    void writtenBytesAreTheToolsBytes()
    {
        QFETCH(int, command);
        QFETCH(QString, extension);
        QFETCH(QString, cliExtension);
        QFETCH(bool, strayByte);
        QByteArray text
            = windowtest::calendarText({{"Café, Zürich", "20070310T090000"}, {"Früh\tstück", "20070302T073000"}});
        if (strayByte)
            text.replace("Früh", "Fr\xfch");
        const QString input = write("tool.ics", text);
        Window w({}, kFormats);
        QVERIFY(w.open({input}));
        if (strayByte)
            QVERIFY2(w.summaries().contains(QStringLiteral("Café, Zürich")), qPrintable(w.summaries().join("|")));
        // The same file name in two folders: an iCalendar file is named after it.
        QDir(m_dir.path()).mkpath("window");
        QDir(m_dir.path()).mkpath("cli");
        const QString out = m_dir.filePath("window/out." + extension);
        QFile::remove(out);
        Dialogs::queueAnswer(out);
        w->menuItem(Item(command))->trigger();
        QTRY_VERIFY(QFile::exists(out));

        QTemporaryDir config;
        QDir().mkpath(config.filePath("Quenlor"));
        QSettings conf(config.filePath("Quenlor/Tidewell.conf"), QSettings::IniFormat);
        for (auto it = kFormats.begin(); it != kFormats.end(); ++it)
            conf.setValue(it.key(), it.value());
        conf.sync();
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        cli.setProcessEnvironment(env);
        const QString cliOut = m_dir.filePath("cli/out." + cliExtension);
        // The columns in the table's order (the tool's own default puts the dates first).
        cli.start(TIDEWELL_CLI_PATH,
                  {"convert", input, "-o", cliOut, "--columns", "startTime,startDate,endTime,endDate,theSummary"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        QByteArray mine = readAll(out);
        QByteArray tools = readAll(cliOut);
        QVERIFY(!mine.isEmpty());
        // Each calendar written gets an identifier and stamps of its own (the tool's process has
        // neither a pinned clock nor pinned identifiers).
        static const QRegularExpression ownValues(
            "(X-WR-RELCALID;VALUE=TEXT:[-0-9A-F]{36}|DTSTAMP:\\d{8}T\\d{6}Z)\r\n");
        if (extension == "ics") {
            QCOMPARE(QString::fromUtf8(mine).count(ownValues), 3);
            mine = QString::fromUtf8(mine).remove(ownValues).toUtf8();
            tools = QString::fromUtf8(tools).remove(ownValues).toUtf8();
        }
        QCOMPARE(mine, tools);
        if (extension == "vcal")
            QVERIFY(mine.contains("SUMMARY;CHARSET=macintosh:Caf\x8e, Z\x9frich\r\n")); // Mac OS Roman
    }

    // A vCalendar export whose writer returns its message instead of a calendar shows it and
    // writes nothing.
    void vCalendarMessageWritesNothing()
    {
        const QString input = write(
            "monthly.ics", windowtest::calendarText({{"Rent", "20070301T090000", "FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR"}}));
        Window w;
        QVERIFY(w.open({input}));
        const QString out = m_dir.filePath("monthly.vcal");
        Dialogs::queueAnswer(out);
        w->exportToVCal();
        QTRY_COMPARE(Dialogs::log().size(), 2);
        QVERIFY2(Dialogs::log().at(1).startsWith("Error!: There appears to be a monthly repeating event"),
                 qPrintable(Dialogs::log().join('|')));
        QVERIFY(!QFile::exists(out));
    }

    // Comma and tab lists of a calendar with a repeating entry ask first; without repeats they do
    // not. Expanded, every occurrence is a line.
    void expansionQuestion_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("repeats");
        QTest::addColumn<QList<int>>("answers"); // the question's buttons, in turn
        QTest::addColumn<int>("lines"); // -1: no file
        QTest::newRow("tab, weekly, every occurrence") << int(Item::ExportTabFile) << true << QList<int> {0} << 4;
        QTest::newRow("tab, weekly, once") << int(Item::ExportTabFile) << true << QList<int> {1} << 2;
        QTest::newRow("tab, weekly, help, then every occurrence")
            << int(Item::ExportTabFile) << true << QList<int> {3, 0} << 4;
        QTest::newRow("comma, weekly, every occurrence") << int(Item::ExportCommaFile) << true << QList<int> {0} << 4;
        QTest::newRow("comma, weekly, cancel") << int(Item::ExportCommaFile) << true << QList<int> {2} << -1;
        QTest::newRow("comma, no repeats") << int(Item::ExportCommaFile) << false << QList<int> {} << 2;
        QTest::newRow("tab, no repeats") << int(Item::ExportTabFile) << false << QList<int> {} << 2;
    }
    void expansionQuestion()
    {
        QFETCH(int, command);
        QFETCH(bool, repeats);
        QFETCH(QList<int>, answers);
        QFETCH(int, lines);
        const QString input
            = write("weekly.ics",
                    windowtest::calendarText({{"Yoga", "20070305T180000", repeats ? "FREQ=WEEKLY;COUNT=3" : ""},
                                              {"Dentist", "20070306T100000"}}));
        Window w;
        QVERIFY(w.open({input}));
        const QString out = m_dir.filePath(QString("list-%1").arg(QTest::currentDataTag()).replace(' ', '_'));
        const bool comma = command == int(Item::ExportCommaFile);
        const QString file = out + (comma ? ".csv" : ".txt");
        QFile::remove(file);
        for (int answer : answers)
            Dialogs::queueAnswer(answer);
        if (lines >= 0)
            Dialogs::queueAnswer(out);
        w->menuItem(Item(command))->trigger();
        const QString save = comma ? "save: Export to comma-delimited file" : "save: Export to tab-delimited file";
        if (lines < 0) {
            QTRY_VERIFY(!w->getAlertWindow());
            QCOMPARE(Dialogs::log().size(), 1);
            QVERIFY(!QFile::exists(file));
            return;
        }
        QTRY_VERIFY(QFile::exists(file));
        const QStringList log = Dialogs::log();
        QCOMPARE(log.size(), answers.size() + 1);
        if (repeats)
            QVERIFY(log.first().startsWith("Repeating Appointments: ")
                    && log.first().contains(comma ? "comma-delimited" : "tab-delimited"));
        QCOMPARE(log.last(), save);
        const QByteArray bytes = readAll(file);
        QCOMPARE(bytes.count('\r'), lines);
        QCOMPARE(bytes.count("Yoga"), lines - 1);
        QVERIFY(!w->getAlertWindow());
        if (answers.contains(3)) {
            QVERIFY(w->helpWindow() && w->helpWindow()->isVisible());
            QCOMPARE(w->helpWindow()->currentPage().fragment(), QStringLiteral("tabfileexport"));
        }
    }

    // A write that fails names the file and the reason; no half-written file is left.
    void failedWriteNamesTheFile_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("name");
        QTest::newRow("iCal file") << int(Item::ExportICalFile) << "out.ics";
        QTest::newRow("vCal file") << int(Item::ExportVCalFile) << "out.vcal";
        QTest::newRow("comma") << int(Item::ExportCommaFile) << "out.csv";
        QTest::newRow("tab") << int(Item::ExportTabFile) << "out.txt";
        QTest::newRow("text") << int(Item::ExportTextFile) << "out.txt";
    }
    void failedWriteNamesTheFile()
    {
        QFETCH(int, command);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = unwritablePath(dir, name);
        Window w;
        w.addEntries({"x"});
        Dialogs::queueAnswer(path);
        w->menuItem(Item(command))->trigger();
        QTRY_COMPARE(Dialogs::log().size(), 2);
        QVERIFY2(Dialogs::log().at(1).startsWith("Error!: " + path + ": could not be written: "),
                 qPrintable(Dialogs::log().at(1)));
        QVERIFY(Dialogs::log().at(1).size() > QString("Error!: " + path + ": could not be written: ").size());
        QVERIFY(!QFileInfo::exists(path));
    }

    // "To Mail": the question, then the file handed to the mail program, the invite sheet, or
    // nothing; a file that cannot be written is said.
    void mailExport_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("cacheUsable");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("message");
        QTest::newRow("Send File") << 1 << true << 1 << "";
        QTest::newRow("Send File, no folder for it")
            << 1 << false << 0
            << "Error!: There has been an error sending the calendar to the mail program.  Please  use the \"Export "
               "to File\" option and attach the file to your mail message.";
        QTest::newRow("Send Invitation") << 0 << true << 0 << "";
        QTest::newRow("Cancel") << 2 << true << 0 << "";
    }
    void mailExport()
    {
        QFETCH(int, button);
        QFETCH(bool, cacheUsable);
        QFETCH(int, calls);
        QFETCH(QString, message);
        const QByteArray path = qgetenv("PATH");
        bridgetest::FakeDesktop desktop;
        desktop.apply();
        desktop.addProgram("thunderbird");
        desktop.setMailHandler("thunderbird.desktop", desktop.bin() + "/thunderbird %u");
        if (!cacheUsable)
            bridgetest::writeFile(desktop.cache(), "not a folder");
        Window w;
        w.addEntries({"Review"});
        Dialogs::queueAnswer(button);
        w->exportToMail();
        QCOMPARE(Dialogs::log().first(),
                 QStringLiteral("Export to Mail: Do you want to invite specific people to the "
                                "meeting or just send the file?"));
        QVERIFY(w->getAlertWindow());
        QTRY_VERIFY(!w->getAlertWindow());
        QCOMPARE(desktop.calls("thunderbird", calls, calls ? 10000 : 0).size(), calls);
        QCOMPARE(Dialogs::log().size(), message.isEmpty() ? 1 : 2);
        if (!message.isEmpty())
            QCOMPARE(Dialogs::log().last(), message);
        qputenv("PATH", path);
    }

    // Every import and export is reachable from its menu item and, where the toolbar has one,
    // from its toolbar item.
    void commandsFromMenusAndToolbar_data()
    {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("toolbarId");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QVariant>("cancel");
        const QVariant noFiles = QStringList {};
        const QVariant noName = QString();
        const QList<std::tuple<Item, QString, QString, QVariant>> commands {
            {Item::ImportICalFile, ImportFromICalFileIdentifier, "open: Import from iCal file", noFiles},
            {Item::ImportVCalFile, ImportFromVCalFileIdentifier, "open: Import from vCal file", noFiles},
            {Item::ImportCommaFile, "", "open: Import comma-delimited file", noFiles},
            {Item::ImportTabFile, "", "open: Import tab-delimited file", noFiles},
            {Item::ImportICal, ImportFromICalIdentifier, "Error!: Please select a calendar for import.", 0},
            {Item::ExportICalFile, ExportToICalFileIdentifier, "save: Export to iCal file", noName},
            {Item::ExportVCalFile, ExportToVCalFileIdentifier, "save: Export to vCal File", noName},
            {Item::ExportCommaFile, ExportToCommaFile, "save: Export to comma-delimited file", noName},
            {Item::ExportTabFile, ExportToTabFile, "save: Export to tab-delimited file", noName},
            {Item::ExportTextFile, ExportToTextFile, "save: Export to text file", noName},
            {Item::ExportICal, ExportToICalIdentifier, "Error!: Please select a calendar for export.", 0},
            {Item::ExportMail, ExportToMailIdentifier,
             "Export to Mail: Do you want to invite specific people to the meeting or just send the file?", 2},
        };
        for (const auto& [item, id, first, cancel] : commands) {
            QTest::addRow("%s, menu", qPrintable(first)) << int(item) << QString() << first << cancel;
            if (!id.isEmpty())
                QTest::addRow("%s, toolbar", qPrintable(first)) << int(item) << id << first << cancel;
        }
    }
    void commandsFromMenusAndToolbar()
    {
        QFETCH(int, item);
        QFETCH(QString, toolbarId);
        QFETCH(QString, first);
        QFETCH(QVariant, cancel);
        Window w({"Work"});
        w.addEntries({"x"});
        w->setToolbarItems(ToolbarItems::allowedIdentifiers());
        Dialogs::queueAnswer(cancel);
        run(w, Item(item), toolbarId);
        // An export is under way until its panel or question ends: Return adds no entry then.
        QCOMPARE(w->getAlertWindow(), first.startsWith("save:") || first.startsWith("Export to Mail"));
        QTRY_VERIFY(!w->getAlertWindow());
        QCOMPARE(Dialogs::log().value(0), first);
        QCOMPARE(w.summaries(), QStringList {"x"});
    }

    // The help book: the Help menu opens its first page, the Help buttons their sections, and
    // every link between pages leads to a page of the book.
    void helpBook_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("Help menu") << "menu"
                                   << "";
        QTest::newRow("column order") << "orderHelpButton"
                                      << "tabimportfile";
        QTest::newRow("comma question") << "commaHelpButton"
                                        << "commafileexport";
        QTest::newRow("tab question") << "tabHelpButton"
                                      << "tabfileexport";
    }
    void helpBook()
    {
        QFETCH(QString, command);
        QFETCH(QString, anchor);
        Window w;
        if (command == "menu")
            w->menuItem(Item::Help)->trigger();
        else
            QVERIFY(QMetaObject::invokeMethod(w.control.get(), command.toLatin1().constData()));
        HelpWindow* help = w->helpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->windowTitle(),
                 anchor.isEmpty() ? QStringLiteral("Tidewell Help")
                                  : help->browser()->documentTitle() + " — Tidewell Help");
        QCOMPARE(help->accessibleName(), help->windowTitle());
        const QUrl shown = help->currentPage();
        QCOMPARE(shown.fragment(), anchor);
        if (anchor.isEmpty())
            QCOMPARE(shown, HelpWindow::homePage());
        else
            QVERIFY(readAll(":" + shown.path()).contains("name=\"" + anchor.toUtf8() + "\""));
        QVERIFY(!help->browser()->toPlainText().trimmed().isEmpty());

        static const QRegularExpression link("href=\"([^\"#:]*)(#([^\"]*))?\"");
        for (const QUrl& page : HelpWindow::pages()) {
            const QByteArray html = readAll(":" + page.path());
            QVERIFY(html.contains("<title>"));
            for (const QRegularExpressionMatch& m : link.globalMatch(QString::fromUtf8(html))) {
                const QString target = m.captured(1).isEmpty() ? page.path() : "/help/" + m.captured(1);
                QVERIFY2(QFile::exists(":" + target), qPrintable(page.toString() + " links to " + target));
                if (!m.captured(3).isEmpty())
                    QVERIFY(readAll(":" + target).contains("name=\"" + m.captured(3).toUtf8() + "\""));
            }
        }
    }
};

QTEST_MAIN(TestImportExport)
#include "tst_importExport.moc"
