#include "Encoding.h"

#include "Memory.h"
#include "Parallel.h"

#include <QByteArrayView>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <bit>
#include <atomic>
#include <vector>
#include <cstring>

namespace
{
// Upper halves (0x80-0xFF) of the two single-byte encodings.
const char16_t kMacRoman[128]
    = {0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
       0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
       0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
       0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
       0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
       0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
       0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
       0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
       0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
       0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

const char16_t kWindows1252[32]
    = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
       0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
       0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeSingleByte(const QByteArray& bytes, bool mac)
{
    QString out;
    out.resize(bytes.size());
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes.at(i));
        if (b < 0x80)
            dst[i] = QChar(b);
        else if (mac)
            dst[i] = QChar(kMacRoman[b - 0x80]);
        else
            dst[i] = b < 0xA0 ? QChar(kWindows1252[b - 0x80]) : QChar(b);
    }
    return out;
}
} // namespace

namespace
{
// Big texts are converted in pieces at once; a piece of a few megabytes pays for its thread.
constexpr qsizetype kBytesPerPiece = 4 << 20;

/// Where piece @p k of @p pieces of a text of @p n units begins: moved on while @p inside(at)
/// says that position @p at would cut a character in two.
template <typename Inside>
qsizetype pieceStart(qsizetype n, int k, int pieces, Inside inside)
{
    if (k <= 0)
        return 0;
    if (k >= pieces)
        return n;
    qsizetype at = qsizetype(double(n) * k / pieces);
    while (at < n && inside(at))
        ++at;
    return at;
}

qsizetype utf8PieceStart(const uchar* p, qsizetype n, int k, int pieces)
{
    return pieceStart(n, k, pieces, [p](qsizetype at) { return (p[at] & 0xC0) == 0x80; });
}

qsizetype utf16PieceStart(const char16_t* p, qsizetype n, int k, int pieces)
{
    return pieceStart(n, k, pieces, [p](qsizetype at) { return QChar::isHighSurrogate(p[at - 1]); });
}

/// Reads @p n bytes of UTF-8 (well-formed only: no overlong forms, surrogates or code points
/// above U+10FFFF) and, when @p Decode, writes their UTF-16 units to @p out (room for @p n units).
/// Returns the units, or -1 at the first byte that is not well-formed.
template <bool Decode, bool Surrogates = false>
qsizetype scanUtf8(const uchar* p, qsizetype n, char16_t* out)
{
    qsizetype i = 0;
    char16_t* o = out;
    while (i < n) {
        // Calendars are mostly ASCII: eight bytes at a time while no byte has its high bit set,
        // and then the ASCII bytes before the first that has. Writing eight units at a time stays
        // within @p out: no more units are written than bytes are read.
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, p + i, 8);
            const quint64 high = word & 0x8080808080808080ULL;
            if (high) {
                if constexpr (std::endian::native == std::endian::little) {
                    const int ascii = std::countr_zero(high) >> 3;
                    if constexpr (Decode) {
                        for (int k = 0; k < 8; ++k)
                            o[k] = p[i + k];
                        o += ascii;
                    }
                    i += ascii;
                }
                break;
            }
            if constexpr (Decode) {
                for (int k = 0; k < 8; ++k)
                    o[k] = p[i + k];
                o += 8;
            }
            i += 8;
        }
        if (i >= n)
            break;
        const uchar c = p[i];
        if (c < 0x80) {
            if constexpr (Decode)
                *o++ = c;
            ++i;
            continue;
        }
        int len = 0;
        uint cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 3;
            cp = c & 0x07;
        } else {
            return -1;
        }
        for (int k = 1; k <= len; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 2 && cp < 0x800) || (len == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (!Surrogates && cp >= 0xD800 && cp <= 0xDFFF))
            return -1;
        if constexpr (Decode) {
            if (cp >= 0x10000) {
                *o++ = QChar::highSurrogate(cp);
                *o++ = QChar::lowSurrogate(cp);
            } else {
                *o++ = char16_t(cp);
            }
        }
        i += len + 1;
    }
    return o - out;
}

bool validUtf8Range(const uchar* p, qsizetype n)
{
    return scanUtf8<false>(p, n, nullptr) >= 0;
}

