#include "ColumnOrderSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

const QString ColumnOrderModel::kRowDragType = QStringLiteral("application/x-MyCustomOutlineViewPboardType");

namespace
{
/// Gives a control its visible label as accessible name and its tooltip as description.
template <typename W>
W* described(W* widget, const QString& name, const QString& tip)
{
    widget->setAccessibleName(name);
    widget->setToolTip(tip);
    widget->setAccessibleDescription(tip);
    return widget;
}

/// A field as one line of the preview: line ends shown as a return sign, long fields cut.
QString oneLine(const QString& field)
{
    constexpr qsizetype kShown = 2000;
    QString s = field.left(kShown);
    s.replace(QLatin1Char('\n'), QChar(0x21B5));
    s.replace(QLatin1Char('\r'), QChar(0x21B5));
    if (field.size() > kShown)
        s += QChar(0x2026);
    return s;
}
} // namespace

// --- table 99 ---

ColumnOrderModel::ColumnOrderModel(const ColumnOrder& order, QObject* parent)
    : QAbstractListModel(parent)
    , m_order(order)
{
}

bool ColumnOrderModel::moveDescriptor(int from, int to)
{
    if (from < 0 || from >= m_order.size())
        return false;
    beginResetModel();
    const ColumnDescriptor moved = m_order.takeAt(from);
    if (to < 0 || to > m_order.size())
        to = int(m_order.size());
    m_order.insert(to, moved);
    endResetModel();
    return true;
}

int ColumnOrderModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

QVariant ColumnOrderModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_order.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_order.at(index.row()).title;
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Column %1 of the file fills “%2”; drag the row to another place")
            .arg(index.row() + 1)
            .arg(m_order.at(index.row()).title);
    return {};
}

QVariant ColumnOrderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0)
        return QStringLiteral("Field");
    if (role == Qt::DisplayRole && orientation == Qt::Vertical)
        return section + 1;
    return {};
}

Qt::ItemFlags ColumnOrderModel::flags(const QModelIndex& index) const
{
    // Drops land on rows (or below the last one, at the root).
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList ColumnOrderModel::mimeTypes() const
{
    return {kRowDragType, QStringLiteral("text/plain")};
}

QMimeData* ColumnOrderModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty())
        return nullptr;
    int first = indexes.first().row();
    for (const QModelIndex& i : indexes)
        first = std::min(first, i.row());
    auto* mime = new QMimeData;
    const QByteArray row = QByteArray::number(first);
    mime->setData(kRowDragType, row);
    mime->setText(QString::fromLatin1(row));
    return mime;
}

Qt::DropActions ColumnOrderModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions ColumnOrderModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool ColumnOrderModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
    // Text dragged in from elsewhere is no row of this table.
    return data && data->hasFormat(kRowDragType);
}

bool ColumnOrderModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                    const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    bool ok = false;
    const int from = QString::fromLatin1(data->data(kRowDragType)).toInt(&ok);
    if (!ok)
        return false;
    // A drop onto a row takes that row's place; a drop between rows, the place there.
    const int to = parent.isValid() ? parent.row() : row;
    return moveDescriptor(from, to);
}

// --- table 100 ---

RecordPreviewModel::RecordPreviewModel(const aCalendar* document, QObject* parent)
    : QAbstractTableModel(parent)
    , m_doc(document)
{
}

void RecordPreviewModel::setRecord(int record)
{
    beginResetModel();
    m_record = record;
    endResetModel();
}

void RecordPreviewModel::detach()
{
    beginResetModel();
    m_doc = nullptr;
    endResetModel();
}

int RecordPreviewModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_doc || m_record < 0 || m_record >= m_doc->getCommaTabRowCount())
        return 0;
    return m_doc->getCommaTabDataItemCount(m_record);
}

int RecordPreviewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant RecordPreviewModel::data(const QModelIndex& index, int role) const
{
    if (!m_doc || !index.isValid() || index.row() >= rowCount())
        return {};
    const QString field = m_doc->getCommaTabRow(m_record).value(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return oneLine(field);
    case Qt::ToolTipRole:
        return field.left(2000);
    default:
        return {};
    }
}

QVariant RecordPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section == 0)
        return QStringLiteral("Record");
    if (role == Qt::DisplayRole && orientation == Qt::Vertical)
        return section + 1;
    return {};
}

// --- the order table's view ---

OrderTableView::OrderTableView(QWidget* parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragDropOverwriteMode(true); // a drop lands on the row under the pointer
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(true);
}

void OrderTableView::mousePressEvent(QMouseEvent* event)
{
    m_pressAt = event->position().toPoint();
    QTableView::mousePressEvent(event);
}

void OrderTableView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint moved = event->position().toPoint() - m_pressAt;
        if (std::abs(moved.x()) > std::abs(moved.y()))
            return; // sideways: no drag
    }
    QTableView::mouseMoveEvent(event);
}

// --- the sheet ---

