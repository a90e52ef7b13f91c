#pragma once

#include "calendar/dataEntry.h"
#include "platform/Encoding.h"

#include <QAtomicInt>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <utility>

class invitee;
class repeatList;
class QMimeData;

/// What a batch of dropped or opened files did to the document.
struct DropOutcome
{
    /// The reader's warnings for the calendar files read, joined (empty when none).
    QString readerMessage;
    /// A comma- or tab-delimited file was split into records: the caller goes on into the
    /// column-order sheet (the records wait in getCommaTabData()).
    bool delimitedSplit = false;
    /// "PATH: reason" for every file that could not be read.
    QStringList unreadable;
};

/// One column of a delimited import: its title and its field code as decimal text
/// ("Start Time"/"0" ... "Description"/"5").
struct ColumnDescriptor
{
    QString title;
    QString code;
    friend bool operator==(const ColumnDescriptor&, const ColumnDescriptor&) = default;
};
using ColumnOrder = QList<ColumnDescriptor>;

/// The calendar document: the entry list the table shows, the override entries read beside it,
/// the user's date and time conventions (read once, at construction), the zone information of
/// the last file read and the problems met while reading.
///
/// Operations are defined in the folder of their subsystem: reading and zones in calendar/,
/// writing, repeat rules and expansion in formats/, text recognisers, delimited text and list
/// output in text/.
class aCalendar
{
public:
    /// Reads the user's formats and the column order from UserDefaults::standard(); stores the
    /// default column order there when none is stored yet.
    aCalendar();

    /// Support address named in the reader's problem messages.
    static QString supportAddress();

    // --- entry list ---
    int entryCount() const { return int(theData.size()); }
    EntryList& getTheData() { return theData; }
    const EntryList& getTheData() const { return theData; }
    EntryPtr calObjectAtIndex(int index) const { return theData.value(index); }
    EntryPtr getEntryAtIndex(int index) const { return theData.value(index); }
    void removeObjectAtIndex(int index);
    void removeAllObjectsFromCal() { theData.clear(); }
    void replaceTheData(const EntryList& list);
    void addPendingData();
    QString getShortDescriptionForEntry(int index) const;
    void setDescriptionTo(const QString& text, int index);
    void updateStartDetailForEntry(int index, const CalDate& date, const CalDate& time);
    void updateEndDetailForEntry(int index, const CalDate& date, const CalDate& time);
    const EntryList& getTheRecObjects() const { return theRecObjects; }
    /// Adds an override entry (one with a recurrence identifier) to the override list.
    void addRecObject(const EntryPtr& entry) { theRecObjects.append(entry); }

    // --- validation and problems ---
    void addRecObjectsToData();
    bool dataCheck();
    const QStringList& getTheProblemEntries() const { return theProblemEntries; }
    int getIntForTheProblemEntryNumber(int i) const { return theProblemEntries.value(i).toInt(); }
    EntryPtr getTheProblemEntryNumber(int i) const { return theData.value(i); }
    bool getTodoBool() const { return todoBool; }
    bool getEventBool() const { return eventBool; }
    bool getErrorBool() const { return errorBool; }
    bool getDescBool() const { return descBool; }
    /// The combined message for the four read flags (empty when none is set).
    QString problemMessage() const;

    // --- reading (calendar/reader.cpp) ---
    /// Reads an iCalendar or vCalendar text into the document; returns the problem message (and
    /// after it, one paragraph each, the notes of getReadNotes()) or "".
    QString setData(const QString& text);
    /// Reads a calendar file's bytes: decodes them (Encoding::decodeCalendar, with @p fallback for
    /// files that are not UTF-8) and reads the text as setData does. Values that name their
    /// character set are then read in it. Returns what setData returns, with a note when bytes
    /// that were not UTF-8 had to be replaced.
    QString setDataFromBytes(const QByteArray& bytes, Encoding::Fallback fallback);
    /// The same, taking the bytes: a large file's pages already read are given back to the system
    /// during the read, so that the file and all its entries are never held at once.
    QString setDataFromBytes(QByteArray&& bytes, Encoding::Fallback fallback);
    /// The same for bytes already decoded (the caller can let go of the bytes first).
    QString setDecodedData(Encoding::CalendarText decoded);
    /// How the last read on this thread went: the pieces its text was read in at once (1: whole)
    /// and how many of them were read again in file order, and how many of the file's bytes were
    /// given back during the read. For tests and benchmarks.
    struct ReadShape
    {
        int pieces = 1;
        int readAgain = 0;
        qsizetype bytesReleased = 0;
    };
    static ReadShape lastReadShape();
    /// What the last read did besides the problem flags, one sentence each: time zones it did not
    /// know, stray bytes it replaced, repeating entries whose zone changes daylight-saving time on
    /// other dates than the user's.
    const QStringList& getReadNotes() const { return readNotes; }
    /// Decodes one quoted-printable value.
    static QString processQuotedPrintablePart(const QByteArray& bytes);

