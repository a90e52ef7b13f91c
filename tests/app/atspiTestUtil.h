#pragma once

// The real program in an X server of its own, driven through AT-SPI by a Python script: the
// session (Xvfb, a D-Bus session, a private home with the version check off) and the script's
// helpers for finding and pressing what assistive technology sees.

#include "testutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace atspitest
{
/// Put before a test's script: find(acc, pred), find_all(acc, pred), wait_for(fn, seconds),
/// application() (the running Tidewell), rows(table), press(acc), launch(args) (starts the
/// program once the X server takes connections). The script prints one JSON
/// object as its last line.
inline const char* const kHelpers = R"PY(
import json, os, subprocess, sys, time
import pyatspi

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

def rows(table):
    try:
        return table.queryTable().nRows
    except Exception:
        return -1

def launch(args):
    # The X server may still be starting when the session begins (under load): wait for its
    # socket, and start again a program that could not connect.
    display = os.environ.get("DISPLAY", ":0").lstrip(":").split(".")[0]
    wait_for(lambda: os.path.exists("/tmp/.X11-unix/X" + display), 10)
    for attempt in range(10):
        proc = subprocess.Popen(args)
        try:
            proc.wait(timeout=1.5)
        except subprocess.TimeoutExpired:
            return proc
        time.sleep(0.5)
    return proc

def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click"):
            action.doAction(i)
            return True
    return False
)PY";

/// A session for one run: a private home (settings file given), Xvfb, D-Bus, accessibility on.
class Session
{
public:
    /// @p settings: the lines of the [General] group of the settings file ("versionCheck=1" is
    /// always there).
    explicit Session(const QByteArray& settings = {})
    {
        const QDir dir(m_home.path());
        for (const char* sub : {"config/Quenlor", "tmp", "runtime"})
            dir.mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile conf(dir.filePath("config/Quenlor/Tidewell.conf"));
        if (conf.open(QIODevice::WriteOnly))
            conf.write("[General]\nversionCheck=1\n" + settings);
    }

    QString path(const QString& name) const { return QDir(m_home.path()).filePath(name); }

    /// Why the session cannot run here, or "" when it can.
    static QString missing()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return QStringLiteral("Xvfb is not installed (package xvfb)");
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty())
            return QStringLiteral("dbus-run-session is not installed (package dbus)");
        if (!testutil::pythonHas(QStringLiteral("pyatspi")))
            return QStringLiteral("pyatspi is not installed (package python3-pyatspi)");
        return {};
    }

    /// Runs kHelpers + @p script with @p args (sys.argv[1:]) and returns the JSON object it
    /// printed last; empty, with @p output holding what it wrote, when there is none.
    QJsonObject run(const char* script, const QStringList& args, QByteArray* output)
    {
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        env.insert(QStringLiteral("TMPDIR"), path("tmp"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("0"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
        run.setProcessEnvironment(env);
        // Sessions started at the same time (ctest -j, other checkouts) must not share an X server:
        // the accessibility bus is found through it. Each looks for a free display from a number
        // of its own.
        const QString firstDisplay = QString::number(100 + QCoreApplication::applicationPid() % 20000);
        run.start(QStandardPaths::findExecutable(QStringLiteral("xvfb-run")),
                  QStringList {QStringLiteral("-a"), QStringLiteral("-n"), firstDisplay, QStringLiteral("-e"),
                               path(QStringLiteral("xvfb.log")), QStringLiteral("-s"),
                               QStringLiteral("-screen 0 1280x800x24"),
                               QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")), QStringLiteral("--"),
                               testutil::kPython, QStringLiteral("-c"),
                               QString::fromLatin1(kHelpers) + QString::fromUtf8(script)}
                      + args);
        if (!run.waitForStarted() || !run.waitForFinished(int(180000 * testutil::kSlowdown))) {
            run.kill();
            run.waitForFinished();
            *output = "the X server session did not end";
            return {};
        }
        const QByteArray out = run.readAllStandardOutput();
        *output = out + run.readAllStandardError();
        QFile xvfb(path(QStringLiteral("xvfb.log")));
        if (xvfb.open(QIODevice::ReadOnly))
            *output += "\nXvfb: " + xvfb.readAll();
        return QJsonDocument::fromJson(out.trimmed().split('\n').last()).object();
    }

private:
    QTemporaryDir m_home;
};
} // namespace atspitest
