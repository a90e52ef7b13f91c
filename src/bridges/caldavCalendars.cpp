// The CalDAV accounts' calendars in the calendar list, read into the document and appended to.
#include "bridges/caldavCalendars.h"

#include "addressbook/invitee.h"
#include "bridges/bridges.h"
#include "bridges/caldavTimeZone.h"
#include "calendar/aCalendar.h"
#include "formats/writeContext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSet>
#include <QStringEncoder>
#include <QTimer>

#include <algorithm>

namespace caldav
{
const char kListChanged[] = "The calendar list has changed and your selected calendar is no longer available.  "
                            "Please select a new calendar for your export.";

void waitFor(const std::function<void(std::function<void()>)>& start)
{
    bool over = false;
    QEventLoop loop;
    start([&over, &loop] {
        over = true;
        loop.quit();
    });
    if (!over)
        loop.exec();
}

namespace
{
QString baseTitle(const Calendar& c)
{
    if (!c.displayName.trimmed().isEmpty())
        return c.displayName.trimmed();
    const QStringList parts = c.url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.isEmpty() ? c.url.host() : parts.last();
}

bool byName(const Calendar& a, const Calendar& b)
{
    const int c = QString::localeAwareCompare(baseTitle(a).toCaseFolded(), baseTitle(b).toCaseFolded());
    if (c != 0)
        return c < 0;
    return a.url.toString() < b.url.toString();
}

std::optional<QByteArray> utf8(const QString& text)
{
    QStringEncoder encoder(QStringConverter::Utf8);
    QByteArray bytes = encoder(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QString summaryOf(const EntryPtr& e)
{
    return e->getSummary().isEmpty() ? QStringLiteral("(no summary)") : e->getSummary();
}

QString refusalText(const Account& account)
{
    return QStringLiteral("the server refused the password of the account %1").arg(account.name);
}
} // namespace

void assignTitles(const QStringList& appTitles, QList<Calendar>& calendars)
{
    QHash<QString, int> count;
    for (const Calendar& c : std::as_const(calendars))
        ++count[baseTitle(c)];
    QSet<QString> taken(appTitles.begin(), appTitles.end());
    QList<int> rest;
    for (int i = 0; i < calendars.size(); ++i) {
        const QString base = baseTitle(calendars.at(i));
        if (count.value(base) == 1 && !taken.contains(base)) {
            calendars[i].title = base;
            taken.insert(base);
        } else {
            rest << i;
        }
    }
    for (const int i : std::as_const(rest)) {
        const QString base = baseTitle(calendars.at(i));
        const QString account = calendars.at(i).account;
        QString title = QStringLiteral("%1 (%2)").arg(base, account);
        for (int n = 2; taken.contains(title); ++n)
            title = QStringLiteral("%1 (%2, %3)").arg(base, account).arg(n);
        calendars[i].title = title;
        taken.insert(title);
    }
}

AppendPlan planAppend(aCalendar& doc, const QVariantMap& parameters, const QUrl& calendar)
{
    AppendPlan plan;
    const QString sort = parameters.value(QStringLiteral("sort")).toString();
    const bool plain = sort == QLatin1String("1");
    if (!plain && sort != QLatin1String("0"))
        return plan;
    const QList<invitee> invitees = bridges::inviteesFrom(parameters.value(QStringLiteral("theInvitees")));
    const QString org = parameters.value(QStringLiteral("theOrg")).toString();
    const QString email = parameters.value(QStringLiteral("theEmail")).toString();

    // The envelope of a calendar file, for the invitation blocks to go in.
    QString head = doc.createICalString({}, nullptr);
    head.chop(int(qstrlen("END:VCALENDAR\r\n")));

    // The zone the blocks' TZIDs name, described once for every resource, from the earliest
    // entry on.
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    const int thisYear = CalDate::now(context.local).year();
    int fromYear = thisYear;
    for (const EntryList* list : {&std::as_const(doc).getTheData(), &doc.getTheRecObjects()}) {
        for (const EntryPtr& e : *list) {
            if (e && e->getStartDate())
                fromYear = qMin(fromYear, e->getStartDate().year());
        }
    }
    const QString zone = vtimezone(context.local, context.localId, fromYear, thisYear);
    auto withZone = [&zone](QString text) {
        static const QString kVersion = QStringLiteral("VERSION:2.0\r\n");
        const qsizetype at = text.indexOf(kVersion);
        if (at >= 0 && text.contains(QLatin1String(";TZID=")))
            text.insert(at + kVersion.size(), zone);
        return text;
    };

    QHash<QString, EntryList> overrides;
    QStringList overrideOrder;
    for (const EntryPtr& o : doc.getTheRecObjects()) {
        if (!o)
            continue;
        o->getUID(); // makes one when there is none
        const QString uid = o->getUIDValue();
        if (!overrides.contains(uid))
            overrideOrder << uid;
        overrides[uid].append(o);
    }

    auto resourceText = [&](const EntryPtr& entry, const EntryList& children) {
        if (plain) {
            EntryList list;
            if (entry)
                list << entry;
            list += children;
            return doc.createICalString(list, nullptr);
        }
        QString text = head;
        if (entry)
            text += entry->getICalForICal(invitees, org, email);
        for (const EntryPtr& o : children) {
            QString block = o->getICal(invitees, org, email);
            block.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
            // The invitation block has no RECURRENCE-ID; without one a server takes it for a
            // second event of the same UID and refuses the whole resource.
            if (o->getTheRecDate() && block.endsWith(QLatin1String("END:VEVENT\r\n"))) {
                block.insert(block.size() - int(qstrlen("END:VEVENT\r\n")),
                             dataEntry::the72Split(o->getTheRecString()) + QStringLiteral("\r\n"));
            }
            text += block;
        }
        text += QStringLiteral("END:VCALENDAR\r\n");
        return text;
    };

    QSet<QString> used;
    auto add = [&](const QString& uid, const QString& summary, const QString& text) {
        EntryOutcome outcome {summary, uid, Outcome::NotSent, QString()};
        const std::optional<QByteArray> body = utf8(withZone(text));
        const QUrl url = resourceUrl(calendar, uid);
        if (!body) {
            outcome.outcome = Outcome::Failed;
            outcome.why = QStringLiteral("its text cannot be written as UTF-8");
        } else if (url.isEmpty()) {
            outcome.outcome = Outcome::Failed;
            outcome.why = QStringLiteral("it has no UID");
        } else {
            plan.uploadEntry << int(plan.entries.size());
            plan.uploads << Upload {url, *body, summary, uid};
        }
        plan.entries << outcome;
    };

    for (const EntryPtr& e : doc.getTheData()) {
        if (!e || !e->notBlankLine())
            continue;
        e->getUID();
        const QString uid = e->getUIDValue();
        if (used.contains(uid)) {
            plan.entries << EntryOutcome {summaryOf(e), uid, Outcome::Failed,
                                          QStringLiteral("another entry of the list has the same UID (%1)").arg(uid)};
            continue;
        }
        used.insert(uid);
        add(uid, summaryOf(e), resourceText(e, overrides.value(uid)));
    }
    // Overrides whose entry is not in the list still go to the server, on their own.
    for (const QString& uid : std::as_const(overrideOrder)) {
        if (used.contains(uid))
            continue;
        used.insert(uid);
        const EntryList& children = overrides[uid];
        add(uid, summaryOf(children.first()), resourceText(nullptr, children));
    }
    return plan;
}

int AppendResult::count(Outcome outcome) const
{
    return int(std::count_if(entries.begin(), entries.end(),
                             [outcome](const EntryOutcome& e) { return e.outcome == outcome; }));
}

bool AppendResult::complete() const
{
    return failure.isEmpty() && count(Outcome::Added) == entries.size();
}

QString AppendResult::report(int maxListed) const
{
    if (failure == QLatin1String(kListChanged))
        return failure;
    if (!failure.isEmpty())
        return QStringLiteral("Nothing was added to the calendar \"%1\": %2.").arg(title, failure);
    QStringList missing, added;
    for (const EntryOutcome& e : entries) {
        if (e.outcome == Outcome::Added)
            added << QStringLiteral("  %1").arg(e.summary);
        else
            missing << QStringLiteral("  %1: %2").arg(e.summary, e.why);
    }
    auto listed = [maxListed](const QStringList& lines) {
        if (maxListed < 0 || lines.size() <= maxListed)
            return lines.join(QLatin1Char('\n'));
        return (lines.mid(0, maxListed)
                + QStringList {QStringLiteral("  ... and %1 more").arg(lines.size() - maxListed)})
            .join(QLatin1Char('\n'));
    };
    QString out = QStringLiteral("Added %1 of %2 %3 to the calendar \"%4\".")
                      .arg(added.size())
                      .arg(entries.size())
                      .arg(entries.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"), title);
    if (!missing.isEmpty())
        out += QStringLiteral("\nNot added:\n") + listed(missing);
    if (!added.isEmpty() && !missing.isEmpty())
        out += QStringLiteral("\nAdded:\n") + listed(added);
    return out;
}

void AppendJob::cancel()
{
    m_cancelled = true;
    if (m_uploader)
        m_uploader->cancel();
}

void AppendJob::fail(const QString& why)
{
    m_result.failure = why;
    QMetaObject::invokeMethod(this, &AppendJob::finished, Qt::QueuedConnection);
}

void AppendJob::run(Connection& connection)
{
    if (m_cancelled)
        return fail(QStringLiteral("cancelled"));
    m_uploader = new Uploader(connection, m_plan.uploads, this);
    connect(m_uploader, &Uploader::progress, this, &AppendJob::progress);
    connect(m_uploader, &Uploader::finished, this, [this] {
        const QList<UploadResult>& results = m_uploader->results();
        for (int i = 0; i < results.size(); ++i) {
            EntryOutcome& e = m_result.entries[m_plan.uploadEntry.at(i)];
            e.outcome = results.at(i).outcome;
            e.why = results.at(i).why;
        }
        Q_EMIT finished();
    });
    m_uploader->start();
}

// --- the calendars ---

Calendars& Calendars::instance()
{
    // Kept until the process ends: it is the calendar source the bridge functions consult.
    static Calendars* calendars = new Calendars;
    return *calendars;
}

void Calendars::install(Mode mode)
{
    Calendars& c = instance();
    c.m_mode = mode;
    bridges::setCalendarSource(&c);
}

void Calendars::resetForTests()
{
    m_discovered = false;
    m_refreshAgain = false;
    m_accounts.clear();
    m_found.clear();
    m_errors.clear();
    for (auto& [password, connection] : m_connections) {
        Q_UNUSED(password);
        if (connection)
            connection->deleteLater();
    }
    m_connections.clear();
}

void Calendars::withConnection(const Account& account, std::function<void(Connection*, QString)> done)
{
    QPointer<Calendars> self(this);
    Passwords::read(account, [self, account, done](std::optional<QString> password, QString why) {
        if (!self)
            return;
        if (!password) {
            done(nullptr, QStringLiteral("no password for the account %1 (%2)").arg(account.name, why));
            return;
        }
        auto& slot = self->m_connections[account.name.toLower()];
        if (!slot.second || slot.first != *password) {
            if (slot.second)
                slot.second->deleteLater();
            slot = {*password, new Connection(account.user, *password, self)};
        }
        done(slot.second, QString());
    });
}

void Calendars::noteRefusal(const Account& account, Connection* connection)
{
    if (!connection || !connection->credentialsRefused())
        return;
    Passwords::refused(account, refusalText(account));
    auto slot = m_connections.take(account.name.toLower());
    if (slot.second)
        slot.second->deleteLater();
}

void Calendars::discoverAll(std::function<void()> done)
{
    m_accounts = Accounts::load();
    QSet<QString> names;
    for (const Account& a : std::as_const(m_accounts))
        names.insert(a.name);
    for (const QString& gone : m_found.keys()) {
        if (!names.contains(gone))
            m_found.remove(gone);
    }
    for (const QString& gone : m_errors.keys()) {
        if (!names.contains(gone))
            m_errors.remove(gone);
    }
    if (m_accounts.isEmpty()) {
        QTimer::singleShot(0, this, std::move(done));
        return;
    }
    auto left = std::make_shared<int>(int(m_accounts.size()));
    QPointer<Calendars> self(this);
    for (const Account& account : std::as_const(m_accounts)) {
        auto one = [self, left, done, account](const QString& error, const std::optional<QList<Calendar>>& found) {
            if (!self)
                return;
            if (found) {
                QList<Calendar> sorted = *found;
                std::sort(sorted.begin(), sorted.end(), byName);
                self->m_found.insert(account.name, sorted);
                self->m_errors.remove(account.name);
            } else {
                self->m_errors.insert(account.name, error);
            }
            if (--*left == 0)
                done();
        };
        withConnection(account, [self, account, one](Connection* connection, const QString& why) {
            if (!connection)
                return one(why, std::nullopt);
            QPointer<Connection> guard(connection);
            discover(*connection, account.name, account.url,
                     [self, account, one, guard](QList<Calendar> calendars, QString error) {
                         if (!error.isEmpty() && self)
                             self->noteRefusal(account, guard);
                         if (error.isEmpty())
                             one(QString(), calendars);
                         else
                             one(error, std::nullopt);
                     });
        });
    }
}

void Calendars::refresh()
{
    if (m_refreshing > 0) {
        m_refreshAgain = true;
        return;
    }
    ++m_refreshing;
    discoverAll([this] {
        --m_refreshing;
        m_discovered = true;
        Q_EMIT calendarsChanged();
        if (m_refreshAgain) {
            m_refreshAgain = false;
            refresh();
        }
    });
}

QList<Calendar> Calendars::calendars(const QStringList& appTitles) const
{
    QList<Calendar> out;
    for (const Account& a : m_accounts)
        out += m_found.value(a.name);
    assignTitles(appTitles, out);
    return out;
}

std::optional<Calendar> Calendars::calendarFor(const QString& title) const
{
    for (const Calendar& c : calendars(aCalendar::calendarAppTitles())) {
        if (c.title == title)
            return c;
    }
    return std::nullopt;
}

QStringList Calendars::titles(const QStringList& appTitles)
{
    if (m_mode == Mode::Blocking && !m_discovered) {
        if (Accounts::load().isEmpty()) {
            m_accounts.clear();
            m_discovered = true;
            return {};
        }
        waitFor([this](std::function<void()> over) { discoverAll(over); });
        m_discovered = true;
    }
    QStringList out;
    for (const Calendar& c : calendars(appTitles))
        out << c.title;
    return out;
}

void Calendars::fetch(const QString& title, std::function<void(std::optional<QList<Resource>>, int, QString)> done)
{
    const std::optional<Calendar> calendar = calendarFor(title);
    const std::optional<Account> account = calendar ? Accounts::find(calendar->account) : std::nullopt;
    if (!calendar || !account) {
        QTimer::singleShot(0, this, [done] { done(std::nullopt, 0, QString::fromUtf8(kListChanged)); });
        return;
    }
    QPointer<Calendars> self(this);
    withConnection(*account, [self, title, calendar, account, done](Connection* connection, QString why) {
        if (!connection) {
            done(std::nullopt, 0, QStringLiteral("The calendar \"%1\" could not be read: %2.").arg(title, why));
            return;
        }
        QPointer<Connection> guard(connection);
        fetchEvents(
            *connection, calendar->url,
            [self, title, account, guard, done](QList<Resource> resources, int unreadable, int status, QString error) {
                if (error.isEmpty()) {
                    done(resources, unreadable, QString());
                    return;
                }
                if (status == 207 && !resources.isEmpty()) {
                    done(resources, unreadable,
                         QStringLiteral("Only part of the calendar \"%1\" arrived (%2); the %3 events that "
                                        "arrived whole were read.")
                             .arg(title, error)
                             .arg(resources.size()));
                    return;
                }
                if (self)
                    self->noteRefusal(*account, guard);
                if (status == 404 || status == 410) {
                    // The calendar went away: the list is found again.
                    if (self)
                        self->refresh();
                    done(std::nullopt, 0, QString::fromUtf8(kListChanged));
                } else {
                    done(std::nullopt, 0,
                         QStringLiteral("The calendar \"%1\" could not be read: %2.").arg(title, error));
                }
            });
    });
}

QString Calendars::readInto(aCalendar& doc, const QList<Resource>& resources, int unreadable)
{
    QStringList messages;
    for (const Resource& r : resources) {
        const QString message = doc.setData(r.text);
        if (!message.isEmpty() && !messages.contains(message))
            messages << message;
    }
    if (unreadable > 0) {
        messages
            << QStringLiteral("%1 of the calendar's events came without their text and were not read.").arg(unreadable);
    }
    return messages.join(QLatin1String("\n\n"));
}

void Calendars::importCalendar(aCalendar& doc, const QString& title, std::function<void(bool, QString)> done)
{
    aCalendar* target = &doc;
    fetch(title, [target, done](std::optional<QList<Resource>> resources, int unreadable, QString why) {
        if (!resources) {
            done(false, why);
            return;
        }
        QString message = readInto(*target, *resources, unreadable);
        if (!why.isEmpty())
            message = message.isEmpty() ? why : why + QStringLiteral("\n\n") + message;
        done(true, message);
    });
}

AppendJob* Calendars::append(aCalendar& doc, const QVariantMap& parameters)
{
    auto* job = new AppendJob(this);
    connect(job, &AppendJob::finished, job, &QObject::deleteLater);
    const QString title = parameters.value(QStringLiteral("theCalendar")).toString();
    job->m_result.title = title;
    const std::optional<Calendar> calendar = calendarFor(title);
    const std::optional<Account> account = calendar ? Accounts::find(calendar->account) : std::nullopt;
    if (!calendar || !account) {
        job->fail(QString::fromUtf8(kListChanged));
        return job;
    }
    job->m_plan = planAppend(doc, parameters, calendar->url);
    job->m_result.entries = job->m_plan.entries;
    QPointer<AppendJob> guard(job);
    QPointer<Calendars> self(this);
    withConnection(*account, [guard, self, account](Connection* connection, QString why) {
        if (!guard)
            return;
        if (!connection)
            return guard->fail(why);
        QPointer<Connection> c(connection);
        connect(guard, &AppendJob::finished, self, [self, account, c, guard] {
            if (!self)
                return;
            self->noteRefusal(*account, c);
            // A calendar that went away: the list is found again.
            for (const EntryOutcome& e : guard->result().entries) {
                if (e.why.contains(QLatin1String("the calendar is not on the server"))) {
                    self->refresh();
                    break;
                }
            }
        });
        guard->run(*connection);
    });
    return job;
}

bool Calendars::read(aCalendar& doc, const QString& title, QString* message)
{
    bool ok = false;
    QString text;
    waitFor([&](std::function<void()> over) {
        importCalendar(doc, title, [&ok, &text, over](bool read, QString m) {
            ok = read;
            text = m;
            over();
        });
    });
    if (message)
        *message = text;
    return ok;
}

bool Calendars::append(aCalendar& doc, const QVariantMap& parameters, QString* report)
{
    AppendResult result;
    waitFor([&](std::function<void()> over) {
        AppendJob* job = append(doc, parameters);
        connect(job, &AppendJob::finished, job, [&result, job, over] {
            result = job->result();
            over();
        });
    });
    const bool complete = result.complete();
    if (report)
        *report = complete ? QString() : result.report();
    return complete;
}
} // namespace caldav
