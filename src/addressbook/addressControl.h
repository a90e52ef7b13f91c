#pragma once

#include "addressbook/addressBook.h"
#include "addressbook/addressEntry.h"
#include "addressbook/addressGroups.h"
#include "addressbook/invitee.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <memory>

/// The invite sheet's address-book controller: it reads the address book and keeps the three
/// lists the sheet's tables show, the people rows (table tag 10, one row per person and e-mail
/// address), the group rows (tag 11, "All" first) and the invitees (tag 12).
///
/// The invitee list lasts as long as the controller (the program's run) and changes only through
/// addAddressToInvitee() and removeInvitee(); re-reading the address book leaves it alone.
/// GUI-thread only; nothing here blocks except setUpAddressess(), which reads the source.
class addressControl
{
public:
    /// A controller over an empty book until setSource() gives it one.
    addressControl() = default;
    explicit addressControl(std::shared_ptr<addressBookSource> source);

    void setSource(std::shared_ptr<addressBookSource> source);
    bool hasSource() const { return m_source != nullptr; }

    /// (Re)reads the address book, replaces the group rows by "All" followed by one row per group
    /// of the book, in its order, and shows all people.
    void setUpAddressess();
    /// The group row titled @p name (case ignored; "All" is row 0), or -1.
    int rowOfGroup(const QString& name) const;
    /// The people rows of every person of the book.
    void displayAllAddresses();
    /// The people rows of the first group whose name equals (case ignored) the title of group row
    /// @p row; row 0 ("All") shows everybody. A row without a matching group (or out of range)
    /// shows nobody.
    void displayGroupAddress(int row);
    /// Replaces the people rows by one row per person and e-mail address, in the given order:
    /// the label of a value without one is the previous value's (empty for the first), with
    /// "_$!<" and ">!$_" removed; a card without first and last name shows its organisation as
    /// the first name. theName is "FIRST LAST (LABEL)"; theRealName is first and last name with
    /// one space between them (no stray space when either is empty).
    void populateAddressDisplayArray(const QList<addressPerson>& persons);

    /// Appends an invitee made from people row @p row (no check for duplicates); out of range
    /// does nothing.
    void addAddressToInvitee(int row);
    /// Removes the invitee at @p row; out of range does nothing.
    void removeInvitee(int row);
    /// Appends one invitee per row, in ascending row order (the add button).
    void addAddressesToInvitees(QList<int> rows);
    /// Removes the invitees at @p rows, from the highest row down (the remove button).
    void removeInvitees(QList<int> rows);

    const addressBook& getTheAddressBook() const { return m_book; }
    /// The user's own card: the setting "meCard" (a UID), else the card whose e-mail address is
    /// the one in the EMAIL environment variable. Null when there is none.
    const addressPerson* getMyEntry() const;
    /// The first e-mail value of the user's own card, or "".
    QString getPrimaryEmailAddressOfMe() const;
    /// First and last name of the user's own card with one space between them, or "".
    QString getFullMeName() const;
    QString getMeFirstName() const;
    QString getMeLastName() const;
    /// Marks the person with @p uid as the user (the address window's "This is me"); stored under
    /// "meCard". An empty @p uid forgets the choice.
    void setMeCard(const QString& uid);
    const QList<addressBookGroup>& getGroups() const { return m_book.groups(); }

    const QList<addressEntry>& getTheAddresses() const { return theAddresses; }
    const QList<addressGroups>& getAddressGroupsArray() const { return addressGroupsArray; }
    const QList<invitee>& getTheInvitees() const { return theInvitees; }
    const QVariantList& getTheDisplayArray() const { return theDisplayArray; }
    void setTheAddresses(const QList<addressEntry>& list) { theAddresses = list; }
    void setAddressGroupsArray(const QList<addressGroups>& list) { addressGroupsArray = list; }
    void setTheInvitees(const QList<invitee>& list) { theInvitees = list; }
    void setTheDisplayArray(const QVariantList& list) { theDisplayArray = list; }

    /// The book's state for the address window's status line: "N people, M groups", followed by
    /// what could not be read ("2 cards could not be read: ...").
    QString statusText() const;

    // --- table cells by column identifier (the record's field names) ---
    /// "theName", "theEmailAddress", "theRealName", "uniqueNameID"; "" for any other.
    static QString valueForKey(const addressEntry& entry, const QString& key);
    /// "theGroup".
    static QString valueForKey(const addressGroups& group, const QString& key);
    /// "inviteeName", "inviteeEmailAddress", "theRealName", "uniqueNameID".
    static QString valueForKey(const invitee& person, const QString& key);
    /// Stores @p value into the field @p key names through its setter; false for any other key.
    static bool setValueForKey(invitee& person, const QString& key, const QString& value);
    /// The same for the invitee at @p row (the invitee table's edits).
    bool setInviteeValue(int row, const QString& key, const QString& value);

private:
    std::shared_ptr<addressBookSource> m_source;
    addressBook m_book;
    QString m_meUid;
    QList<addressEntry> theAddresses;
    QList<addressGroups> addressGroupsArray;
    QList<invitee> theInvitees;
    QVariantList theDisplayArray;
};
