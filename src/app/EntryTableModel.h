#pragma once

#include "calendar/aCalendar.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QIcon>

/// The entry table (tag 0) as a model over the document's entry list.
///
/// The model shows a snapshot of the list taken at the last reload() (an implicitly shared copy,
/// so it costs nothing until the document changes its list). Cells are formatted only when the
/// view asks for them, through the document's time and date formats, and the texts of a row are
/// kept until the next reload, so a list of 100,000 entries scrolls without formatting any row
/// twice and opens without formatting any row it does not show.
///
/// Columns are fixed in the model (the view may move them): their identifiers are the keys under
/// which the entry keeps the value ("startTime", "startDate", "endTime", "endDate",
/// "theSummary", "theRepeater").
class EntryTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { StartTime, StartDate, EndTime, EndDate, Summary, Repeater, ColumnCount };

    explicit EntryTableModel(aCalendar& document, QObject* parent = nullptr);

    /// The identifier of a model column ("" out of range).
    static QString identifier(int column);
    /// The model column of an identifier (-1 when unknown).
    static int columnOf(const QString& identifier);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// Stores a typed value through the column's format. A text the format cannot read is
    /// refused (false; editRejected() tells why) and the entry keeps its old value; an empty
    /// text removes the value.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    /// Shows the document's list as it is now. Rows added to or removed from one place of the
    /// list arrive as row insertions or removals (the view keeps its selection and position);
    /// any other change (a sort, a replaced list) resets the model. Every row is formatted anew.
    struct Change
    {
        bool reset = false; ///< the model was reset (the view lost its selection)
        int firstInserted = -1; ///< first row inserted, when rows were inserted
        int inserted = 0;
    };
    Change reload();
    /// The entry shown at @p row (null out of range).
    EntryPtr entryAt(int row) const { return m_rows.value(row); }
    /// The row showing @p entry, or -1.
    int rowOf(const dataEntry* entry) const;
    /// How many rows have been formatted since the model was made (a measure of laziness).
    qint64 formattedRowCount() const { return m_formatted; }

Q_SIGNALS:
    /// A typed value was refused; @p reason is a sentence for the user.
    void editRejected(const QString& reason);

private:
    struct RowTexts
    {
        QString cells[Repeater];
        bool repeats = false;
    };
    const RowTexts* texts(int row) const;
    QString formatCell(const dataEntry& e, int column) const;

    aCalendar& m_doc;
    EntryList m_rows;
    QString m_timeFormat;
    QString m_dateFormat;
    QIcon m_repeatIcon;
    mutable QCache<int, RowTexts> m_cache;
    mutable qint64 m_formatted = 0;
};
