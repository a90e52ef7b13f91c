#pragma once

#include "calendar/aCalendar.h"

#include <QAbstractListModel>
#include <QDialog>
#include <QTableView>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

/// Table 99: the column order of a delimited import, one row per column descriptor showing its
/// title. Row i names the entry field that column i of every record fills.
///
/// Rows are reordered by dragging one onto another: the drag carries the dragged row's index as
/// decimal text (under kRowDragType and as plain text); on the drop the descriptor at that index
/// is taken out and inserted at the target row, or appended when the drop is below the last row.
/// Only drags from this table are taken, as copies (the model moves the row itself).
class ColumnOrderModel : public QAbstractListModel
{
    Q_OBJECT
public:
    /// The pasteboard type of a row dragged inside the order table.
    static const QString kRowDragType;

    explicit ColumnOrderModel(const ColumnOrder& order, QObject* parent = nullptr);

    const ColumnOrder& order() const { return m_order; }
    /// Takes the descriptor at @p from out and inserts it at @p to (appended when @p to is
    /// negative or past the end); false when @p from is out of range.
    bool moveDescriptor(int from, int to);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    ColumnOrder m_order;
};

/// Table 100: the fields of one split record of the document, one row each. Detached (no rows)
/// once the sheet closes, so that nothing reads the records while the record loop runs.
class RecordPreviewModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit RecordPreviewModel(const aCalendar* document, QObject* parent = nullptr);

    /// Shows record @p record (0-based).
    void setRecord(int record);
    int record() const { return m_record; }
    void detach();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const aCalendar* m_doc;
    int m_record = 0;
};

/// The order table's view: rows are dragged only when the pointer moves more up or down than
/// sideways, so a sideways move never starts a drag by accident.
class OrderTableView : public QTableView
{
    Q_OBJECT
public:
    explicit OrderTableView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_pressAt;
};

/// The column-order sheet of a comma- or tab-delimited import: the order table (tag 99) beside
/// the preview of one record (tag 100), the record stepper with its count, "First record holds
/// the column titles", and OK, Cancel, Help. The controller (AppControl_delimited.cpp) connects
/// the buttons and the stepper; the sheet only shows.
class ColumnOrderSheet : public QDialog
{
    Q_OBJECT
public:
    ColumnOrderSheet(const ColumnOrder& order, const aCalendar& document, QWidget* parent);

    ColumnOrderModel* orderModel() const { return m_orderModel; }
    RecordPreviewModel* previewModel() const { return m_previewModel; }
    QTableView* inputOrder() const { return m_inputOrder; }
    QTableView* inputData() const { return m_inputData; }
    QSpinBox* ctStepper() const { return m_ctStepper; }
    QLabel* ctCount() const { return m_ctCount; }
    QCheckBox* headerRecord() const { return m_header; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* helpButton() const { return m_help; }

    /// Detaches the preview from the document's records.
    void detach();

private:
    ColumnOrderModel* m_orderModel;
    RecordPreviewModel* m_previewModel;
    OrderTableView* m_inputOrder;
    QTableView* m_inputData;
    QSpinBox* m_ctStepper;
    QLabel* m_ctCount;
    QCheckBox* m_header;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QPushButton* m_help;
};

/// The sheet shown while the records become entries: the bar, the count "%i of %i", Cancel.
/// Closing it (Escape, the window's close button) asks to cancel, as Cancel does.
class ImportProgressSheet : public QDialog
{
    Q_OBJECT
public:
    explicit ImportProgressSheet(QWidget* parent);

    QProgressBar* theImporterProgress() const { return m_bar; }
    QLabel* importCounter() const { return m_counter; }
    QPushButton* cancelButton() const { return m_cancel; }

    /// Shows @p done of @p total.
    void showProgress(int done, int total);

Q_SIGNALS:
    void cancelRequested();

public Q_SLOTS:
    void reject() override;

private:
    QProgressBar* m_bar;
    QLabel* m_counter;
    QPushButton* m_cancel;
};
