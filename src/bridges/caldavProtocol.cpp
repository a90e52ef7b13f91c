// CalDAV request bodies and the reading of the servers' multistatus answers.
#include "bridges/caldavProtocol.h"

#include <QXmlStreamReader>

namespace caldav
{
namespace
{
const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

bool is(const QXmlStreamReader& xml, const QString& ns, const char* name)
{
    return xml.namespaceUri() == ns && xml.name() == QLatin1String(name);
}

/// "HTTP/1.1 404 Not Found" gives 404; 0 when the line has no status.
int statusOf(const QString& line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '));
    return words.size() >= 2 ? words.at(1).toInt() : 0;
}

QUrl hrefUrl(const QString& href, const QUrl& base)
{
    return base.resolved(QUrl(href.trimmed(), QUrl::TolerantMode));
}

/// The DAV:href children of the element the reader is on, resolved.
QList<QUrl> hrefs(QXmlStreamReader& xml, const QUrl& base)
{
    QList<QUrl> out;
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "href"))
            out << hrefUrl(xml.readElementText(QXmlStreamReader::IncludeChildElements), base);
        else
            xml.skipCurrentElement();
    }
    return out;
}

/// Reads one DAV:prop element into @p r.
void readProp(QXmlStreamReader& xml, const QUrl& base, DavResponse& r)
{
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "resourcetype")) {
            while (xml.readNextStartElement()) {
                if (is(xml, kDav, "collection"))
                    r.isCollection = true;
                else if (is(xml, kCalDav, "calendar"))
                    r.isCalendar = true;
                xml.skipCurrentElement();
            }
        } else if (is(xml, kDav, "displayname")) {
            r.displayName = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (is(xml, kCalDav, "supported-calendar-component-set")) {
            QStringList components;
            while (xml.readNextStartElement()) {
                if (is(xml, kCalDav, "comp"))
                    components << xml.attributes().value(QLatin1String("name")).toString().toUpper();
                xml.skipCurrentElement();
            }
            r.components = components;
        } else if (is(xml, kDav, "current-user-principal")) {
            const QList<QUrl> found = hrefs(xml, base);
            if (!found.isEmpty())
                r.currentUserPrincipal = found.first();
        } else if (is(xml, kCalDav, "calendar-home-set")) {
            r.calendarHomes = hrefs(xml, base);
        } else if (is(xml, kDav, "getetag")) {
            r.etag = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (is(xml, kCalDav, "calendar-data")) {
            r.calendarData = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else {
            xml.skipCurrentElement();
        }
    }
}

void readResponse(QXmlStreamReader& xml, const QUrl& base, QList<DavResponse>& out)
{
    DavResponse r;
    bool haveHref = false;
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "href")) {
            const QUrl url = hrefUrl(xml.readElementText(QXmlStreamReader::IncludeChildElements), base);
            if (!haveHref)
                r.url = url;
            haveHref = true;
        } else if (is(xml, kDav, "status")) {
            r.status = statusOf(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (is(xml, kDav, "propstat")) {
            // The status follows the properties: they count only when it is a success.
            DavResponse props;
            int status = 0;
            while (xml.readNextStartElement()) {
                if (is(xml, kDav, "prop"))
                    readProp(xml, base, props);
                else if (is(xml, kDav, "status"))
                    status = statusOf(xml.readElementText(QXmlStreamReader::IncludeChildElements));
                else
                    xml.skipCurrentElement();
            }
            if (status < 200 || status > 299)
                continue;
            r.isCollection = r.isCollection || props.isCollection;
            r.isCalendar = r.isCalendar || props.isCalendar;
            if (!props.displayName.isEmpty())
                r.displayName = props.displayName;
            if (props.components)
                r.components = props.components;
            if (props.currentUserPrincipal)
                r.currentUserPrincipal = props.currentUserPrincipal;
            r.calendarHomes += props.calendarHomes;
            if (!props.etag.isEmpty())
                r.etag = props.etag;
            if (props.calendarData)
                r.calendarData = props.calendarData;
        } else {
            xml.skipCurrentElement();
        }
    }
    if (haveHref)
        out << r;
}

bool unreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}
} // namespace

QByteArray discoveryPropfind()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                             "<d:prop><d:current-user-principal/><c:calendar-home-set/><d:resourcetype/>"
                             "<d:displayname/><c:supported-calendar-component-set/></d:prop></d:propfind>\n");
}

QByteArray calendarsPropfind()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                             "<d:prop><d:resourcetype/><d:displayname/><c:supported-calendar-component-set/>"
                             "</d:prop></d:propfind>\n");
}

