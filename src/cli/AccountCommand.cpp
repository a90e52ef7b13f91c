// tidewell-cli account: the CalDAV accounts whose calendars the calendar commands serve beside
// the calendar application's; and what the calendar commands share about them.
#include "CliCommon.h"
#include "CliOptions.h"
#include "bridges/caldavCalendars.h"

namespace cli
{
namespace
{
const char kPasswordHint[] = "give it with --password-stdin";

/// The first line of standard input, without its line end.
std::optional<QString> readPassword(Session& s)
{
    QByteArray line = s.in()->readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(line);
}

int addAccount(Session& s, const QCommandLineParser& p, const QString& name)
{
    QList<caldav::Account> accounts = caldav::Accounts::load();
    const QString problem = caldav::Accounts::nameProblem(name, accounts);
    if (!problem.isEmpty()) {
        s.error(QStringLiteral("tidewell-cli: ") + problem);
        return kExportFailed;
    }
    if (!p.isSet(QStringLiteral("caldav")) || !p.isSet(QStringLiteral("user")))
        return s.usage(QStringLiteral("account add needs --caldav URL and --user USER"));
    QString why;
    const std::optional<QUrl> url = caldav::Accounts::serverUrl(p.value(QStringLiteral("caldav")), &why);
    if (!url)
        return s.usage(why);
    const caldav::Account account {name.trimmed(), *url, p.value(QStringLiteral("user"))};

    std::optional<QString> password;
    if (p.isSet(QStringLiteral("password-stdin"))) {
        password = readPassword(s);
        if (!password)
            return s.usage(QStringLiteral("--password-stdin: standard input holds no password"));
    }
    if (password && !p.isSet(QStringLiteral("no-check"))) {
        // An account that does not answer is not kept: the address or the password is wrong.
        caldav::Connection connection(account.user, *password);
        QList<caldav::Calendar> found;
        QString error;
        caldav::waitFor([&](std::function<void()> over) {
            caldav::discover(connection, account.name, account.url,
                             [&found, &error, over](QList<caldav::Calendar> calendars, QString e) {
                                 found = calendars;
                                 error = e;
                                 over();
                             });
        });
        if (!error.isEmpty()) {
            s.error(QStringLiteral("tidewell-cli: the account %1 was not added: %2").arg(account.name, error));
            return kExportFailed;
        }
        QStringList names;
        for (const caldav::Calendar& c : std::as_const(found))
            names << (c.displayName.isEmpty() ? c.url.toDisplayString() : c.displayName);
        names.sort(Qt::CaseInsensitive);
        QByteArray out;
        for (const QString& n : std::as_const(names))
            out += n.toUtf8() + '\n';
        if (!s.writeOutput(QString(), out))
            return kExportFailed;
    }
    accounts << account;
    caldav::Accounts::save(accounts);
    if (!password) {
        s.error(QStringLiteral("tidewell-cli: the account %1 was added without a password and not checked; each "
                               "use takes its password from the desktop's password store, or %2")
                    .arg(account.name, QLatin1String(kPasswordHint)));
        return kOk;
    }
    bool kept = false;
    caldav::waitFor([&](std::function<void()> over) {
        caldav::Passwords::store(account, *password, [&kept, &why, over](bool k, QString w) {
            kept = k;
            why = w;
            over();
        });
    });
    if (!kept) {
        s.error(QStringLiteral("tidewell-cli: the password was not kept (%1): %2 at each use")
                    .arg(why, QLatin1String(kPasswordHint)));
    }
    return kOk;
}

int removeAccount(Session& s, const QString& name)
{
    QList<caldav::Account> accounts = caldav::Accounts::load();
    for (qsizetype i = 0; i < accounts.size(); ++i) {
        if (accounts.at(i).name.compare(name.trimmed(), Qt::CaseInsensitive) != 0)
            continue;
        const caldav::Account gone = accounts.takeAt(i);
        caldav::Accounts::save(accounts);
        bool removed = false;
        QString why;
        caldav::waitFor([&](std::function<void()> over) {
            caldav::Passwords::remove(gone, [&removed, &why, over](bool r, QString w) {
                removed = r;
                why = w;
                over();
            });
        });
        if (!removed)
            s.error(QStringLiteral("tidewell-cli: the password of %1 could not be removed: %2").arg(gone.name, why));
        return kOk;
    }
    s.error(QStringLiteral("tidewell-cli: there is no account named %1").arg(name));
    return kExportFailed;
}
} // namespace

void addPasswordOption(QCommandLineParser& p)
{
    p.addOption({"password-stdin",
                 "Read the password of the CalDAV accounts from the first line of standard input (where the "
                 "desktop keeps none)."});
}

bool takePasswordOption(Session& s, const QCommandLineParser& p, bool stdinIsInput, int* status)
{
    if (!p.isSet(QStringLiteral("password-stdin")))
        return true;
    if (stdinIsInput) {
        *status = s.usage(QStringLiteral("--password-stdin cannot be used with - as an input"));
        return false;
    }
    const std::optional<QString> password = readPassword(s);
    if (!password) {
        *status = s.usage(QStringLiteral("--password-stdin: standard input holds no password"));
        return false;
    }
    caldav::Passwords::setGiven(*password);
    return true;
}

bool reportAccountProblems(Session& s)
{
    const QHash<QString, QString>& errors = caldav::Calendars::instance().errors();
    QStringList names = errors.keys();
    names.sort(Qt::CaseInsensitive);
    for (const QString& name : std::as_const(names)) {
        QString why = errors.value(name);
        if (why.startsWith(QLatin1String("no password")))
            why += QStringLiteral("; ") + QLatin1String(kPasswordHint);
        s.error(QStringLiteral("tidewell-cli: account %1: %2").arg(name, why));
    }
    return !names.isEmpty();
}

int accountCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("CalDAV accounts, whose calendars the calendar commands (calendars, convert --from-calendar and "
                       "--to-calendar, invite --add-to-calendar) serve after the calendar application's.\n"
                       "  account add NAME --caldav URL --user USER [--password-stdin] [--no-check]\n"
                       "  account list\n"
                       "  account remove NAME\n"
                       "The password is kept in the desktop's password store (Secret Service), never in a file. A new "
                       "account is checked by finding its calendars, which are listed."));
    addHelpOption(p);
    p.addOption({"caldav", "The server's address (https:// is assumed when none is given).", "URL"});
    p.addOption({"user", "The user name on the server.", "USER"});
    p.addOption({"no-check", "Add the account without asking the server."});
    addPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("add, list or remove."),
                            QStringLiteral("add|list|remove"));
    p.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The account's name."), QStringLiteral("[NAME]"));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli account")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("account")).toUtf8());
        return kOk;
    }
    const QStringList words = p.positionalArguments();
    const QString action = words.value(0);
    if (action == QLatin1String("list")) {
        if (words.size() != 1)
            return s.usage(QStringLiteral("account list takes no name"));
        QByteArray out;
        for (const caldav::Account& a : caldav::Accounts::load())
            out += QStringLiteral("%1\t%2\t%3\n").arg(a.name, a.url.toDisplayString(), a.user).toUtf8();
        return s.writeOutput(QString(), out) ? kOk : kExportFailed;
    }
    if (action != QLatin1String("add") && action != QLatin1String("remove"))
        return s.usage(QStringLiteral("account needs add, list or remove"));
    if (words.size() != 2)
        return s.usage(QStringLiteral("account %1 needs one account name").arg(action));
    if (action == QLatin1String("add"))
        return addAccount(s, p, words.at(1));
    return removeAccount(s, words.at(1));
}
} // namespace cli
