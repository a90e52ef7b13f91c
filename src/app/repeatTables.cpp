#include "repeatTables.h"

#include <QDateTime>

entryTableModel::entryTableModel(int tag, QObject* parent)
    : QAbstractTableModel(parent)
    , m_tag(tag)
{
}

void entryTableModel::setEntry(const EntryPtr& entry)
{
    beginResetModel();
    m_entry = entry;
    endResetModel();
}

void entryTableModel::setDateFormat(const QString& format, const DateNames& names)
{
    beginResetModel();
    m_format = format;
    m_names = names;
    endResetModel();
}

void entryTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

int entryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_entry ? 0 : m_entry->tableRowCount(m_tag);
}

QString entryTableModel::formatDate(const CalDate& date) const
{
    return date.format(m_format, &m_names);
}

CalDate entryTableModel::parseDate(const QString& text) const
{
    return CalDate::parse(text.trimmed(), m_format, Zones::local(), &m_names);
}

// --- exception dates ---

exceptionDateModel::exceptionDateModel(QObject* parent)
    : entryTableModel(kExceptionDateTable, parent)
{
}

int exceptionDateModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant exceptionDateModel::data(const QModelIndex& index, int role) const
{
    if (!m_entry || index.column() != 0 || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole)
        return formatDate(m_entry->getTheEXDATE().at(index.row()));
    return {};
}

bool exceptionDateModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !m_entry || index.column() != 0 || index.row() >= rowCount())
        return false;
    const CalDate day = parseDate(value.toString());
    if (day.isNull())
        return false;
    const CalDate old = m_entry->getTheEXDATE().at(index.row());
    const CalDate date
        = old ? CalDate::fromFields(day.year(), day.month(), day.day(), old.hour(), old.minute(), old.second()) : day;
    m_entry->setTableValue(kExceptionDateTable, index.row(),
                           QDateTime::fromSecsSinceEpoch(date.secsSinceEpoch(), date.zone()));
    Q_EMIT dataChanged(index, index);
    return true;
}

QVariant exceptionDateModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Exception date");
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags exceptionDateModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

int exceptionDateModel::addEXDATE()
{
    if (!m_entry)
        return -1;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_entry->setTheEXDATE(CalDate::now());
    endInsertRows();
    return row;
}

bool exceptionDateModel::removeEXDATE(int row)
{
    if (!m_entry || row < 0 || row >= rowCount())
        return false;
    beginRemoveRows({}, row, row);
    m_entry->removeTheEXDATE(row);
    endRemoveRows();
    return true;
}

// --- override records ---

occurrenceModel::occurrenceModel(QObject* parent)
    : entryTableModel(kOccurrenceTable, parent)
{
}

const QStringList& occurrenceModel::columnIdentifiers()
{
    static const QStringList ids {QStringLiteral("theRecDate"), QStringLiteral("startDate")};
    return ids;
}

int occurrenceModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(columnIdentifiers().size());
}

QVariant occurrenceModel::data(const QModelIndex& index, int role) const
{
    if (!m_entry || role != Qt::DisplayRole || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const QVariant value = m_entry->tableValue(kOccurrenceTable, index.row(), columnIdentifiers().at(index.column()));
    if (value.metaType().id() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        return formatDate(CalDate::fromSecsSinceEpoch(dt.toSecsSinceEpoch(), Zones::local()));
    }
    return value.toString();
}

QVariant occurrenceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList titles {QStringLiteral("Occurrence"), QStringLiteral("Moved to")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < titles.size())
        return titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
