#pragma once

#include "calendar/dataEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

/// Expands repeating entries into their single occurrences for list output.
///
/// The result keeps the given entries (the same objects), follows each repeating entry with one
/// copy per further occurrence of its rule and of its extra dates (RDATE); an override entry takes
/// the place of the occurrence it replaces, the first one included (matched by day for all-day
/// series, by day and time otherwise),
/// adds one copy per further day of every entry that spans several days, and is sorted by start.
/// Copies share the unchanged texts of their source and live only in the result list.
///
/// Rules are read in the iCalendar grammar: FREQ first, then INTERVAL, COUNT, UNTIL, BYDAY,
/// BYMONTHDAY, BYMONTH and WKST in any order. UNTIL is read as a whole day in the local zone
/// (its time and any "Z" are ignored). A rule without COUNT and UNTIL runs up to the horizon, the
/// start of the last entry given, and adds a warning. Rules from files are untrusted: each entry
/// gives at most kMaxOccurrences occurrences, and the whole result at most kMaxCopies copies;
/// beyond that a warning is added and the rest is left out.
///
/// Usage:
/// \code
///   repeatList expanded(document.getTheData());
///   const EntryList& rows = expanded.getDataArray();
///   const QString warnings = expanded.getWarningString(); // "" or "\r\r" + warnings
/// \endcode
class repeatList
{
public:
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzz builds run under sanitizers at a fraction of the speed: smaller limits keep each input
    // well under the fuzzer's time limit while still reaching the code that enforces them.
    static constexpr int kMaxOccurrences = 1000;
    static constexpr qsizetype kMaxCopies = 5000;
#else
    static constexpr int kMaxOccurrences = 100000;
    static constexpr qsizetype kMaxCopies = 1000000;
#endif

    /// initWithCalData: copies the list, empties the warnings and expands.
    explicit repeatList(const EntryList& entries);

    /// The expansion as entries. Copies are made on the first call (a list writer that needs only
    /// their dates and texts reads row() instead and never makes them); not for concurrent first
    /// calls.
    const EntryList& getDataArray() const;

    /// One row of the expansion without making its entry: the dates getFullStartTime() and
    /// getFullEndTime() of the entry getDataArray() holds there, whether that entry has neither a
    /// start nor an end time, and an entry with its texts (summary, notes, description, rule).
    struct Row
    {
        const dataEntry* texts = nullptr;
        CalDate start;
        CalDate end;
        bool noTimes = false;
        bool notBlank = false; ///< notBlankLine() of the row's entry
    };
    qsizetype size() const { return m_occurrences.size(); }
    Row row(qsizetype i) const;
    /// The given entry or override at row @p i; null for a copy (made only by getDataArray()).
    const EntryPtr& entryAt(qsizetype i) const { return m_occurrences.at(i).entry; }
    /// startSeconds1970() of the entry at row @p i.
    double startSeconds(qsizetype i) const;
    /// Empty when there are no warnings, otherwise "\r\r" followed by the warnings, each ended
    /// by "\r\r".
    QString getWarningString() const;

    /// The whole-list expansion (run by the constructor).
    void expandRepeatDates();
    /// The further occurrences of one repeating entry (not the entry itself), in time order.
    /// @p until is the horizon of rules without COUNT and UNTIL; a null horizon gives the least
    /// each frequency makes.
    EntryList expandRRULEDatesUntil(const EntryPtr& entry, const CalDate& until);
    /// The day (Julian day number) of the last occurrence of @p entry's COUNT, found on the rule's
    /// days without making copies; 0 when the rule has no COUNT, none after the start, or more
    /// than kMaxOccurrences.
    static qint64 lastCountedDay(const dataEntry& entry);
    /// A new entry carrying the dates, times, summary, notes, check mark, sequence, DTSTART, DTEND,
    /// UID, description, repeat rule and exception dates of @p entry (shared, not rebuilt), with
    /// its duration and stamp recomputed. Other properties are not carried.
    EntryPtr copyTheEntry(const dataEntry& entry) const;

    /// True when @p a falls on the same calendar day as @p b or later (each taken in its own zone).
    static bool isDate(const CalDate& a, const CalDate& b);
    static int stringInString(const QString& text, const QString& part);

    static QString dailyWarning();
    static QString weeklyWarning();
    static QString monthlyWarning();
    static QString yearlyWarning();
    static QString tooManyWarning();

private:
    struct CopyMaker;
    /// A row: an entry (given, an override, or a copy with a time of its own), or a copy of the
    /// source of maker @c maker starting on day @c jd at the source's clock time, made on demand.
    struct Occurrence
    {
        EntryPtr entry;
        qint32 jd = 0; // dates stay within years -9999 to 99999: a few million days from day 0
        qint32 maker = -1;
    };
    /// The list being built, with each row's start (seconds since 1970) and whole days.
    struct Work
    {
        QList<Occurrence> list;
        QList<double> keys;
        QList<int> days;
        void append(EntryPtr e, double key, int wholeDays);
        void appendCopy(qint32 maker, qint64 jd, double key, int wholeDays);
    };
    EntryPtr makeCopy(const Occurrence& o) const;
    /// A maker of copies of @p source, kept for the rows; returns its number.
    qint32 newMaker(const dataEntry& source);

    void addWarning(const QString& text);
    /// Appends the occurrences of @p entry (its rule's and its extra dates') to @p work; returns the
    /// override that replaces the entry's own first occurrence, if any.
    EntryPtr expandEntry(const dataEntry& entry, const CalDate& until, Work& work);
    /// The days after the start on which the rule repeats, in time order.
    void ruleDays(const dataEntry& entry, const CalDate& until, QList<qint64>& days);
    /// Appends one copy per further day of @p entry, which lasts @p days whole days.
    void addDayCopies(const dataEntry& entry, int days, Work& work);
    bool takeBudget(qsizetype n);
    /// An empty list that expands pieces of another's entries, with @p stamp as their DTSTAMP.
    struct ForPiece
    {
    };
    repeatList(ForPiece, const QString& stamp);
    /// The occurrences of the given entries [0, @p count) of @p work expanded on all cores and
    /// appended as the loop in file order would append them; false (nothing changed) where that
    /// cannot be (the copies would run out of room: which entries get them depends on the order).
    bool expandInPieces(Work& work, qsizetype count, const CalDate& horizon);

    QList<Occurrence> m_occurrences;
    QList<double> m_keys; // the rows' starts, as sorted
    std::vector<std::shared_ptr<CopyMaker>> m_makers; // shared: a repeatList stays copyable
    mutable EntryList theRepeatArray;
    mutable bool m_made = false;
    QString theWarningString;
    QString m_stamp;
    qsizetype m_budget = kMaxCopies;
    bool m_budgetRefused = false;
    QStringList m_warningsAdded; // each warning text once, in the order added
};
