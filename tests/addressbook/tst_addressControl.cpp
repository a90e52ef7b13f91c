// The invite sheet's address-book controller: people rows and their labels, group rows and
// searches, invitees, the user's own card, table cells.

#include "addressbook/addressControl.h"
#include "testutil.h"

#include <QTest>

namespace
{
addressPerson person(const QString& uid, const QString& first, const QString& last, const QString& org,
                     const QList<addressEmail>& emails)
{
    addressPerson p;
    p.uid = uid;
    p.firstName = first;
    p.lastName = last;
    p.organisation = org;
    p.emails = emails;
    return p;
}

// Acme (company card), Anna (two labelled addresses), Bo (no e-mail), Cy; groups "Team" (Cy,
// Anna) and "friends" (Bo).
addressBook fixtureBook()
{
    addressBook book;
    book.addPerson(person("A", "Anna", "Berg", "Acme",
                          {{"anna@acme.example", "_$!<Work>!$_"}, {"anna@home.example", "_$!<Home>!$_"}}),
                   {});
    book.addPerson(person("C", "", "", "Acme Widgets", {{"sales@acme.example", "_$!<Work>!$_"}}), {});
    book.addPerson(person("B", "Bo", "Dahl", "", {}), {});
    book.addPerson(person("Y", "Cy", "Eck", "", {{"cy@eck.example", ""}}), {});
    book.addGroup({"Team", "T", {{"Y", {}, {}}, {"A", {}, {}}}});
    book.addToGroup("friends", {"B", {}, {}});
    book.finish();
    return book;
}

QStringList names(const addressControl& c)
{
    QStringList out;
    for (const addressEntry& e : c.getTheAddresses())
        out << e.getTheName();
    return out;
}
} // namespace

class TestAddressControl : public QObject
{
    Q_OBJECT

    std::unique_ptr<testutil::TempSettings> m_settings;

