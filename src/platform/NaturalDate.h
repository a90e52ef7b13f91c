#pragma once

#include "CalDate.h"

#include <QString>
#include <QTimeZone>
#include <QVariantMap>

/// What the lenient parser needs to know about the user: the order in which day, month and year
/// are written and the names of months, weekdays and AM/PM. A value is plain data and can be used
/// from any thread; build it once (from the document or the defaults) and reuse it.
struct NaturalDateSettings
{
    /// Letters D, M and Y in writing order, optionally followed by H ("MDYH", "DMYH", "YMDH").
    QString ordering = QStringLiteral("MDYH");
    /// The separator of the user's short date ("/" in "%m/%d/%y", "." in "%d.%m.%Y").
    QChar dateSeparator = QLatin1Char('/');
    /// The separator of the user's time ("." in "%H.%M.%S"); with "." it also separates seconds.
    QChar timeSeparator = QLatin1Char(':');
    /// The user's names. English month, weekday and AM/PM names are always accepted as well.
    DateNames names;
    /// Zone of the result; an invalid zone means Zones::local() at the moment of the call.
    QTimeZone zone;

    /// Reads NSShortDateFormatString and the name arrays from UserDefaults::standard().
    /// QSettings is involved: call it on the main thread, then hand the value to workers.
    static NaturalDateSettings fromUserDefaults();
    /// Settings for a short date format, given with codes ("%d.%m.%Y") or reduced ("d.m.y"), and the
    /// time separator (the document's getShortDateFormat(), dateNames(), getShortTimeFormatSeparator()).
    static NaturalDateSettings fromShortDateFormat(const QString& shortDateFormat, const DateNames& names,
                                                   const QString& timeSeparator = QStringLiteral(":"));
    /// "DMYH" for "%d.%m.%Y" or "d.m.y"; "MDYH" when the format names no day, month and year.
    static QString orderingOfFormat(const QString& shortDateFormat);
};

/// The platform's date parsers: a strict one (by calendar format) and a lenient one that reads
/// dates and times as people, spreadsheets and mail programs write them.
///
/// The lenient parser accepts, in any letter case:
///   - three numbers separated by "/", "-", the user's date separator, or "." (the dot only with a
///     four-digit year or when it is the user's separator), in the user's day/month/year order;
///     a four-digit first number means year-month-day ("2006-12-05", "2006/12/05");
///   - month names and abbreviations of the user's language and of English, with or without an
///     ordinal ("5th December 2006", "December 5, 2006", "5-Dec-06", "5. Dezember 2006",
///     "the 5th of December"), weekday names in front are skipped;
///   - a time of day: "9:30", "9:30:00 AM", "9.30pm", "21:30", "21.30", "3 pm", "noon", "midnight",
///     ISO "T14:30:00", optionally followed by "Z", "UTC", "GMT" or an offset ("+0100", "-05:00"),
///     in which case the instant is converted to the result zone;
///   - "today", "tomorrow", "yesterday";
///   - a date and a time in either order, with "at", "on", "of", "the" and the German "am", "um",
///     "Uhr" between them.
/// Results:
///   - a date without a time is at 00:00; a time without a date is on today's date (Clock::now());
///   - a date without a year takes the current year (Clock::now()); two-digit years go to the
///     century that puts them at most 20 years after the current year;
///   - a text without a day ("December 2006", "2006"), an impossible date ("32/13/2006",
///     "29 February 2007"), an impossible time, any other word, extra numbers, or more than
///     one date or time give a null date. The parser never guesses from unrelated digits.
/// Time is linear in the text's length; texts longer than 256 characters are not dates.
namespace NaturalDate
{
/// Strict parse by calendar format (see CalDate::parse), in the local zone.
CalDate dateWithString(const QString& text, const QString& calendarFormat, const DateNames* names = nullptr);

/// Lenient parse with the user's settings (reads UserDefaults: main thread only).
CalDate dateWithNaturalLanguageString(const QString& text);
/// Lenient parse with the day/month/year order of @p locale's "NSDateTimeOrdering" entry
/// (e.g. "DMYH"); names come from the user's settings. Main thread only.
CalDate dateWithNaturalLanguageString(const QString& text, const QVariantMap& locale);

/// Lenient parse with explicit settings; safe on any thread.
CalDate parse(const QString& text, const NaturalDateSettings& settings);
} // namespace NaturalDate
