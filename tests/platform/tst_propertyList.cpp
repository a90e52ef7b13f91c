#include "platform/PropertyList.h"

#include <QTest>
#include <QTimeZone>

using PropertyList::Node;

class TestPropertyList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripKeepsKeyOrder_data()
    {
        QTest::addColumn<bool>("binary");
        QTest::newRow("xml") << false;
        QTest::newRow("binary") << true;
    }
    // Callers walk some dictionaries in the file's own order, which is not sorted.
    void roundTripKeepsKeyOrder()
    {
        QFETCH(bool, binary);
        Node inner = PropertyList::dict({{"Repository", PropertyList::string("r1")}});
        Node root = PropertyList::dict({{"zulu", PropertyList::string("Zürich")},
                                        {"alpha", inner},
                                        {"mike", PropertyList::fromVariant(QVariantList{qint64(7), true, 2.5})},
                                        {"when", PropertyList::fromVariant(QDateTime(QDate(2006, 12, 5), QTime(10, 30),
                                                                                     QTimeZone::utc()))},
                                        {"blob", PropertyList::fromVariant(QByteArray("\0\1\2", 3))}});
        const auto parsed = PropertyList::parse(binary ? PropertyList::toBinary(root) : PropertyList::toXml(root));
        QVERIFY(parsed);
        QCOMPARE(parsed->keys(), (QStringList{"zulu", "alpha", "mike", "when", "blob"}));
        QCOMPARE(parsed->value("zulu").toString(), QStringLiteral("Zürich"));
        QCOMPARE(parsed->value("alpha").value("Repository").toString(), QStringLiteral("r1"));
        QCOMPARE(parsed->value("mike").toVariant(), QVariant(QVariantList{qint64(7), true, 2.5}));
        QCOMPARE(parsed->value("when").scalar.toDateTime(), QDateTime(QDate(2006, 12, 5), QTime(10, 30), QTimeZone::utc()));
        QCOMPARE(parsed->value("blob").scalar.toByteArray(), QByteArray("\0\1\2", 3));
        QVERIFY(parsed->value("missing").isNull());
    }

    void notAPropertyList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("html") << QByteArray("<html><body>Not found</body></html>");
        QTest::newRow("truncated xml") << PropertyList::toXml(PropertyList::dict({{"a", PropertyList::string("b")}})).left(60);
        QTest::newRow("truncated binary") << PropertyList::toBinary(PropertyList::dict({{"a", PropertyList::string("b")}})).left(12);
        QTest::newRow("calendar") << QByteArray("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n");
    }
    void notAPropertyList()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!PropertyList::parse(bytes));
    }
};

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertyList.moc"
