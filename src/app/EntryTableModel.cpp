#include "EntryTableModel.h"

#include "Icons.h"

namespace
{
const char* const kIdentifiers[] = {"startTime", "startDate", "endTime", "endDate", "theSummary", "theRepeater"};
const char* const kTitles[] = {"Start Time", "Start Date", "End Time", "End Date", "Summary", "Repeat"};

// Rows formatted and kept: a few screens of a tall window.
constexpr int kCachedRows = 2000;
} // namespace

EntryTableModel::EntryTableModel(aCalendar& document, QObject* parent)
    : QAbstractTableModel(parent)
    , m_doc(document)
    , m_rows(document.getTheData())
    , m_timeFormat(document.getTimeFormatter())
    , m_dateFormat(document.getDateFormatter())
    , m_repeatIcon(Icons::named(QStringLiteral("repeat")))
    , m_cache(kCachedRows)
{
}

QString EntryTableModel::identifier(int column)
{
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(kIdentifiers[column]) : QString();
}

int EntryTableModel::columnOf(const QString& identifier)
{
    for (int c = 0; c < ColumnCount; ++c) {
        if (identifier == QLatin1String(kIdentifiers[c]))
            return c;
    }
    return -1;
}

int EntryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int EntryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString EntryTableModel::formatCell(const dataEntry& e, int column) const
{
    switch (column) {
    case StartTime:
        return e.getStartTime().format(m_timeFormat);
    case StartDate:
        return e.getStartDate().format(m_dateFormat, &m_doc.dateNames());
    case EndTime:
        return e.getEndTime().format(m_timeFormat);
    case EndDate:
        return e.getEndDate().format(m_dateFormat, &m_doc.dateNames());
    case Summary:
        return e.getSummary();
    default:
        return {};
    }
}

const EntryTableModel::RowTexts* EntryTableModel::texts(int row) const
{
    if (RowTexts* cached = m_cache.object(row))
        return cached;
    const EntryPtr& e = m_rows.at(row);
    auto* t = new RowTexts;
    for (int c = 0; c < Repeater; ++c)
        t->cells[c] = formatCell(*e, c);
    t->repeats = e->getTheRepeater() == QLatin1String("repeat");
    m_cache.insert(row, t);
    ++m_formatted;
    return t;
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == Repeater)
            return {};
        return texts(index.row())->cells[column];
    case Qt::DecorationRole:
        if (column == Repeater && texts(index.row())->repeats)
            return m_repeatIcon;
        return {};
    case Qt::AccessibleTextRole:
        // The marker is an image; assistive technology reads it as a word.
        if (column == Repeater)
            return texts(index.row())->repeats ? QStringLiteral("repeats") : QString();
        return texts(index.row())->cells[column];
    case Qt::ToolTipRole:
        if (column == Repeater && texts(index.row())->repeats)
            return m_rows.at(index.row())->getRRULENoRRULE();
        return {};
    case Qt::TextAlignmentRole:
        if (column == Repeater)
            return int(Qt::AlignCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return QString::fromLatin1(kTitles[section]);
    if (role == Qt::ToolTipRole) {
        const CalDate example = CalDate::fromFields(2007, 12, 31, 14, 40, 0);
        switch (section) {
        case StartTime:
        case EndTime:
            return QStringLiteral("Time, for example %1").arg(example.format(m_timeFormat));
        case StartDate:
        case EndDate:
            return QStringLiteral("Date, for example %1").arg(example.format(m_dateFormat, &m_doc.dateNames()));
        case Repeater:
            return QStringLiteral("The appointment repeats");
        default:
            return {};
        }
    }
    return {};
}

Qt::ItemFlags EntryTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() != Repeater)
        f |= Qt::ItemIsEditable;
    return f;
}

bool EntryTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= m_rows.size())
        return false;
    const EntryPtr& e = m_rows.at(index.row());
    const int column = index.column();
    const QString typed = value.toString();
    const QString text = typed.trimmed();
    if (column == Summary) {
        if (typed == e->getSummary())
            return false;
        e->setSummary(typed);
    } else if (column >= StartTime && column <= EndDate) {
        const bool isTime = column == StartTime || column == EndTime;
        CalDate parsed;
        if (!text.isEmpty()) {
            parsed = CalDate::parse(text, isTime ? m_timeFormat : m_dateFormat, Zones::local(), &m_doc.dateNames());
            if (parsed.isNull()) {
                const CalDate example = CalDate::fromFields(2007, 12, 31, 14, 40, 0);
                Q_EMIT editRejected(QStringLiteral("“%1” is not a %2 in the form %3; the old value is kept.")
                                        .arg(text, isTime ? QStringLiteral("time") : QStringLiteral("date"),
                                             example.format(isTime ? m_timeFormat : m_dateFormat, &m_doc.dateNames())));
                return false;
            }
        }
        if (formatCell(*e, column)
            == (parsed ? parsed.format(isTime ? m_timeFormat : m_dateFormat, &m_doc.dateNames()) : QString()))
            return false;
        switch (column) {
        case StartTime:
            e->setStartTime(parsed);
            break;
        case StartDate:
            e->setStartDate(parsed);
            break;
        case EndTime:
            e->setEndTime(parsed);
            break;
        case EndDate:
            e->setEndDate(parsed);
            break;
        }
    } else {
        return false;
    }
    m_cache.remove(index.row());
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    return true;
}

EntryTableModel::Change EntryTableModel::reload()
{
    Change change;
    const EntryList& now = m_doc.getTheData();
    m_cache.clear();
    if (now.constData() == m_rows.constData() && now.size() == m_rows.size()) {
        // The same list: only values may have changed.
        if (!m_rows.isEmpty())
            Q_EMIT dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
        return change;
    }
    const qsizetype oldSize = m_rows.size();
    const qsizetype newSize = now.size();
    const qsizetype shorter = std::min(oldSize, newSize);
    qsizetype prefix = 0;
    while (prefix < shorter && m_rows.at(prefix) == now.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && m_rows.at(oldSize - 1 - suffix) == now.at(newSize - 1 - suffix))
        ++suffix;
    const qsizetype removed = oldSize - prefix - suffix;
    const qsizetype added = newSize - prefix - suffix;
    if (removed == 0 && added > 0) {
        beginInsertRows({}, int(prefix), int(prefix + added - 1));
        m_rows = now;
        endInsertRows();
        change.firstInserted = int(prefix);
        change.inserted = int(added);
    } else if (added == 0 && removed > 0) {
        beginRemoveRows({}, int(prefix), int(prefix + removed - 1));
        m_rows = now;
        endRemoveRows();
    } else if (removed != 0 || added != 0) {
        beginResetModel();
        m_rows = now;
        endResetModel();
        change.reset = true;
        return change;
    } else {
        m_rows = now;
    }
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
    return change;
}

int EntryTableModel::rowOf(const dataEntry* entry) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).get() == entry)
            return int(i);
    }
    return -1;
}