QByteArray eventsQuery()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<c:calendar-query xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                             "<d:prop><d:getetag/><c:calendar-data/></d:prop>"
                             "<c:filter><c:comp-filter name=\"VCALENDAR\"><c:comp-filter name=\"VEVENT\"/>"
                             "</c:comp-filter></c:filter></c:calendar-query>\n");
}

std::optional<QList<DavResponse>> parseMultistatus(const QByteArray& body, const QUrl& base, QString* error,
                                                   QList<DavResponse>* readSoFar)
{
    QXmlStreamReader xml(body);
    QList<DavResponse> out;
    if (!xml.readNextStartElement() || !is(xml, kDav, "multistatus")) {
        if (error) {
            *error = xml.hasError() ? QStringLiteral("the server's answer is not XML (%1, line %2)")
                                          .arg(xml.errorString())
                                          .arg(xml.lineNumber())
                                    : QStringLiteral("the server's answer is not a WebDAV answer");
        }
        return std::nullopt;
    }
    while (xml.readNextStartElement()) {
        if (is(xml, kDav, "response")) {
            const qsizetype before = out.size();
            readResponse(xml, base, out);
            // A response the error cut into is not taken.
            if (xml.hasError() && out.size() > before)
                out.removeLast();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError()) {
        if (readSoFar)
            *readSoFar = out;
        if (error) {
            *error = QStringLiteral("the server's answer is not well-formed XML (%1, line %2)")
                         .arg(xml.errorString())
                         .arg(xml.lineNumber());
        }
        return std::nullopt;
    }
    return out;
}

QStringList errorConditions(const QByteArray& body)
{
    QXmlStreamReader xml(body);
    QStringList out;
    if (!xml.readNextStartElement() || !is(xml, kDav, "error"))
        return out;
    while (xml.readNextStartElement()) {
        out << xml.name().toString();
        xml.skipCurrentElement();
    }
    return out;
}

QUrl asCollection(const QUrl& collection)
{
    QUrl out = collection;
    if (!out.path().endsWith(QLatin1Char('/')))
        out.setPath(out.path() + QLatin1Char('/'));
    return out;
}

bool sameResource(const QUrl& url, const QUrl& other)
{
    const QUrl a = asCollection(url).adjusted(QUrl::NormalizePathSegments);
    const QUrl b = asCollection(other).adjusted(QUrl::NormalizePathSegments);
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
        && a.port(a.scheme() == QLatin1String("https") ? 443 : 80)
        == b.port(b.scheme() == QLatin1String("https") ? 443 : 80)
        && a.path(QUrl::FullyDecoded) == b.path(QUrl::FullyDecoded);
}

QUrl resourceUrl(const QUrl& calendar, const QString& uid)
{
    const QByteArray bytes = uid.trimmed().toUtf8();
    if (bytes.isEmpty())
        return {};
    QByteArray segment;
    segment.reserve(bytes.size() + 8);
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        if (unreserved(c)) {
            segment += c;
        } else {
            segment += '%';
            segment += kHex[(uchar(c) >> 4) & 0xF];
            segment += kHex[uchar(c) & 0xF];
        }
    }
    QUrl out = asCollection(calendar);
    out.setPath(out.path(QUrl::FullyEncoded) + QString::fromLatin1(segment) + QLatin1String(".ics"), QUrl::StrictMode);
    return out;
}

QString statusText(int status, const QString& reason)
{
    if (!reason.trimmed().isEmpty())
        return QStringLiteral("%1 %2").arg(status).arg(reason.trimmed());
    const char* phrase = "";
    switch (status) {
    case 400:
        phrase = "Bad Request";
        break;
    case 401:
        phrase = "Unauthorized";
        break;
    case 403:
        phrase = "Forbidden";
        break;
    case 404:
        phrase = "Not Found";
        break;
    case 405:
        phrase = "Method Not Allowed";
        break;
    case 409:
        phrase = "Conflict";
        break;
    case 412:
        phrase = "Precondition Failed";
        break;
    case 413:
        phrase = "Payload Too Large";
        break;
    case 415:
        phrase = "Unsupported Media Type";
        break;
    case 500:
        phrase = "Internal Server Error";
        break;
    case 502:
        phrase = "Bad Gateway";
        break;
    case 503:
        phrase = "Service Unavailable";
        break;
    case 507:
        phrase = "Insufficient Storage";
        break;
    default:
        return QString::number(status);
    }
    return QStringLiteral("%1 %2").arg(status).arg(QLatin1String(phrase));
}
} // namespace caldav
