#pragma once

// The calendars of the CalDAV accounts beside the calendar application's: their titles in the
// calendar list, reading one into the document ("From iCal") and appending the document's
// entries to one ("To iCal", an invitation's add-to-calendar).
//
// How a title is routed: the calendar list is the calendar application's titles followed by the
// CalDAV calendars (accounts in the order they were added, each account's calendars by name). A
// CalDAV calendar is listed by its display name; when another CalDAV calendar or a calendar of
// the calendar application has the same name, as "Name (account)". A title the calendar
// application has is always the calendar application's, so nothing changes for it, and with no
// account nothing at all changes.
//
// The window uses the asynchronous calls (refresh(), importCalendar(), append()) and never
// waits; the command-line tool installs the blocking form, in which the titles are found on
// first use and the bridge functions wait for the servers in a local event loop.

#include "bridges/caldavAccounts.h"
#include "bridges/caldavClient.h"
#include "bridges/calendarSources.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class aCalendar;

namespace caldav
{
/// The text shown when a chosen calendar is gone (the same as for the calendar application).
extern const char kListChanged[];

/// Runs a local event loop until the callback given to @p start has been called: the
/// command-line tool's way of waiting for the servers. The window uses the asynchronous calls
/// instead, so that no command can start inside another.
void waitFor(const std::function<void(std::function<void()>)>& start);

/// Gives every calendar its title: its display name (or, without one, the last part of its
/// address), made "Name (account)" when another of @p calendars or one of @p appTitles has that
/// name, and "Name (account, 2)" and so on when even that is taken.
void assignTitles(const QStringList& appTitles, QList<Calendar>& calendars);

/// How one entry of an append fared.
struct EntryOutcome
{
    QString summary;
    QString uid;
    Outcome outcome = Outcome::NotSent;
    QString why;
};

/// The resources of an append, made from the document as it is when the append starts: one per
/// entry, named by its UID, holding the entry's block and its overrides (same UID) in the
/// calendar envelope, with the VTIMEZONE of the zone its TZIDs name right after VERSION;
/// overrides whose entry is not in the list get a resource of their own. An
/// entry whose UID another entry of the list has already is refused before anything is sent.
/// "sort" "1" writes the plain blocks, "0" the invitation blocks; any other value, nothing.
struct AppendPlan
{
    QList<EntryOutcome> entries;
    QList<Upload> uploads;
    /// The index in entries of each upload.
    QList<int> uploadEntry;
};
AppendPlan planAppend(aCalendar& doc, const QVariantMap& parameters, const QUrl& calendar);

/// What an append did.
struct AppendResult
{
    QString title;
    /// Why nothing was sent (no password, the calendar gone); "" when the entries were sent.
    QString failure;
    QList<EntryOutcome> entries;

    int count(Outcome outcome) const;
    /// True when every entry went in.
    bool complete() const;
    /// For the user: how many went in, each entry that did not with the reason, and the
    /// entries that did. With @p maxListed >= 0 each of the two lists stops after that many
    /// lines and says how many more there are.
    QString report(int maxListed = -1) const;
};

/// An append running; made by Calendars::append(), deleted after finished().
class AppendJob : public QObject
{
    Q_OBJECT
public:
    const AppendResult& result() const { return m_result; }
    /// The number of resources to put (known once the job is made).
    int total() const { return int(m_plan.uploads.size()); }
    /// Sends nothing more: what was not sent yet is reported as not sent.
    void cancel();

Q_SIGNALS:
    /// Resources answered so far, of total().
    void progress(int done, int total);
    /// Once, when the job is over; result() holds what happened.
    void finished();

private:
    friend class Calendars;
    explicit AppendJob(QObject* parent)
        : QObject(parent)
    {
    }
    void fail(const QString& why);
    void run(Connection& connection);

    AppendPlan m_plan;
    AppendResult m_result;
    QPointer<Uploader> m_uploader;
    bool m_cancelled = false;
};

/// The CalDAV calendars of the process.
class Calendars : public QObject, public bridges::CalendarSource
{
    Q_OBJECT
public:
    enum class Mode {
        /// The window: titles() gives what the last refresh() found.
        Background,
        /// The command-line tool: titles() asks the servers the first time.
        Blocking,
    };

    static Calendars& instance();
    /// Makes the instance the calendar source of the bridge functions, in @p mode.
    static void install(Mode mode);

    /// Finds the calendars of every account again, without waiting; calendarsChanged() follows
    /// when all accounts have answered. An account that cannot be reached keeps the calendars
    /// it had (its error is in errors()).
    void refresh();
    bool refreshing() const { return m_refreshing > 0; }
    /// The calendars found, every account's, with their titles beside @p appTitles.
    QList<Calendar> calendars(const QStringList& appTitles) const;
    /// Why accounts could not be asked the last time, by account name.
    const QHash<QString, QString>& errors() const { return m_errors; }
    /// The calendar listed as @p title, if any (beside the calendar application's titles now).
    std::optional<Calendar> calendarFor(const QString& title) const;

    /// Fetches every VEVENT resource of the calendar @p title. @p done gets them (ordered by
    /// address) and how many the server listed without their text, or nullopt and why they
    /// could not be read (kListChanged when the calendar is gone). When the answer broke off,
    /// the resources that arrived whole come with @p why saying so.
    void fetch(const QString& title,
               std::function<void(std::optional<QList<Resource>> resources, int unreadable, QString why)> done);
    /// Hands each resource's text to the reader of @p doc, one after the other; returns the
    /// reader's warnings joined (each once), and a word on the resources without text.
    static QString readInto(aCalendar& doc, const QList<Resource>& resources, int unreadable);
    /// fetch() and readInto(): @p doc must outlive the call. @p done gets whether it was read
    /// and the message for the user (the warnings, or why it could not be read).
    void importCalendar(aCalendar& doc, const QString& title, std::function<void(bool read, QString message)> done);
    /// Starts appending the document's entries to the calendar "theCalendar" of @p parameters
    /// ("sort" "1" or "0" and the invitation keys, as appendEntryToiCalFile takes them). The
    /// resources are made at once; the document may change afterwards.
    AppendJob* append(aCalendar& doc, const QVariantMap& parameters);

    // bridges::CalendarSource: the same, waiting in a local event loop.
    QStringList titles(const QStringList& appTitles) override;
    bool read(aCalendar& doc, const QString& title, QString* message) override;
    bool append(aCalendar& doc, const QVariantMap& parameters, QString* report) override;

    /// Forgets every calendar found and every connection (tests).
    void resetForTests();

Q_SIGNALS:
    void calendarsChanged();

private:
    Calendars() = default;
    /// The account's connection with its password, or null and why not.
    void withConnection(const Account& account, std::function<void(Connection*, QString why)> done);
    /// Notes a refusal of the password, so that the next use asks again.
    void noteRefusal(const Account& account, Connection* connection);
    void discoverAll(std::function<void()> done);

    Mode m_mode = Mode::Background;
    bool m_discovered = false;
    int m_refreshing = 0;
    bool m_refreshAgain = false;
    QList<Account> m_accounts;
    QHash<QString, QList<Calendar>> m_found;
    QHash<QString, QString> m_errors;
    QHash<QString, QPair<QString, QPointer<Connection>>> m_connections;
};
} // namespace caldav
