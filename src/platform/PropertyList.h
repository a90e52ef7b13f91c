#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <optional>

/// Property lists (XML or binary), as the calendar application's files, the system version file
/// and the published version file are written. Dictionaries keep the order of their keys as
/// stored in the file (callers walk some of them "in the file's own order").
namespace PropertyList
{
struct Node
{
    enum class Type {
        None,
        Dict,
        Array,
        String,
        Integer,
        Real,
        Boolean,
        Date,
        Data,
    };
    Type type = Type::None;
    /// The scalar value: QString, qint64/quint64, double, bool, QDateTime (UTC) or QByteArray.
    QVariant scalar;
    /// Dictionary items in stored order.
    QList<QPair<QString, Node>> items;
    /// Array elements.
    QList<Node> elements;

    bool isDict() const { return type == Type::Dict; }
    bool isNull() const { return type == Type::None; }
    /// The dictionary's keys in stored order (empty for anything else).
    QStringList keys() const;
    /// The item under @p key (the first when a file repeats a key), or a None node.
    const Node& value(const QString& key) const;
    bool contains(const QString& key) const;
    /// A string value as text; numbers and booleans in their usual text form; otherwise "".
    QString toString() const;
    /// The whole tree as plain Qt values: QVariantMap (key order lost), QVariantList, scalars.
    QVariant toVariant() const;
};

/// Parses XML or binary property-list bytes; nullopt when they are not a property list.
std::optional<Node> parse(const QByteArray& bytes);
/// Reads and parses a file; nullopt when it cannot be read or is not a property list.
std::optional<Node> parseFile(const QString& path);

/// Builds a node from plain Qt values (QVariantMap keys in map order, QVariantList, QString,
/// integers, double, bool, QDateTime, QByteArray) — for writing fixtures and version files.
Node fromVariant(const QVariant& value);
/// A dictionary node with the items in the given order.
Node dict(const QList<QPair<QString, Node>>& items);
Node string(const QString& text);

QByteArray toXml(const Node& node);
QByteArray toBinary(const Node& node);
} // namespace PropertyList