ColumnOrderSheet::ColumnOrderSheet(const ColumnOrder& order, const aCalendar& document, QWidget* parent)
    : QDialog(parent)
    , m_orderModel(new ColumnOrderModel(order, this))
    , m_previewModel(new RecordPreviewModel(&document, this))
    , m_inputOrder(new OrderTableView(this))
    , m_inputData(new QTableView(this))
    , m_ctStepper(new QSpinBox(this))
    , m_ctCount(new QLabel(this))
    , m_header(new QCheckBox(QStringLiteral("First record holds the column titles"), this))
    , m_ok(new QPushButton(QStringLiteral("OK"), this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
    , m_help(new QPushButton(QStringLiteral("Help"), this))
{
    setObjectName(QStringLiteral("orderSheet"));
    setWindowTitle(QStringLiteral("Column Order"));
    setAccessibleName(windowTitle());
    setWindowModality(Qt::WindowModal);

    auto* intro = new QLabel(QStringLiteral("Drag the fields on the left into the order of the file's columns: "
                                            "each field takes the value beside it. Step through the records "
                                            "to check them."),
                             this);
    intro->setWordWrap(true);

    m_inputOrder->setObjectName(QStringLiteral("inputOrder"));
    m_inputOrder->setProperty("tag", 99);
    m_inputOrder->setModel(m_orderModel);
    described(m_inputOrder, QStringLiteral("Column order"),
              QStringLiteral("The entry field each column of the file fills, in the file's order; drag a field "
                             "onto another row to move it there"));
    m_inputData->setObjectName(QStringLiteral("inputData"));
    m_inputData->setProperty("tag", 100);
    m_inputData->setModel(m_previewModel);
    m_inputData->setSelectionMode(QAbstractItemView::NoSelection);
    m_inputData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    described(m_inputData, QStringLiteral("Record preview"),
              QStringLiteral("The columns of the record shown, one a row, beside the field each one fills"));
    // Row i of both tables belongs together: same row height, one scroll position.
    for (QTableView* t : {static_cast<QTableView*>(m_inputOrder), m_inputData}) {
        t->setWordWrap(false);
        t->setEditTriggers(QAbstractItemView::NoEditTriggers);
        t->setCornerButtonEnabled(false);
        t->horizontalHeader()->setStretchLastSection(true);
        t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 8);
        t->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    }
    m_inputOrder->verticalHeader()->hide();
    m_inputOrder->setMaximumWidth(220);
    connect(m_inputOrder->verticalScrollBar(), &QScrollBar::valueChanged, m_inputData->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(m_inputData->verticalScrollBar(), &QScrollBar::valueChanged, m_inputOrder->verticalScrollBar(),
            &QScrollBar::setValue);

    auto* stepperLabel = new QLabel(QStringLiteral("&Record:"), this);
    stepperLabel->setBuddy(m_ctStepper);
    m_ctStepper->setObjectName(QStringLiteral("ctStepper"));
    m_ctStepper->setRange(1, 1);
    m_ctStepper->setSingleStep(1);
    m_ctStepper->setKeyboardTracking(false);
    described(m_ctStepper, QStringLiteral("Record"), QStringLiteral("The record shown in the preview"));
    m_ctCount->setObjectName(QStringLiteral("ctCount"));
    m_ctCount->setMinimumWidth(m_ctCount->fontMetrics().horizontalAdvance(QStringLiteral("0000000 of 0000000")));
    described(m_header, m_header->text(),
              QStringLiteral("The first record names the columns and becomes no appointment"));
    described(m_ok, m_ok->text(), QStringLiteral("Make one appointment of every record in this column order"));
    described(m_cancel, m_cancel->text(), QStringLiteral("Import nothing"));
    described(m_help, m_help->text(), QStringLiteral("How to set the column order"));
    m_ok->setDefault(true);
    m_help->setAutoDefault(false);
    m_cancel->setAutoDefault(false);

    auto* tables = new QHBoxLayout;
    tables->addWidget(m_inputOrder, 1);
    tables->addWidget(m_inputData, 2);
    auto* stepper = new QHBoxLayout;
    stepper->addWidget(stepperLabel);
    stepper->addWidget(m_ctStepper);
    stepper->addWidget(m_ctCount);
    stepper->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(tables, 1);
    layout->addLayout(stepper);
    layout->addWidget(m_header);
    layout->addLayout(buttons);
    resize(560, 420);
}

void ColumnOrderSheet::detach()
{
    m_previewModel->detach();
}

// --- the progress sheet ---

ImportProgressSheet::ImportProgressSheet(QWidget* parent)
    : QDialog(parent)
    , m_bar(new QProgressBar(this))
    , m_counter(new QLabel(this))
    , m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("importCounterWindow"));
    setWindowTitle(QStringLiteral("Importing"));
    setAccessibleName(windowTitle());
    setWindowModality(Qt::WindowModal);
    auto* title = new QLabel(QStringLiteral("Making appointments of the records…"), this);
    m_bar->setObjectName(QStringLiteral("theImporterProgress"));
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 0);
    described(m_bar, QStringLiteral("Records imported"), QStringLiteral("The records made into appointments so far"));
    m_counter->setObjectName(QStringLiteral("importCounter"));
    described(m_cancel, m_cancel->text(), QStringLiteral("Stop the import; no appointment is added"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &ImportProgressSheet::cancelRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_counter, 1);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

void ImportProgressSheet::showProgress(int done, int total)
{
    m_bar->setRange(0, total);
    m_bar->setValue(done);
    const QString text = total > 0 || done > 0 ? QStringLiteral("%1 of %2").arg(done).arg(total) : QString();
    m_counter->setText(text);
    m_counter->setAccessibleName(text);
}

void ImportProgressSheet::reject()
{
    // The sheet closes when the loop has ended, not before.
    Q_EMIT cancelRequested();
}
