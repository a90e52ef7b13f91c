// CalDAV accounts in the settings, their passwords in the Secret Service or in memory.
#include "bridges/caldavAccounts.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>

#ifdef TIDEWELL_HAVE_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

#include <memory>

namespace caldav
{
namespace Accounts
{
const char kKey[] = "caldavAccounts";

QList<Account> load()
{
    QList<Account> out;
    for (const QVariant& item : UserDefaults::standard().value(QString::fromLatin1(kKey)).toList()) {
        const QVariantMap map = item.toMap();
        Account a {map.value(QStringLiteral("name")).toString().trimmed(),
                   QUrl(map.value(QStringLiteral("url")).toString()), map.value(QStringLiteral("user")).toString()};
        if (!a.name.isEmpty() && a.url.isValid() && !a.url.host().isEmpty())
            out << a;
    }
    return out;
}

void save(const QList<Account>& accounts)
{
    QVariantList list;
    for (const Account& a : accounts) {
        list << QVariantMap {{QStringLiteral("name"), a.name},
                             {QStringLiteral("url"), a.url.toString()},
                             {QStringLiteral("user"), a.user}};
    }
    UserDefaults::standard().setValue(QString::fromLatin1(kKey), list);
    UserDefaults::standard().sync();
}

std::optional<Account> find(const QString& name)
{
    for (const Account& a : load()) {
        if (a.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return a;
    }
    return std::nullopt;
}

std::optional<QUrl> serverUrl(const QString& text, QString* error)
{
    QString t = text.trimmed();
    if (!t.contains(QLatin1String("://")))
        t.prepend(QLatin1String("https://"));
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        if (error)
            *error = QStringLiteral("%1 is not a server address (such as https://cal.example.org)").arg(text.trimmed());
        return std::nullopt;
    }
    // The user name and password have places of their own; an address keeps neither.
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
}

QString nameProblem(const QString& name, const QList<Account>& existing)
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        return QStringLiteral("an account needs a name");
    if (n.contains(QLatin1Char('\n')) || n.contains(QLatin1Char('\r')) || n.contains(QLatin1Char('\t')))
        return QStringLiteral("an account's name is one line of text");
    for (const Account& a : existing) {
        if (a.name.compare(n, Qt::CaseInsensitive) == 0)
            return QStringLiteral("there is an account named %1 already").arg(a.name);
    }
    return QString();
}
} // namespace Accounts

namespace Passwords
{
const char kService[] = "Tidewell CalDAV";
int secretServiceTimeoutMs = 120000;

namespace
{
struct State
{
    std::optional<QString> given;
    QHash<QString, QString> known;
    QHash<QString, QString> refusedWhy;
    Prompt prompt;
    bool secretServiceEnabled = true;
};

State& state()
{
    static State s;
    return s;
}

QString keyOf(const Account& a)
{
    return a.name.toLower();
}

/// Runs @p f from the event loop, after the caller has returned.
void later(std::function<void()> f)
{
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(f));
}

void askPrompt(const Account& account, const QString& why, std::function<void(std::optional<QString>, QString)> done)
{
    if (!state().prompt) {
        done(std::nullopt, why);
        return;
    }
    const QString refused = state().refusedWhy.value(keyOf(account));
    state().prompt(account, refused, [account, why, done](std::optional<QString> answer) {
        if (!answer) {
            done(std::nullopt, QStringLiteral("no password was given"));
            return;
        }
        state().known.insert(keyOf(account), *answer);
        state().refusedWhy.remove(keyOf(account));
        done(answer, QString());
    });
}

#ifdef TIDEWELL_HAVE_KEYCHAIN
/// Starts @p job and calls @p done once: with the job when it finished, with null when the
/// Secret Service took longer than the time allowed.
void runJob(QKeychain::Job* job, std::function<void(QKeychain::Job*)> done)
{
    auto once = std::make_shared<bool>(false);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a file
    QObject::connect(job, &QKeychain::Job::finished, [once, done](QKeychain::Job* j) {
        if (*once)
            return;
        *once = true;
        done(j);
    });
    QTimer::singleShot(secretServiceTimeoutMs, QCoreApplication::instance(), [once, done] {
        if (*once)
            return;
        *once = true;
        done(nullptr);
    });
    job->start();
}

QString storeProblem(QKeychain::Job* job)
{
    if (!job)
        return QStringLiteral("the desktop's password store did not answer");
    return QStringLiteral("the desktop's password store is not available (%1)").arg(job->errorString());
}
#endif
} // namespace

