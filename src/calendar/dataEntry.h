#pragma once

#include "calendar/sparseTexts.h"
#include "platform/CalDate.h"

#include <QList>
#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class dataEntry;
class invitee;

/// Entries are shared: the document owns them, an expansion result shares the unchanged ones.
using EntryPtr = std::shared_ptr<dataEntry>;
using EntryList = QList<EntryPtr>;

/// One appointment: parsed start/end dates and times beside the iCalendar property texts the
/// writers emit. The date setters keep DTSTART, DURATION and the consistency flag in step.
///
/// Dates are CalDate values; a null CalDate is an absent value. "Local" always means the
/// machine's zone at the moment of the call, never a zone stored with the entry.
/// An override entry points back at its parent without owning it (weak reference).
class dataEntry : public std::enable_shared_from_this<dataEntry>
{
public:
    /// A fresh entry: untouched ("X" check mark), invalid, stamped with the current time.
    dataEntry();
    static EntryPtr create() { return std::make_shared<dataEntry>(); }

    // --- identity ---
    void setNewUID();
    void setImportedUID(const QString& uid);
    void setUIDcopy(const QString& uid);
    void setDTSTAMP();

    // --- dates and times ---
    void setStartDate(const CalDate& d);
    void setStartTime(const CalDate& t);
    void setEndDate(const CalDate& d);
    void setEndTime(const CalDate& t);
    void updateStartDetail(const CalDate& date, const CalDate& time);
    void updateEndDetail(const CalDate& date, const CalDate& time);
    const CalDate& getStartDate() const { return startDate; }
    const CalDate& getEndDate() const { return endDate; }
    const CalDate& getStartTime() const { return startTime; }
    const CalDate& getEndTime() const { return endTime; }

    CalDate getFullStartTime() const;
    CalDate getFullEndTime() const;
    CalDate getFullEndTimeUsingStartDate() const;
    CalDate getDayOfEvent() const;
    /// End computed from a base date and an iCalendar duration text; null arguments default to
    /// getFullStartTime() and getDuration(). A text that does not fit returns the base.
    CalDate getFullEndTimeUsingDateAndDuration(const CalDate& base, const QString* duration) const;
    CalDate getFullEndTimeUsingDateAndDuration(const CalDate& base, const QString& duration) const
    {
        return getFullEndTimeUsingDateAndDuration(base, &duration);
    }
    double startSeconds1970() const;
    double endSeconds1970() const;
    void advanceByDays(int n);
    void advanceByMonths(int n);
    void advanceByYears(int n);
    /// Recomputes DURATION and the consistency flag. Whole days are counted on the wall clock
    /// (nominal days), the rest in exact time: a two-hour night across a daylight-saving change
    /// is T2H, not T3H.
    void setDURATION();
    /// An entry read from a file may end when it starts (a reminder, a milestone: RFC 5545 allows
    /// it). It is then consistent with equal start and end, and its duration is T0S. Entries made
    /// in the table do not allow it, so a forgotten end time is still caught.
    void setAllowsNoDuration(bool allowed)
    {
        allowsNoDuration = allowed;
        setDURATION();
    }
    bool getAllowsNoDuration() const { return allowsNoDuration; }
    /// Why the entry's start and end do not fit together, in a few words ("it ends before it
    /// starts"); empty when they do.
    QString invalidReason() const;
    /// Line of the file the entry was read from (its BEGIN line, from 1); 0 when not read from a file.
    int getSourceLine() const { return sourceLine; }
    void setSourceLine(int line) { sourceLine = line; }

    bool notBlankLine() const;

    // --- exception dates and overrides ---
    void setTheEXDATE(const CalDate& d);
    void copyTheEXDATE(const QList<CalDate>& list);
    void removeTheEXDATE(int index);
    const QList<CalDate>& getTheEXDATE() const { return tx().theCalEXDATE; }
    /// Extra occurrence dates (RDATE), in the order read: dates for an all-day entry, date-times
    /// (local zone) for a timed one.
    const QList<CalDate>& getTheRDATE() const { return lx().theCalRDATE; }
    void setTheRDATE(const CalDate& d) { ml().theCalRDATE.append(d); }
    void copyTheRDATE(const QList<CalDate>& list)
    {
        if (!list.isEmpty() || (m_extras && m_extras->links))
            ml().theCalRDATE = list;
    }
    void addRecObjectArray(const EntryPtr& entry);
    const EntryList& getTheReoccDateArray() const { return lx().theRecObjectsArray; }
    void emptyTheRecObjectsArray()
    {
        if (m_extras && m_extras->links)
            ml().theRecObjectsArray.clear();
    }
    void setParentDataEntry(const EntryPtr& parent) { ml().parentDataEntry = parent; }
    EntryPtr getParentDataEntry() const { return lx().parentDataEntry.lock(); }
    void setRecDate(const CalDate& d) { ml().theRecDate = d; }
    const CalDate& getTheRecDate() const { return lx().theRecDate; }
    void setRecTime(const CalDate& t) { ml().theRecTime = t; }
    const CalDate& getTheRecTime() const { return lx().theRecTime; }
    void setTheRepeater(bool repeating);
    /// Name of the table icon: "repeat" or "blank".
    const QString& getTheRepeater() const { return tx().theRepeater; }

