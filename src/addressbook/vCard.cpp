#include "vCard.h"

#include "platform/ContentLines.h"
#include "platform/Encoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <functional>

using namespace ContentLines;

namespace
{
// TYPE values of EMAIL that say which mail system the address belongs to, or which address to
// prefer: none is a label.
bool isMailKind(const QString& lowerType)
{
    static const QStringList kinds {"internet",   "x400",    "pref",   "aol",       "applelink",
                                    "attmail",    "cis",     "eworld", "ibmmail",   "mcimail",
                                    "powershare", "prodigy", "tlx",    "x-internet"};
    return kinds.contains(lowerType);
}

// Text of a value's bytes in the character set its CHARSET parameter names. Names the calendar
// reader knows go through its decoder; other names through Qt's converters; without a name (or
// with one nobody knows), UTF-8 when the bytes are UTF-8 and Windows-1252 otherwise, which is
// what phones and mail programs mean by default.
QString decodeBytes(const QByteArray& bytes, QStringView charset)
{
    const QString name = charset.trimmed().toString().toLower();
    if (name.isEmpty() || name == QLatin1String("utf-8") || name == QLatin1String("utf8")
        || name == QLatin1String("us-ascii") || name == QLatin1String("ascii")) {
        return Encoding::isValidUtf8(bytes) ? QString::fromUtf8(bytes) : Encoding::decodeWindows1252(bytes);
    }
    static const QStringList shared {"macintosh", "x-mac-roman", "macroman",     "iso-8859-1",
                                     "latin1",    "latin-1",     "windows-1252", "cp1252"};
    if (shared.contains(name))
        return decodeCharset(bytes, charset);
    QStringDecoder decoder(name.toLatin1().constData());
    if (decoder.isValid()) {
        QString text = decoder.decode(bytes);
        if (!decoder.hasError())
            return text;
    }
    return Encoding::isValidUtf8(bytes) ? QString::fromUtf8(bytes) : Encoding::decodeWindows1252(bytes);
}

// Splits a structured value at the separators that no backslash escapes.
QList<QStringView> splitUnescaped(QStringView value, QChar separator)
{
    QList<QStringView> parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (value.at(i) == separator) {
            parts << value.mid(from, i - from);
            from = i + 1;
        }
    }
    parts << value.mid(from);
    return parts;
}

struct Params
{
    QStringList types; // as written, in order
    bool quotedPrintable = false;
    QStringView charset;
    QString evolutionContactUid;
    QString evolutionName;
};

Params paramsOf(QStringView head)
{
    Params p;
    forEachParameter(head, [&p](const Parameter& param) {
        const QString name = param.name.trimmed().toString().toUpper();
        if (param.value.isNull()) {
            // vCard 2.1 writes types and encodings bare: "EMAIL;INTERNET;WORK;QUOTED-PRINTABLE:".
            if (name == QLatin1String("QUOTED-PRINTABLE"))
                p.quotedPrintable = true;
            else if (name != QLatin1String("BASE64") && name != QLatin1String("8BIT") && name != QLatin1String("7BIT"))
                p.types << param.name.trimmed().toString();
            return;
        }
        const QStringView value = unquoted(param.value.trimmed());
        if (name == QLatin1String("TYPE")) {
            for (QStringView t : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                p.types << unquoted(t.trimmed()).toString();
        } else if (name == QLatin1String("ENCODING")) {
            p.quotedPrintable = value.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0;
        } else if (name == QLatin1String("CHARSET")) {
            p.charset = value;
        } else if (name == QLatin1String("X-EVOLUTION-DEST-CONTACT-UID")) {
            p.evolutionContactUid = value.toString();
        } else if (name == QLatin1String("X-EVOLUTION-DEST-NAME")) {
            p.evolutionName = value.toString();
        }
    });
    return p;
}

QString labelFromTypes(const QStringList& types)
{
    for (const QString& t : types) {
        const QString lower = t.toLower();
        if (lower == QLatin1String("work"))
            return QStringLiteral("_$!<Work>!$_");
        if (lower == QLatin1String("home"))
            return QStringLiteral("_$!<Home>!$_");
        if (lower == QLatin1String("other"))
            return QStringLiteral("_$!<Other>!$_");
    }
    for (const QString& t : types) {
        if (t.isEmpty() || isMailKind(t.toLower()))
            continue;
        return t.startsWith(QLatin1String("x-"), Qt::CaseInsensitive) ? t.mid(2) : t;
    }
    return {};
}

// A name, label or address is one line: line breaks and other control characters (which
// quoted-printable and escapes can produce) become spaces.
QString oneLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return out.simplified();
}

