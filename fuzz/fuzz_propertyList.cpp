// Property-list bytes (XML or binary): parsed; written back as XML and as binary and read again,
// which must give the same tree; then taken as the calendar application's calendar list and as
// a calendar's info.plist, from which the calendar list and the data file of each title are found.
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{
using PropertyList::Node;

bool hasRepeatedKeys(const Node& n)
{
    QSet<QString> seen;
    for (const auto& [key, value] : n.items) {
        if (seen.contains(key) || hasRepeatedKeys(value))
            return true;
        seen.insert(key);
    }
    for (const Node& e : n.elements) {
        if (hasRepeatedKeys(e))
            return true;
    }
    return false;
}

bool sameScalar(const Node& a, const Node& b)
{
    switch (a.type) {
    case Node::Type::Real: {
        const double x = a.scalar.toDouble(), y = b.scalar.toDouble();
        return (std::isnan(x) && std::isnan(y)) || x == y;
    }
    case Node::Type::Date:
        return a.scalar.toDateTime().toMSecsSinceEpoch() == b.scalar.toDateTime().toMSecsSinceEpoch();
    case Node::Type::Integer:
        return a.scalar.toULongLong() == b.scalar.toULongLong();
    default:
        return a.scalar == b.scalar;
    }
}

/// "" when the trees are the same, else the path to the first difference.
QString difference(const Node& a, const Node& b, const QString& path)
{
    if (a.type != b.type)
        return path + QStringLiteral(": type %1 became %2").arg(int(a.type)).arg(int(b.type));
    if (a.items.size() != b.items.size() || a.elements.size() != b.elements.size())
        return path + QStringLiteral(": size changed");
    for (qsizetype i = 0; i < a.items.size(); ++i) {
        if (a.items.at(i).first != b.items.at(i).first)
            return path + QStringLiteral(": key %1 became %2").arg(a.items.at(i).first, b.items.at(i).first);
        const QString d
            = difference(a.items.at(i).second, b.items.at(i).second, path + QLatin1Char('/') + a.items.at(i).first);
        if (!d.isEmpty())
            return d;
    }
    for (qsizetype i = 0; i < a.elements.size(); ++i) {
        const QString d = difference(a.elements.at(i), b.elements.at(i), path + QStringLiteral("[%1]").arg(i));
        if (!d.isEmpty())
            return d;
    }
    if (!sameScalar(a, b))
        return path + QStringLiteral(": %1 became %2").arg(a.scalar.toString(), b.scalar.toString());
    return {};
}

void roundTrip(const Node& node, const char* form, const QByteArray& written)
{
    const std::optional<Node> again = PropertyList::parse(written);
    const QString d = again ? difference(node, *again, QString()) : QStringLiteral("not readable");
    if (d.isEmpty())
        return;
    std::fprintf(stderr, "%s form does not read back: %s\n", form, d.toUtf8().constData());
    std::abort();
}

struct Library
{
    QTemporaryDir root {QDir::tempPath() + QStringLiteral("/tidewell-fuzz-plist-XXXXXX")};
    QString listFile, infoFile, otherInfo;
};

Library& library()
{
    static Library* lib = nullptr;
    if (lib)
        return *lib;
    lib = new Library;
    std::atexit([] { delete lib; });
    const QString root = lib->root.path();
    qputenv("TIDEWELL_LIBRARY_DIR", QFile::encodeName(root));
    QDir(root).mkpath(QStringLiteral("Preferences"));
    QDir(root).mkpath(QStringLiteral("Application Support/iCal/Sources/A.calendar"));
    QDir(root).mkpath(QStringLiteral("Application Support/iCal/Sources/B.calendar"));
    lib->listFile = root + QStringLiteral("/Preferences/com.apple.iCal.sources.plist");
    lib->infoFile = root + QStringLiteral("/Application Support/iCal/Sources/A.calendar/info.plist");
    lib->otherInfo = root + QStringLiteral("/Application Support/iCal/Sources/B.calendar/info.plist");
    QFile other(lib->otherInfo);
    if (!other.open(QIODevice::WriteOnly))
        std::abort();
    other.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Title</key>"
                "<string>Home</string></dict></plist>\n");
    return *lib;
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile::remove(path);
    if (bytes.isNull())
        return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<Node> node = PropertyList::parse(bytes); node && !hasRepeatedKeys(*node)) {
        roundTrip(*node, "XML", PropertyList::toXml(*node));
        roundTrip(*node, "binary", PropertyList::toBinary(*node));
    }

    // Without a usable calendar list the titles come from the calendars' info.plist files.
    Library& lib = library();
    const bool asList = size > 0 && (data[size - 1] & 1);
    put(lib.listFile, asList ? bytes : QByteArray());
    put(lib.infoFile, asList ? QByteArray("") : bytes);
    aCalendar& doc = fuzz::freshDocument();
    for (const QString& title : aCalendar::calendarAppTitles())
        doc.getCalendar104Path(title);
    return 0;
}
