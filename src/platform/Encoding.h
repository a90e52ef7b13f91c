#pragma once

#include <QByteArray>
#include <QString>

/// Byte-to-text decisions for files that anybody wrote.
namespace Encoding
{
enum class Fallback
{
    MacRoman,    ///< vCalendar files from organiser desktops
    Windows1252, ///< delimited text from spreadsheets
};

/// True when @p bytes are well-formed UTF-8.
bool isValidUtf8(const QByteArray& bytes);

/// A byte-order mark selects UTF-8 or UTF-16 (LE/BE) and is dropped; otherwise UTF-8 when the bytes
/// are valid UTF-8, else the fallback single-byte encoding. Never fails.
QString decode(const QByteArray& bytes, Fallback fallback);

/// UTF-8, skipping a leading byte-order mark; invalid sequences become U+FFFD.
QString decodeUtf8(const QByteArray& bytes);

QString decodeMacRoman(const QByteArray& bytes);
QString decodeWindows1252(const QByteArray& bytes);

/// Mac OS Roman bytes; a character Mac OS Roman cannot hold becomes "?".
QByteArray encodeMacRoman(const QString& text);
} // namespace Encoding
