// Reading address books: vCard 2.1/3.0/4.0 cards as Apple, Google, Evolution, phones and
// Thunderbird write them, the group forms, broken cards and files, Evolution's databases and
// the places read by default.

#include "addressbook/systemAddressBook.h"
#include "addressbook/vCard.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QTest>

namespace
{
template <std::size_t N>
QByteArray bytesOf(const char (&literal)[N])
{
    return QByteArray(literal, qsizetype(N) - 1); // NULs included
}

QByteArray utf16le(const QString& text)
{
    return QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(text.utf16()), 2 * text.size());
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

addressBook bookOf(const QByteArray& bytes)
{
    addressBook book;
    vCard::readCards(bytes, QStringLiteral("/books/test.vcf"), &book);
    book.finish();
    return book;
}

// "address|label" for each e-mail value.
QStringList emailsOf(const addressPerson& p)
{
    QStringList out;
    for (const addressEmail& e : p.emails)
        out << e.address + QLatin1Char('|') + e.label;
    return out;
}

QStringList groupNames(const addressBook& book)
{
    QStringList out;
    for (const addressBookGroup& g : book.groups())
        out << g.name;
    return out;
}

QStringList memberUids(const addressBook& book, const QString& group)
{
    QStringList out;
    const auto found = book.groupsNamed(group);
    if (found.isEmpty())
        return {QStringLiteral("<no group>")};
    for (const addressPerson& p : book.members(*found.first()))
        out << p.uid;
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

const QByteArray kAppleAnna = crlf("BEGIN:VCARD\n"
                                   "VERSION:3.0\n"
                                   "PRODID:-//Apple Inc.//macOS 13.0//EN\n"
                                   "N:Berg;Anna;;;\n"
                                   "FN:Anna Berg\n"
                                   "ORG:Acme GmbH;Research\n"
                                   "item1.EMAIL;type=INTERNET;type=pref:anna@private.example\n"
                                   "item1.X-ABLabel:_$!<Other>!$_\n"
                                   "EMAIL;type=INTERNET;type=WORK:anna@acme.example\n"
                                   "item2.EMAIL;type=INTERNET:anna@uni.example\n"
                                   "item2.X-ABLabel:Uni\n"
                                   "UID:1A2B-APPLE\n"
                                   "END:VCARD\n");
const QByteArray kAppleGroup = crlf("BEGIN:VCARD\n"
                                    "VERSION:3.0\n"
                                    "N:Team\n"
                                    "FN:Team\n"
                                    "X-ADDRESSBOOKSERVER-KIND:group\n"
                                    "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:1A2B-APPLE\n"
                                    "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:pas-id-EVE\n"
                                    "UID:GROUP-TEAM\n"
                                    "END:VCARD\n");
const QByteArray kGoogleCarl = crlf("BEGIN:VCARD\n"
                                    "VERSION:3.0\n"
                                    "FN:Carl Dunn\n"
                                    "N:Dunn;Carl;;;\n"
                                    "EMAIL;TYPE=INTERNET;TYPE=HOME:carl@home.example\n"
                                    "EMAIL;TYPE=INTERNET;TYPE=WORK:carl@work.example\n"
                                    "CATEGORIES:myContacts,family\n"
                                    "END:VCARD\n");
const QByteArray kEvolutionEve = crlf("BEGIN:VCARD\n"
                                      "VERSION:3.0\n"
                                      "UID:pas-id-EVE\n"
                                      "N:Evans;Eve;;;\n"
                                      "FN:Eve Evans\n"
                                      "EMAIL;TYPE=WORK;X-EVOLUTION-UI-SLOT=1:eve@work.example\n"
                                      "EMAIL;TYPE=HOME;X-EVOLUTION-UI-SLOT=2:eve@home.example\n"
                                      "CATEGORIES:Family\n"
                                      "END:VCARD\n");
const QByteArray kEvolutionList = crlf("BEGIN:VCARD\n"
                                       "VERSION:3.0\n"
                                       "UID:pas-id-LIST\n"
                                       "FN:Book club\n"
                                       "N:Book club;;;;\n"
                                       "X-EVOLUTION-LIST:TRUE\n"
                                       "EMAIL;X-EVOLUTION-DEST-CONTACT-UID=pas-id-EVE;X-EVOLUTION-DEST-EMAIL-NUM=0:Eve "
                                       "Evans <eve@work.example>\n"
                                       "EMAIL;X-EVOLUTION-DEST-NAME=Frank Field:Frank Field <frank@field.example>\n"
                                       "END:VCARD\n");
const QByteArray kV4Group = crlf("BEGIN:VCARD\n"
                                 "VERSION:4.0\n"
                                 "KIND:group\n"
                                 "FN:Climbing\n"
                                 "MEMBER:urn:uuid:0001-IDA\n"
                                 "MEMBER:mailto:guest@climb.example\n"
                                 "MEMBER:urn:uuid:GROUP-TEAM\n"
                                 "UID:urn:uuid:0002-CLIMB\n"
                                 "END:VCARD\n");
const QByteArray kV4Ida = crlf("BEGIN:VCARD\n"
                               "VERSION:4.0\n"
                               "UID:urn:uuid:0001-IDA\n"
                               "FN:Ida Ito\n"
                               "N:Ito;Ida;;;\n"
                               "EMAIL;TYPE=\"work,voice\";PREF=1:ida@work.example\n"
                               "END:VCARD\n");
} // namespace

class TestVCard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { testutil::pinZone("Europe/Kyiv"); }

