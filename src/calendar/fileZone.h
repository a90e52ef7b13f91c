#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <limits>

/// The offsets that a calendar file's own VTIMEZONE component describes: its STANDARD and DAYLIGHT
/// observances, each with its offsets and its onsets (DTSTART, a yearly RRULE, RDATE values).
/// The reader falls back on it for TZIDs that the zone database does not know, such as Outlook's
/// "Pacific Time (US & Canada), Tijuana" or "(UTC-03:00) Brasília".
///
/// Times are seconds since 1970-01-01 00:00:00; a "wall" time is a clock reading counted the same
/// way as if it were UTC.
class FileZoneRules
{
public:
    /// Reads the unfolded property lines between BEGIN:VTIMEZONE and END:VTIMEZONE (the BEGIN and
    /// END lines of the observances included). @p tzid receives the component's TZID.
    static FileZoneRules fromLines(const QList<QStringView>& lines, QString* tzid);

    /// True when no observance could be read (the rules then say nothing).
    bool isEmpty() const { return m_observances.isEmpty(); }
    /// Offset from UTC in seconds in force at @p utc.
    int offsetAt(qint64 utc) const;
    /// The instant at which the zone's clock reads @p wall. A reading that does not exist (a
    /// daylight-saving gap) moves forward by the gap; a reading that occurs twice gives the first.
    qint64 instantForWall(qint64 wall) const;

private:
    struct Observance
    {
        qint64 startWall = 0; // DTSTART, on the clock before the change
        int offsetFrom = 0;
        int offsetTo = 0;
        bool yearly = false;
        int month = 0; // 1-12; 0: DTSTART's month
        int weekday = 0; // 1 (Monday) to 7; 0: none
        int nth = 0; // 1..5 from the start of the month, -1..-5 from its end; 0: none
        QList<int> monthDays;
        qint64 untilUtc = std::numeric_limits<qint64>::max();
        int count = 0; // 0: none
        QList<qint64> rdateWall;
    };

    /// The latest onset of @p o at or before @p utc, as an instant; false when there is none.
    static bool latestOnset(const Observance& o, qint64 utc, qint64* onset);
    static bool onsetInYear(const Observance& o, int year, qint64* wall);

    QList<Observance> m_observances;
};