// "Name <address>", "mailto:address" or a bare address: the address, and the name when given.
void splitAddress(const QString& value, QString* address, QString* name)
{
    QString v = value.trimmed();
    const qsizetype open = v.lastIndexOf(QLatin1Char('<'));
    const qsizetype close = v.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open) {
        *name = v.left(open).trimmed();
        if (name->size() >= 2 && name->startsWith(QLatin1Char('"')) && name->endsWith(QLatin1Char('"')))
            *name = name->mid(1, name->size() - 2);
        v = v.mid(open + 1, close - open - 1).trimmed();
    }
    if (v.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        v = v.mid(7).trimmed();
    *address = v;
}

struct EmailValue
{
    QString address;
    QString group; // "item1" of "item1.EMAIL"
    QString typeLabel;
    QString evolutionContactUid;
    QString name;
};

// What one card says, collected line by line and turned into a person or a group at its end.
class CardBuilder
{
public:
    explicit CardBuilder(bool rawBytes)
        : m_rawBytes(rawBytes)
    {
    }

    /// One unfolded content line.
    void take(QStringView line)
    {
        const qsizetype colon = nameEnd(line);
        if (colon <= 0)
            return; // the rest of an unfolded picture, or noise
        m_anyProperty = true;
        const QStringView head = line.left(colon);
        const QStringView rawValue = line.mid(colon + 1);
        qsizetype nameLength = head.indexOf(QLatin1Char(';'));
        if (nameLength < 0)
            nameLength = head.size();
        QStringView fullName = head.left(nameLength).trimmed();
        QString group;
        const qsizetype dot = fullName.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0) {
            group = fullName.left(dot).toString().toLower();
            fullName = fullName.mid(dot + 1);
        }
        const QString name = fullName.toString().toUpper();
        if (!isInteresting(name))
            return;
        const Params params = paramsOf(head);
        const QString value = decoded(rawValue, params);

        if (name == QLatin1String("N")) {
            const QList<QStringView> parts = splitUnescaped(value, QLatin1Char(';'));
            m_family = oneLine(unescapeText(parts.value(0)));
            m_given = oneLine(unescapeText(parts.value(1)));
        } else if (name == QLatin1String("FN")) {
            m_formatted = oneLine(unescapeText(value));
        } else if (name == QLatin1String("ORG")) {
            m_organisation = oneLine(unescapeText(splitUnescaped(value, QLatin1Char(';')).value(0)));
        } else if (name == QLatin1String("UID")) {
            m_uid = unescapeText(value).trimmed();
        } else if (name == QLatin1String("EMAIL")) {
            EmailValue e;
            splitAddress(oneLine(unescapeText(value)), &e.address, &e.name);
            if (e.address.isEmpty())
                return;
            e.group = group;
            e.typeLabel = oneLine(labelFromTypes(params.types));
            e.evolutionContactUid = params.evolutionContactUid;
            if (!params.evolutionName.isEmpty())
                e.name = oneLine(params.evolutionName);
            m_emails << e;
        } else if (name == QLatin1String("X-ABLABEL")) {
            if (!group.isEmpty())
                m_groupLabels.insert(group, oneLine(unescapeText(value)));
        } else if (name == QLatin1String("CATEGORIES")) {
            for (QStringView c : splitUnescaped(value, QLatin1Char(','))) {
                const QString category = oneLine(unescapeText(c));
                if (!category.isEmpty() && !m_categories.contains(category, Qt::CaseInsensitive))
                    m_categories << category;
            }
        } else if (name == QLatin1String("KIND") || name == QLatin1String("X-ADDRESSBOOKSERVER-KIND")) {
            if (value.trimmed().compare(QLatin1String("group"), Qt::CaseInsensitive) == 0)
                m_isGroup = true;
        } else if (name == QLatin1String("X-EVOLUTION-LIST")) {
            if (value.trimmed().compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
                m_isEvolutionList = true;
        } else if (name == QLatin1String("MEMBER") || name == QLatin1String("X-ADDRESSBOOKSERVER-MEMBER")) {
            const QString ref = oneLine(unescapeText(value));
            if (ref.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
                addressMember m;
                splitAddress(ref, &m.email, &m.name);
                if (!m.email.isEmpty())
                    m_members << m;
            } else if (!ref.isEmpty()) {
                m_members << addressMember {normalisedUid(ref), {}, {}};
            }
        } else if (name == QLatin1String("X-ABSHOWAS")) {
            m_showsAsCompany = value.trimmed().compare(QLatin1String("COMPANY"), Qt::CaseInsensitive) == 0;
        }
    }

