#pragma once

#include <QIODevice>
#include <QStringList>

/// tidewell-cli over the core. @p args excludes the program name. Streams are injectable so tests
/// can run commands in-process. Exit status: 0 success, 1 the calendar could not be exported as
/// asked (validation failed, a repeat rule vCalendar cannot hold), 2 usage errors and files that
/// cannot be read or written.
int runCli(const QStringList& args, QIODevice* in, QIODevice* out, QIODevice* err);
