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
};