    // --- time zones of the last read (calendar/zoneAdjust.cpp) ---
    const QString& getControlHoursFromGMT() const { return controlHoursFromGMT; }
    const QString& getControlZoneString() const { return controlZoneString; }
    const QString& getAppTimeZone() const { return appTimeZone; }
    void setControlHoursFromGMT(const QString& s) { controlHoursFromGMT = s; }
    void setControlZoneString(const QString& s) { controlZoneString = s; }
    void setAppTimeZone(const QString& s) { appTimeZone = s; }
    CalDate zoneAdjust(const CalDate& d) const;

    // --- repeat rules (formats/repeatRuleTranslation.cpp) ---
    QString vCalRRULEtoiCalRRULE(const QString& vcal) const;
    CalDate timeToCal(const QString& text) const;

    // --- writing (formats/calendarWriter.cpp) ---
    QString createICalString(const EntryList& entries, const QString* calName) const;
    QString createICalString(const EntryList& entries, const QString& calName) const
    {
        return createICalString(entries, &calName);
    }
    /// The same file as UTF-8 bytes, made without the whole text in UTF-16 (large files in pieces).
    QByteArray createICalBytes(const EntryList& entries, const QString* calName) const;
    /// createICalBytes() as parts to be written one after another (a large file is not copied
    /// into one buffer first).
    QList<QByteArray> createICalParts(const EntryList& entries, const QString* calName) const;
    /// createICalBytes() handed to @p sink part by part as each is made; false when it stopped.
    bool createICalTo(const EntryList& entries, const QString* calName,
                      const std::function<bool(const QByteArray&)>& sink) const;
    QString createVCalString() const;
    QString createVCalStringWithData(const EntryList& entries) const;
    /// The same file as its bytes (Mac OS Roman, texts it cannot hold in quoted-printable UTF-8);
    /// empty, with the writer's message in @p message, when a repeat rule has no vCalendar form.
    QByteArray createVCalBytes(const EntryList& entries, QString* message) const;
    /// createVCalBytes() as parts, as createICalParts().
    QList<QByteArray> createVCalParts(const EntryList& entries, QString* message) const;
    /// The mailed invitation calendar: "BEGIN:VCALENDAR\nMETHOD:REQUEST\n" ... "END:VCALENDAR".
    QString createInvitationString(const EntryList& entries, const QList<invitee>& invitees, const QString& theOrg,
                                   const QString& theEmail) const;

    // --- expansion (formats/repeatList.cpp) ---
    EntryList getTheFullExpandedRepeats() const;
    bool containsRepeats() const;
    void setAllEventsExpaned(const EntryList& list) { allEventsExpanded = list; }
    const EntryList& getAllEventsExpanded() const { return allEventsExpanded; }

    // --- sorting (text/theSorter.cpp) ---
    void sortStart();
    void sortEnd();
    void sortSummary();

    // --- date and time recognition (text/recognition.cpp) ---
    QStringList regex(const QString& text, const QString& pattern) const;
    static QString removePunc(const QString& text);
    static QString removeThNdSt(const QString& text);
    /// The date phrases of @p text, found with its time phrases blanked out (a time's digits
    /// are no year or date).
    QStringList returnDatesInString(const QString& text) const;
    QStringList returnTimeInString(const QString& text) const;
    /// Both at once, finding the time phrases once; either pointer may be null.
    void returnDatesAndTimes(const QString& text, QStringList* dates, QStringList* times) const;
    CalDate returnCalendarDate(const QString& phrase) const;
    CalDate returnCalendarTime(const QString& phrase) const;
    CalDate returnTCDate(const QString& field) const;