void setGiven(const QString& password)
{
    state().given = password;
}

void setPrompt(Prompt prompt)
{
    state().prompt = std::move(prompt);
}

bool haveSecretService()
{
#ifdef TIDEWELL_HAVE_KEYCHAIN
    return true;
#else
    return false;
#endif
}

void setSecretServiceEnabled(bool enabled)
{
    state().secretServiceEnabled = enabled;
}

void resetForTests()
{
    State& s = state();
    s.given.reset();
    s.known.clear();
    s.refusedWhy.clear();
    s.prompt = nullptr;
}

void read(const Account& account, std::function<void(std::optional<QString>, QString)> done)
{
    State& s = state();
    if (s.given) {
        later([done, pw = *s.given] { done(pw, QString()); });
        return;
    }
    const auto known = s.known.constFind(keyOf(account));
    if (known != s.known.constEnd()) {
        later([done, pw = *known] { done(pw, QString()); });
        return;
    }
    const bool refusedBefore = s.refusedWhy.contains(keyOf(account));
#ifdef TIDEWELL_HAVE_KEYCHAIN
    if (s.secretServiceEnabled && !refusedBefore) {
        auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(kService));
        job->setKey(account.name);
        runJob(job, [account, done](QKeychain::Job* j) {
            auto* r = static_cast<QKeychain::ReadPasswordJob*>(j);
            if (r && r->error() == QKeychain::NoError) {
                state().known.insert(keyOf(account), r->textData());
                done(r->textData(), QString());
                return;
            }
            const QString why = r && r->error() == QKeychain::EntryNotFound
                ? QStringLiteral("the desktop's password store holds no password for the account %1").arg(account.name)
                : storeProblem(r);
            askPrompt(account, why, done);
        });
        return;
    }
#endif
    const QString why = refusedBefore ? s.refusedWhy.value(keyOf(account))
                                      : QStringLiteral("there is no password store on this desktop");
    later([account, why, done] { askPrompt(account, why, done); });
}

void store(const Account& account, const QString& password, std::function<void(bool, QString)> done)
{
    State& s = state();
    s.known.insert(keyOf(account), password);
    s.refusedWhy.remove(keyOf(account));
#ifdef TIDEWELL_HAVE_KEYCHAIN
    if (s.secretServiceEnabled) {
        auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(kService));
        job->setKey(account.name);
        job->setTextData(password);
        runJob(job, [done](QKeychain::Job* j) {
            if (j && j->error() == QKeychain::NoError)
                done(true, QString());
            else
                done(false, storeProblem(j));
        });
        return;
    }
#endif
    later([done] { done(false, QStringLiteral("there is no password store on this desktop")); });
}

void remove(const Account& account, std::function<void(bool, QString)> done)
{
    State& s = state();
    s.known.remove(keyOf(account));
    s.refusedWhy.remove(keyOf(account));
#ifdef TIDEWELL_HAVE_KEYCHAIN
    if (s.secretServiceEnabled) {
        auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(kService));
        job->setKey(account.name);
        runJob(job, [done](QKeychain::Job* j) {
            if (j && (j->error() == QKeychain::NoError || j->error() == QKeychain::EntryNotFound))
                done(true, QString());
            else
                done(false, storeProblem(j));
        });
        return;
    }
#endif
    later([done] { done(true, QString()); });
}

void refused(const Account& account, const QString& why)
{
    State& s = state();
    s.known.remove(keyOf(account));
    s.refusedWhy.insert(keyOf(account), why);
}
} // namespace Passwords
} // namespace caldav
