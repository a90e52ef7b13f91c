#pragma once

#include <QByteArray>
#include <QString>

/// Byte-to-text decisions for files that anybody wrote.
namespace Encoding
{
enum class Fallback {
    MacRoman, ///< vCalendar files from organiser desktops
    Windows1252, ///< delimited text from spreadsheets
};

/// True when @p bytes are well-formed UTF-8.
bool isValidUtf8(const QByteArray& bytes);
/// True when @p bytes hold "BEGIN:VCALENDAR" or "BEGIN:VEVENT" in ASCII letters of any case; any
/// text decoded from such bytes holds it too.
bool holdsCalendarMarker(const QByteArray& bytes);

/// Decodes @p n bytes of well-formed UTF-8 into @p out, which has room for @p n units: the units
/// written, or -1 when the bytes are not well-formed UTF-8. A piece of a text that starts and ends
/// on a character decodes to the same units as it does within the whole.
qsizetype decodeUtf8Piece(const char* bytes, qsizetype n, char16_t* out);
/// True when decodeUtf8Piece() decodes these bytes.
bool isValidUtf8Piece(const char* bytes, qsizetype n);

/// A byte-order mark selects UTF-8 or UTF-16 (LE/BE) and is dropped; otherwise UTF-8 when the bytes
/// are valid UTF-8, else the fallback single-byte encoding. Never fails.
QString decode(const QByteArray& bytes, Fallback fallback);

/// UTF-8, skipping a leading byte-order mark; invalid sequences become U+FFFD.
QString decodeUtf8(const QByteArray& bytes);

QString decodeMacRoman(const QByteArray& bytes);
QString decodeWindows1252(const QByteArray& bytes);

/// UTF-8 bytes of @p text, the same as QStringView::toUtf8() (large texts converted in pieces at once).
QByteArray toUtf8(QStringView text);
/// Appends the UTF-8 bytes of @p text to @p out (the bytes toUtf8() gives).
void appendUtf8(QByteArray& out, QStringView text);

/// @p text as UTF-8 in a buffer of its size (toUtf8() leaves room for three bytes a character),
/// for texts kept as UTF-8 for long. Nothing is lost: a surrogate that is not half of a pair, which
/// UTF-8 has no form for, is kept in three bytes of its own, as the pairs' halves would be.
QByteArray compactUtf8(QStringView text);
/// Decodes @p n bytes compactUtf8() made into @p out (room for @p n units): the units written, or
/// -1 when the bytes are not such UTF-8.
qsizetype decodeKeptUtf8(const char* bytes, qsizetype n, char16_t* out);
/// The text compactUtf8() was given.
QString fromKeptUtf8(const QByteArray& bytes);

/// Mac OS Roman bytes; a character Mac OS Roman cannot hold becomes "?".
QByteArray encodeMacRoman(const QString& text);
/// True when every character of @p text has a Mac OS Roman byte (line breaks and ASCII included).
bool fitsMacRoman(QStringView text);

/// A calendar file's text and how its bytes were read.
struct CalendarText
{
    QString text;
    /// The single-byte encoding used when the bytes were not UTF-8 (or UTF-16); false otherwise.
    bool singleByte = false;
    Fallback singleByteEncoding = Fallback::MacRoman;
    /// Bytes that were not UTF-8 in an otherwise UTF-8 file; each became U+FFFD.
    qsizetype replacedBytes = 0;
};

/// Decodes a calendar file. A byte-order mark selects UTF-8 or UTF-16. Otherwise the text is UTF-8
/// when it is UTF-8 once line folds that split a character are joined (writers may fold in the
/// middle of a character's bytes), or when it is UTF-8 but for a few stray bytes, which are
/// replaced and counted; a file with more stray bytes than UTF-8 characters is read in the
/// fallback encoding. Never fails.
CalendarText decodeCalendar(const QByteArray& bytes, Fallback fallback);

/// Bytes of @p text in a single-byte fallback encoding, the exact inverse of its decoding.
QByteArray encodeSingleByte(const QString& text, Fallback encoding);

/// Decodes @p bytes in the character set named @p charset (a MIME name: "ISO-8859-1",
/// "windows-1252", "macintosh", "UTF-8", ...). False when the name is unknown.
bool decodeCharset(const QByteArray& bytes, QStringView charset, QString* text);
} // namespace Encoding
