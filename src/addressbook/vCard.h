#pragma once

// Reading vCards (2.1, 3.0 and 4.0) into an addressBook: names (N, FN, ORG), e-mail values with
// their labels, identifiers and the three ways cards form groups (CATEGORIES, vCard 4
// KIND:group with MEMBER, Apple's X-ADDRESSBOOKSERVER-KIND and -MEMBER) plus Evolution's contact
// lists. Lines are unfolded and decoded as the calendar reader does (platform/ContentLines.h).
//
// E-mail labels: an Apple-style "itemN.X-ABLabel" of the value's group wins; else the first of
// the TYPE values work, home and other becomes the standard label "_$!<Work>!$_", "_$!<Home>!$_"
// or "_$!<Other>!$_"; else the first TYPE value that is not a kind of mail system ("internet",
// "x400", ...) nor "pref" is the label as written, without an "X-" prefix. No TYPE: no label.
//
// Names: the given and family names of N. A card whose N holds neither, and whose FN is not its
// organisation's name, takes them from FN (split at its last space); a company card keeps
// empty names so that its organisation stands in.
//
// Nothing here throws or gives up on a file: a card that is cut off or holds no property is
// left out and listed in the book's problems, and so is a file that cannot be read; every other
// card is kept.

#include "addressbook/addressBook.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vCard
{
/// Files above this size are not read (they cannot be an address book anyone keeps).
constexpr qint64 kMaxFileBytes = qint64(256) * 1024 * 1024;

/// Reads every card of @p bytes (a whole file: UTF-8, UTF-16 with a byte-order mark, or 8-bit
/// text in the CHARSET each value names, Windows-1252 otherwise) into @p book. @p path names the
/// file in problems and, with the card's number, stands in for a missing UID. Returns the number
/// of cards read. The caller runs book->finish() after the last file.
int readCards(const QByteArray& bytes, const QString& path, addressBook* book);

/// Reads one file of cards; a file that cannot be opened, is too large or holds no card is a
/// problem of the book. Returns the number of cards read.
int readFile(const QString& path, addressBook* book);

/// Reads every .vcf and .vcard file of a folder and of its subfolders (the "vdir" layout: one
/// subfolder per address book, one file per card; hidden folders are left alone), in the order
/// of their paths. Returns the number of cards read.
int readFolder(const QString& path, addressBook* book);
} // namespace vCard
