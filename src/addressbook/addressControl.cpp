#include "addressControl.h"

#include "platform/UserDefaults.h"

#include <algorithm>

namespace
{
const QString kMeCardKey = QStringLiteral("meCard");

// First and last name with one space between them; either alone stands without a stray space.
QString joinedName(const QString& first, const QString& last)
{
    if (first.isEmpty())
        return last;
    if (last.isEmpty())
        return first;
    return first + QLatin1Char(' ') + last;
}
} // namespace

addressControl::addressControl(std::shared_ptr<addressBookSource> source)
    : m_source(std::move(source))
{
}

void addressControl::setSource(std::shared_ptr<addressBookSource> source)
{
    m_source = std::move(source);
}

void addressControl::setUpAddressess()
{
    m_book = m_source ? m_source->read() : addressBook();
    m_meUid = UserDefaults::standard().string(kMeCardKey);
    QList<addressGroups> rows;
    addressGroups all;
    all.setTheGroup(QStringLiteral("All"));
    rows << all;
    for (const addressBookGroup& g : m_book.groups()) {
        addressGroups row;
        row.setTheGroup(g.name);
        rows << row;
    }
    setAddressGroupsArray(rows);
    displayAllAddresses();
}

int addressControl::rowOfGroup(const QString& name) const
{
    for (int i = 0; i < addressGroupsArray.size(); ++i) {
        if (addressGroupsArray.at(i).getTheGroup().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void addressControl::displayAllAddresses()
{
    populateAddressDisplayArray(m_book.people());
}

void addressControl::displayGroupAddress(int row)
{
    if (row == 0) {
        displayAllAddresses();
        return;
    }
    if (row < 0 || row >= addressGroupsArray.size()) {
        populateAddressDisplayArray({});
        return;
    }
    const QList<const addressBookGroup*> found = m_book.groupsNamed(addressGroupsArray.at(row).getTheGroup());
    populateAddressDisplayArray(found.isEmpty() ? QList<addressPerson>() : m_book.members(*found.first()));
}

void addressControl::populateAddressDisplayArray(const QList<addressPerson>& persons)
{
    QList<addressEntry> rows;
    for (const addressPerson& person : persons) {
        QString first = person.firstName;
        const QString& last = person.lastName;
        if (first.isEmpty() && last.isEmpty() && !person.organisation.isEmpty())
            first = person.organisation;
        QString label;
        for (const addressEmail& email : person.emails) {
            // A value without a label keeps the previous value's label.
            if (!email.label.isEmpty()) {
                label = email.label;
                label.remove(QLatin1String("_$!<"));
                label.remove(QLatin1String(">!$_"));
            }
            addressEntry row;
            row.setTheEmailAddress(email.address);
            row.setTheRealName(joinedName(first, last));
            row.setTheName(QStringLiteral("%1 %2 (%3)").arg(first, last, label));
            row.setUniqueNameID(person.uid);
            rows << row;
        }
    }
    setTheAddresses(rows);
}

void addressControl::addAddressToInvitee(int row)
{
    if (row < 0 || row >= theAddresses.size())
        return;
    const addressEntry& from = theAddresses.at(row);
    invitee person;
    person.setInviteeName(from.getTheName());
    person.setTheRealName(from.getTheRealName());
    person.setInviteeEmailAddress(from.getTheEmailAddress());
    person.setUniqueNameID(from.getTheUniqueNameID());
    theInvitees << person;
}

void addressControl::removeInvitee(int row)
{
    if (row >= 0 && row < theInvitees.size())
        theInvitees.removeAt(row);
}

void addressControl::addAddressesToInvitees(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    for (int row : rows)
        addAddressToInvitee(row);
}

void addressControl::removeInvitees(QList<int> rows)
{
    // From the highest row down, so that the rows still to go keep their numbers.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows)
        removeInvitee(row);
}

const addressPerson* addressControl::getMyEntry() const
{
    return m_book.me(m_meUid, qEnvironmentVariable("EMAIL"));
}

QString addressControl::getPrimaryEmailAddressOfMe() const
{
    const addressPerson* me = getMyEntry();
    return me && !me->emails.isEmpty() ? me->emails.first().address : QString();
}

QString addressControl::getFullMeName() const
{
    const addressPerson* me = getMyEntry();
    return me ? joinedName(me->firstName, me->lastName) : QString();
}

QString addressControl::getMeFirstName() const
{
    const addressPerson* me = getMyEntry();
    return me ? me->firstName : QString();
}

QString addressControl::getMeLastName() const
{
    const addressPerson* me = getMyEntry();
    return me ? me->lastName : QString();
}

void addressControl::setMeCard(const QString& uid)
{
    m_meUid = uid;
    if (uid.isEmpty())
        UserDefaults::standard().remove(kMeCardKey);
    else
        UserDefaults::standard().setValue(kMeCardKey, uid);
    UserDefaults::standard().sync();
}

QString addressControl::statusText() const
{
    const qsizetype people = m_book.people().size();
    const qsizetype groups = m_book.groups().size();
    QString text = QStringLiteral("%1 %2, %3 %4")
                       .arg(people)
                       .arg(people == 1 ? QStringLiteral("person") : QStringLiteral("people"))
                       .arg(groups)
                       .arg(groups == 1 ? QStringLiteral("group") : QStringLiteral("groups"));
    const QString problems = m_book.problemText();
    if (!problems.isEmpty())
        text += QStringLiteral(". ") + problems;
    return text;
}

QString addressControl::valueForKey(const addressEntry& entry, const QString& key)
{
    if (key == QLatin1String("theName"))
        return entry.getTheName();
    if (key == QLatin1String("theEmailAddress"))
        return entry.getTheEmailAddress();
    if (key == QLatin1String("theRealName"))
        return entry.getTheRealName();
    if (key == QLatin1String("uniqueNameID"))
        return entry.getTheUniqueNameID();
    return {};
}

QString addressControl::valueForKey(const addressGroups& group, const QString& key)
{
    return key == QLatin1String("theGroup") ? group.getTheGroup() : QString();
}

QString addressControl::valueForKey(const invitee& person, const QString& key)
{
    if (key == QLatin1String("inviteeName"))
        return person.getTheInviteeName();
    if (key == QLatin1String("inviteeEmailAddress"))
        return person.getTheInviteeEmailAddress();
    if (key == QLatin1String("theRealName"))
        return person.getTheRealName();
    if (key == QLatin1String("uniqueNameID"))
        return person.getTheUniqueNameID();
    return {};
}

bool addressControl::setValueForKey(invitee& person, const QString& key, const QString& value)
{
    if (key == QLatin1String("inviteeName"))
        person.setInviteeName(value);
    else if (key == QLatin1String("inviteeEmailAddress"))
        person.setInviteeEmailAddress(value);
    else if (key == QLatin1String("theRealName"))
        person.setTheRealName(value);
    else if (key == QLatin1String("uniqueNameID"))
        person.setUniqueNameID(value);
    else
        return false;
    return true;
}

bool addressControl::setInviteeValue(int row, const QString& key, const QString& value)
{
    if (row < 0 || row >= theInvitees.size())
        return false;
    return setValueForKey(theInvitees[row], key, value);
}
