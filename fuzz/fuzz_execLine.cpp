// The Exec line of a desktop file, split into the words of the command a mail program is started
// with: the input's first line as it stands; then the input's lines as the words of a command,
// quoted as desktop files quote them, which must split back into the same words; then the whole
// input as the desktop file of the user's mail program, found through mimeapps.list.
#include "fuzzcommon.h"
#include "platform/Desktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace
{
/// One word as a desktop file's Exec value writes it: quoted, with the quoting escapes, field
/// codes' percent signs doubled, and the value's own escapes on top.
QString quoted(const QString& word)
{
    QString q;
    for (const QChar c : word) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            q += QLatin1Char('\\');
        q += c;
        if (c == QLatin1Char('%'))
            q += QLatin1Char('%');
    }
    q = QLatin1Char('"') + q + QLatin1Char('"');
    q.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    q.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return q;
}

QString xdgRoot()
{
    static QTemporaryDir* root = nullptr;
    if (root)
        return root->path();
    root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/tidewell-fuzz-exec-XXXXXX"));
    std::atexit([] { delete root; });
    const QString path = root->path();
    QDir(path).mkpath(QStringLiteral("config"));
    QDir(path).mkpath(QStringLiteral("data/applications"));
    QDir(path).mkpath(QStringLiteral("nothing"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path + QStringLiteral("/nothing")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(path + QStringLiteral("/nothing")));
    // No xdg-mime: the mimeapps.list files are read.
    qputenv("PATH", QFile::encodeName(path + QStringLiteral("/nothing")));
    QFile list(path + QStringLiteral("/config/mimeapps.list"));
    if (!list.open(QIODevice::WriteOnly))
        std::abort();
    list.write("[Default Applications]\nx-scheme-handler/mailto=fuzz-mail.desktop;\n");
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    const QStringList lines = text.split(QLatin1Char('\n'));
    Desktop::splitExecLine(lines.first(), QStringLiteral("Mail"), QStringLiteral("mail-icon"),
                           QStringLiteral("/usr/share/applications/mail.desktop"));

    // Words the splitter gives up on by design: empty ones, flatpak's markers.
    QStringList words;
    for (const QString& line : lines) {
        if (!line.isEmpty() && line != QLatin1String("@@") && line != QLatin1String("@@u"))
            words << line;
    }
    QStringList exec;
    for (const QString& word : std::as_const(words))
        exec << quoted(word);
    const QString line = exec.join(QLatin1Char(' '));
    const QStringList back = Desktop::splitExecLine(line);
    if (back != words) {
        std::fprintf(stderr, "quoted words do not split back\nline: %s\nwords: %s\nback: %s\n",
                     line.toUtf8().constData(), words.join(QLatin1String(" | ")).toUtf8().constData(),
                     back.join(QLatin1String(" | ")).toUtf8().constData());
        std::abort();
    }

    const QString root = xdgRoot();
    QFile desktop(root + QStringLiteral("/data/applications/fuzz-mail.desktop"));
    if (!desktop.open(QIODevice::WriteOnly | QIODevice::Truncate) || desktop.write(bytes) != bytes.size())
        std::abort();
    desktop.close();
    Desktop::defaultMailHandler();
    return 0;
}
