#include "addressBook.h"

#include <QCollator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <vector>

namespace
{
QString emailKey(const QString& email)
{
    return email.trimmed().toLower();
}

// Ordering of people: by last name, then first name, as the user's language sorts them and
// ignoring case; a card without a last name files under its first name, or its organisation (a
// company card). Ties keep the order read.
QString sortName(const addressPerson& p)
{
    const QString& primary = !p.lastName.isEmpty() ? p.lastName : !p.firstName.isEmpty() ? p.firstName : p.organisation;
    return primary + QChar(1) + p.firstName;
}

QCollator nameCollator()
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

class functionSource : public addressBookSource
{
public:
    explicit functionSource(std::function<addressBook()> f)
        : m_read(std::move(f))
    {
    }
    addressBook read() override { return m_read ? m_read() : addressBook(); }

private:
    std::function<addressBook()> m_read;
};
} // namespace

void splitFullName(const QString& full, QString* first, QString* last)
{
    const QString name = full.simplified();
    const qsizetype space = name.lastIndexOf(QLatin1Char(' '));
    *first = space < 0 ? name : name.left(space);
    *last = space < 0 ? QString() : name.mid(space + 1);
}

QString normalisedUid(const QString& uid)
{
    const QString trimmed = uid.trimmed();
    if (trimmed.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
        return trimmed.mid(9);
    return trimmed;
}

std::shared_ptr<addressBookSource> addressBookSource::fromFunction(std::function<addressBook()> read)
{
    return std::make_shared<functionSource>(std::move(read));
}

int addressBook::unreadableCards() const
{
    return int(
        std::count_if(m_problems.cbegin(), m_problems.cend(), [](const addressProblem& p) { return p.card > 0; }));
}

int addressBook::unreadableFiles() const
{
    return int(m_problems.size()) - unreadableCards();
}

const addressPerson* addressBook::personWithUid(const QString& uid) const
{
    const auto it = m_byUid.constFind(normalisedUid(uid));
    return it == m_byUid.cend() ? nullptr : &m_people.at(*it);
}

const addressPerson* addressBook::personWithEmail(const QString& email) const
{
    const auto it = m_byEmail.constFind(emailKey(email));
    return it == m_byEmail.cend() ? nullptr : &m_people.at(*it);
}

QList<const addressBookGroup*> addressBook::groupsNamed(const QString& name) const
{
    QList<const addressBookGroup*> found;
    for (const addressBookGroup& g : m_groups) {
        if (g.name.compare(name, Qt::CaseInsensitive) == 0)
            found << &g;
    }
    return found;
}

QList<addressPerson> addressBook::members(const addressBookGroup& group) const
{
    QList<addressPerson> result;
    QSet<QString> seenPeople;
    QSet<const addressBookGroup*> seenGroups;
    std::function<void(const addressBookGroup&)> collect = [&](const addressBookGroup& g) {
        if (seenGroups.contains(&g))
            return; // a group that contains itself, directly or not
        seenGroups.insert(&g);
        for (const addressMember& m : g.members) {
            const addressPerson* person = nullptr;
            if (!m.uid.isEmpty()) {
                person = personWithUid(m.uid);
                if (!person) {
                    const QString uid = normalisedUid(m.uid);
                    const auto sub
                        = std::find_if(m_groups.cbegin(), m_groups.cend(),
                                       [&uid](const addressBookGroup& x) { return !x.uid.isEmpty() && x.uid == uid; });
                    if (sub != m_groups.cend()) {
                        collect(*sub);
                        continue;
                    }
                }
            }
            if (!person && !m.email.isEmpty())
                person = personWithEmail(m.email);
            if (person) {
                if (!seenPeople.contains(person->uid)) {
                    seenPeople.insert(person->uid);
                    result << *person;
                }
                continue;
            }
            if (m.email.isEmpty())
                continue; // names a card this book does not hold
            addressPerson outsider;
            outsider.uid = QStringLiteral("mailto:") + m.email;
            splitFullName(m.name, &outsider.firstName, &outsider.lastName);
            outsider.emails << addressEmail {m.email, {}};
            if (!seenPeople.contains(outsider.uid)) {
                seenPeople.insert(outsider.uid);
                result << outsider;
            }
        }
    };
    collect(group);
    return result;
}

const addressPerson* addressBook::me(const QString& meUid, const QString& environmentEmail) const
{
    if (!meUid.trimmed().isEmpty()) {
        if (const addressPerson* p = personWithUid(meUid))
            return p;
    }
    QString address = environmentEmail.trimmed();
    const qsizetype open = address.lastIndexOf(QLatin1Char('<'));
    const qsizetype close = address.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open)
        address = address.mid(open + 1, close - open - 1).trimmed();
    if (address.isEmpty())
        return nullptr;
    return personWithEmail(address);
}