    // One card each: how names, organisation, identifier and e-mail labels come out.
    void person_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QStringList>("fields"); // first, last, organisation, uid
        QTest::addColumn<QStringList>("emails");

        QTest::newRow("Apple labels: marked standard, own word, group label over TYPE")
            << kAppleAnna << QStringList {"Anna", "Berg", "Acme GmbH", "1A2B-APPLE"}
            << QStringList {"anna@private.example|_$!<Other>!$_", "anna@acme.example|_$!<Work>!$_",
                            "anna@uni.example|Uni"};
        QTest::newRow("Google: TYPE labels, no UID")
            << kGoogleCarl << QStringList {"Carl", "Dunn", "", "/books/test.vcf#1"}
            << QStringList {"carl@home.example|_$!<Home>!$_", "carl@work.example|_$!<Work>!$_"};
        QTest::newRow("vCard 4: quoted TYPE list, PREF is no label, urn:uuid dropped")
            << kV4Ida << QStringList {"Ida", "Ito", "", "0001-IDA"} << QStringList {"ida@work.example|_$!<Work>!$_"};
        QTest::newRow("2.1 quoted-printable UTF-8 names, bare types")
            << crlf("BEGIN:VCARD\nVERSION:2.1\n"
                    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;\n"
                    "EMAIL;PREF;INTERNET:juergen@mueller.example\n"
                    "EMAIL;INTERNET;HOME:j@home.example\nEND:VCARD\n")
            << QStringList {"Jürgen", "Müller", "", "/books/test.vcf#1"}
            << QStringList {"juergen@mueller.example|", "j@home.example|_$!<Home>!$_"};
        QTest::newRow("2.1 quoted-printable Latin-1 with a soft line break")
            << crlf("BEGIN:VCARD\nVERSION:2.1\n"
                    "N;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Gr=F6nberg-Lang=\nhals;Bj=F6rn\n"
                    "EMAIL;INTERNET:bjorn@example.org\nEND:VCARD\n")
            << QStringList {"Björn", "Grönberg-Langhals", "", "/books/test.vcf#1"}
            << QStringList {"bjorn@example.org|"};
        QTest::newRow("8-bit Latin-1 bytes named by CHARSET, others Windows-1252")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1:Fran\xE7ois;L\xE9"
                          "a\r\n"
                          "ORG:Caf\xE9 \x80uro\r\nEMAIL:lea@example.fr\r\nEND:VCARD\r\n")
            << QStringList {"Léa", "François", "Café €uro", "/books/test.vcf#1"} << QStringList {"lea@example.fr|"};
        QTest::newRow("UTF-16 with byte-order mark")
            << utf16le(QStringLiteral("BEGIN:VCARD\r\nN:Øre;Åse\r\nEMAIL:ase@x.no\r\nEND:VCARD\r\n"))
            << QStringList {"Åse", "Øre", "", "/books/test.vcf#1"} << QStringList {"ase@x.no|"};
        QTest::newRow("folded lines (space and tab), lower-case names, LF ends, escapes")
            << QByteArray("begin:vcard\nversion:3.0\nn:O\\;Brien;Sea\n n\nfn:x\nemail;type=work:sean@ob\n\t.example\n"
                          "org:Brien\\, Sons & Co\nend:vcard\n")
            << QStringList {"Sean", "O;Brien", "Brien, Sons & Co", "/books/test.vcf#1"}
            << QStringList {"sean@ob.example|_$!<Work>!$_"};
        QTest::newRow("company card: names stay empty so the organisation stands in")
            << crlf("BEGIN:VCARD\nVERSION:3.0\nN:;;;;\nFN:Acme Widgets\nORG:Acme Widgets;\nX-ABShowAs:COMPANY\n"
                    "EMAIL;type=INTERNET;type=WORK:sales@acme.example\nUID:ACME\nEND:VCARD\n")
            << QStringList {"", "", "Acme Widgets", "ACME"} << QStringList {"sales@acme.example|_$!<Work>!$_"};
        QTest::newRow("FN without N gives the names")
            << crlf("BEGIN:VCARD\nVERSION:4.0\nFN:Mary Ann Lee\nEMAIL:mal@example.org\nUID:M\nEND:VCARD\n")
            << QStringList {"Mary Ann", "Lee", "", "M"} << QStringList {"mal@example.org|"};
        QTest::newRow("own TYPE word and mailto, Name <address> values")
            << crlf("BEGIN:VCARD\nVERSION:3.0\nN:Oz;Ola\nEMAIL;TYPE=X-School:mailto:ola@school.example\n"
                    "EMAIL:\"Ola Oz\" <ola@oz.example>\nEMAIL:\nUID:O\nEND:VCARD\n")
            << QStringList {"Ola", "Oz", "", "O"} << QStringList {"ola@school.example|School", "ola@oz.example|"};
        QTest::newRow("line breaks in names become spaces")
            << crlf("BEGIN:VCARD\nVERSION:2.1\nN;ENCODING=QUOTED-PRINTABLE:Two=0D=0ALines;Ann=09\nFN:x\\ny\n"
                    "item1.EMAIL;TYPE=Work:w@x.example\nitem1.X-ABLabel:Private\\nMail\nUID:L\nEND:VCARD\n")
            << QStringList {"Ann", "Two Lines", "", "L"} << QStringList {"w@x.example|Private Mail"};
        QTest::newRow("2.1 picture in lines of its own") << crlf(
            "BEGIN:VCARD\nVERSION:2.1\nN:Pic;Pia\nPHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRg\n"
            "ABAQEASABIAAD/2wBDAAMCAgMC\n  AgMDAwMEAwMEBQgFBQQEBQoH\n\nEMAIL;INTERNET:pia@pic.example\nEND:VCARD\n")
                                                         << QStringList {"Pia", "Pic", "", "/books/test.vcf#1"}
                                                         << QStringList {"pia@pic.example|"};
        QTest::newRow("a 2.1 AGENT's card is not a person of the book")
            << crlf("BEGIN:VCARD\nVERSION:2.1\nN:Boss;Bea\nAGENT:\nBEGIN:VCARD\nN:Helper;Hal\nEMAIL:hal@x.example\n"
                    "END:VCARD\nEMAIL;WORK:bea@x.example\nEND:VCARD\n")
            << QStringList {"Bea", "Boss", "", "/books/test.vcf#1"} << QStringList {"bea@x.example|_$!<Work>!$_"};
    }
    void person()
    {
        QFETCH(QByteArray, card);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, emails);
        const addressBook book = bookOf(card);
        QVERIFY2(book.problems().isEmpty(), qPrintable(book.problemText()));
        QCOMPARE(book.people().size(), 1);
        const addressPerson& p = book.people().first();
        QCOMPARE((QStringList {p.firstName, p.lastName, p.organisation, p.uid}), fields);
        QCOMPARE(emailsOf(p), emails);
    }

    void charsetsThroughQtConverters()
    {
        if (!QStringDecoder("Shift_JIS").isValid())
            QSKIP("this Qt has no Shift_JIS converter");
        const addressBook book
            = bookOf("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\x91\xBE\x98\x59\r\n"
                     "EMAIL:taro@example.jp\r\nEND:VCARD\r\n");
        QCOMPARE(book.people().value(0).lastName, QStringLiteral("山田"));
        QCOMPARE(book.people().value(0).firstName, QStringLiteral("太郎"));
    }

    // Every group form, merged by name across books, in name order after "All" (which the
    // controller adds); members in the group's order.
    void groups()
    {
        const QString root = m_dir.filePath("groups/contacts");
        writeFile(root + "/personal/anna.vcf", kAppleAnna);
        writeFile(root + "/personal/team.vcf", kAppleGroup);
        writeFile(root + "/personal/carl.vcf", kGoogleCarl);
        writeFile(root + "/work/eve.vcf", kEvolutionEve);
        writeFile(root + "/work/list.vcf", kEvolutionList);
        writeFile(root + "/work/climb.vcf", kV4Group + kV4Ida);
        writeFile(root + "/work/.hidden/ghost.vcf", kV4Ida);
        writeFile(root + "/work/notes.txt", "not a card");
        QVERIFY(QFile::link(root + "/work", root + "/work-again")); // a link to a book is read once
        addressBook book;
        QCOMPARE(vCard::readFolder(root, &book), 7);
        book.finish();
        QVERIFY2(book.problems().isEmpty(), qPrintable(book.problemText()));
        QCOMPARE(book.people().size(), 4); // groups are not people
        QCOMPARE(groupNames(book), (QStringList {"Book club", "Climbing", "family", "myContacts", "Team"}));
        QCOMPARE(memberUids(book, "FAMILY"), (QStringList {root + "/personal/carl.vcf#1", "pas-id-EVE"}));
        QCOMPARE(memberUids(book, "team"), (QStringList {"1A2B-APPLE", "pas-id-EVE"}));
        // vCard 4: a card, an address no card has, and a group standing for its members.
        QCOMPARE(memberUids(book, "Climbing"),
                 (QStringList {"0001-IDA", "mailto:guest@climb.example", "1A2B-APPLE", "pas-id-EVE"}));
        // Evolution's list: by contact identifier, else by the name and address it holds.
        QCOMPARE(memberUids(book, "Book club"), (QStringList {"pas-id-EVE", "mailto:frank@field.example"}));
        const QList<addressPerson> club = book.members(*book.groupsNamed("Book club").first());
        QCOMPARE((QStringList {club.at(1).firstName, club.at(1).lastName}), (QStringList {"Frank", "Field"}));
        // People by last name.
        QStringList order;
        for (const addressPerson& p : book.people())
            order << p.lastName;
        QCOMPARE(order, (QStringList {"Berg", "Dunn", "Evans", "Ito"}));
    }

    void groupThatContainsItselfEnds()
    {
        const addressBook book = bookOf(crlf("BEGIN:VCARD\nVERSION:4.0\nKIND:group\nFN:Loop\nUID:L\nMEMBER:urn:uuid:L\n"
                                             "MEMBER:urn:uuid:0001-IDA\nEND:VCARD\n")
                                        + kV4Ida);
        QCOMPARE(memberUids(book, "Loop"), QStringList {"0001-IDA"});
    }

    // A cut-off or empty card is left out and counted; the cards around it are kept; files that
    // cannot be read are listed beside them.
    void brokenCardsAndFiles()
    {
        const QString dir = m_dir.filePath("broken");
        writeFile(dir + "/mixed.vcf",
                  kGoogleCarl + crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Cut Off\nEMAIL:cut@off.example\n") // no END
                      + kEvolutionEve + crlf("BEGIN:VCARD\n\x01\x02garbage\x7F\nEND:VCARD\n")
                      + crlf("END:VCARD\nBEGIN:VCARD\nVERSION:4.0\nKIND:group\nMEMBER:urn:uuid:x\nEND:VCARD\n")
                      + kV4Ida.left(kV4Ida.size() - 20)); // cut inside the last card
        writeFile(dir + "/binary.vcf", bytesOf("\x00\x01\x02\xFF\xFE\x00garbage"));
        writeFile(dir + "/empty.vcf", "");
        addressBook book;
        QCOMPARE(vCard::readFolder(dir, &book), 2);
        book.finish();
        QCOMPARE(book.people().size(), 2);
        QCOMPARE(book.unreadableCards(), 4);
        QCOMPARE(book.unreadableFiles(), 1);
        QCOMPARE(book.problemText(),
                 QStringLiteral("4 cards could not be read: mixed.vcf, card 2: no END:VCARD; mixed.vcf, card 4: no "
                                "property could be read; mixed.vcf, card 5: a group without a name; and 1 more. "
                                "1 file could not be read: binary.vcf: holds no vCard."));
        QVERIFY(book.problemText(10, true).contains(dir + "/mixed.vcf, card 6: no END:VCARD"));
    }

    // Hostile input ends quickly and keeps what can be read.
    void hostileInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("people");
        QByteArray many;
        for (int i = 0; i < 20000; ++i)
            many += "BEGIN:VCARD\r\nN:P" + QByteArray::number(i) + ";Q\r\nEMAIL:p" + QByteArray::number(i)
                + "@x\r\nEND:VCARD\r\n";
        QTest::newRow("20000 cards") << many << 20000;
        QTest::newRow("one line of 8 MB") << "BEGIN:VCARD\r\nN:" + QByteArray(8 << 20, 'x') + "\r\nEND:VCARD\r\n" << 1;
        QTest::newRow("soft break at the end")
            << QByteArray("BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:A=\r\nEND:VCARD\r\nEMAIL;QUOTED-PRINTABLE:=")
            << 1;
        QTest::newRow("NULs") << bytesOf("BEGIN:VCARD\r\nN:A\0B;C\r\nEMAIL:a@\0\r\nEND:VCARD\r\n") << 1;
        QTest::newRow("endless folds") << "BEGIN:VCARD\r\nN:A" + QByteArray(200000, '\n').replace("\n", "\n ")
                + "\r\nEND:VCARD" << 1;
        QTest::newRow("nested AGENT never closed")
            << QByteArray("BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nN:x\r\n") << 0;
    }
    void hostileInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, people);
        QElapsedTimer t;
        t.start();
        const addressBook book = bookOf(bytes);
        QCOMPARE(book.people().size(), people);
        QVERIFY(t.elapsed() < 10000 * testutil::kSlowdown);
    }

    // Evolution keeps one vCard text per contact in an SQLite table; the database is only read.
    void evolutionDatabase()
    {
        const QString home = m_dir.filePath("evo");
        const QString db = home + "/evolution/addressbook/system/contacts.db";
        QDir().mkpath(QFileInfo(db).path());
        {
            QSqlDatabase sql = QSqlDatabase::addDatabase("QSQLITE", "fixture");
            sql.setDatabaseName(db);
            QVERIFY(sql.open());
            QSqlQuery q(sql);
            QVERIFY(q.exec("CREATE TABLE folders (folder_id TEXT PRIMARY KEY, version INTEGER)"));
            QVERIFY(q.exec("INSERT INTO folders VALUES ('folder_id', 12)"));
            QVERIFY(q.exec(
                "CREATE TABLE folder_id (uid TEXT PRIMARY KEY, Rev TEXT, file_as TEXT, vcard TEXT, bdata TEXT)"));
            for (const QByteArray& card : {kEvolutionEve, kEvolutionList, QByteArray("BEGIN:VCARD\r\nFN:Cut")}) {
                QVERIFY(q.prepare("INSERT INTO folder_id (uid, vcard) VALUES (?, ?)"));
                q.addBindValue(QString::number(qHash(card)));
                q.addBindValue(QString::fromUtf8(card));
                QVERIFY(q.exec());
            }
        }
        QSqlDatabase::removeDatabase("fixture");
        const QByteArray before = [&] {
            QFile f(db);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        writeFile(home + "/evolution/addressbook/broken/contacts.db", "this is not SQLite at all, not even close");
        qputenv("XDG_DATA_HOME", home.toUtf8());
        testutil::TempSettings settings;
        QCOMPARE(systemAddressBook::defaultPaths(),
                 (QStringList {home + "/evolution/addressbook/broken/contacts.db", db}));
        const addressBook book = systemAddressBook().read();
        QCOMPARE(book.people().size(), 1);
        QCOMPARE(book.people().first().uid, QStringLiteral("pas-id-EVE"));
        QCOMPARE(memberUids(book, "Book club"), (QStringList {"pas-id-EVE", "mailto:frank@field.example"}));
        QCOMPARE(book.unreadableCards(), 1);
        QCOMPARE(book.unreadableFiles(), 1);
        QVERIFY2(book.problemText().contains("1 file could not be read: contacts.db: "),
                 qPrintable(book.problemText()));
        QFile f(db);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        qunsetenv("XDG_DATA_HOME");
    }

    // The setting lists folders and files; "default" keeps the default places; a card in two
    // books comes once.
    void configuredPaths()
    {
        const QString home = m_dir.filePath("paths");
        writeFile(home + "/contacts/book/eve.vcf", kEvolutionEve);
        writeFile(home + "/export.vcf", kGoogleCarl + kEvolutionEve);
        qputenv("XDG_DATA_HOME", home.toUtf8());
        testutil::TempSettings settings;
        QCOMPARE(systemAddressBook().read().people().size(), 1);
        UserDefaults::standard().setValue("addressBookPaths", QStringList {home + "/export.vcf"});
        QCOMPARE(systemAddressBook().read().people().size(), 2);
        UserDefaults::standard().setValue("addressBookPaths",
                                          QStringList {"default", home + "/export.vcf", home + "/gone.vcf"});
        const addressBook book = systemAddressBook().read();
        QCOMPARE(book.people().size(), 2);
        QCOMPARE(book.problemText(), QStringLiteral("1 file could not be read: gone.vcf: does not exist."));
        QCOMPARE(systemAddressBook({home + "/contacts"}).read().people().size(), 1);
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vCard.moc"
