#pragma once

#include <QString>

/// One selectable address of the invite sheet's people table: one person with one of their
/// e-mail addresses. Plain data; every field starts as the empty text.
class addressEntry
{
public:
    void setTheName(const QString& s) { theName = s; }
    void setTheEmailAddress(const QString& s) { theEmailAddress = s; }
    void setTheRealName(const QString& s) { theRealName = s; }
    void setUniqueNameID(const QString& s) { uniqueNameID = s; }
    /// "FIRST LAST (LABEL)", as the people table shows it.
    const QString& getTheName() const { return theName; }
    const QString& getTheEmailAddress() const { return theEmailAddress; }
    /// First and last name, as an invitation names the attendee.
    const QString& getTheRealName() const { return theRealName; }
    /// The person's identifier in the address book.
    const QString& getTheUniqueNameID() const { return uniqueNameID; }

    friend bool operator==(const addressEntry&, const addressEntry&) = default;

private:
    QString theName = QStringLiteral("");
    QString theEmailAddress = QStringLiteral("");
    QString theRealName = QStringLiteral("");
    QString uniqueNameID = QStringLiteral("");
};
