#pragma once

#include "calendar/dataEntry.h"

#include <QString>
#include <QTimeZone>

/// The values every block of one write shares: the local zone and its name, and the offset in force
/// at the moment of writing. Looking them up once per write instead of once per entry is most of
/// what makes large calendars quick to write; the local zone cannot change halfway through a file.
struct dataEntry::WriteContext
{
    /// Takes the local zone and the present moment (Clock) now.
    static WriteContext current();

    QTimeZone local;
    /// The local zone's identifier, as TZID parameters name it.
    QString localId;
    /// The present moment's offset as its "%z" text reads: signed hours and unsigned minutes
    /// (-0330 is -3 and 30).
    int nowHours = 0;
    int nowMinutes = 0;
    /// Room to fold long lines in, reused from entry to entry.
    mutable QString scratch;
    /// Room to decode the texts kept as UTF-8 in.
    mutable QString text;
};

/// Pieces the calendar writers and the invitation blocks share (formats/dataEntrySerialise.cpp).
namespace writerParts
{
/// Removes from @p out, from @p from on, the control characters RFC 5545 forbids in property
/// values (U+0000 to U+001F but tab, CR and LF, and U+007F); peers drop lines that hold them.
void stripControlCharacters(QString& out, qsizetype from);
/// An iCalendar TEXT value: backslashes doubled, every CR and every LF as backslash-n.
void appendEscapedText(QString& out, QStringView text);
/// The EXDATE and RDATE lines of @p entry, each ended by @p lineEnd: dates (VALUE=DATE) for an
/// all-day entry, date-times in the local zone for a timed one.
void appendDateLists(QString& out, const dataEntry& entry, const QString& localId, QStringView lineEnd);
/// The RECURRENCE-ID line of an override, ended by @p lineEnd; nothing for another entry.
void appendRecurrenceId(QString& out, const dataEntry& entry, const QString& localId, QStringView lineEnd);
} // namespace writerParts
