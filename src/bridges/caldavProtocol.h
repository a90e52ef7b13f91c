#pragma once

// What CalDAV (RFC 4791) and WebDAV (RFC 4918) servers are sent and what their answers mean,
// without any network: the request bodies, the multistatus answers read with QXmlStreamReader,
// resource names made from UIDs, and the words a status is reported with.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace caldav
{
/// PROPFIND body of discovery: current-user-principal, calendar-home-set, resourcetype,
/// displayname and supported-calendar-component-set.
QByteArray discoveryPropfind();
/// PROPFIND body for the calendars of a calendar home (Depth: 1).
QByteArray calendarsPropfind();
/// REPORT calendar-query for every VEVENT of a calendar, with each resource's etag and data.
QByteArray eventsQuery();

/// One <response> of a multistatus answer, with the properties that came with status 200.
struct DavResponse
{
    /// The href as the server wrote it, resolved against the address asked.
    QUrl url;
    /// The response's own status (servers give one for a resource that is gone); 0 when none.
    int status = 0;
    bool isCollection = false;
    bool isCalendar = false;
    QString displayName;
    /// The components the calendar takes; nullopt when the server did not say (then any).
    std::optional<QStringList> components;
    std::optional<QUrl> currentUserPrincipal;
    QList<QUrl> calendarHomes;
    QString etag;
    /// The resource's text; nullopt when none came (not asked, or refused with its own status).
    std::optional<QString> calendarData;
};

/// Reads a 207 Multi-Status body; hrefs are resolved against @p base. nullopt with @p error
/// ("not a WebDAV answer", or the XML error with its line) when the body cannot be read whole;
/// @p readSoFar (when given) then receives the responses that were complete before the error.
std::optional<QList<DavResponse>> parseMultistatus(const QByteArray& body, const QUrl& base, QString* error,
                                                   QList<DavResponse>* readSoFar = nullptr);

/// The names of the elements inside a WebDAV <error> body (precondition codes such as
/// "no-uid-conflict" or "valid-calendar-data"); empty when the body is none.
QStringList errorConditions(const QByteArray& body);

/// True when @p url names the same resource as @p other (a trailing "/" and percent-encoding
/// differences aside).
bool sameResource(const QUrl& url, const QUrl& other);
/// @p collection with a trailing "/".
QUrl asCollection(const QUrl& collection);
/// The resource of an entry in @p calendar: its UID percent-encoded as one path segment, and
/// ".ics". A UID that is empty after trimming gives an empty URL.
QUrl resourceUrl(const QUrl& calendar, const QString& uid);

/// "404 Not Found": a status with its usual reason phrase (or the server's own @p reason).
QString statusText(int status, const QString& reason = {});
} // namespace caldav