    // --- clipboard guessing (text/clipboardGuess.cpp) ---
    void processDateString(const QString* text);
    void processDateString(const QString& text) { processDateString(&text); }

    // --- delimited import (text/delimitedImport.cpp) ---
    /// At most this many records are read from one delimited text.
    static constexpr int kMaxCommaTabRows = 5'000'000;
    /// Splits @p text into records and fields. A record with nothing but blanks and delimiters
    /// (an empty line, the end of a text that ends in a line end, ",,,,") is no record. Fields are
    /// kept as spans of one copy of the text until an entry is made from them. With a delimiter
    /// other than a tab, a field may be quoted as RFC 4180 says; with a tab, quotes stay in the
    /// fields, except in a field quoted with doubled quotes inside ("""Q1"" review").
    /// Returns false when the text holds more than kMaxCommaTabRows records: the first
    /// kMaxCommaTabRows are kept and getCommaTabRowLimitReached() tells.
    bool processCT(const QString& text, const QString& limiter);
    /// Every record's fields (built on each call: for previews and tests).
    QList<QStringList> getCommaTabData() const;
    int getCommaTabRowCount() const;
    /// The fields of one record; empty for a row that does not exist.
    QStringList getCommaTabRow(int row) const;
    int getCommaTabDataItemCount(int row) const;
    int getCommaTabDataMax() const { return commaTabDataMax; }
    bool getCommaTabRowLimitReached() const;
    /// The order of day, month and year in the date fields ("DMY", "MDY", "YMD"); empty (the
    /// default) means the user's short date format. A given order also reads "." between the
    /// numbers, as European spreadsheets write them.
    void setCommaTabDateOrder(const QString& ordering) { commaTabDateOrder = ordering; }
    /// A column order from a heading record ("Subject", "Start Date", ... as Outlook and Google
    /// export them): every heading columnOrderFromText() knows takes its column, any other is
    /// skipped and listed in @p ignored. Empty when no heading is known.
    static ColumnOrder columnOrderFromHeading(const QStringList& headings, QStringList* ignored = nullptr);
    /// Makes one entry from row @p row and appends it to the pending list. Safe on a worker
    /// thread while another thread reads pendingCount().
    QString makeEntryWithSeparated(int row, const ColumnOrder& order);
    const EntryList& getPendingEntries() const { return pendingEntriesToAdd; }
    int pendingCount() const { return pendingProgress.loadAcquire(); }
    /// Makes the entries of every row in order, stopping between rows once @p cancel is non-zero;
    /// returns the number made. Same threading contract as makeEntryWithSeparated.
    int makeAllEntriesWithSeparated(const ColumnOrder& order, const QAtomicInt* cancel = nullptr);
    /// Empties the rows (a cancelled column-order sheet).
    void clearCommaTabData();
    /// Drops the entries made from rows and not joined (a cancelled record loop), so that the next
    /// import does not join them.
    void clearPendingData() { takePendingData(); }
    /// Moves the entries made from rows and not joined out of the document (which has none after),
    /// for the caller to free where it likes.
    EntryList takePendingData()
    {
        pendingProgress.storeRelease(0);
        return std::exchange(pendingEntriesToAdd, EntryList());
    }
    /// Moves the split rows out of the document (which has none after), as clearCommaTabData()
    /// empties them, for the caller to free where it likes.
    std::shared_ptr<struct CommaTabRows> takeCommaTabData()
    {
        commaTabDataMax = 0;
        commaTabParsed.reset();
        return std::exchange(commaTabData, nullptr);
    }
    /// Drops the first row (a header line of column titles); false when there are no rows.
    bool dropCommaTabHeader();
    /// A column order from titles or codes separated by commas ("Summary,Start Date,Start Time"
    /// or "4,1,0"); "-", "skip", "ignore", an empty item or any other number skips that column.
    /// Titles ignore case, spaces, hyphens and underscores; "Subject" is the summary and
    /// "Location" (code 6) the location, as spreadsheets and mail programs name them. An unknown
    /// title gives an empty order and sets @p error.
    static ColumnOrder columnOrderFromText(const QString& text, QString* error);

