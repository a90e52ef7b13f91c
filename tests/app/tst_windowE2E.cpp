// The real program in an X server, seen the way assistive technology sees it (AT-SPI): the
// window appears with the file's entries, the toolbar's buttons carry their labels and tooltips,
// a second start hands its file to the running window, buttons pressed through AT-SPI work, and the
// repeat drawer's controls are announced by their labels.

#include "atspiTestUtil.h"

#include <QJsonArray>

namespace
{
// Runs inside dbus-run-session on the X server; prints one JSON object.
const char* const kScript = R"PY(
app_path, first, second = sys.argv[1:4]
result = {}

proc = launch([app_path, first])
try:
    app = wait_for(application)
    result["application"] = app is not None
    if app is not None:
        frame = wait_for(lambda: find(app, lambda a: a.getRole() == pyatspi.ROLE_FRAME and a.name == "Tidewell"))
        table = wait_for(lambda: find(app, lambda a: a.getRole() == pyatspi.ROLE_TABLE and a.name == "Appointments"))
        result["frame"] = frame is not None
        if table is not None:
            result["rowsFirst"] = wait_for(lambda: rows(table) if rows(table) > 0 else 0) or 0
            cells = find_all(table, lambda a: a.getRole() == pyatspi.ROLE_TABLE_CELL)
            result["cells"] = [c.name for c in cells]
            bar = find(app, lambda a: a.getRole() == pyatspi.ROLE_TOOL_BAR)
            buttons = find_all(bar, lambda a: a.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_COMBO_BOX,
                                                                pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_TOGGLE_BUTTON))
            result["toolbar"] = {b.name: b.description for b in buttons}
            items = find_all(app, lambda a: a.getRole() == pyatspi.ROLE_MENU_ITEM)
            result["menu"] = {i.name: i.description for i in items}

            handed = subprocess.run([app_path, second], timeout=30)
            result["secondExit"] = handed.returncode
            expected = result["rowsFirst"] + 1
            result["rowsAfterSecond"] = wait_for(lambda: rows(table) if rows(table) >= expected else 0) or rows(table)

            add = find(bar, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "Add")
            if add is not None and press(add):
                expected = result["rowsAfterSecond"] + 1
                result["rowsAfterAdd"] = wait_for(lambda: rows(table) if rows(table) >= expected else 0) or rows(table)

            # The drawer opens from its toolbar button and shows the repeat editor of the new entry.
            drawer = find(bar, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "Open drawer")
            if drawer is not None and press(drawer):
                popup = wait_for(lambda: find(app, lambda a: a.getRole() == pyatspi.ROLE_COMBO_BOX
                                              and a.name.startswith("Repeat")))
                if popup is not None:
                    result["repeatPopup"] = {"name": popup.name, "description": popup.description,
                                             "enabled": popup.getState().contains(pyatspi.STATE_SENSITIVE)}
                result["drawerButton"] = wait_for(lambda: find(bar, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON
                                                               and a.name == "Close drawer") is not None)
finally:
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
print(json.dumps(result))
)PY";
} // namespace

class TestWindowE2E : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowSeenThroughAtSpi()
    {
        if (const QString why = atspitest::Session::missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        atspitest::Session session;
        const QString first = QStringLiteral(TIDEWELL_TEST_DATA "/../../examples/sample.ics");
        QVERIFY(QFile::exists(first));
        const QString second = session.path("second.ics");
        QFile more(second);
        QVERIFY(more.open(QIODevice::WriteOnly));
        more.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:second@test\r\n"
                   "DTSTART:20070401T100000Z\r\nDTEND:20070401T110000Z\r\nSUMMARY:Handed over\r\n"
                   "END:VEVENT\r\nEND:VCALENDAR\r\n");
        more.close();

        QByteArray output;
        const QJsonObject result = session.run(kScript, {QStringLiteral(TIDEWELL_APP_PATH), first, second}, &output);
        QVERIFY2(!result.isEmpty(), output.constData());

        QVERIFY2(result.value("application").toBool(), output.right(2000).constData());
        QVERIFY(result.value("frame").toBool());
        QCOMPARE(result.value("rowsFirst").toInt(), 5);
        const QStringList cells = result.value("cells").toVariant().toStringList();
        QVERIFY2(cells.contains("Dentist") && cells.contains("Water the plants"), qPrintable(cells.join(", ")));

        const QJsonObject toolbar = result.value("toolbar").toObject();
        const QList<QPair<QString, QString>> buttons {
            {"Add", "Add New Appointment"},
            {"Delete", "Delete Appointment"},
            {"To iCal", "Export to iCal"},
            {"To Mail", "Export to Mail"},
            {"From Clipboard", "Import from Clipboard"},
            {"Calendar", "Calendars available in iCal for import or export"},
            {"Open drawer", "Open and close repeat drawer"},
        };
        for (const auto& [name, description] : buttons)
            QCOMPARE(toolbar.value(name).toString(), description);
        for (auto it = toolbar.begin(); it != toolbar.end(); ++it)
            QVERIFY2(!it.key().isEmpty(), "a toolbar control without a name");

        const QJsonObject menu = result.value("menu").toObject();
        QCOMPARE(menu.value(QStringLiteral("Export to vCal File…")).toString(), QStringLiteral("Export to vCal File"));
        QCOMPARE(menu.value(QStringLiteral("Import from iCal file…")).toString(),
                 QStringLiteral("Import from iCal file"));

        QCOMPARE(result.value("secondExit").toInt(), 0);
        QCOMPARE(result.value("rowsAfterSecond").toInt(), 6);
        QCOMPARE(result.value("rowsAfterAdd").toInt(), 7);

        // The drawer's type pop-up is announced by its visible label, with its tooltip, and is
        // usable for the entry just added.
        QVERIFY(result.value("drawerButton").toBool());
        const QJsonObject popup = result.value("repeatPopup").toObject();
        QCOMPARE(popup.value("name").toString(), QStringLiteral("Repeat:"));
        QCOMPARE(popup.value("description").toString(), QStringLiteral("How often the selected entry repeats"));
        QVERIFY(popup.value("enabled").toBool());
    }
};

QTEST_MAIN(TestWindowE2E)
#include "tst_windowE2E.moc"