    bool anyProperty() const { return m_anyProperty; }

    /// Adds what the card described to @p book; false (with @p why) for a card that cannot stand.
    bool finish(addressBook* book, const QString& fallbackUid, QString* why)
    {
        const QString uid = normalisedUid(m_uid).isEmpty() ? fallbackUid : normalisedUid(m_uid);
        if (m_isGroup || m_isEvolutionList) {
            addressBookGroup g;
            g.name = !m_formatted.isEmpty()       ? m_formatted
                : !(m_given + m_family).isEmpty() ? QStringList {m_given, m_family}.join(QLatin1Char(' ')).trimmed()
                                                  : m_organisation;
            if (g.name.isEmpty()) {
                *why = QStringLiteral("a group without a name");
                return false;
            }
            g.uid = uid;
            g.members = m_members;
            for (const EmailValue& e : m_emails)
                g.members << addressMember {e.evolutionContactUid, e.address, e.name};
            book->addGroup(g);
            return true;
        }
        addressPerson p;
        p.uid = uid;
        p.firstName = m_given;
        p.lastName = m_family;
        p.organisation = m_organisation;
        const bool companyName = m_showsAsCompany
            || (!m_organisation.isEmpty() && m_formatted.compare(m_organisation, Qt::CaseInsensitive) == 0);
        if (p.firstName.isEmpty() && p.lastName.isEmpty() && !m_formatted.isEmpty() && !companyName)
            splitFullName(m_formatted, &p.firstName, &p.lastName);
        for (const EmailValue& e : m_emails) {
            const auto label = m_groupLabels.constFind(e.group);
            p.emails << addressEmail {e.address,
                                      !e.group.isEmpty() && label != m_groupLabels.cend() ? *label : e.typeLabel};
        }
        if (p.firstName.isEmpty() && p.lastName.isEmpty() && p.organisation.isEmpty() && p.emails.isEmpty())
            return true; // nothing the address book could show
        book->addPerson(p, fallbackUid);
        for (const QString& c : m_categories)
            book->addToGroup(c, addressMember {uid, {}, {}});
        return true;
    }

private:
    static bool isInteresting(const QString& name)
    {
        static const QStringList names {"N",
                                        "FN",
                                        "ORG",
                                        "UID",
                                        "EMAIL",
                                        "X-ABLABEL",
                                        "CATEGORIES",
                                        "KIND",
                                        "X-ADDRESSBOOKSERVER-KIND",
                                        "MEMBER",
                                        "X-ADDRESSBOOKSERVER-MEMBER",
                                        "X-EVOLUTION-LIST",
                                        "X-ABSHOWAS"};
        return names.contains(name);
    }

    // The value as text: quoted-printable decoded, 8-bit bytes read in their CHARSET. Escapes are
    // left for the caller, who splits structured values first.
    QString decoded(QStringView value, const Params& params) const
    {
        if (params.quotedPrintable) {
            const QByteArray bytes = m_rawBytes ? value.toLatin1() : value.toUtf8();
            QString text = decodeBytes(decodeQuotedPrintableBytes(bytes), params.charset);
            text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
            text.remove(QLatin1Char('\r'));
            return text;
        }
        if (m_rawBytes)
            return decodeBytes(value.toLatin1(), params.charset);
        return value.toString();
    }

    bool m_rawBytes;
    bool m_anyProperty = false;
    bool m_isGroup = false;
    bool m_isEvolutionList = false;
    bool m_showsAsCompany = false;
    QString m_uid;
    QString m_family;
    QString m_given;
    QString m_formatted;
    QString m_organisation;
    QList<EmailValue> m_emails;
    QHash<QString, QString> m_groupLabels;
    QStringList m_categories;
    QList<addressMember> m_members;
};

