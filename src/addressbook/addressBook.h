#pragma once

// The address book as the invite sheet sees it: people with names, an organisation, an
// identifier and e-mail addresses with labels, and named groups of them. Where the people come
// from (vCard folders and files, Evolution's databases, a test's fixture) is an
// addressBookSource's business.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

/// One e-mail value of a person.
struct addressEmail
{
    QString address;
    /// The label as stored: "" for none, a standard label in its marked form ("_$!<Work>!$_",
    /// "_$!<Home>!$_", "_$!<Other>!$_") or the user's own word.
    QString label;
    friend bool operator==(const addressEmail&, const addressEmail&) = default;
};

/// One person (or company) card.
struct addressPerson
{
    /// Unique within the book ("urn:uuid:" prefixes are dropped); never empty once read.
    QString uid;
    QString firstName;
    QString lastName;
    QString organisation;
    /// In the card's order; the first is the primary address.
    QList<addressEmail> emails;
};

/// A reference from a group to one of its members.
struct addressMember
{
    /// The member's identifier, when the group names one.
    QString uid;
    /// The member's address, when the group names the member by e-mail.
    QString email;
    /// A name the group itself gives the member (Evolution's contact lists), used when no card
    /// of the book matches.
    QString name;
};

/// One group: a name and its members in the group's order.
struct addressBookGroup
{
    /// The group's "GroupName".
    QString name;
    /// The group card's own identifier (empty for a group made from category names; the first
    /// card's when several of one name joined); other groups may name any of them as a member.
    QString uid;
    QList<addressMember> members;
};

/// Something that could not be read: a whole file (card 0) or one card of it (card 1 and up).
struct addressProblem
{
    QString path;
    int card = 0;
    QString reason;
};

/// A whole address book, read at one moment. Plain data with look-ups; cheap to copy.
class addressBook
{
public:
    /// People in the book's order: by last name (a card without one by its first name, else its
    /// organisation), then first name, ignoring case.
    const QList<addressPerson>& people() const { return m_people; }
    /// Groups in the book's order (by name, ignoring case).
    const QList<addressBookGroup>& groups() const { return m_groups; }
    const QList<addressProblem>& problems() const { return m_problems; }
    int unreadableCards() const;
    int unreadableFiles() const;

    /// The person with that identifier, or null.
    const addressPerson* personWithUid(const QString& uid) const;
    /// The first person with that e-mail address (case ignored), or null.
    const addressPerson* personWithEmail(const QString& email) const;
    /// The groups whose name equals @p name, case ignored, in the book's order.
    QList<const addressBookGroup*> groupsNamed(const QString& name) const;
    /// The members of @p group as persons, in the group's order. A member that is itself a group
    /// stands for that group's members; a member named only by e-mail that no card has becomes a
    /// person of its own (identifier "mailto:ADDRESS"). Each person comes once.
    QList<addressPerson> members(const addressBookGroup& group) const;
    /// The user's own card: the person whose identifier is @p meUid; without one, the first person
    /// with the e-mail address in @p environmentEmail ("Name <address>" or a bare address). Null
    /// when neither finds anybody.
    const addressPerson* me(const QString& meUid, const QString& environmentEmail) const;

    /// One line for the user, empty when everything could be read: "2 cards could not be read:
    /// PATH, card 3: no END:VCARD; ..." and likewise for whole files. At most @p listed reasons
    /// are spelt out; file names are shortened to their last part unless @p fullPaths.
    QString problemText(int listed = 3, bool fullPaths = false) const;

    // --- building (readers) ---
    /// Adds a person; one whose identifier is already taken (the same card in two books) is left
    /// out. A person without identifier gets @p fallbackUid.
    void addPerson(addressPerson person, const QString& fallbackUid);
    /// Adds a group card; one of the same name as an earlier group (case ignored) joins it.
    void addGroup(const addressBookGroup& group);
    /// Adds @p member to the group called @p groupName (made when missing; case ignored), as the
    /// categories of a card do.
    void addToGroup(const QString& groupName, const addressMember& member);
    void addProblem(const QString& path, int card, const QString& reason);
    /// Puts people and groups into the book's order and builds the look-ups. Readers call it
    /// once, after the last card.
    void finish();

private:
    QList<addressPerson> m_people;
    QList<addressBookGroup> m_groups;
    QList<addressProblem> m_problems;
    QHash<QString, qsizetype> m_byUid;
    QHash<QString, qsizetype> m_byEmail;
    QHash<QString, qsizetype> m_groupByName;
    /// Identifiers of group cards, to the case-folded name of the group they joined.
    QHash<QString, QString> m_groupOfUid;
};

/// Where an address book comes from. read() is called at start-up and whenever the address
/// window opens; it never fails as a whole: what cannot be read is listed in the book's problems.
class addressBookSource
{
public:
    virtual ~addressBookSource() = default;
    virtual addressBook read() = 0;

    /// A source made of a function (tests, fixed books).
    static std::shared_ptr<addressBookSource> fromFunction(std::function<addressBook()> read);
};

/// Strips a "urn:uuid:" prefix (vCard 4 and Apple's group members write identifiers with it).
QString normalisedUid(const QString& uid);

/// First and last name from a whole name ("Mary Ann Lee": "Mary Ann" and "Lee"; one word is a
/// first name).
void splitFullName(const QString& full, QString* first, QString* last);
