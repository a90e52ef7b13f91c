// The real program in an X server, seen through AT-SPI: a comma-delimited file given on the
// command line opens the column-order sheet, whose controls carry their labels and tooltips; its
// Help button opens the help window; OK makes one appointment per record.

#include "atspiTestUtil.h"

#include <QJsonArray>

namespace
{
// Runs inside dbus-run-session on the X server; prints one JSON object.
const char* const kScript = R"PY(
app_path, csv = sys.argv[1:3]
result = {}

CONTROLS = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TABLE)

proc = launch([app_path, csv])
try:
    app = wait_for(application)
    result["application"] = app is not None
    if app is not None:
        sheet = wait_for(lambda: find(app, lambda a: a.getRole() == pyatspi.ROLE_DIALOG and a.name == "Column Order"))
        result["sheet"] = sheet is not None
        if sheet is not None:
            controls = find_all(sheet, lambda a: a.getRole() in CONTROLS)
            result["controls"] = [[c.getRoleName(), c.name, c.description] for c in controls]
            order = find(sheet, lambda a: a.getRole() == pyatspi.ROLE_TABLE and a.name == "Column order")
            result["orderRows"] = rows(order)
            help_button = find(sheet, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "Help")
            if help_button is not None and press(help_button):
                frame = wait_for(lambda: find(app, lambda a: a.name.endswith(" Tidewell Help")))
                result["help"] = frame.name if frame is not None else ""
                if frame is not None:
                    page = find(frame, lambda a: a.name == "Help page")
                    try:
                        text = page.queryText()
                        result["helpText"] = text.getText(0, min(text.characterCount, 4000))
                    except Exception:
                        result["helpText"] = ""
            ok = find(sheet, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name == "OK")
            if ok is not None and press(ok):
                table = wait_for(lambda: find(app, lambda a: a.getRole() == pyatspi.ROLE_TABLE
                                                          and a.name == "Appointments"))
                result["rows"] = wait_for(lambda: rows(table) if rows(table) >= 4 else 0) or rows(table)
                cells = find_all(table, lambda a: a.getRole() == pyatspi.ROLE_TABLE_CELL)
                result["cells"] = [c.name for c in cells]
finally:
    proc.terminate()
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
print(json.dumps(result))
)PY";
} // namespace

class TestImportExportE2E : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void columnOrderSheetSeenThroughAtSpi()
    {
        if (const QString why = atspitest::Session::missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        atspitest::Session session("NSShortDateFormatString=%m/%d/%Y\n");
        const QString csv = session.path("people.csv");
        QFile records(csv);
        QVERIFY(records.open(QIODevice::WriteOnly));
        records.write("09:30,03/01/2007,10:30,03/01/2007,Dentist,\"Bring the card\"\r\n"
                      "12:00,03/02/2007,13:00,03/02/2007,\"Lunch, Ann\",\r\n"
                      "18:00,03/03/2007,19:00,03/03/2007,Choir,\r\n");
        records.close();

        QByteArray output;
        const QJsonObject result = session.run(kScript, {QStringLiteral(TIDEWELL_APP_PATH), csv}, &output);
        QVERIFY2(!result.isEmpty(), output.constData());

        QVERIFY2(result.value("application").toBool(), output.right(2000).constData());
        QVERIFY(result.value("sheet").toBool());
        QCOMPARE(result.value("orderRows").toInt(), 6);
        QMap<QString, QString> controls;
        for (const QJsonValue& c : result.value("controls").toArray()) {
            const QJsonArray item = c.toArray();
            QVERIFY2(!item.at(1).toString().isEmpty(), qPrintable(item.at(0).toString() + " without a name"));
            QVERIFY2(!item.at(2).toString().isEmpty(), qPrintable(item.at(1).toString() + " without a description"));
            controls.insert(item.at(1).toString(), item.at(2).toString());
        }
        for (const char* name : {"Column order", "Record preview", "Record", "First record holds the column titles",
                                 "OK", "Cancel", "Help"})
            QVERIFY2(controls.contains(name), qPrintable(QStringList(controls.keys()).join(", ")));
        QCOMPARE(controls.value("Cancel"), QStringLiteral("Import nothing"));

        QCOMPARE(result.value("help").toString(), QStringLiteral("Comma- and tab-delimited files — Tidewell Help"));
        QVERIFY(result.value("helpText").toString().contains("The column order"));

        QCOMPARE(result.value("rows").toInt(), 3); // a final line end makes no empty record
        const QStringList cells = result.value("cells").toVariant().toStringList();
        QVERIFY2(cells.contains("Dentist") && cells.contains("Lunch, Ann") && cells.contains("Choir"),
                 qPrintable(cells.join(", ")));
    }
};

QTEST_MAIN(TestImportExportE2E)
#include "tst_importExportE2E.moc"
