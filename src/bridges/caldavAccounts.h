#pragma once

// CalDAV accounts: the list kept in the settings ("caldavAccounts": name, server address, user
// name) and their passwords, which are kept only in the desktop's Secret Service (through
// QtKeychain) or, where there is none, in memory for the run. No password is ever written to a
// file.

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace caldav
{
struct Account
{
    QString name;
    QUrl url;
    QString user;
};

namespace Accounts
{
/// The settings key of the list.
extern const char kKey[];
/// The accounts in the order they were added. Entries without a name or a usable address are
/// left out.
QList<Account> load();
void save(const QList<Account>& accounts);
/// The account called @p name (names compare without regard to case).
std::optional<Account> find(const QString& name);

/// The server address a user typed, made whole: "https://" added when no scheme is given.
/// nullopt with @p error when it is no http or https address with a host.
std::optional<QUrl> serverUrl(const QString& text, QString* error);
/// "" when @p name can name a new account among @p existing, otherwise why not.
QString nameProblem(const QString& name, const QList<Account>& existing);
} // namespace Accounts

/// The passwords of the accounts.
///
/// Order of looking: a password given for the whole run (the command line's --password-stdin),
/// the ones already found in this run, the Secret Service, and last the prompt (the window asks
/// the user). Answers arrive through callbacks on the calling thread, never inside the call.
namespace Passwords
{
/// The Secret Service's service name the passwords are filed under (the key is the account's
/// name).
extern const char kService[];

/// A password used for every account for the rest of the run, the Secret Service left alone.
void setGiven(const QString& password);
/// Asks the user for a password the desktop does not keep; @p answer receives it, or nullopt
/// when the user declined. @p why says why it is asked ("" the first time, or that the server
/// refused the last one).
using Prompt = std::function<void(const Account& account, const QString& why,
                                  std::function<void(std::optional<QString>)> answer)>;
void setPrompt(Prompt prompt);

/// The password of @p account, or nullopt with the reason for the user.
void read(const Account& account, std::function<void(std::optional<QString> password, QString why)> done);
/// Keeps @p password for the run and offers it to the Secret Service; @p done says whether the
/// Secret Service took it (and why not).
void store(const Account& account, const QString& password, std::function<void(bool kept, QString why)> done);
/// Forgets the password (in memory and in the Secret Service).
void remove(const Account& account, std::function<void(bool removed, QString why)> done);
/// Forgets the password kept for the run (the server refused it); the next read asks again,
/// with @p why passed to the prompt.
void refused(const Account& account, const QString& why);

/// False when this build has no Secret Service support.
bool haveSecretService();
/// Turns the Secret Service off for the process (tests of the paths without one).
void setSecretServiceEnabled(bool enabled);
/// Milliseconds a Secret Service call may take (two minutes: it may ask the user to unlock the
/// keyring) before it counts as unavailable.
extern int secretServiceTimeoutMs;
/// Drops everything kept for the run (tests).
void resetForTests();
} // namespace Passwords
} // namespace caldav
