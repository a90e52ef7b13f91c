// The installed tree: what `cmake --install` puts below a prefix is what desktops look for, the
// freedesktop tools accept it, and it agrees with the programs themselves (their commands and
// options, the file types they open).

#include "testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace
{
const QString kAppId = QStringLiteral("com.quenlor.Tidewell");

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

Result run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {})
{
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(int(60000 * testutil::kSlowdown)) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, program + QStringLiteral(" did not finish")};
    }
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

/// The first capture of every match, line by line.
QStringList captures(const QString& text, const QString& pattern)
{
    QStringList found;
    for (auto it = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

/// Option words (-o, --to-calendar) in a text, but not the parts of words such as comma-separated;
/// sorted, each once.
QStringList options(const QString& text)
{
    QStringList names = captures(text, QStringLiteral("(?<![\\w-])(--?[a-zA-Z][\\w-]*)"));
    names.sort();
    names.removeDuplicates();
    return names;
}

/// The options of a help text, from its option column; Qt's --help-all aside.
QStringList helpOptions(const QString& help)
{
    QStringList names = options(captures(help, QStringLiteral("^  (-\\S.*?)(?:  |$)")).join(QLatin1Char(' ')));
    names.removeAll(QStringLiteral("--help-all"));
    return names;
}

/// The command names of the general help, in its order.
QStringList helpCommands(const QString& help)
{
    return captures(help.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0),
                    QStringLiteral("^  ([a-z][\\w-]*)  "));
}

/// A manual page from the heading that starts with `heading` to the next of its level or higher,
/// with roff's \- read as a hyphen.
QString manSection(QString page, const QString& heading)
{
    page.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    const qsizetype at = page.indexOf(QLatin1Char('\n') + heading);
    if (at < 0)
        return {};
    const QRegularExpression next(heading.startsWith(QLatin1String(".SS")) ? QStringLiteral("\n\\.S[HS] ")
                                                                           : QStringLiteral("\n\\.SH "));
    const qsizetype end = page.indexOf(next, at + 1);
    return page.mid(at, end < 0 ? -1 : end - at);
}
} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT
    QTemporaryDir m_prefix;
    QTemporaryDir m_bare; // a data folder without our files

    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }
    QString cli() const { return installed(QStringLiteral("bin/tidewell-cli")); }
    /// Every command of the installed tool, from its own help: a command added later is checked too.
    QStringList commands() const { return helpCommands(run(cli(), {QStringLiteral("--help")}).out); }

    QProcessEnvironment desktopEnv(const QString& dataHome) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME")); // xdg-mime asks gio
        env.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
        env.insert(QStringLiteral("PATH"), installed(QStringLiteral("bin:")) + env.value(QStringLiteral("PATH")));
        return env;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid() && m_bare.isValid());
        const Result r = run(QStringLiteral(TIDEWELL_CMAKE),
                             {QStringLiteral("--install"), QStringLiteral(TIDEWELL_BUILD_DIR),
                              QStringLiteral("--prefix"), m_prefix.path()});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
#ifdef TIDEWELL_HAS_GUI
        // What the package's triggers do on a Debian system.
        for (const auto& [tool, folder] : {std::pair {"update-mime-database", "share/mime"},
                                           std::pair {"update-desktop-database", "share/applications"}}) {
            const Result u = run(QString::fromLatin1(tool), {installed(QString::fromLatin1(folder))});
            QVERIFY2(u.status == 0, qPrintable(u.out + u.err));
        }
#endif
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("pngSize"); // 0: not a PNG
        QTest::addColumn<bool>("program");
        auto add = [](const QString& path, int png = 0, bool program = false) {
            QTest::newRow(qPrintable(path)) << path << png << program;
        };
        add(QStringLiteral("bin/tidewell-cli"), 0, true);
        add(QStringLiteral("share/man/man1/tidewell-cli.1"));
        add(QStringLiteral("share/bash-completion/completions/tidewell-cli"));
        add(QStringLiteral(TIDEWELL_ZSH_COMPLETION_DIR "/_tidewell-cli"));
        add(QStringLiteral("share/mime/packages/") + kAppId + QStringLiteral(".xml"));
