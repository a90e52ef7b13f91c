#pragma once

// What the commands of tidewell-cli share: the streams, formats, reading inputs into a document
// and writing the document out. Each command lives in a file of its own and is listed once in
// Cli.cpp.

#include "calendar/aCalendar.h"

#include <QCommandLineParser>
#include <QHash>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

class addressControl;

namespace cli
{
enum class Format { None, ICal, VCal, Csv, Tab, Text };

extern const QStringList kOutputColumns;
extern const QStringList kDefaultOutputColumns;

// Exit statuses.
constexpr int kOk = 0;
constexpr int kExportFailed = 1;
constexpr int kUsage = 2;

/// The command's streams: data to out, diagnostics to err.
class Session
{
public:
    Session(QIODevice* in, QIODevice* out, QIODevice* err)
        : m_in(in)
        , m_out(out)
        , m_err(err)
    {
    }

    void error(const QString& text);
    /// Reports "tidewell-cli: TEXT" and returns the usage status.
    int usage(const QString& text);
    /// Reads a file, or standard input for "-"; reports and returns false when it cannot.
    bool readInput(const QString& path, QByteArray* bytes);
    /// Writes the whole output at once; a file is replaced only when complete. Reports and
    /// returns false when any byte could not be written (standard output included).
    bool writeOutput(const QString& path, const QByteArray& bytes);
    bool writeOutput(const QString& path, const QList<QByteArray>& parts);
    /// The same for an output that @p produce hands part by part to the function it is given
    /// (which returns false once a write failed): a file takes each part as it comes.
    bool writeOutput(const QString& path,
                     const std::function<bool(const std::function<bool(const QByteArray&)>&)>& produce);
    QIODevice* in() const { return m_in; }
    QIODevice* out() const { return m_out; }
    QIODevice* err() const { return m_err; }
    /// Remembers that @p entries came from @p path (as the user named it), for problem rows.
    void noteSource(const EntryList& entries, qsizetype from, const QString& path);
    /// "FILE:LINE" (or "FILE" for entries without a line) of an entry read by readInto; "" otherwise.
    QString sourceOf(const dataEntry& entry) const;

private:
    QHash<const dataEntry*, QString> m_sources;
    QIODevice* m_in;
    QIODevice* m_out;
    QIODevice* m_err;
};

Format formatFromName(const QString& name);
Format inputFormatFromPath(const QString& path);
Format outputFormatFromPath(const QString& path);

/// Reads one input into the document; returns false (after reporting) when it cannot be read
/// or is not a calendar. What the reader dropped or noticed is reported on standard error as
/// "warning: FILE: ...".
bool readInto(Session& s, aCalendar& doc, const QString& path, Format format, const ColumnOrder& order,
              bool skipHeader);
struct DelimitedOptions;
/// The same, with every option of delimited input (CliOptions.h).
bool readInto(Session& s, aCalendar& doc, const QString& path, Format format, const DelimitedOptions& delimited);

struct OutputOptions
{
    Format format = Format::None;
    QString path;
    bool expand = false;
    QStringList columns = kDefaultOutputColumns;
    /// Write the entries that can be written and leave out (listing them) those that cannot.
    bool skipInvalid = false;
    bool heading = false; ///< comma and tab lists begin with a row of column titles
    QString sort; ///< "start", "end" or "summary": the order of comma and tab lists (empty: start)
    CalDate since; ///< expanded rows starting before this are left out
    CalDate untilExclusive; ///< expanded occurrences starting at or after this are left out
};

/// Validates the document and writes it as @p o asks; returns the exit status. Entries that cannot
/// be written (start and end that do not fit together, a repeat rule vCalendar 1.0 cannot hold)
/// are listed as "FILE:LINE: row N: SUMMARY: REASON"; nothing is written unless o.skipInvalid,
/// which writes the others and says how many were left out.
int writeDocument(Session& s, aCalendar& doc, const OutputOptions& o);

/// Output options shared by every command that writes a calendar.
void addOutputOptions(QCommandLineParser& p);
bool outputOptions(Session& s, const QCommandLineParser& p, Format fallback, OutputOptions* o, int* status);

/// The parser's help with "COMMAND [options]" in the usage line.
QString helpText(QCommandLineParser& p, const QString& command);

/// "Name <address>" or a bare address; false when there is no usable address.
bool parsePerson(const QString& text, QString* name, QString* address);

/// Address-book options shared by the commands that read it (ContactsCommand.cpp).
void addAddressBookOptions(QCommandLineParser& p);
/// Reads the address book the options name (else the user's) into @p control; what could not
/// be read is reported on standard error as a warning.
void readAddressBook(Session& s, const QCommandLineParser& p, addressControl* control);

// The commands: arguments after the command's name; the result is the exit status.
int convertCommand(Session& s, const QStringList& args);
int guessCommand(Session& s, const QStringList& args);
int inviteCommand(Session& s, const QStringList& args);
int contactsCommand(Session& s, const QStringList& args);
int calendarsCommand(Session& s, const QStringList& args);
int mailCommand(Session& s, const QStringList& args);
int accountCommand(Session& s, const QStringList& args);

// CalDAV accounts (AccountCommand.cpp).
/// --password-stdin, for the commands that may reach a CalDAV calendar.
void addPasswordOption(QCommandLineParser& p);
/// Reads the password from standard input when --password-stdin is set; false (with @p status)
/// when it cannot, or when standard input is one of the inputs (@p stdinIsInput).
bool takePasswordOption(Session& s, const QCommandLineParser& p, bool stdinIsInput, int* status);
/// Reports, one a line, the accounts whose calendars could not be found and why; false when
/// there were none.
bool reportAccountProblems(Session& s);

// The calendar application's calendars (CalendarsCommand.cpp).
/// True when the calendar application has a calendar of that title; reports the window's
/// "calendar list has changed" text when not.
bool calendarKnown(Session& s, aCalendar& doc, const QString& title);
/// Reads the data file of that calendar into the document, as the window's "From iCal" does.
bool readCalendarInto(Session& s, aCalendar& doc, const QString& title);
/// Validates the document and appends its entries to that calendar, as "To iCal" does.
int appendToCalendar(Session& s, aCalendar& doc, const QString& title);
int infoCommand(Session& s, const QStringList& args);
} // namespace cli