    addressControl loaded()
    {
        addressControl c(addressBookSource::fromFunction(fixtureBook));
        c.setUpAddressess();
        return c;
    }

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<testutil::TempSettings>();
        qunsetenv("EMAIL");
    }
    void cleanup() { m_settings.reset(); }

    // One row per person and address; labels without their markers, a value without a label
    // keeps the one before it; the organisation stands in for missing names.
    void rows_data()
    {
        QTest::addColumn<QList<addressEmail>>("emails");
        QTest::addColumn<QStringList>("name"); // first, last, organisation
        QTest::addColumn<QStringList>("display");
        QTest::addColumn<QStringList>("real");
        auto row = [](const char* tag, const QList<addressEmail>& emails, const QStringList& name,
                      const QStringList& display,
                      const QStringList& real) { QTest::newRow(tag) << emails << name << display << real; };
        const QStringList anna {"Anna", "Berg", "Acme"};
        row("work and home", QList<addressEmail> {{"a@w", "_$!<Work>!$_"}, {"a@h", "_$!<Home>!$_"}}, anna,
            QStringList {"Anna Berg (Work)", "Anna Berg (Home)"}, QStringList {"Anna Berg", "Anna Berg"});
        row("unlabelled keeps the previous label", QList<addressEmail> {{"a@1", ""}, {"a@2", "Uni"}, {"a@3", ""}}, anna,
            QStringList {"Anna Berg ()", "Anna Berg (Uni)", "Anna Berg (Uni)"},
            QStringList {"Anna Berg", "Anna Berg", "Anna Berg"});
        row("markers anywhere", QList<addressEmail> {{"a@1", "x_$!<_$!<Mobile>!$_>!$_"}}, anna,
            QStringList {"Anna Berg (xMobile)"}, QStringList {"Anna Berg"});
        row("company card", QList<addressEmail> {{"s@a", "_$!<Work>!$_"}}, QStringList {"", "", "Acme Widgets"},
            QStringList {"Acme Widgets  (Work)"}, QStringList {"Acme Widgets"});
        row("nobody", QList<addressEmail> {{"x@y", "_$!<Other>!$_"}}, QStringList {"", "", ""},
            QStringList {"  (Other)"}, QStringList {""});
        row("first name only", QList<addressEmail> {{"m@m", ""}}, QStringList {"Mum", "", ""}, QStringList {"Mum  ()"},
            QStringList {"Mum"});
        row("no e-mail, no row", QList<addressEmail> {}, anna, QStringList {}, QStringList {});
    }
    void rows()
    {
        QFETCH(QList<addressEmail>, emails);
        QFETCH(QStringList, name);
        QFETCH(QStringList, display);
        QFETCH(QStringList, real);
        addressControl c;
        c.populateAddressDisplayArray({person("U1", name[0], name[1], name[2], emails)});
        QCOMPARE(names(c), display);
        QStringList reals, addresses, ids;
        for (const addressEntry& e : c.getTheAddresses()) {
            reals << e.getTheRealName();
            addresses << e.getTheEmailAddress();
            ids << e.getTheUniqueNameID();
        }
        QCOMPARE(reals, real);
        QStringList expectedAddresses;
        for (const addressEmail& e : emails)
            expectedAddresses << e.address;
        QCOMPARE(addresses, expectedAddresses);
        QCOMPARE(ids, QStringList(display.size(), "U1"));
    }

    void groupsAllFirstAndSearchIgnoringCase()
    {
        addressControl c = loaded();
        QStringList titles;
        for (const addressGroups& g : c.getAddressGroupsArray())
            titles << g.getTheGroup();
        QCOMPARE(titles, (QStringList {"All", "friends", "Team"}));
        QCOMPARE(names(c), (QStringList {"Acme Widgets  (Work)", "Anna Berg (Work)", "Anna Berg (Home)", "Cy Eck ()"}));
        c.displayGroupAddress(2);
        QCOMPARE(names(c), (QStringList {"Cy Eck ()", "Anna Berg (Work)", "Anna Berg (Home)"}));
        c.displayGroupAddress(1);
        QCOMPARE(names(c), QStringList {}); // Bo has no address
        // Row titles are looked up by name, ignoring case; a title no group has shows nobody.
        addressGroups upper, stale;
        upper.setTheGroup("TEAM");
        stale.setTheGroup("Gone");
        c.setAddressGroupsArray({c.getAddressGroupsArray().first(), upper, stale});
        c.displayGroupAddress(1);
        QCOMPARE(c.getTheAddresses().size(), 3);
        c.displayGroupAddress(2);
        QVERIFY(c.getTheAddresses().isEmpty());
        c.displayGroupAddress(0);
        QCOMPARE(c.getTheAddresses().size(), 4);
        c.displayGroupAddress(7);
        QVERIFY(c.getTheAddresses().isEmpty());
        QCOMPARE(c.rowOfGroup("team"), 1);
        QCOMPARE(c.rowOfGroup("all"), 0);
        QCOMPARE(c.rowOfGroup("nope"), -1);

        addressControl empty;
        empty.setUpAddressess();
        QCOMPARE(empty.getAddressGroupsArray().size(), 1);
        QCOMPARE(empty.getAddressGroupsArray().first().getTheGroup(), QStringLiteral("All"));
        QCOMPARE(empty.statusText(), QStringLiteral("0 people, 0 groups"));
    }

    // No duplicate check; removal from the highest row down; the list outlives re-reading.
    void invitees()
    {
        addressControl c = loaded();
        c.addAddressesToInvitees({3, 0, 0});
        QCOMPARE(c.getTheInvitees().size(), 3);
        const invitee& first = c.getTheInvitees().at(0);
        QCOMPARE(first.getTheInviteeName(), QStringLiteral("Acme Widgets  (Work)"));
        QCOMPARE(first.getTheRealName(), QStringLiteral("Acme Widgets"));
        QCOMPARE(first.getTheInviteeEmailAddress(), QStringLiteral("sales@acme.example"));
        QCOMPARE(first.getTheUniqueNameID(), QStringLiteral("C"));
        QCOMPARE(c.getTheInvitees().at(1).getTheInviteeEmailAddress(), first.getTheInviteeEmailAddress());
        QCOMPARE(c.getTheInvitees().at(2).getTheInviteeEmailAddress(), QStringLiteral("cy@eck.example"));
        c.addAddressToInvitee(4);
        c.addAddressToInvitee(-1);
        QCOMPARE(c.getTheInvitees().size(), 3);

        c.addAddressesToInvitees({1, 2});
        QStringList before;
        for (const invitee& i : c.getTheInvitees())
            before << i.getTheInviteeEmailAddress();
        c.removeInvitees({3, 1, 3, 9});
        QStringList after;
        for (const invitee& i : c.getTheInvitees())
            after << i.getTheInviteeEmailAddress();
        QCOMPARE(after, (QStringList {before[0], before[2], before[4]}));
        c.setUpAddressess();
        QCOMPARE(c.getTheInvitees().size(), 3);
    }

    void ownCard_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        auto row = [](const char* tag, const QString& setting, const QString& environment, const QString& name,
                      const QString& email) { QTest::newRow(tag) << setting << environment << name << email; };
        row("marked card", "Y", "anna@acme.example", "Cy Eck", "cy@eck.example");
        row("EMAIL, any case, with a name", "", "Anna <ANNA@home.example>", "Anna Berg", "anna@acme.example");
        row("marked card gone: EMAIL", "gone", "cy@eck.example", "Cy Eck", "cy@eck.example");
        row("company card has no names", "C", "", "", "sales@acme.example");
        row("nobody", "", "stranger@x.example", "", "");
        row("no address on the card", "B", "", "Bo Dahl", "");
    }
    void ownCard()
    {
        QFETCH(QString, setting);
        QFETCH(QString, environment);
        QFETCH(QString, name);
        QFETCH(QString, email);
        if (!setting.isEmpty())
            UserDefaults::standard().setValue("meCard", setting);
        qputenv("EMAIL", environment.toUtf8());
        addressControl c = loaded();
        QCOMPARE(c.getFullMeName(), name);
        QCOMPARE(c.getPrimaryEmailAddressOfMe(), email);
        QCOMPARE(c.getMyEntry() != nullptr, !(name + email).isEmpty());
    }

    void cellsByColumnIdentifier()
    {
        addressControl c = loaded();
        const addressEntry& row = c.getTheAddresses().at(1);
        QCOMPARE((QStringList {
                     addressControl::valueForKey(row, "theName"), addressControl::valueForKey(row, "theEmailAddress"),
                     addressControl::valueForKey(row, "theRealName"), addressControl::valueForKey(row, "uniqueNameID"),
                     addressControl::valueForKey(row, "bogus")}),
                 (QStringList {"Anna Berg (Work)", "anna@acme.example", "Anna Berg", "A", ""}));
        QCOMPARE(addressControl::valueForKey(c.getAddressGroupsArray().at(2), "theGroup"), QStringLiteral("Team"));
        c.addAddressToInvitee(0);
        const QStringList keys {"inviteeName", "inviteeEmailAddress", "theRealName", "uniqueNameID"};
        for (const QString& key : keys)
            QVERIFY(c.setInviteeValue(0, key, key + "!"));
        QVERIFY(!c.setInviteeValue(0, "theName", "x"));
        QVERIFY(!c.setInviteeValue(1, "inviteeName", "x"));
        for (const QString& key : keys)
            QCOMPARE(addressControl::valueForKey(c.getTheInvitees().first(), key), key + "!");
    }
};

QTEST_GUILESS_MAIN(TestAddressControl)
#include "tst_addressControl.moc"