/// The text of @p bytes when they are well-formed UTF-8 (a byte-order mark is kept as U+FEFF, as
/// QString::fromUtf8 keeps it), checked and decoded in one pass; false otherwise.
bool decodeIfValidUtf8(const QByteArray& bytes, QString* text)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    // No character takes more UTF-16 units than bytes: each piece decodes into the room its bytes
    // would take, and the pieces then close up.
    QString decoded(n, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(decoded.data());
    Memory::preferLargePages(out, n * qsizetype(sizeof(char16_t)));
    const int pieces = Parallel::pieces(n, kBytesPerPiece);
    QList<qsizetype> unitList(pieces, 0);
    qsizetype* units = unitList.data();
    Parallel::run(pieces, [&](int k) {
        const qsizetype from = utf8PieceStart(p, n, k, pieces);
        units[k] = scanUtf8<true>(p + from, utf8PieceStart(p, n, k + 1, pieces) - from, out + from);
    });
    qsizetype size = 0;
    for (int k = 0; k < pieces; ++k) {
        if (units[k] < 0)
            return false;
        const qsizetype from = utf8PieceStart(p, n, k, pieces);
        if (from != size)
            std::memmove(out + size, out + from, size_t(units[k]) * sizeof(char16_t));
        size += units[k];
    }
    decoded.truncate(size);
    *text = std::move(decoded);
    return true;
}
} // namespace

bool Encoding::holdsCalendarMarker(const QByteArray& bytes)
{
    static const QByteArrayView markers[] = {"BEGIN:VCALENDAR", "BEGIN:VEVENT"};
    const auto same = [](char a, char b) { return (a >= 'a' && a <= 'z' ? char(a - 32) : a) == b; };
    for (QByteArrayView marker : markers) {
        if (std::search(bytes.cbegin(), bytes.cend(), marker.cbegin(), marker.cend(), same) != bytes.cend())
            return true;
    }
    return false;
}

qsizetype Encoding::decodeUtf8Piece(const char* bytes, qsizetype n, char16_t* out)
{
    return scanUtf8<true>(reinterpret_cast<const uchar*>(bytes), n, out);
}

bool Encoding::isValidUtf8Piece(const char* bytes, qsizetype n)
{
    return validUtf8Range(reinterpret_cast<const uchar*>(bytes), n);
}

bool Encoding::isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    const int pieces = Parallel::pieces(n, kBytesPerPiece);
    if (pieces <= 1)
        return validUtf8Range(p, n);
    // A piece starts on a character: a sequence cut short by the next piece's start is one that
    // the whole text has cut short too.
    std::atomic<bool> valid {true};
    Parallel::run(pieces, [&](int k) {
        const qsizetype from = utf8PieceStart(p, n, k, pieces);
        if (!validUtf8Range(p + from, utf8PieceStart(p, n, k + 1, pieces) - from))
            valid = false;
    });
    return valid;
}

QByteArray Encoding::compactUtf8(QStringView text)
{
    // Encoded into room of the most it can take, then copied out at its size: a copy is quicker
    // than counting first.
    const char16_t* const begin = text.utf16();
    const char16_t* const last = begin + text.size();
    const auto pairAt = [last](const char16_t* c) {
        return QChar::isHighSurrogate(*c) && c + 1 != last && QChar::isLowSurrogate(c[1]);
    };
    // The room is kept from text to text, but not for a long one: it would stay taken.
    constexpr qsizetype kKeptRoom = 64 * 1024;
    thread_local std::vector<uchar> kept;
    std::vector<uchar> once;
    std::vector<uchar>& room = text.size() * 3 <= kKeptRoom ? kept : once;
    if (room.size() < std::size_t(text.size()) * 3)
        room.resize(std::size_t(text.size()) * 3);
    uchar* const first = room.data();
    uchar* o = first;
    for (const char16_t* c = begin; c != last; ++c) {
        // Mostly ASCII: four units at a time while none is above U+007F, and then the ASCII units
        // before the first that is (four bytes written stay within the room: three a unit).
        while (last - c >= 4) {
            quint64 units;
            std::memcpy(&units, c, 8);
            const quint64 high = units & 0xFF80FF80FF80FF80ULL;
            o[0] = uchar(c[0]), o[1] = uchar(c[1]), o[2] = uchar(c[2]), o[3] = uchar(c[3]);
            if (high) {
                if constexpr (std::endian::native == std::endian::little) {
                    const int ascii = std::countr_zero(high) >> 4;
                    o += ascii, c += ascii;
                }
                break;
            }
            o += 4, c += 4;
        }
        if (c == last)
            break;
        uint cp = *c;
        if (cp < 0x80) {
            *o++ = uchar(cp);
        } else if (cp < 0x800) {
            *o++ = uchar(0xC0 | (cp >> 6));
            *o++ = uchar(0x80 | (cp & 0x3F));
        } else if (pairAt(c)) {
            cp = QChar::surrogateToUcs4(c[0], c[1]);
            ++c;
            *o++ = uchar(0xF0 | (cp >> 18));
            *o++ = uchar(0x80 | ((cp >> 12) & 0x3F));
            *o++ = uchar(0x80 | ((cp >> 6) & 0x3F));
            *o++ = uchar(0x80 | (cp & 0x3F));
        } else {
            *o++ = uchar(0xE0 | (cp >> 12));
            *o++ = uchar(0x80 | ((cp >> 6) & 0x3F));
            *o++ = uchar(0x80 | (cp & 0x3F));
        }
    }
    return QByteArray(reinterpret_cast<const char*>(first), o - first);
}

