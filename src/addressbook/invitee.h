#pragma once

#include <QString>

/// One person chosen to receive an invitation: plain data.
class invitee
{
public:
    void setInviteeName(const QString& s) { inviteeName = s; }
    void setInviteeEmailAddress(const QString& s) { inviteeEmailAddress = s; }
    void setTheRealName(const QString& s) { theRealName = s; }
    void setUniqueNameID(const QString& s) { uniqueNameID = s; }
    const QString& getTheInviteeName() const { return inviteeName; }
    const QString& getTheInviteeEmailAddress() const { return inviteeEmailAddress; }
    const QString& getTheRealName() const { return theRealName; }
    const QString& getTheUniqueNameID() const { return uniqueNameID; }

private:
    QString inviteeName = QStringLiteral("");
    QString inviteeEmailAddress = QStringLiteral("");
    QString theRealName = QStringLiteral("");
    QString uniqueNameID = QStringLiteral("");
};