    // --- plain accessors ---
    const QString& getSummary() const { return tx().theSummary; }
    void setSummary(const QString& s);
    const QString& getNotes() const { return tx().Notes; }
    void setNotes(const QString& s);
    const QString& getCheck() const { return tx().theCheck; }
    void setCheck(const QString& s) { mt().theCheck = s; }
    const QString& getDTSTART() const { return DTSTART; }
    void setDTSTART(const QString& s) { DTSTART = s; }
    const QString& getDTEND() const { return tx().DTEND; }
    void setDTEND(const QString& s) { mt().DTEND = s; }
    /// The description, decoded from the UTF-8 the entry keeps it in.
    QString getShortDESCRIPTION() const;
    void setDESCRIPTION(const QString& s);
    const QString& getRRULENoRRULE() const { return tx().RRULE; }
    void setRRULE(const QString& s) { mt().RRULE = s; }
    void setSEQUENCE(const QString& s) { mt().SEQUENCE = s; }
    void setSUMMARY(const QString& s) { mt().SUMMARY = s; }
    const QString& getFullZoneString() const { return ex(X::fullZoneName); }
    void setFullZoneString(const QString& s) { setExtra(X::fullZoneName, s); }
    const QString& getHoursFromGMT() const { return ex(X::hoursFromGMT); }
    void setHoursFromGMT(const QString& s) { setExtra(X::hoursFromGMT, s); }
    const QString& getAlarm() const { return ex(X::alarm); }
    void setAlarm(const QString& s) { setExtra(X::alarm, s); }
    const QString& getAlarmString() const { return ex(X::alarmString); }
    void setAlarmString(const QString& s) { setExtra(X::alarmString, s); }
    const QString& getURL() const { return ex(X::URL); }
    void setURL(const QString& s) { setExtra(X::URL, s); }
    const QString& getLocation() const { return ex(X::location); }
    const QString& getShortLocation() const { return ex(X::location); }
    void setLocation(const QString& s);
    const QString& getStatus() const { return ex(X::status); }
    void setStatus(const QString& s) { setExtra(X::status, s); }
    const QString& getClass() const { return ex(X::theClass); }
    void setClass(const QString& s) { setExtra(X::theClass, s); }
    const QString& getPriority() const { return ex(X::thePriority); }
    void setPriority(const QString& s) { setExtra(X::thePriority, s); }
    const QString& getTransp() const { return ex(X::transp); }
    void setTransp(const QString& s) { setExtra(X::transp, s); }
    const QString& getLastModified() const { return ex(X::lastModified); }
    void setLastModified(const QString& s) { setExtra(X::lastModified, s); }
    const QString& getITIPSTATUSML() const { return ex(X::ITIPSTATUSML); }
    void setITIPSTATUSML(const QString& s) { setExtra(X::ITIPSTATUSML, s); }
    const QString& getALARMID() const { return ex(X::ALARMID); }
    void setALARMID(const QString& s) { setExtra(X::ALARMID, s); }
    const QString& getORGANIZER() const { return ex(X::ORGANIZER); }
    void setORGANIZER(const QString& s) { setExtra(X::ORGANIZER, s); }
    const QStringList& getATTENDEE() const { return attendees(); }
    void setATTENDEE(const QString& line) { mx().ATTENDEE.append(line); }
    const QString& getCreated() const { return ex(X::theCreated); }
    void setCreated(const QString& s) { setExtra(X::theCreated, s); }
    const QString& getCategories() const { return ex(X::theCategories); }
    void setCategories(const QString& s) { setExtra(X::theCategories, s); }
    bool getDataCheck() const { return dataCheck; }
    void setDataCheck(bool b) { dataCheck = b; }
    /// The UID value as stored (possibly empty); getUID() makes one when empty.
    const QString& getUIDValue() const { return tx().UID; }
    const QString& getDTSTAMPValue() const { return tx().DTSTAMP; }
    const QString& getDURATIONValue() const { return DURATION; }
    const QString& getSEQUENCEValue() const { return tx().SEQUENCE; }

    // --- property lines (no line end) ---
    QString getSEQUENCE() const;
    QString getUID();
    QString getDTSTAMP() const;
    QString getSUMMARY() const;
    QString getDESCRIPTION() const;
    QString getRRULE() const;
    QString getDuration() const;
    QString getDURATION() const;
    QString getSTATUS() const;
    QString getLOCATION() const;
    QString getTheRecString() const;

    // --- table data source of the repeat editor (tag 1: exception dates, tag 13: overrides) ---
    int tableRowCount(int tag) const;
    QVariant tableValue(int tag, int row, const QString& column) const;
    void setTableValue(int tag, int row, const QVariant& value);
    /// A property by its field name (the override table's column identifiers).
    QVariant propertyValue(const QString& name) const;