    // --- list output (text/listExport.cpp) ---
    /// The readable list of every entry and occurrence, day by day; lines end in LF.
    QString textOutput() const;
    /// The readable list of @p items (entries and occurrences, ordered by start), then
    /// @p warnings (the expander's, CR or LF separated).
    QString textOutputOf(const EntryList& items, const QString& warnings) const;
    /// One line per entry (blank entries give none), ordered by start, ended by CR LF. Line
    /// breaks in texts become one space; comma-list fields holding a double quote are quoted
    /// (RFC 4180); years have four digits, so that the list reads back whatever the century.
    QString theTabOut(const EntryList& entries, const QStringList& columns) const;
    QString theCommaOut(const EntryList& entries, const QStringList& columns) const;
    struct ListOptions
    {
        bool heading = false; ///< a first line names the columns (columnTitle(), then "Description")
        bool sortByStart = true; ///< false: the entries in the order given
    };
    QString theTabOut(const EntryList& entries, const QStringList& columns, const ListOptions& options) const;
    QString theCommaOut(const EntryList& entries, const QStringList& columns, const ListOptions& options) const;
    /// The UTF-8 bytes of theTabOut() (@p tabs) or theCommaOut() of the entries at @p rows of
    /// @p expansion, without making the copies among them.
    QByteArray delimitedListBytes(const repeatList& expansion, QList<qsizetype> rows, const QStringList& columns,
                                  bool tabs, const ListOptions& options) const;
    /// delimitedListBytes() as parts, as createICalParts().
    QList<QByteArray> delimitedListParts(const repeatList& expansion, QList<qsizetype> rows,
                                         const QStringList& columns, bool tabs, const ListOptions& options) const;
    /// delimitedListBytes() handed to @p sink part by part, as soon as each is made (the other
    /// cores go on making the next ones); false when the sink stopped.
    bool delimitedListTo(const repeatList& expansion, QList<qsizetype> rows, const QStringList& columns, bool tabs,
                         const ListOptions& options, const std::function<bool(const QByteArray&)>& sink) const;
    /// The title of a delimited-list column ("Start Time" for "startTime"), as the import reads it.
    static QString columnTitle(const QString& identifier);
    static QString removeLeadZero(const QString& text);

    // --- calendar application bridge (bridges/) ---
    /// Titles of the calendar application's calendars, in its own order, followed by those of
    /// the calendar source (CalDAV, bridges/calendarSources.h) when one is installed.
    QStringList theAvailableCalendars() const;
    /// The calendar application's titles alone (possibly empty).
    static QStringList calendarAppTitles();
    /// True when a calendar of that title exists now; refreshes getTheCalArray() when not.
    bool calListOK(const QString& title);
    /// True when @p title names a calendar of the calendar source, not of the calendar
    /// application (which keeps every title it has).
    static bool isSourceCalendar(const QString& title);
    /// The data file of the calendar of that title, or "" when there is none.
    QString getCalendar104Path(const QString& title) const;
    /// Appends the document's entries to a calendar's data file ("theCalendar", "sort", and for
    /// invitations "theInvitees", "theOrg", "theEmail"); true when the file was written. A
    /// calendar of the calendar source gets one new resource per entry: true when every entry
    /// went in, otherwise getAppendReport() says what did and what did not.
    bool appendEntryToiCalFile(const QVariantMap& parameters);
    /// What the last append to a calendar of the calendar source reported ("" when all went in).
    const QString& getAppendReport() const { return appendReport; }
    /// Routes dropped or opened files to the readers, in order; @p sender carries the drag's
    /// text for text clippings (may be null).
    DropOutcome processDroppedFileArray(const QStringList& paths, const QMimeData* sender);
    void processADroppedFile(const QString& path, DropOutcome* outcome);
    /// Sends the quit request to every running calendar application; true when one was running
    /// (the caller starts it again after the append with relaunchCalendarApp()).
    static bool quitCalendarApp();
    static void relaunchCalendarApp();
    /// "To iCal" whole: quits the calendar application, appends (waiting at most 15 seconds for
    /// it to go), starts it again when it was running; true when the file was written.
    bool exportToCalendarApp(const QVariantMap& parameters);