#ifdef TIDEWELL_HAS_GUI
        add(QStringLiteral("bin/tidewell"), 0, true);
        add(QStringLiteral("share/man/man1/tidewell.1"));
        add(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"));
        add(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"));
        add(QStringLiteral("share/icons/hicolor/scalable/apps/") + kAppId + QStringLiteral(".svg"));
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            add(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId), size);
#endif
    }

    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(int, pngSize);
        QFETCH(bool, program);
        const QFileInfo info(installed(path));
        QVERIFY2(info.isFile() && info.size() > 0, qPrintable(path + QStringLiteral(" is missing or empty")));
        QCOMPARE(info.isExecutable(), program);
        if (pngSize > 0) {
            QFile f(info.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray head = f.read(24);
            QVERIFY(head.startsWith("\x89PNG\r\n\x1a\n"));
            auto number = [&head](int at) { return qFromBigEndian<quint32>(head.constData() + at); };
            QCOMPARE(number(16), quint32(pngSize)); // IHDR width and height
            QCOMPARE(number(20), quint32(pngSize));
        }
    }

#ifdef TIDEWELL_HAS_GUI
    void desktopEntryAndMetainfoValidate()
    {
        const QString entry = installed(QStringLiteral("share/applications/") + kAppId + QStringLiteral(".desktop"));
        Result r = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(r.status == 0 && (r.out + r.err).trimmed().isEmpty(), qPrintable(r.out + r.err));
        // %F: files opened together from a file manager arrive as one batch.
        QVERIFY(readText(entry).split(QLatin1Char('\n')).contains(QStringLiteral("Exec=tidewell %F")));

        const QString metainfo
            = installed(QStringLiteral("share/metainfo/") + kAppId + QStringLiteral(".metainfo.xml"));
        r = run(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        const QString xml = readText(metainfo);
        QCOMPARE(captures(xml, QStringLiteral("<release version=\"([^\"]+)\"")).value(0),
                 QStringLiteral(TIDEWELL_VERSION)); // the newest release, first, is this version
        QCOMPARE(captures(xml, QStringLiteral("<launchable type=\"desktop-id\">([^<]+)<")).value(0),
                 QFileInfo(entry).fileName());
        QVERIFY(!captures(xml, QStringLiteral("<caption>([^<]+)</caption>")).isEmpty());
    }

    void openWith_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ours"); // our MIME package and desktop entry in the data folder
        QTest::addColumn<QString>("type");
        // Plain words in every file: only the name can tell the type.
        QTest::newRow(".vcal without our package") << "organiser.vcal" << false << "text/plain";
        QTest::newRow(".vcal") << "organiser.vcal" << true << "text/calendar";
        QTest::newRow(".VCAL") << "ORGANISER.VCAL" << true << "text/calendar";
        QTest::newRow(".vcs") << "phone.vcs" << true << "text/calendar";
        QTest::newRow(".ics") << "work.ics" << true << "text/calendar";
        QTest::newRow(".csv") << "people.csv" << true << "text/csv";
        QTest::newRow(".tsv") << "people.tsv" << true << "text/tab-separated-values";
    }

    void openWith()
    {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        QFETCH(QString, type);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Dentist on the 15th at 9:30\n");
        file.close();

        const QProcessEnvironment env = desktopEnv(ours ? installed(QStringLiteral("share")) : m_bare.path());
        Result r = run(QStringLiteral("xdg-mime"),
                       {QStringLiteral("query"), QStringLiteral("filetype"), file.fileName()}, env);
        QCOMPARE(r.out.trimmed(), type);
        if (ours) {
            r = run(QStringLiteral("gio"), {QStringLiteral("mime"), type}, env);
            QVERIFY2(r.out.section(QStringLiteral("Registered applications:"), 1)
                         .contains(kAppId + QStringLiteral(".desktop")),
                     qPrintable(r.out + r.err));
        }
    }
#endif

    // The manual pages describe exactly the commands and options of the programs' own help.
    void manualPages_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("heading");
        const QString cliPage = QStringLiteral("tidewell-cli.1");
        QTest::newRow("tidewell-cli commands")
            << "bin/tidewell-cli" << QStringList {"--help"} << cliPage << ".SH COMMANDS";
        QTest::newRow("tidewell-cli options")
            << "bin/tidewell-cli" << QStringList {"--help"} << cliPage << ".SH OPTIONS";
        const QStringList all = commands();
        QVERIFY(!all.isEmpty());
        for (const QString& command : all) {
            QTest::newRow(qPrintable(command)) << "bin/tidewell-cli" << QStringList {command, "--help"} << cliPage
                                               << QStringLiteral(".SS \"%1").arg(command);
        }