    // --- serialiser (formats/dataEntrySerialise.cpp) ---
    QString getICal();
    QString getVCal();
    QString getICalDTEND() const;
    QString getVCalDTEND() const;
    static QString the72Split(const QString& line);
    static QString the72SplitWithN(const QString& line);
    /// What stays the same for every entry of one write (formats/writeContext.h).
    struct WriteContext;
    /// Appends the iCalendar block to @p out; nothing for a blank entry.
    void appendICal(QString& out, const WriteContext& context);
    /// Appends the vCalendar block to @p out and returns an empty text; when the repeat rule has no
    /// vCalendar 1.0 form, appends nothing and returns the message instead.
    /// @p rule, when given, is rruleVcal()'s text, worked out beforehand.
    QString appendVCal(QString& out, const WriteContext& context, const QString* rule = nullptr);

    // --- repeat rule translation (formats/repeatRuleTranslation.cpp) ---
    QString rruleVcal() const;
    CalDate timeToCal(const QString& text) const;

    // --- invitation blocks (formats/invitation.cpp) ---
    QString getICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail);
    QString getICalForICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail);

private:
    friend class repeatList; // copies entries field by field

    /// Properties most entries never have, and occurrence copies never carry: one side record,
    /// made on the first write that needs it, keeps entries (and large expansions) small. Its
    /// texts are sparse, and what only overrides and their series use sits in a record of its own.
    enum class X : int {
        zoneString, fullZoneName, hoursFromGMT, alarm, URL, location, status, theClass, thePriority,
        transp, lastModified, ITIPSTATUSML, ALARMID, ORGANIZER, theCreated, theCategories, alarmString
    };
    struct Links
    {
        CalDate theRecDate;
        CalDate theRecTime;
        std::weak_ptr<dataEntry> parentDataEntry;
        EntryList theRecObjectsArray;
        QList<CalDate> theCalRDATE;
    };
    struct Extras : QSharedData
    {
        Extras() = default;
        Extras(const Extras& other)
            : QSharedData(other)
            , texts(other.texts)
            , ATTENDEE(other.ATTENDEE)
            , links(other.links ? std::make_unique<Links>(*other.links) : nullptr)
        {
        }
        /// Room for the zone, location, status, categories, alarm and organiser an entry read
        /// from a file typically has.
        SparseTexts<6> texts;
        QStringList ATTENDEE;
        std::unique_ptr<Links> links;
    };
    static const QString& extraDefault(X field);
    static const Links& defaultLinks();
    const QString& ex(X field) const
    {
        const QString* text = m_extras ? m_extras->texts.find(int(field)) : nullptr;
        return text ? *text : extraDefault(field);
    }
    const QStringList& attendees() const;
    const Links& lx() const { return m_extras && m_extras->links ? *m_extras->links : defaultLinks(); }
    Extras& mx()
    {
        if (!m_extras)
            m_extras = new Extras;
        return *m_extras;
    }
    Links& ml()
    {
        Extras& e = mx();
        if (!e.links)
            e.links = std::make_unique<Links>();
        return *e.links;
    }
    /// Stores a text of the side record; a default value on an entry without it allocates nothing.
    /// Takes @p value by copy: it may be another field of the record, which the insertion moves.
    void setExtra(X field, QString value)
    {
        if (!(m_extras && m_extras->texts.isSet(int(field))) && value == extraDefault(field))
            return;
        mx().texts.edit(int(field), extraDefault(field)) = std::move(value);
    }

    /// The texts an occurrence copy shares with the entry it was made from: a copy then costs one
    /// shared record instead of a dozen texts (an expansion makes hundreds of thousands of them).
    /// Changed through mt() only, which gives the entry a record of its own first.
    struct Texts : QSharedData
    {
        QString theSummary;
        QString Notes;
        QString theCheck = QStringLiteral("X");
        QString SEQUENCE = QStringLiteral("1");
        QString SUMMARY;
        QString UID;
        /// Descriptions are the longest texts by far: UTF-8 keeps them in about half the room.
        QByteArray DESCRIPTION;
        QString RRULE;
        QString DTEND;
        QString DTSTAMP;
        QString theRepeater = QStringLiteral("blank");
        QList<CalDate> theCalEXDATE;
    };
    const Texts& tx() const { return *m_texts.constData(); }
    Texts& mt() { return *m_texts.data(); }

    QSharedDataPointer<Texts> m_texts;
    CalDate startDate;
    CalDate endDate;
    CalDate startTime;
    CalDate endTime;
    QString DTSTART;
    QString DURATION;
    bool endDateSet = false;
    bool startDateSet = false;
    bool startTimeSet = false;
    bool endTimeSet = false;
    bool dataCheck = false;
    bool allowsNoDuration = false;
    int sourceLine = 0;
    QSharedDataPointer<Extras> m_extras;
};