bool isBegin(QStringView line)
{
    return line.trimmed().compare(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) == 0;
}

bool isEnd(QStringView line)
{
    return line.trimmed().compare(QLatin1String("END:VCARD"), Qt::CaseInsensitive) == 0;
}

bool isEmptyAgent(QStringView line)
{
    const qsizetype colon = nameEnd(line);
    if (colon < 0 || !line.mid(colon + 1).trimmed().isEmpty())
        return false;
    QStringView name = line.left(colon);
    const qsizetype semicolon = name.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        name = name.left(semicolon);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.mid(dot + 1);
    return name.trimmed().compare(QLatin1String("AGENT"), Qt::CaseInsensitive) == 0;
}
} // namespace

namespace vCard
{
int readCards(const QByteArray& bytes, const QString& path, addressBook* book)
{
    // Property names are ASCII; an 8-bit file is read byte for byte so that each value can be
    // decoded in the character set it names.
    const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    const bool rawBytes = !utf16 && !Encoding::isValidUtf8(bytes);
    const QString text
        = rawBytes ? QString::fromLatin1(bytes) : Encoding::decode(bytes, Encoding::Fallback::Windows1252);

    LineCursor lines(text);
    QString buffer;
    int cardNumber = 0;
    int read = 0;
    bool pendingBegin = false; // the line just read opens a card
    while (pendingBegin || !lines.atEnd()) {
        if (!pendingBegin) {
            const QStringView line = readPropertyLine(lines, buffer);
            if (!isBegin(line))
                continue; // text between cards
        }
        pendingBegin = false;
        ++cardNumber;
        CardBuilder card(rawBytes);
        bool ended = false;
        bool agentPending = false;
        int nested = 0;
        while (!lines.atEnd()) {
            const QStringView line = readPropertyLine(lines, buffer);
            if (nested > 0) {
                // A vCard 2.1 AGENT's own card: not a person of this book.
                if (isBegin(line))
                    ++nested;
                else if (isEnd(line))
                    --nested;
                continue;
            }
            if (isBegin(line)) {
                if (agentPending) {
                    nested = 1;
                    agentPending = false;
                    continue;
                }
                pendingBegin = true; // this card was cut off; the next one starts here
                break;
            }
            if (isEnd(line)) {
                ended = true;
                break;
            }
            agentPending = isEmptyAgent(line);
            card.take(line);
        }
        if (!ended) {
            book->addProblem(path, cardNumber, QStringLiteral("no END:VCARD"));
            continue;
        }
        if (!card.anyProperty()) {
            book->addProblem(path, cardNumber, QStringLiteral("no property could be read"));
            continue;
        }
        QString why;
        if (!card.finish(book, QStringLiteral("%1#%2").arg(path).arg(cardNumber), &why)) {
            book->addProblem(path, cardNumber, why);
            continue;
        }
        ++read;
    }
    if (cardNumber == 0 && !text.trimmed().isEmpty())
        book->addProblem(path, 0, QStringLiteral("holds no vCard"));
    return read;
}

int readFile(const QString& path, addressBook* book)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        book->addProblem(path, 0, file.errorString());
        return 0;
    }
    if (file.size() > kMaxFileBytes) {
        book->addProblem(path, 0, QStringLiteral("too large for an address book (%1 MB)").arg(file.size() >> 20));
        return 0;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        book->addProblem(path, 0, file.errorString());
        return 0;
    }
    return readCards(bytes, path, book);
}

int readFolder(const QString& path, addressBook* book)
{
    // Depth 0 is the folder itself; the vdir layout needs one level below it. A folder reached
    // twice (through a link) is read once.
    constexpr int kMaxDepth = 3;
    int read = 0;
    QSet<QString> visited;
    std::function<void(const QString&, int)> walk = [&](const QString& folder, int depth) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (canonical.isEmpty() || visited.contains(canonical))
            return;
        visited.insert(canonical);
        QDir dir(folder);
        const QFileInfoList entries
            = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
        for (const QFileInfo& info : entries) {
            if (info.isDir()) {
                if (depth < kMaxDepth)
                    walk(info.filePath(), depth + 1);
                continue;
            }
            const QString suffix = info.suffix().toLower();
            if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
                read += readFile(info.filePath(), book);
        }
    };
    walk(path, 0);
    return read;
}
} // namespace vCard
