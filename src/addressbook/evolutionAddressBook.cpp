// The user's address books: vCard folders and files, and Evolution's SQLite databases.

#include "addressbook/systemAddressBook.h"
#include "addressbook/vCard.h"
#include "platform/UserDefaults.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace
{
QString dataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : xdg;
}

QString expandedHome(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

bool isDatabase(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0;
}

QString quotedIdentifier(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Opens, reads and closes one connection; QSqlDatabase wants the connection's objects gone before
// the connection is removed, hence the inner scope.
int readTables(const QString& path, const QString& connection, addressBook* book)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
        book->addProblem(path, 0, db.lastError().text());
        return 0;
    }
    QSqlQuery tables(db);
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid"))) {
        book->addProblem(path, 0, tables.lastError().text());
        return 0;
    }
    QStringList contactTables;
    while (tables.next()) {
        const QString table = tables.value(0).toString();
        QSqlQuery columns(db);
        if (!columns.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(table))))
            continue;
        bool uid = false;
        bool vcard = false;
        while (columns.next()) {
            const QString column = columns.value(1).toString().toLower();
            uid = uid || column == QLatin1String("uid");
            vcard = vcard || column == QLatin1String("vcard");
        }
        if (uid && vcard)
            contactTables << table;
    }
    if (contactTables.isEmpty()) {
        book->addProblem(path, 0, QStringLiteral("holds no contacts table"));
        return 0;
    }
    // One text of all cards, so that problems are numbered through the whole database.
    QByteArray cards;
    for (const QString& table : contactTables) {
        QSqlQuery rows(db);
        if (!rows.exec(QStringLiteral("SELECT vcard FROM %1").arg(quotedIdentifier(table)))) {
            book->addProblem(path, 0, rows.lastError().text());
            continue;
        }
        while (rows.next()) {
            const QByteArray card = rows.value(0).toByteArray();
            if (card.trimmed().isEmpty())
                continue;
            cards += card;
            cards += "\r\n";
        }
    }
    return vCard::readCards(cards, path, book);
}
} // namespace

namespace evolution
{
int readDatabase(const QString& path, addressBook* book)
{
    if (!QFileInfo(path).isFile()) {
        book->addProblem(path, 0, QStringLiteral("does not exist"));
        return 0;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        book->addProblem(path, 0, QStringLiteral("cannot be read without Qt's SQLite driver"));
        return 0;
    }
    static QAtomicInt counter;
    const QString connection = QStringLiteral("tidewell-evolution-%1").arg(counter.fetchAndAddRelaxed(1));
    const int read = readTables(path, connection, book);
    QSqlDatabase::removeDatabase(connection);
    return read;
}
} // namespace evolution

systemAddressBook::systemAddressBook(const QStringList& paths)
    : m_paths(paths)
{
}

QStringList systemAddressBook::configuredPaths()
{
    const UserDefaults& defaults = UserDefaults::standard();
    if (defaults.contains(QStringLiteral("addressBookPaths")))
        return defaults.stringList(QStringLiteral("addressBookPaths"));
    return {QStringLiteral("default")};
}

QStringList systemAddressBook::defaultPaths()
{
    QStringList paths;
    const QString contacts = dataHome() + QStringLiteral("/contacts");
    if (QFileInfo(contacts).isDir())
        paths << contacts;
    const QDir evolutionBooks(dataHome() + QStringLiteral("/evolution/addressbook"));
    for (const QString& book : evolutionBooks.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString db = evolutionBooks.filePath(book + QStringLiteral("/contacts.db"));
        if (QFileInfo(db).isFile())
            paths << db;
    }
    return paths;
}

addressBook systemAddressBook::read()
{
    QStringList paths;
    for (const QString& p : m_paths.isEmpty() ? configuredPaths() : m_paths) {
        const QString trimmed = p.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (trimmed == QLatin1String("default"))
            paths << defaultPaths();
        else
            paths << expandedHome(trimmed);
    }
    paths.removeDuplicates();

    addressBook book;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            vCard::readFolder(path, &book);
        else if (!info.exists())
            book.addProblem(path, 0, QStringLiteral("does not exist"));
        else if (isDatabase(path))
            evolution::readDatabase(path, &book);
        else
            vCard::readFile(path, &book);
    }
    book.finish();
    return book;
}