#ifdef TIDEWELL_HAS_GUI
        QTest::newRow("tidewell options") << "bin/tidewell" << QStringList {"--help"} << "tidewell.1"
                                          << ".SH OPTIONS";
#endif
    }

    void manualPages()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, page);
        QFETCH(QString, heading);
        const Result help = run(installed(program), args);
        QVERIFY2(help.status == 0, qPrintable(help.err));
        const QString section = manSection(readText(installed(QStringLiteral("share/man/man1/") + page)), heading);
        QVERIFY2(!section.isEmpty(), qPrintable(heading));
        if (heading == QLatin1String(".SH COMMANDS")) {
            QCOMPARE(captures(section, QStringLiteral("^\\.SS \"([a-z][\\w-]*)")), helpCommands(help.out));
            return;
        }
        // The options are the words after each .TP; every command's -h and --help are described
        // once, under OPTIONS.
        QStringList expected = helpOptions(help.out);
        if (heading.startsWith(QLatin1String(".SS")))
            expected.removeIf(
                [](const QString& o) { return o == QLatin1String("-h") || o == QLatin1String("--help"); });
        QCOMPARE(options(captures(section, QStringLiteral("^\\.TP\\n(.*)$")).join(QLatin1Char(' '))), expected);
    }

    // Shell completion offers exactly the commands and options of the help.
    void completion_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QString>("command"); // empty: the command word itself
        const QStringList all = commands();
        QVERIFY(!all.isEmpty());
        for (const char* shell : {"bash", "zsh"}) {
            QTest::addRow("%s: commands", shell) << shell << QString();
            for (const QString& command : all)
                QTest::addRow("%s: %s", shell, qPrintable(command)) << shell << command;
        }
    }

    void completion()
    {
        QFETCH(QString, shell);
        QFETCH(QString, command);
        const Result help = run(cli(), command.isEmpty() ? QStringList {"--help"} : QStringList {command, "--help"});
        QVERIFY2(help.status == 0, qPrintable(help.err));
        QStringList expected = helpOptions(help.out);
        if (command.isEmpty())
            expected += helpCommands(help.out);
        expected.sort();

        QStringList found;
        if (shell == QLatin1String("bash")) {
            const QString script = QStringLiteral("source \"$1\"; COMP_WORDS=(tidewell-cli %1 %2); COMP_CWORD=%3; "
                                                  "_tidewell_cli 2>/dev/null; printf '%s\\n' \"${COMPREPLY[@]}\"")
                                       .arg(command, command.isEmpty() ? QStringLiteral("''") : QStringLiteral("-"))
                                       .arg(command.isEmpty() ? 1 : 2);
            const Result r = run(QStringLiteral("bash"),
                                 {QStringLiteral("-c"), script, QStringLiteral("bash"),
                                  installed(QStringLiteral("share/bash-completion/completions/tidewell-cli"))});
            QVERIFY2(r.status == 0, qPrintable(r.err));
            found = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        } else {
            if (QStandardPaths::findExecutable(QStringLiteral("zsh")).isEmpty())
                QSKIP("zsh is not installed (package zsh)");
            const QString path = installed(QStringLiteral(TIDEWELL_ZSH_COMPLETION_DIR "/_tidewell-cli"));
            const Result syntax = run(QStringLiteral("zsh"), {QStringLiteral("-n"), path});
            QVERIFY2(syntax.status == 0, qPrintable(syntax.err));
            // The options of the command's _arguments call; or of the top-level one, and the
            // command list.
            const QString text = readText(path);
            if (command.isEmpty()) {
                found
                    = options(
                          text.section(QStringLiteral("_arguments -C"), 1).section(QStringLiteral("case $state"), 0, 0))
                    + captures(text.section(QStringLiteral("commands=("), 1).section(QLatin1Char(')'), 0, 0),
                               QStringLiteral("^    '([a-z][\\w-]*):"));
            } else {
                found = options(text.section(QStringLiteral("\n    %1)\n").arg(command), 1)
                                    .section(QStringLiteral("\n      ;;\n"), 0, 0));
            }
        }
        found.sort();
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestInstallation)
#include "tst_installation.moc"
