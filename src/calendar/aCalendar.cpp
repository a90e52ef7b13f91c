#include "calendar/aCalendar.h"

#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace
{
const QString kColumnOrderKey = QStringLiteral("commataborder");

ColumnOrder columnOrderFromVariant(const QVariant& v)
{
    ColumnOrder order;
    for (const QVariant& item : v.toList()) {
        const QStringList pair = item.toStringList();
        order.append({pair.value(0), pair.value(1)});
    }
    return order;
}

QString contactParagraph(int number)
{
    return QStringLiteral("Please contact ") + aCalendar::supportAddress()
        + QStringLiteral(" with details and a copy of the file which triggered the problem. (Error %1)").arg(number);
}
} // namespace

QString aCalendar::supportAddress()
{
    return QStringLiteral("support@quenlor.example");
}

ColumnOrder aCalendar::defaultColumnOrder()
{
    return {{"Start Time", "0"}, {"Start Date", "1"}, {"End Time", "2"},
            {"End Date", "3"},   {"Summary", "4"},    {"Description", "5"}};
}

void aCalendar::saveColumnOrder(const ColumnOrder& order)
{
    QVariantList list;
    for (const ColumnDescriptor& c : order)
        list.append(QVariant(QStringList {c.title, c.code}));
    UserDefaults::standard().setValue(kColumnOrderKey, list);
    UserDefaults::standard().sync();
}

aCalendar::aCalendar()
{
    UserDefaults& prefs = UserDefaults::standard();

    // 1. Column order of delimited text.
    const QVariant stored = prefs.value(kColumnOrderKey);
    if (!stored.isValid() || stored.toList().isEmpty()) {
        commaTabDataOrder = defaultColumnOrder();
        saveColumnOrder(commaTabDataOrder);
    } else {
        commaTabDataOrder = columnOrderFromVariant(stored);
    }

    // 2. Short date format reduced to d, m and y.
    QString s = prefs.string(QStringLiteral("NSShortDateFormatString"));
    s.replace(QLatin1String("%e"), QLatin1String("d"));
    s.replace(QLatin1String("%1m"), QLatin1String("m"));
    s.replace(QLatin1String("%y"), QLatin1String("y"));
    s.replace(QLatin1String("%Y"), QLatin1String("y"));
    s.replace(QLatin1String("%d"), QLatin1String("d"));
    s.replace(QLatin1String("%m"), QLatin1String("m"));
    shortDateFormat = s;
    shortDateFormatSeparator = s.size() > 1 ? s.mid(1, 1) : QStringLiteral("/");

    // 3. Long date format as stored.
    longDateFormat = prefs.string(QStringLiteral("NSDateFormatString"));

    // 4. AM and PM designators without spaces.
    for (QString d : prefs.stringList(QStringLiteral("NSAMPMDesignation"))) {
        d.remove(QLatin1Char(' '));
        amAndPmArray.append(d);
    }

    // 5. Time format without seconds, and its separator.
    QString t = prefs.string(QStringLiteral("NSTimeFormatString"));
    t.replace(QLatin1String("%1"), QLatin1String("%"));
    shortTimeFormatSeparator = t.size() > 2 ? t.mid(2, 1) : QStringLiteral(":");
    t.remove(shortTimeFormatSeparator + QStringLiteral("%S"));
    userTimeFormat = t;

    names = prefs.dateNames();
}

void aCalendar::removeObjectAtIndex(int index)
{
    if (index >= 0 && index < theData.size())
        theData.removeAt(index);
}

void aCalendar::replaceTheData(const EntryList& list)
{
    const EntryList copy = list; // the list may be our own
    theData.clear();
    theData.append(copy);
}

void aCalendar::addPendingData()
{
    theData.append(pendingEntriesToAdd);
    pendingEntriesToAdd.clear();
    pendingProgress.storeRelease(0);
}

QString aCalendar::getShortDescriptionForEntry(int index) const
{
    const EntryPtr e = theData.value(index);
    return e ? e->getShortDESCRIPTION() : QString();
}

void aCalendar::setDescriptionTo(const QString& text, int index)
{
    if (const EntryPtr e = theData.value(index))
        e->setDESCRIPTION(text);
}

void aCalendar::updateStartDetailForEntry(int index, const CalDate& date, const CalDate& time)
{
    if (const EntryPtr e = theData.value(index))
        e->updateStartDetail(date, time);
}

void aCalendar::updateEndDetailForEntry(int index, const CalDate& date, const CalDate& time)
{
    if (const EntryPtr e = theData.value(index))
        e->updateEndDetail(date, time);
}

void aCalendar::addRecObjectsToData()
{
    // Every entry whose UID matches receives the override (the last one becomes its parent).
    // A hash keeps this linear; an override already linked to an entry (overrides of earlier reads
    // are linked again) is not added to it twice.
    QHash<QString, QList<EntryPtr>> byUid;
    byUid.reserve(theData.size());
    for (const EntryPtr& e : std::as_const(theData))
        byUid[e->getUID()].append(e);
    for (const EntryPtr& o : std::as_const(theRecObjects)) {
        auto it = byUid.constFind(o->getUID());
        if (it == byUid.constEnd())
            continue;
        for (const EntryPtr& e : *it) {
            o->setParentDataEntry(e);
            if (!e->getTheReoccDateArray().contains(o))
                e->addRecObjectArray(o);
        }
    }
}

