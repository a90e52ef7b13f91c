#include "platform/PropertyList.h"

#include <QFile>
#include <QTimeZone>

#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace
{
using PlistPtr = std::unique_ptr<void, decltype(&plist_free)>;

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return reference;
}

PropertyList::Node convert(plist_t node, int depth)
{
    using PropertyList::Node;
    Node out;
    // Nesting this deep is no real file; stop rather than exhaust the stack.
    if (!node || depth > 256)
        return out;
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        out.type = Node::Type::Dict;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!value) {
                free(key);
                break;
            }
            out.items.append({QString::fromUtf8(key ? key : ""), convert(value, depth + 1)});
            free(key);
        }
        free(it);
        break;
    }
    case PLIST_ARRAY: {
        out.type = Node::Type::Array;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            out.elements.append(convert(plist_array_get_item(node, i), depth + 1));
        break;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        out.type = Node::Type::String;
        // By pointer and length: libplist's copying getters assert (and abort the process) when a
        // string holds a NUL byte, which a binary property list can carry.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        if (text) {
            out.scalar
                = QString::fromUtf8(text, qsizetype(qMin<uint64_t>(length, std::numeric_limits<int32_t>::max())));
        } else {
            char* key = nullptr;
            plist_get_key_val(node, &key);
            out.scalar = QString::fromUtf8(key ? key : "");
            free(key);
        }
        break;
    }
    case PLIST_UINT: {
        out.type = Node::Type::Integer;
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        out.scalar = v <= uint64_t(std::numeric_limits<qint64>::max()) ? QVariant(qint64(v)) : QVariant(quint64(v));
        break;
    }
    case PLIST_REAL: {
        out.type = Node::Type::Real;
        double v = 0;
        plist_get_real_val(node, &v);
        out.scalar = v;
        break;
    }
    case PLIST_BOOLEAN: {
        out.type = Node::Type::Boolean;
        uint8_t v = 0;
        plist_get_bool_val(node, &v);
        out.scalar = bool(v);
        break;
    }
    case PLIST_DATE: {
        out.type = Node::Type::Date;
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        out.scalar = referenceDate().addMSecs(qint64(sec) * 1000 + usec / 1000);
        break;
    }
    case PLIST_DATA: {
        out.type = Node::Type::Data;
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &data, &length);
        out.scalar = QByteArray(data, qsizetype(length));
        free(data);
        break;
    }
    default:
        break;
    }
    return out;
}

plist_t build(const PropertyList::Node& node)
{
    using Type = PropertyList::Node::Type;
    switch (node.type) {
    case Type::Dict: {
        plist_t d = plist_new_dict();
        for (const auto& [key, value] : node.items)
            plist_dict_set_item(d, key.toUtf8().constData(), build(value));
        return d;
    }
    case Type::Array: {
        plist_t a = plist_new_array();
        for (const auto& e : node.elements)
            plist_array_append_item(a, build(e));
        return a;
    }
    case Type::String:
        return plist_new_string(node.scalar.toString().toUtf8().constData());
    case Type::Integer:
        return plist_new_uint(node.scalar.toULongLong());
    case Type::Real:
        return plist_new_real(node.scalar.toDouble());
    case Type::Boolean:
        return plist_new_bool(node.scalar.toBool());
    case Type::Date: {
        const qint64 ms = referenceDate().msecsTo(node.scalar.toDateTime());
        return plist_new_date(int32_t(ms / 1000), int32_t((ms % 1000) * 1000));
    }
    case Type::Data: {
        const QByteArray b = node.scalar.toByteArray();
        return plist_new_data(b.constData(), uint64_t(b.size()));
    }
    case Type::None:
        break;
    }
    return plist_new_string("");
}
} // namespace

namespace PropertyList
{
QStringList Node::keys() const
{
    QStringList list;
    for (const auto& item : items)
        list << item.first;
    return list;
}

const Node& Node::value(const QString& key) const
{
    static const Node none;
    for (const auto& item : items) {
        if (item.first == key)
            return item.second;
    }
    return none;
}

bool Node::contains(const QString& key) const
{
    for (const auto& item : items) {
        if (item.first == key)
            return true;
    }
    return false;
}

QString Node::toString() const
{
    switch (type) {
    case Type::String:
    case Type::Integer:
    case Type::Real:
        return scalar.toString();
    case Type::Boolean:
        return scalar.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QString();
    }
}

QVariant Node::toVariant() const
{
    switch (type) {
    case Type::Dict: {
        QVariantMap map;
        for (auto it = items.crbegin(); it != items.crend(); ++it)
            map.insert(it->first, it->second.toVariant()); // the first of repeated keys wins
        return map;
    }
    case Type::Array: {
        QVariantList list;
        for (const Node& e : elements)
            list << e.toVariant();
        return list;
    }
    default:
        return scalar;
    }
}

std::optional<Node> parse(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    // XML cannot hold a NUL byte; libplist keeps one in a key or string and then aborts the
    // process when the key is read.
    if (!bytes.startsWith("bplist") && bytes.contains('\0'))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    if (!root)
        return std::nullopt;
    PlistPtr guard(root, &plist_free);
    return convert(root, 0);
}

std::optional<Node> parseFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(file.readAll());
}

Node fromVariant(const QVariant& value)
{
    Node n;
    switch (value.metaType().id()) {
    case QMetaType::QVariantMap: {
        n.type = Node::Type::Dict;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            n.items.append({it.key(), fromVariant(it.value())});
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        n.type = Node::Type::Array;
        for (const QVariant& v : value.toList())
            n.elements.append(fromVariant(v));
        break;
    }
    case QMetaType::Bool:
        n.type = Node::Type::Boolean;
        n.scalar = value;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        n.type = Node::Type::Integer;
        n.scalar = value.toLongLong();
        break;
    case QMetaType::Double:
        n.type = Node::Type::Real;
        n.scalar = value;
        break;
    case QMetaType::QDateTime:
        n.type = Node::Type::Date;
        n.scalar = value;
        break;
    case QMetaType::QByteArray:
        n.type = Node::Type::Data;
        n.scalar = value;
        break;
    default:
        n.type = Node::Type::String;
        n.scalar = value.toString();
        break;
    }
    return n;
}

Node dict(const QList<QPair<QString, Node>>& items)
{
    Node n;
    n.type = Node::Type::Dict;
    n.items = items;
    return n;
}

Node string(const QString& text)
{
    Node n;
    n.type = Node::Type::String;
    n.scalar = text;
    return n;
}

QByteArray toXml(const Node& node)
{
    PlistPtr root(build(node), &plist_free);
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &out, &length);
    QByteArray bytes(out, qsizetype(length));
    plist_to_xml_free(out);
    return bytes;
}

QByteArray toBinary(const Node& node)
{
    PlistPtr root(build(node), &plist_free);
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &out, &length);
    QByteArray bytes(out, qsizetype(length));
    plist_to_bin_free(out);
    return bytes;
}
} // namespace PropertyList