qsizetype Encoding::decodeKeptUtf8(const char* bytes, qsizetype n, char16_t* out)
{
    return scanUtf8<true, true>(reinterpret_cast<const uchar*>(bytes), n, out);
}

QString Encoding::fromKeptUtf8(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    QString text(bytes.size(), Qt::Uninitialized);
    const qsizetype units = decodeKeptUtf8(bytes.constData(), bytes.size(), reinterpret_cast<char16_t*>(text.data()));
    if (units < 0)
        return QString::fromUtf8(bytes);
    text.truncate(units);
    return text;
}

void Encoding::appendUtf8(QByteArray& out, QStringView text)
{
    QStringEncoder encoder(QStringConverter::Utf8);
    const qsizetype at = out.size();
    out.resize(at + encoder.requiredSpace(text.size()));
    char* end = encoder.appendToBuffer(out.data() + at, text);
    out.resize(end - out.constData());
}

QByteArray Encoding::toUtf8(QStringView text)
{
    const auto* p = reinterpret_cast<const char16_t*>(text.data());
    const qsizetype n = text.size();
    const int pieces = Parallel::pieces(n, kBytesPerPiece / 2);
    if (pieces <= 1)
        return text.toUtf8();
    QList<QByteArray> partList(pieces);
    QByteArray* parts = partList.data();
    Parallel::run(pieces, [&](int k) {
        const qsizetype from = utf16PieceStart(p, n, k, pieces);
        parts[k] = text.sliced(from, utf16PieceStart(p, n, k + 1, pieces) - from).toUtf8();
    });
    QList<qsizetype> offsets(pieces + 1, 0);
    for (int k = 0; k < pieces; ++k)
        offsets[k + 1] = offsets[k] + parts[k].size();
    QByteArray out(offsets.last(), Qt::Uninitialized);
    char* dst = out.data();
    const qsizetype* at = offsets.constData();
    Parallel::run(pieces, [&](int k) {
        std::memcpy(dst + at[k], parts[k].constData(), size_t(parts[k].size()));
        parts[k] = QByteArray();
    });
    return out;
}

QString Encoding::decodeUtf8(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    return QString::fromUtf8(bytes);
}

QString Encoding::decodeMacRoman(const QByteArray& bytes)
{
    return decodeSingleByte(bytes, true);
}

QString Encoding::decodeWindows1252(const QByteArray& bytes)
{
    return decodeSingleByte(bytes, false);
}

QString Encoding::decode(const QByteArray& bytes, Fallback fallback)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeUtf8(bytes);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        QString text = decoder.decode(bytes.mid(2));
        return text;
    }
    QString text;
    if (decodeIfValidUtf8(bytes, &text))
        return text;
    return fallback == Fallback::MacRoman ? decodeMacRoman(bytes) : decodeWindows1252(bytes);
}

QByteArray Encoding::encodeMacRoman(const QString& text)
{
    // One byte per UTF-16 unit, 0 where Mac OS Roman has no character: a calendar of 100,000
    // events is tens of millions of units.
    static const std::array<uchar, 0x10000> reverse = [] {
        std::array<uchar, 0x10000> table {};
        for (int i = 0; i < 128; ++i)
            table[kMacRoman[i]] = uchar(0x80 + i);
        return table;
    }();
    const qsizetype n = text.size();
    const char16_t* src = reinterpret_cast<const char16_t*>(text.constData());
    QByteArray out(n, Qt::Uninitialized);
    char* dst = out.data();
    qsizetype written = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = src[i];
        if (u < 0x80) {
            dst[written++] = char(u);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(src[i + 1]))
            ++i; // one character, one replacement
        const uchar b = reverse[u];
        dst[written++] = b ? char(b) : '?';
    }
    out.truncate(written);
    return out;
}

