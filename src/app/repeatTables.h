#pragma once

#include "calendar/dataEntry.h"

#include <QAbstractTableModel>

/// Table tags of the drawer's tables.
enum RepeatTableTag { kExceptionDateTable = 1, kOccurrenceTable = 13 };

/// Base of the drawer's tables: one entry as source (none: no rows) and the document's short date
/// format for showing dates.
class entryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit entryTableModel(int tag, QObject* parent = nullptr);

    int tag() const { return m_tag; }
    /// Shows @p entry's rows (null: no rows).
    void setEntry(const EntryPtr& entry);
    const EntryPtr& entry() const { return m_entry; }
    void setDateFormat(const QString& format, const DateNames& names);
    /// Re-reads the entry (its lists changed behind the model).
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;

protected:
    QString formatDate(const CalDate& date) const;
    CalDate parseDate(const QString& text) const;

    EntryPtr m_entry;

private:
    int m_tag;
    QString m_format = QStringLiteral("%d/%m/%Y");
    DateNames m_names = DateNames::english();
};

/// Tag 1: the entry's exception dates, one column, shown and edited in the document's short date
/// format. An edit changes the day and keeps the time of day; a text that is not a date is
/// rejected and the old date stays.
class exceptionDateModel : public entryTableModel
{
    Q_OBJECT
public:
    explicit exceptionDateModel(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Appends the current date and time; returns its row, or -1 without an entry.
    int addEXDATE();
    /// Removes the date at @p row; false when there is no such row.
    bool removeEXDATE(int row);
};

/// Tag 13: the entry's override records, one row each: the occurrence they replace and the date
/// they moved it to. Read-only.
class occurrenceModel : public entryTableModel
{
    Q_OBJECT
public:
    explicit occurrenceModel(QObject* parent = nullptr);

    /// Column identifiers: the override record's property shown in each column.
    static const QStringList& columnIdentifiers();

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
