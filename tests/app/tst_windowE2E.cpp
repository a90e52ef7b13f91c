// The real program in an X server, seen the way assistive technology sees it (AT-SPI): the
// window appears with the file's entries, the toolbar's buttons carry their labels and tooltips,
// a second start hands its file to the running window, and a button pressed through AT-SPI works.

#include "testutil.h"

#include <QDir>
#include <QFile>
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
import json, os, subprocess, sys, time
import pyatspi

app_path, first, second = sys.argv[1:4]
result = {}

def find(acc, pred, depth=0):
    if acc is None or depth > 14:
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
    if acc is None or depth > 14:
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

def rows(table):
    try:
        return table.queryTable().nRows
    except Exception:
        return -1

proc = subprocess.Popen([app_path, first])
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
            if add is not None:
                action = add.queryAction()
                for i in range(action.nActions):
                    if action.getName(i) in ("press", "Press", "click"):
                        action.doAction(i)
                        break
                expected = result["rowsAfterSecond"] + 1
                result["rowsAfterAdd"] = wait_for(lambda: rows(table) if rows(table) >= expected else 0) or rows(table)
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
        // The user's settings stay untouched, and nothing asks the network for a new version.
        QFile settings(dir.filePath("config/Quenlor/Tidewell.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nversionCheck=1\n");
        settings.close();
        const QString first = QStringLiteral(TIDEWELL_TEST_DATA "/../../examples/sample.ics");
        QVERIFY(QFile::exists(first));
        const QString second = dir.filePath("second.ics");
        QFile more(second);
        QVERIFY(more.open(QIODevice::WriteOnly));
        more.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:second@test\r\n"
                   "DTSTART:20070401T100000Z\r\nDTEND:20070401T110000Z\r\nSUMMARY:Handed over\r\n"
                   "END:VEVENT\r\nEND:VCALENDAR\r\n");
        more.close();

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
                   QStringLiteral(TIDEWELL_APP_PATH), first, second});
        QVERIFY(run.waitForStarted());
        QVERIFY2(run.waitForFinished(int(180000 * testutil::kSlowdown)), "the X server session did not end");
        const QByteArray out = run.readAllStandardOutput();
        const QByteArray err = run.readAllStandardError();
        const QJsonObject result = QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
        QVERIFY2(!result.isEmpty(), (out + err).constData());

        QVERIFY(result.value("application").toBool());
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
    }
};

QTEST_MAIN(TestWindowE2E)
#include "tst_windowE2E.moc"
