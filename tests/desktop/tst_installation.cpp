// The installed tree: what `cmake --install` puts below a prefix is what desktops look for, the
// freedesktop tools accept it, and it agrees with the programs themselves (their commands and
// options, the file types they open).

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
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
    Result r;
    if (!p.waitForFinished(int(60000 * testutil::kSlowdown)) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("%1 did not finish: %2").arg(program, p.errorString());
        return r;
    }
    r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList sorted(QSet<QString> set)
{
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

/// Option names (-o, --output) at the start of the lines of a help text; Qt's --help-all aside.
QSet<QString> helpOptions(const QString& help)
{
    static const QRegularExpression line(QStringLiteral("^  (?:(-\\w), )?(--[\\w-]+)"),
                                         QRegularExpression::MultilineOption);
    QSet<QString> names;
    for (auto it = line.globalMatch(help); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(1).isEmpty())
            names << m.captured(1);
        names << m.captured(2);
    }
    names.remove(QStringLiteral("--help-all"));
    return names;
}

/// The command names of the general help, in its order.
QStringList helpCommands(const QString& help)
{
    const QString section = help.section(QStringLiteral("Commands:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
    static const QRegularExpression line(QStringLiteral("^  ([a-z][\\w-]*)  "), QRegularExpression::MultilineOption);
    QStringList names;
    for (auto it = line.globalMatch(section); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

/// Option-like words (-o, --to-calendar) in a text, not parts of words such as comma-separated.
QSet<QString> optionWords(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("(?<![\\w-])(--?[a-zA-Z][\\w-]*)"));
    QSet<QString> names;
    for (auto it = word.globalMatch(text); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

/// The lines of a manual page from the heading line that starts with `heading` to the next heading
/// of the same or a higher level, with roff's \- read as a hyphen.
QStringList manBlock(const QString& page, const QString& heading)
{
    QStringList block;
    bool inside = false;
    for (QString line : page.split(QLatin1Char('\n'))) {
        line.replace(QStringLiteral("\\-"), QStringLiteral("-"));
        const bool isHeading = line.startsWith(QLatin1String(".SH")) || line.startsWith(QLatin1String(".SS"));
        if (inside && isHeading && (line.startsWith(QLatin1String(".SH")) || heading.startsWith(QLatin1String(".SS"))))
            break;
        if (line.startsWith(heading))
            inside = true;
        else if (inside)
            block << line;
    }
    return block;
}

/// Options a manual page block describes: the words on the line after each .TP.
QSet<QString> manOptions(const QStringList& block)
{
    QSet<QString> names;
    for (qsizetype i = 1; i < block.size(); ++i) {
        if (block[i - 1] == QLatin1String(".TP"))
            names |= optionWords(block[i]);
    }
    return names;
}
} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT
    QTemporaryDir m_prefix;
    QTemporaryDir m_bare; // a data folder without our files

    QString installed(const QString& relative) const { return m_prefix.filePath(relative); }
    QString cli() const { return installed(QStringLiteral("bin/tidewell-cli")); }

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
        QXmlStreamReader xml(readText(metainfo));
        QString release, launchable, caption;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("release") && release.isEmpty())
                release = xml.attributes().value(QLatin1String("version")).toString();
            else if (xml.name() == QLatin1String("launchable"))
                launchable = xml.readElementText();
            else if (xml.name() == QLatin1String("caption"))
                caption = xml.readElementText();
        }
        QCOMPARE(release, QStringLiteral(TIDEWELL_VERSION)); // the newest release is this version
        QCOMPARE(launchable, QFileInfo(entry).fileName());
        QVERIFY(!caption.isEmpty());
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
        for (const char* command : {"convert", "guess", "invite", "calendars", "mail"}) {
            QTest::newRow(command) << "bin/tidewell-cli" << QStringList {command, "--help"} << cliPage
                                   << QStringLiteral(".SS \"%1").arg(QLatin1String(command));
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
        const QStringList block = manBlock(readText(installed(QStringLiteral("share/man/man1/") + page)), heading);
        QVERIFY2(!block.isEmpty(), qPrintable(heading));
        if (heading == QLatin1String(".SH COMMANDS")) {
            QStringList commands;
            for (const QString& line : block) {
                if (line.startsWith(QLatin1String(".SS \"")))
                    commands << line.mid(5).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char('"'));
            }
            QCOMPARE(commands, helpCommands(help.out));
        } else {
            // Every command's -h and --help are described once, under OPTIONS.
            QSet<QString> expected = helpOptions(help.out);
            if (heading.startsWith(QLatin1String(".SS")))
                expected -= QSet<QString> {QStringLiteral("-h"), QStringLiteral("--help")};
            QCOMPARE(sorted(manOptions(block)), sorted(expected));
        }
    }

    // Shell completion offers exactly the commands and options of the help.
    void completion_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QString>("command"); // empty: the command word itself
        for (const char* shell : {"bash", "zsh"}) {
            QTest::addRow("%s: commands", shell) << shell << QString();
            for (const char* command : {"convert", "guess", "invite", "calendars", "mail"})
                QTest::addRow("%s: %s", shell, command) << shell << command;
        }
    }

    void completion()
    {
        QFETCH(QString, shell);
        QFETCH(QString, command);
        const Result help = run(cli(), command.isEmpty() ? QStringList {"--help"} : QStringList {command, "--help"});
        QVERIFY2(help.status == 0, qPrintable(help.err));
        QSet<QString> expected = helpOptions(help.out);
        if (command.isEmpty()) {
            const QStringList commands = helpCommands(help.out);
            expected |= QSet<QString>(commands.begin(), commands.end());
        }

        QSet<QString> offered;
        if (shell == QLatin1String("bash")) {
            const QString script = QStringLiteral("source \"$1\"; COMP_WORDS=(tidewell-cli %1 %2); COMP_CWORD=%3; "
                                                  "_tidewell_cli 2>/dev/null; printf '%s\\n' \"${COMPREPLY[@]}\"")
                                       .arg(command, command.isEmpty() ? QStringLiteral("''") : QStringLiteral("-"))
                                       .arg(command.isEmpty() ? 1 : 2);
            const Result r = run(QStringLiteral("bash"),
                                 {QStringLiteral("-c"), script, QStringLiteral("bash"),
                                  installed(QStringLiteral("share/bash-completion/completions/tidewell-cli"))});
            QVERIFY2(r.status == 0, qPrintable(r.err));
            const QStringList words = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            offered = QSet<QString>(words.begin(), words.end());
        } else {
            if (QStandardPaths::findExecutable(QStringLiteral("zsh")).isEmpty())
                QSKIP("zsh is not installed (package zsh)");
            const QString path = installed(QStringLiteral(TIDEWELL_ZSH_COMPLETION_DIR "/_tidewell-cli"));
            const Result syntax = run(QStringLiteral("zsh"), {QStringLiteral("-n"), path});
            QVERIFY2(syntax.status == 0, qPrintable(syntax.err));
            // The specifications of the command's _arguments call, or the top-level one and the
            // command list.
            const QString text = readText(path);
            if (command.isEmpty()) {
                const QString top
                    = text.section(QStringLiteral("_arguments -C"), 1).section(QStringLiteral("case $state"), 0, 0);
                offered = optionWords(top);
                static const QRegularExpression entry(QStringLiteral("^    '([a-z][\\w-]*):"),
                                                      QRegularExpression::MultilineOption);
                for (auto it
                     = entry.globalMatch(text.section(QStringLiteral("commands=("), 1).section(QLatin1Char(')'), 0, 0));
                     it.hasNext();)
                    offered << it.next().captured(1);
            } else {
                const QString block = text.section(QStringLiteral("\n    %1)\n").arg(command), 1)
                                          .section(QStringLiteral("\n      ;;\n"), 0, 0);
                QVERIFY2(!block.isEmpty(), qPrintable(command));
                offered = optionWords(block);
            }
        }
        QCOMPARE(sorted(offered), sorted(expected));
    }
};

QTEST_GUILESS_MAIN(TestInstallation)
#include "tst_installation.moc"