    // --- mail bridge (bridges/) ---
    /// The program registered for "mailto:" links (on macOS the application's name without its
    /// extension, "Mail"; on Linux the program of the handler's desktop file, "thunderbird");
    /// "error" when there is none.
    static QString getDefaultMailApp();
    /// "Send File": the whole calendar attached to a new message of the user's mail program.
    /// Returns the message for the user, "" on success.
    QString sendCalendarToMail();
    /// The invite sheet's "Mail": the invitation for the entries attached to a new message to
    /// the invitees and, when "iCalTick" is on, appended to the calendar "selectedCal".
    /// @p parameters: "theInvitees" (QVariant::fromValue(QList<invitee>)), "theOrg", "theEmail",
    /// "selectedCal", "iCalTick" (bool), "ict". Returns the message for the user, "" on success.
    QString mailWindowMail(const QVariantMap& parameters);

    // --- source, calendars, column order ---
    void setTheFileSource(const QString& path) { theFileSource = path; }
    const QString& getTheFileSource() const { return theFileSource; }
    QString getCalName() const;
    void setTheController(void* controller) { theController = controller; }
    void setCalArray(const QStringList* list);
    const QStringList& getTheCalArray() const { return theCalArray; }
    void addCalArrayObject(const QString& name) { theCalArray.append(name); }
    void setDirectiCalImport(bool b) { directiCalImport = b; }
    bool getDirectiCalImport() const { return directiCalImport; }
    const ColumnOrder& getCommaTabDataOrder() const { return commaTabDataOrder; }
    void setCommaTabDataOrder(const ColumnOrder& order) { commaTabDataOrder = order; }
    /// Stores @p order under "commataborder".
    static void saveColumnOrder(const ColumnOrder& order);
    static ColumnOrder defaultColumnOrder();
    void setCalVersion(int v) { calVersion = v; }
    int getCalVersion() const { return calVersion; }

    // --- user formats ---
    const QString& getShortDateFormat() const { return shortDateFormat; }
    const QString& getShortDateFormatSeparator() const { return shortDateFormatSeparator; }
    const QString& getLongDateFormat() const { return longDateFormat; }
    const QString& getShortTimeFormatSeparator() const { return shortTimeFormatSeparator; }
    const QString& getUserTimeFormat() const { return userTimeFormat; }
    const QStringList& getAmAndPmArray() const { return amAndPmArray; }
    /// "%H" separator "%M".
    QString getTimeFormatter() const;
    QString getCodedShortDateFormat() const;
    QString getDateFormatter() const { return getCodedShortDateFormat(); }
    QString getLongDateFormatter() const;
    QString getLongTimeFormatter() const;
    QString getLongTimeFormatterNoSecString() const;
    /// The user's names and formats for readable output.
    QVariantMap systemDefinedLocale() const;
    /// The user's month, weekday and AM/PM names.
    const DateNames& dateNames() const { return names; }

private:
    friend class calendarReader;
    QString readText(const QString& text, bool singleByte, Encoding::Fallback encoding);
    /// @p message with the notes of the last read after it.
    QString withNotes(QString message) const;
    QStringList readNotes;

    /// The date phrases of a text whose time phrases are blanked out (text/recognition.cpp).
    QStringList datesIn(const QString& withoutTimes) const;

    QString rawInputString;
    EntryList theData;
    EntryList theRecObjects;
    QString userTimeFormat;
    QString theFileSource;
    QStringList theCalArray;
    QString appendReport;
    ColumnOrder commaTabDataOrder;
    EntryList pendingEntriesToAdd;
    /// The records of the last delimited text, as spans of one copy of it (text/delimitedImport.cpp).
    std::shared_ptr<struct CommaTabRows> commaTabData;
    QString commaTabDateOrder;
    QString shortDateFormat;
    QString shortDateFormatSeparator;
    QString longDateFormat;
    QString shortTimeFormat;
    QString shortTimeFormatSeparator;
    QStringList theProblemEntries;
    QStringList amAndPmArray;
    QString controlHoursFromGMT;
    QString controlZoneString;
    bool directiCalImport = false;
    bool importCancel = false;
    QString appTimeZone;
    EntryList allEventsExpanded;
    void* theController = nullptr;
    bool todoBool = false;
    bool eventBool = false;
    bool errorBool = false;
    bool alertWindow = false;
    bool descBool = false;
    int OS102 = 1, OS103 = 1, OS104 = 1;
    int commaTabDataMax = 0;
    /// Dates and times already read from delimited fields during this import (text/delimitedImport.cpp).
    std::shared_ptr<struct CommaTabParseCache> commaTabParsed;
    int calVersion = 0;
    QAtomicInt pendingProgress;
    DateNames names;
};
