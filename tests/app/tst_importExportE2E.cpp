// The real program in an X server, seen through AT-SPI: a comma-delimited file given on the
// command line opens the column-order sheet, whose controls carry their labels and tooltips; its
// Help button opens the help window; OK makes one appointment per record.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace
{
// Runs inside dbus-run-session on the X server; prints one JSON object.
const char* const kScript = R"PY(
import json, subprocess, sys, time
import pyatspi

app_path, csv = sys.argv[1:3]
result = {}

def find(acc, pred, depth=0):
    if acc is None or depth > 16:
        return None
    try:
        if pred(acc):
            return acc
        for i in range(acc.childCount):
            hit = find(acc.getChildAtIndex(i), pred, depth + 1)
            if hit is not None:
                return hit
    except Exception:
        pass
    return None

def find_all(acc, pred, depth=0, out=None):
    out = [] if out is None else out
    if acc is None or depth > 16:
        return out
    try:
        if pred(acc):
            out.append(acc)
        for i in range(acc.childCount):
            find_all(acc.getChildAtIndex(i), pred, depth + 1, out)
    except Exception:
        pass
    return out

def wait_for(fn, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        value = fn()
        if value:
            return value
        time.sleep(0.2)
    return None

def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Tidewell":
            return app
    return None

def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            action.doAction(i)
            return True
    return False

def rows(table):
    try:
        return table.queryTable().nRows
    except Exception:
        return -1

CONTROLS = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TABLE)

proc = subprocess.Popen([app_path, csv])
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
        const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        const QString dbusSession = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
        if (xvfbRun.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed (package xvfb)");
        if (dbusSession.isEmpty())
            QSKIP("dbus-run-session is not installed (package dbus)");
        if (!testutil::pythonHas(QStringLiteral("pyatspi")))
            QSKIP("pyatspi is not installed (package python3-pyatspi)");

        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QDir dir(home.path());
        for (const char* sub : {"config/Quenlor", "tmp", "runtime"})
            QVERIFY(dir.mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile settings(dir.filePath("config/Quenlor/Tidewell.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nversionCheck=1\nNSShortDateFormatString=%m/%d/%Y\n");
        settings.close();
        const QString csv = dir.filePath("people.csv");
        QFile records(csv);
        QVERIFY(records.open(QIODevice::WriteOnly));
        records.write("09:30,03/01/2007,10:30,03/01/2007,Dentist,\"Bring the card\"\r\n"
                      "12:00,03/02/2007,13:00,03/02/2007,\"Lunch, Ann\",\r\n"
                      "18:00,03/03/2007,19:00,03/03/2007,Choir,\r\n");
        records.close();

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath("runtime"));
        env.insert(QStringLiteral("TMPDIR"), dir.filePath("tmp"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("0"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
        run.setProcessEnvironment(env);
        run.start(xvfbRun,
                  {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1280x800x24"), dbusSession,
                   QStringLiteral("--"), testutil::kPython, QStringLiteral("-c"), QString::fromLatin1(kScript),
                   QStringLiteral(TIDEWELL_APP_PATH), csv});
        QVERIFY(run.waitForStarted());
        QVERIFY2(run.waitForFinished(int(180000 * testutil::kSlowdown)), "the X server session did not end");
        const QByteArray out = run.readAllStandardOutput();
        const QByteArray err = run.readAllStandardError();
        const QJsonObject result = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
        QVERIFY2(!result.isEmpty(), (out + err).constData());

        QVERIFY(result.value("application").toBool());
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

        QCOMPARE(result.value("rows").toInt(), 4); // the final line end is a last, empty record
        const QStringList cells = result.value("cells").toVariant().toStringList();
        QVERIFY2(cells.contains("Dentist") && cells.contains("Lunch, Ann") && cells.contains("Choir"),
                 qPrintable(cells.join(", ")));
    }
};

QTEST_MAIN(TestImportExportE2E)
#include "tst_importExportE2E.moc"