namespace
{
// For each UTF-16 unit, whether Mac OS Roman has it (ASCII included).
const std::array<bool, 0x10000>& macRomanUnits()
{
    static const std::array<bool, 0x10000> table = [] {
        std::array<bool, 0x10000> t{};
        for (int i = 0; i < 0x80; ++i)
            t[i] = true;
        for (char16_t u : kMacRoman)
            t[u] = true;
        return t;
    }();
    return table;
}
} // namespace

bool Encoding::fitsMacRoman(QStringView text)
{
    const std::array<bool, 0x10000>& table = macRomanUnits();
    for (QChar c : text) {
        if (!table[c.unicode()])
            return false;
    }
    return true;
}

namespace
{
// Length of the UTF-8 sequence that starts with @p lead (0 for a byte that cannot start one).
int sequenceLength(uchar lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool isContinuation(uchar b)
{
    return (b & 0xC0) == 0x80;
}

// Removes the line folds (CR LF or LF, then a space or a tab) that stand between the bytes of one
// UTF-8 character. Other folds stay for the reader to join.
QByteArray joinSplitCharacters(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    int pending = 0; // continuation bytes still expected
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = p[i];
        if (pending > 0) {
            qsizetype fold = 0;
            if (c == '\r' && i + 2 < n && p[i + 1] == '\n' && (p[i + 2] == ' ' || p[i + 2] == '\t'))
                fold = 3;
            else if (c == '\n' && i + 1 < n && (p[i + 1] == ' ' || p[i + 1] == '\t'))
                fold = 2;
            if (fold && i + fold < n && isContinuation(p[i + fold])) {
                i += fold - 1;
                continue;
            }
            pending = isContinuation(c) ? pending - 1 : 0;
        }
        if (pending == 0 && c >= 0x80 && !isContinuation(c))
            pending = std::max(sequenceLength(c) - 1, 0);
        out.append(char(c));
    }
    return out;
}

// Valid multi-byte characters and bytes that belong to none.
void countUtf8(const QByteArray& bytes, qsizetype* good, qsizetype* bad)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int len = sequenceLength(c);
        bool ok = len > 1 && i + len <= n;
        for (int k = 1; ok && k < len; ++k)
            ok = isContinuation(p[i + k]);
        if (ok && Encoding::isValidUtf8(bytes.mid(i, len))) {
            ++*good;
            i += len;
        } else {
            ++*bad;
            ++i;
        }
    }
}
} // namespace

Encoding::CalendarText Encoding::decodeCalendar(const QByteArray& bytes, Fallback fallback)
{
    CalendarText result;
    result.singleByteEncoding = fallback;
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        result.text = decode(bytes, fallback);
        return result;
    }
    if (decodeIfValidUtf8(bytes, &result.text))
        return result;
    const QByteArray joined = joinSplitCharacters(bytes);
    if (isValidUtf8(joined)) {
        result.text = QString::fromUtf8(joined);
        return result;
    }
    qsizetype good = 0, bad = 0;
    countUtf8(joined, &good, &bad);
    if (good >= bad) {
        result.text = QString::fromUtf8(joined);
        result.replacedBytes = bad;
        return result;
    }
    result.singleByte = true;
    result.text = fallback == Fallback::MacRoman ? decodeMacRoman(bytes) : decodeWindows1252(bytes);
    return result;
}

QByteArray Encoding::encodeSingleByte(const QString& text, Fallback encoding)
{
    if (encoding == Fallback::MacRoman)
        return encodeMacRoman(text);
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        const auto* hit = std::find(std::begin(kWindows1252), std::end(kWindows1252), u);
        out.append(hit == std::end(kWindows1252) ? '?' : char(0x80 + (hit - std::begin(kWindows1252))));
    }
    return out;
}

bool Encoding::decodeCharset(const QByteArray& bytes, QStringView charset, QString* text)
{
    const QString name = charset.trimmed().toString().toLower();
    if (name == QLatin1String("macintosh") || name == QLatin1String("x-mac-roman")
        || name == QLatin1String("macroman")) {
        *text = decodeMacRoman(bytes);
        return true;
    }
    if (name == QLatin1String("windows-1252") || name == QLatin1String("cp1252")) {
        *text = decodeWindows1252(bytes);
        return true;
    }
    if (name.isEmpty())
        return false;
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return false;
    *text = decoder.decode(bytes);
    return true;
}