bool aCalendar::dataCheck()
{
    theProblemEntries.clear();
    bool result = true;
    for (int i = 0; i < theData.size(); ++i) {
        const EntryPtr& e = theData.at(i);
        if (!e->getDataCheck() && (e->notBlankLine() || theData.size() == 1)) {
            theProblemEntries.append(QString::number(i));
            result = false;
        }
    }
    return theData.isEmpty() ? false : result;
}

QString aCalendar::problemMessage() const
{
    static const QString todo = QStringLiteral(
        "Your data file contains 'To Do' entries.  These are not currently supported by the program and have "
        "therefore been removed from the displayed data. ('To Do' will be supported in a later version.)");
    static const QString detail = QStringLiteral(
        "The program has encountered an appointment entry detail that it cannot process.  This data will be "
        "discarded.");
    static const QString unsupported
        = QStringLiteral("Your data file contains an entry (or entries) that are not supported by the program.");
    if (todoBool && eventBool && errorBool)
        return QStringLiteral("The program has encountered 3 problems:\n\n1. ") + todo
            + QStringLiteral(" \n\n2. The program has encountered an appointment entry that it cannot fully "
                             "process. This data will be discarded.\n\n3. ")
            + unsupported + QStringLiteral("\n\n") + contactParagraph(1501);
    if (todoBool && eventBool)
        return QStringLiteral("The program has encountered 2 problems:\n\n1. ") + todo + QStringLiteral("\n\n2. ")
            + detail + QStringLiteral(" \n\n") + contactParagraph(1502);
    if (todoBool && errorBool)
        return QStringLiteral("The program has encountered 2 problems:\n\n1. ") + todo + QStringLiteral("\n\n2. ")
            + unsupported + QStringLiteral("\n\n") + contactParagraph(1503);
    if (eventBool && errorBool)
        return QStringLiteral("The program has encountered 2 problems:\n\n1. ") + detail + QStringLiteral("\n\n2. ")
            + unsupported + QStringLiteral("\n\n") + contactParagraph(1504);
    if (todoBool)
        return todo + QStringLiteral(" (Error 1505)");
    if (eventBool)
        return detail + QStringLiteral("\n\n") + contactParagraph(1506);
    if (errorBool)
        return unsupported + QStringLiteral("\n\n") + contactParagraph(1507);
    if (descBool)
        return QStringLiteral(
            "Your data file contains an entry (or entries) that have a description type not supported by Tidewell. "
            "This part of the entry has been discarded although the appointment (and any associated summary text) "
            "has been preserved and is included in the data presented. (Error 1508)");
    return QString();
}

QString aCalendar::getCalName() const
{
    return QFileInfo(theFileSource).completeBaseName();
}

void aCalendar::setCalArray(const QStringList* list)
{
    theCalArray = list ? *list : theAvailableCalendars();
}

QString aCalendar::getTimeFormatter() const
{
    return QStringLiteral("%H") + shortTimeFormatSeparator + QStringLiteral("%M");
}

QString aCalendar::getCodedShortDateFormat() const
{
    QString f = UserDefaults::standard().string(QStringLiteral("NSShortDateFormatString"));
    f.replace(QLatin1String("%1m"), QLatin1String("%m"));
    return f;
}

QString aCalendar::getLongDateFormatter() const
{
    return UserDefaults::standard().string(QStringLiteral("NSDateFormatString"));
}

QString aCalendar::getLongTimeFormatter() const
{
    return UserDefaults::standard().string(QStringLiteral("NSTimeFormatString"));
}

QString aCalendar::getLongTimeFormatterNoSecString() const
{
    const UserDefaults& prefs = UserDefaults::standard();
    QString timeDate = prefs.string(QStringLiteral("NSShortTimeDateFormatString"));
    const QString shortDate = prefs.string(QStringLiteral("NSShortDateFormatString"));
    if (shortDate.isEmpty() || timeDate.count(shortDate, Qt::CaseInsensitive) != 1)
        return QStringLiteral("%H:%M");
    timeDate.remove(shortDate, Qt::CaseInsensitive);
    qsizetype i = 0;
    while (i < timeDate.size() && timeDate.at(i) == QLatin1Char(' '))
        ++i;
    return timeDate.mid(i);
}

QVariantMap aCalendar::systemDefinedLocale() const
{
    const UserDefaults& prefs = UserDefaults::standard();
    QVariantMap map;
    map.insert(QStringLiteral("NSTimeDateFormatString"), prefs.string(QStringLiteral("NSTimeDateFormatString")));
    for (const char* key : {"NSAMPMDesignation", "NSMonthNameArray", "NSShortMonthNameArray", "NSWeekDayNameArray",
                            "NSShortWeekDayNameArray"})
        map.insert(QString::fromLatin1(key), prefs.stringList(QString::fromLatin1(key)));
    return map;
}
