#pragma once

#include "platform/CalDate.h"

#include <QList>
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
    void setDURATION();

    bool notBlankLine() const;

    // --- exception dates and overrides ---
    void setTheEXDATE(const CalDate& d);
    void copyTheEXDATE(const QList<CalDate>& list);
    void removeTheEXDATE(int index);
    const QList<CalDate>& getTheEXDATE() const { return theCalEXDATE; }
    void addRecObjectArray(const EntryPtr& entry);
    const EntryList& getTheReoccDateArray() const { return theRecObjectsArray; }
    void emptyTheRecObjectsArray() { theRecObjectsArray.clear(); }
    void setParentDataEntry(const EntryPtr& parent) { parentDataEntry = parent; }
    EntryPtr getParentDataEntry() const { return parentDataEntry.lock(); }
    void setRecDate(const CalDate& d) { theRecDate = d; }
    const CalDate& getTheRecDate() const { return theRecDate; }
    void setRecTime(const CalDate& t) { theRecTime = t; }
    const CalDate& getTheRecTime() const { return theRecTime; }
    void setTheRepeater(bool repeating);
    /// Name of the table icon: "repeat" or "blank".
    const QString& getTheRepeater() const { return theRepeater; }

    // --- plain accessors ---
    const QString& getSummary() const { return theSummary; }
    void setSummary(const QString& s);
    const QString& getNotes() const { return Notes; }
    void setNotes(const QString& s);
    const QString& getCheck() const { return theCheck; }
    void setCheck(const QString& s) { theCheck = s; }
    const QString& getDTSTART() const { return DTSTART; }
    void setDTSTART(const QString& s) { DTSTART = s; }
    const QString& getDTEND() const { return DTEND; }
    void setDTEND(const QString& s) { DTEND = s; }
    const QString& getShortDESCRIPTION() const { return DESCRIPTION; }
    void setDESCRIPTION(const QString& s) { DESCRIPTION = s; }
    const QString& getRRULENoRRULE() const { return RRULE; }
    void setRRULE(const QString& s) { RRULE = s; }
    void setSEQUENCE(const QString& s) { SEQUENCE = s; }
    void setSUMMARY(const QString& s) { SUMMARY = s; }
    const QString& getFullZoneString() const { return fullZoneName; }
    void setFullZoneString(const QString& s) { fullZoneName = s; }
    const QString& getHoursFromGMT() const { return hoursFromGMT; }
    void setHoursFromGMT(const QString& s) { hoursFromGMT = s; }
    const QString& getAlarm() const { return alarm; }
    void setAlarm(const QString& s) { alarm = s; }
    const QString& getAlarmString() const { return alarmString; }
    void setAlarmString(const QString& s) { alarmString = s; }
    const QString& getURL() const { return URL; }
    void setURL(const QString& s) { URL = s; }
    const QString& getLocation() const { return location; }
    const QString& getShortLocation() const { return location; }
    void setLocation(const QString& s);
    const QString& getStatus() const { return status; }
    void setStatus(const QString& s) { status = s; }
    const QString& getClass() const { return theClass; }
    void setClass(const QString& s) { theClass = s; }
    const QString& getPriority() const { return thePriority; }
    void setPriority(const QString& s) { thePriority = s; }
    const QString& getTransp() const { return transp; }
    void setTransp(const QString& s) { transp = s; }
    const QString& getLastModified() const { return lastModified; }
    void setLastModified(const QString& s) { lastModified = s; }
    const QString& getITIPSTATUSML() const { return ITIPSTATUSML; }
    void setITIPSTATUSML(const QString& s) { ITIPSTATUSML = s; }
    const QString& getALARMID() const { return ALARMID; }
    void setALARMID(const QString& s) { ALARMID = s; }
    const QString& getORGANIZER() const { return ORGANIZER; }
    void setORGANIZER(const QString& s) { ORGANIZER = s; }
    const QStringList& getATTENDEE() const { return ATTENDEE; }
    void setATTENDEE(const QString& line) { ATTENDEE.append(line); }
    const QString& getCreated() const { return theCreated; }
    void setCreated(const QString& s) { theCreated = s; }
    const QString& getCategories() const { return theCategories; }
    void setCategories(const QString& s) { theCategories = s; }
    bool getDataCheck() const { return dataCheck; }
    void setDataCheck(bool b) { dataCheck = b; }
    /// The UID value as stored (possibly empty); getUID() makes one when empty.
    const QString& getUIDValue() const { return UID; }
    const QString& getDTSTAMPValue() const { return DTSTAMP; }
    const QString& getDURATIONValue() const { return DURATION; }
    const QString& getSEQUENCEValue() const { return SEQUENCE; }

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
    QString appendVCal(QString& out, const WriteContext& context);

    // --- repeat rule translation (formats/repeatRuleTranslation.cpp) ---
    QString rruleVcal() const;
    CalDate timeToCal(const QString& text) const;

    // --- invitation blocks (formats/invitation.cpp) ---
    QString getICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail);
    QString getICalForICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail);

private:
    friend class repeatList; // copies entries field by field

    CalDate startDate;
    CalDate endDate;
    CalDate startTime;
    CalDate endTime;
    CalDate theRecDate;
    CalDate theRecTime;
    std::weak_ptr<dataEntry> parentDataEntry;
    QString theSummary;
    QString Notes;
    QString theCheck;
    QString SEQUENCE;
    QString SUMMARY;
    QString DTSTART;
    QString UID;
    QString DURATION;
    QString DESCRIPTION;
    QString RRULE;
    QString DTEND;
    QString DTSTAMP;
    QString zoneString;
    QString fullZoneName;
    QString hoursFromGMT;
    QString alarm;
    QString URL;
    QString location;
    QString status;
    QString theClass;
    QString thePriority;
    QString transp;
    QString lastModified;
    QString ITIPSTATUSML;
    QString ALARMID;
    QStringList ATTENDEE;
    QString ORGANIZER;
    QString theCreated;
    QString theCategories;
    QString alarmString;
    QString theRepeater;
    QList<CalDate> theCalEXDATE;
    EntryList theRecObjectsArray;
    bool endDateSet = false;
    bool startDateSet = false;
    bool startTimeSet = false;
    bool endTimeSet = false;
    bool dataCheck = false;
};
