#pragma once

#include "addressbook/addressBook.h"

#include <QString>
#include <QStringList>

/// The user's address books on this machine, all of them vCard underneath: folders of vCard
/// files (the "vdir" layout, one subfolder per book, one file per card), files holding many cards
/// (as contact exports are), and Evolution's books (contacts.db, SQLite, read-only).
///
/// What is read: the setting "addressBookPaths" (a list of folders and files; "~/" is the home
/// folder; a file named contacts.db or ending in .db is an Evolution database; the item
/// "default" stands for the default places), or, without that setting, the default places:
/// $XDG_DATA_HOME/contacts/ and $XDG_DATA_HOME/evolution/addressbook/*/contacts.db. A default
/// place that does not exist adds nothing; a listed path that does not exist is a problem of the
/// book.
///
/// Lives in the services library (addressbook/evolutionAddressBook.cpp) because Evolution's
/// books need QtSql.
class systemAddressBook : public addressBookSource
{
public:
    /// Reads @p paths (the same forms as the setting); without any, the setting or the defaults.
    explicit systemAddressBook(const QStringList& paths = {});
    addressBook read() override;

    /// The paths read when none are given: the setting "addressBookPaths", else {"default"}.
    static QStringList configuredPaths();
    /// The default places that exist now: the vCard folder and every Evolution database.
    static QStringList defaultPaths();

private:
    QStringList m_paths;
};

namespace evolution
{
/// Reads the cards of one Evolution database (every table with "uid" and "vcard" columns) into
/// @p book; a database that cannot be opened is a problem of the book. Returns the cards read.
int readDatabase(const QString& path, addressBook* book);
} // namespace evolution