QString addressBook::problemText(int listed, bool fullPaths) const
{
    auto describe = [fullPaths](const addressProblem& p) {
        const QString where = fullPaths ? p.path : QFileInfo(p.path).fileName();
        if (p.card > 0)
            return QStringLiteral("%1, card %2: %3").arg(where.isEmpty() ? p.path : where).arg(p.card).arg(p.reason);
        return QStringLiteral("%1: %2").arg(where.isEmpty() ? p.path : where, p.reason);
    };
    auto sentence = [&](bool cards) {
        QStringList reasons;
        int count = 0;
        for (const addressProblem& p : m_problems) {
            if ((p.card > 0) != cards)
                continue;
            ++count;
            if (reasons.size() < listed)
                reasons << describe(p);
        }
        if (count == 0)
            return QString();
        QString text = count == 1
            ? (cards ? QStringLiteral("1 card could not be read: ") : QStringLiteral("1 file could not be read: "))
            : QStringLiteral("%1 %2 could not be read: ")
                  .arg(count)
                  .arg(cards ? QStringLiteral("cards") : QStringLiteral("files"));
        text += reasons.join(QStringLiteral("; "));
        if (count > reasons.size())
            text += QStringLiteral("; and %1 more").arg(count - reasons.size());
        return text + QLatin1Char('.');
    };
    QStringList parts;
    const QString cards = sentence(true);
    const QString files = sentence(false);
    if (!cards.isEmpty())
        parts << cards;
    if (!files.isEmpty())
        parts << files;
    return parts.join(QLatin1Char(' '));
}

void addressBook::addPerson(addressPerson person, const QString& fallbackUid)
{
    person.uid = normalisedUid(person.uid);
    if (person.uid.isEmpty())
        person.uid = fallbackUid;
    if (m_byUid.contains(person.uid))
        return;
    m_byUid.insert(person.uid, m_people.size());
    m_people << std::move(person);
}

void addressBook::addGroup(const addressBookGroup& group)
{
    const QString key = group.name.toCaseFolded();
    const QString uid = normalisedUid(group.uid);
    if (!uid.isEmpty() && !m_groupOfUid.contains(uid))
        m_groupOfUid.insert(uid, key);
    const auto it = m_groupByName.constFind(key);
    if (it == m_groupByName.cend()) {
        m_groupByName.insert(key, m_groups.size());
        m_groups << group;
        m_groups.last().uid = uid;
        return;
    }
    addressBookGroup& existing = m_groups[*it];
    existing.members << group.members;
    if (existing.uid.isEmpty())
        existing.uid = uid;
}

void addressBook::addToGroup(const QString& groupName, const addressMember& member)
{
    const QString key = groupName.toCaseFolded();
    const auto it = m_groupByName.constFind(key);
    if (it != m_groupByName.cend()) {
        m_groups[*it].members << member;
        return;
    }
    addressBookGroup g;
    g.name = groupName;
    g.members << member;
    m_groupByName.insert(key, m_groups.size());
    m_groups << g;
}

void addressBook::addProblem(const QString& path, int card, const QString& reason)
{
    m_problems << addressProblem {path, card, reason};
}

void addressBook::finish()
{
    const QCollator collator = nameCollator();
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keys;
    keys.reserve(m_people.size());
    for (qsizetype i = 0; i < m_people.size(); ++i)
        keys.emplace_back(collator.sortKey(sortName(m_people.at(i))), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QList<addressPerson> sorted;
    sorted.reserve(m_people.size());
    for (const auto& k : keys)
        sorted << std::move(m_people[k.second]);
    m_people = std::move(sorted);

    std::stable_sort(m_groups.begin(), m_groups.end(),
                     [&collator](const addressBookGroup& a, const addressBookGroup& b) {
                         return collator.compare(a.name, b.name) < 0;
                     });

    m_byUid.clear();
    m_byEmail.clear();
    m_groupByName.clear();
    for (qsizetype i = 0; i < m_people.size(); ++i) {
        m_byUid.insert(m_people.at(i).uid, i);
        for (const addressEmail& e : m_people.at(i).emails) {
            const QString key = emailKey(e.address);
            if (!m_byEmail.contains(key))
                m_byEmail.insert(key, i);
        }
    }
    for (qsizetype i = 0; i < m_groups.size(); ++i)
        m_groupByName.insert(m_groups.at(i).name.toCaseFolded(), i);
}
