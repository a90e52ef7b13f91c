#include "repeatDrawer.h"

#include "Dialogs.h"
#include "repeatMatrices.h"
#include "repeatTables.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <limits>

namespace
{
/// Accessible name = the visible label, accessible description = the tooltip.
template <typename W>
W* described(W* widget, const QString& name, const QString& tip)
{
    widget->setAccessibleName(name);
    widget->setToolTip(tip);
    widget->setAccessibleDescription(tip);
    return widget;
}

QLabel* label(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

void setTextIfDifferent(QLineEdit* field, const QString& text)
{
    if (field->text() != text)
        field->setText(text);
}

/// The count and interval fields take 1 to 9999 (empty while typing).
QValidator* numberValidator(QObject* parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("([1-9][0-9]{0,3})?")), parent);
}

QStackedWidget* stack(const char* objectName, QWidget* parent)
{
    auto* s = new QStackedWidget(parent);
    s->setObjectName(QLatin1String(objectName));
    return s;
}

template <std::size_t N>
QList<bool> cellList(const std::array<bool, N>& cells)
{
    return QList<bool>(cells.begin(), cells.end());
}
} // namespace

repeatDrawer::repeatDrawer(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);

    auto* typeRow = new QHBoxLayout;
    auto* typeLabel = label(QStringLiteral("Repeat:"), this);
    m_type = described(new QComboBox(this), QStringLiteral("Repeat:"),
                       QStringLiteral("How often the selected entry repeats"));
    m_type->setObjectName(QStringLiteral("theRepeatType"));
    m_type->addItems(repeatEditorState::typeTitles());
    typeLabel->setBuddy(m_type);
    typeRow->addWidget(typeLabel);
    typeRow->addWidget(m_type, 1);
    layout->addLayout(typeRow);
    connect(m_type, &QComboBox::activated, this, [this](int index) {
        m_state.repeatTypeDidChange(m_type->itemText(index), m_entry.get());
        refresh();
        Q_EMIT repeaterChanged();
    });

    m_box = stack("Box", this);
    m_box->addWidget(new QWidget(m_box)); // theBlankView
    m_box->addWidget(buildDailyView());
    m_box->addWidget(buildWeeklyView());
    m_box->addWidget(buildMonthlyView());
    m_box->addWidget(buildYearlyView());
    m_box->addWidget(buildRuleTextView());
    layout->addWidget(m_box);

    m_endBox = stack("endBox", this);
    m_endBox->addWidget(new QWidget(m_endBox));
    m_endBox->addWidget(buildBottomView());
    layout->addWidget(m_endBox);

    layout->addWidget(buildTables(), 1);
    refresh();
}

repeatDrawer::~repeatDrawer()
{
    // The children die after this object's own part; their last signals (a focused field losing its
    // focus as the window closes) must not reach it.
    for (QObject* child : findChildren<QObject*>())
        disconnect(child, nullptr, this, nullptr);
}

QLineEdit* repeatDrawer::intervalField(repeatEditorState::Type type, const char* objectName, const QString& tip)
{
    auto* field = described(new QLineEdit(this), QStringLiteral("Every"), tip);
    field->setObjectName(QLatin1String(objectName));
    field->setValidator(numberValidator(field));
    field->setMaximumWidth(64);
    connect(field, &QLineEdit::textEdited, this, [this, type, field](const QString& text) {
        if (!m_state.setInterval(type, text))
            field->setText(m_state.intervalText(type));
    });
    m_intervals[type] = field;
    return field;
}

QComboBox* repeatDrawer::ordinalPopUp(const char* objectName, const QString& tip)
{
    auto* popUp = described(new QComboBox(this), QStringLiteral("Which"), tip);
    popUp->setObjectName(QLatin1String(objectName));
    const QStringList titles {QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third"),
                              QStringLiteral("fourth"), QStringLiteral("last")};
    for (int i = 0; i < titles.size(); ++i)
        popUp->addItem(titles.at(i), repeatEditorState::ordinalTag(i));
    return popUp;
}

QComboBox* repeatDrawer::weekdayPopUp(const char* objectName, const QString& tip)
{
    auto* popUp = described(new QComboBox(this), QStringLiteral("Weekday"), tip);
    popUp->setObjectName(QLatin1String(objectName));
    const QStringList titles {QStringLiteral("Monday"),   QStringLiteral("Tuesday"), QStringLiteral("Wednesday"),
                              QStringLiteral("Thursday"), QStringLiteral("Friday"),  QStringLiteral("Saturday"),
                              QStringLiteral("Sunday")};
    for (int i = 0; i < titles.size(); ++i)
        popUp->addItem(titles.at(i), i);
    return popUp;
}

QWidget* repeatDrawer::buildDailyView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theDailyView"));
    auto* column = new QVBoxLayout(view);
    auto* row = new QHBoxLayout;
    auto* every = label(QStringLiteral("Every"), view);
    auto* field
        = intervalField(repeatEditorState::Daily, "dailyInterval", QStringLiteral("Repeat every this many days"));
    every->setBuddy(field);
    row->addWidget(every);
    row->addWidget(field);
    row->addWidget(label(QStringLiteral("day(s)"), view));
    row->addStretch();
    column->addLayout(row);
    column->addStretch();
    return view;
}

QWidget* repeatDrawer::buildWeeklyView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theWeeklyView"));
    auto* column = new QVBoxLayout(view);
    auto* row = new QHBoxLayout;
    auto* every = label(QStringLiteral("Every"), view);
    auto* field
        = intervalField(repeatEditorState::Weekly, "weekInterval", QStringLiteral("Repeat every this many weeks"));
    every->setBuddy(field);
    row->addWidget(every);
    row->addWidget(field);
    row->addWidget(label(QStringLiteral("week(s) on:"), view));
    row->addStretch();
    column->addLayout(row);
    m_week = new weekMatrix(view);
    m_week->setObjectName(QStringLiteral("theWeekView"));
    column->addWidget(m_week);
    column->addStretch();
    connect(m_week, &buttonMatrix::cellToggled, this, [this](int tag) {
        m_state.toggleWeekCell(tag);
        refresh();
    });
    return view;
}

QWidget* repeatDrawer::buildMonthlyView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theMonthlyView"));
    auto* column = new QVBoxLayout(view);
    auto* row = new QHBoxLayout;
    auto* every = label(QStringLiteral("Every"), view);
    auto* field
        = intervalField(repeatEditorState::Monthly, "monthInterval", QStringLiteral("Repeat every this many months"));
    every->setBuddy(field);
    row->addWidget(every);
    row->addWidget(field);
    row->addWidget(label(QStringLiteral("month(s)"), view));
    row->addStretch();
    column->addLayout(row);

    m_monthChoice = new QButtonGroup(view);
    m_monthChoice->setObjectName(QStringLiteral("monthRadioButtons"));
    auto* each = described(new QRadioButton(QStringLiteral("Each"), view), QStringLiteral("Each"),
                           QStringLiteral("Repeat on the days chosen below"));
    m_monthChoice->addButton(each, 1);
    column->addWidget(each);
    m_month = new monthMatrix(view);
    m_month->setObjectName(QStringLiteral("theMonthView"));
    column->addWidget(m_month);
    connect(m_month, &buttonMatrix::cellToggled, this, [this](int day) {
        m_state.toggleMonthCell(day);
        refresh();
    });

    auto* positionRow = new QHBoxLayout;
    auto* onThe = described(new QRadioButton(QStringLiteral("On the"), view), QStringLiteral("On the"),
                            QStringLiteral("Repeat on one weekday of the month, such as the second Tuesday"));
    m_monthChoice->addButton(onThe, 2);
    m_monthOrdinal = ordinalPopUp("monthOnePUB", QStringLiteral("Which of the weekdays in the month"));
    m_monthWeekday = weekdayPopUp("monthTwoPUB", QStringLiteral("The weekday of the monthly repeat"));
    positionRow->addWidget(onThe);
    positionRow->addWidget(m_monthOrdinal);
    positionRow->addWidget(m_monthWeekday);
    positionRow->addStretch();
    column->addLayout(positionRow);
    column->addStretch();
    connect(m_monthChoice, &QButtonGroup::idClicked, this, [this](int tag) {
        m_state.monthRadioButton(tag);
        refresh();
    });
    connect(m_monthOrdinal, &QComboBox::activated, this, [this](int i) { m_state.setMonthOrdinal(i); });
    connect(m_monthWeekday, &QComboBox::activated, this, [this](int i) { m_state.setMonthWeekday(i); });
    return view;
}

QWidget* repeatDrawer::buildYearlyView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theyearlyView"));
    auto* column = new QVBoxLayout(view);
    auto* row = new QHBoxLayout;
    auto* every = label(QStringLiteral("Every"), view);
    auto* field
        = intervalField(repeatEditorState::Yearly, "yearInterval", QStringLiteral("Repeat every this many years"));
    every->setBuddy(field);
    row->addWidget(every);
    row->addWidget(field);
    row->addWidget(label(QStringLiteral("year(s) in:"), view));
    row->addStretch();
    column->addLayout(row);
    m_year = new yearMatrix(view);
    m_year->setObjectName(QStringLiteral("theYearView"));
    column->addWidget(m_year);
    connect(m_year, &buttonMatrix::cellToggled, this, [this](int month) {
        m_state.toggleYearCell(month);
        refresh();
    });

    auto* positionRow = new QHBoxLayout;
    m_yearBox = described(new QCheckBox(QStringLiteral("On the"), view), QStringLiteral("On the"),
                          QStringLiteral("Repeat on one weekday of the chosen months, such as the last Friday"));
    m_yearBox->setObjectName(QStringLiteral("yearButton"));
    m_yearOrdinal = ordinalPopUp("yearOnePUB", QStringLiteral("Which of the weekdays in the month"));
    m_yearWeekday = weekdayPopUp("yearTwoPUB", QStringLiteral("The weekday of the yearly repeat"));
    positionRow->addWidget(m_yearBox);
    positionRow->addWidget(m_yearOrdinal);
    positionRow->addWidget(m_yearWeekday);
    positionRow->addStretch();
    column->addLayout(positionRow);
    column->addStretch();
    connect(m_yearBox, &QCheckBox::clicked, this, [this](bool on) {
        m_state.yearCheck(on);
        refresh();
    });
    connect(m_yearOrdinal, &QComboBox::activated, this, [this](int i) { m_state.setYearOrdinal(i); });
    connect(m_yearWeekday, &QComboBox::activated, this, [this](int i) { m_state.setYearWeekday(i); });
    return view;
}

QWidget* repeatDrawer::buildRuleTextView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theRuleTextView"));
    auto* column = new QVBoxLayout(view);
    const QString title = QStringLiteral("Repeat rule (cannot be edited here):");
    auto* caption = label(title, view);
    caption->setWordWrap(true);
    m_ruleText = described(new QLineEdit(view), title,
                           QStringLiteral("This repeat rule uses parts the editor cannot show; it is kept unchanged"));
    m_ruleText->setObjectName(QStringLiteral("theRuleText"));
    m_ruleText->setReadOnly(true);
    m_ruleText->setMaxLength(std::numeric_limits<int>::max()); // shown whole, however long
    caption->setBuddy(m_ruleText);
    column->addWidget(caption);
    column->addWidget(m_ruleText);
    column->addStretch();
    return view;
}

QWidget* repeatDrawer::buildBottomView()
{
    auto* view = new QWidget(this);
    view->setObjectName(QStringLiteral("theBottomView"));
    auto* grid = new QGridLayout(view);
    m_endText = label(QString(), view);
    m_endText->setObjectName(QStringLiteral("endText"));
    grid->addWidget(m_endText, 0, 0);

    m_endRadio = new QButtonGroup(view);
    m_endRadio->setObjectName(QStringLiteral("radioButtons"));
    auto* noEnd = described(new QRadioButton(QStringLiteral("No end"), view), QStringLiteral("No end"),
                            QStringLiteral("Repeat without end"));
    auto* after = described(new QRadioButton(QStringLiteral("After"), view), QStringLiteral("After"),
                            QStringLiteral("Stop after a number of times"));
    auto* until = described(new QRadioButton(QStringLiteral("Until"), view), QStringLiteral("Until"),
                            QStringLiteral("Stop after a date"));
    m_endRadio->addButton(noEnd, 1);
    m_endRadio->addButton(after, 2);
    m_endRadio->addButton(until, 3);
    grid->addWidget(noEnd, 0, 1);
    grid->addWidget(after, 1, 1);
    grid->addWidget(until, 2, 1);

    m_count = described(new QLineEdit(view), QStringLiteral("Number of times"),
                        QStringLiteral("How many times the entry happens (1 to 9999)"));
    m_count->setObjectName(QStringLiteral("numberOfRepeats"));
    m_count->setValidator(numberValidator(m_count));
    m_count->setMaximumWidth(64);
    m_timesText = label(QString(), view);
    m_timesText->setObjectName(QStringLiteral("theTimesText"));
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(m_count);
    countRow->addWidget(m_timesText);
    countRow->addStretch();
    grid->addLayout(countRow, 1, 2);

    m_until = described(new QLineEdit(view), QStringLiteral("Until date"),
                        QStringLiteral("The last day on which the entry happens"));
    m_until->setObjectName(QStringLiteral("repeatUntilDate"));
    grid->addWidget(m_until, 2, 2);
    grid->setColumnStretch(2, 1);

    connect(m_endRadio, &QButtonGroup::idClicked, this, [this](int tag) {
        m_state.mainRadioButton(tag);
        refresh();
    });
    connect(m_count, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!m_state.setCountText(text))
            m_count->setText(m_state.controls().countText);
    });
    connect(m_until, &QLineEdit::editingFinished, this, &repeatDrawer::untilEdited);
    return view;
}

QWidget* repeatDrawer::buildTables()
{
    auto* view = new QWidget(this);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);

    const QString exTitle = QStringLiteral("Exception dates");
    auto* exLabel = label(exTitle, view);
    m_exceptions = new exceptionDateModel(this);
    m_exceptionTable
        = described(new QTableView(view), exTitle,
                    QStringLiteral("Days on which the repeating entry does not happen; edit a date in place"));
    m_exceptionTable->setObjectName(QStringLiteral("theEXDATETable2"));
    m_exceptionTable->setProperty("tag", int(kExceptionDateTable));
    m_exceptionTable->setModel(m_exceptions);
    m_exceptionTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_exceptionTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_exceptionTable->horizontalHeader()->setStretchLastSection(true);
    m_exceptionTable->verticalHeader()->hide();
    exLabel->setBuddy(m_exceptionTable);
    column->addWidget(exLabel);
    column->addWidget(m_exceptionTable, 1);

    auto* buttons = new QHBoxLayout;
    m_addException = described(new QPushButton(QStringLiteral("Add"), view), QStringLiteral("Add"),
                               QStringLiteral("Add an exception date (today, then edit it)"));
    m_addException->setObjectName(QStringLiteral("addEXDATEButton"));
    m_removeException = described(new QPushButton(QStringLiteral("Remove"), view), QStringLiteral("Remove"),
                                  QStringLiteral("Remove the selected exception date"));
    m_removeException->setObjectName(QStringLiteral("removeEXDATEButton"));
    buttons->addWidget(m_addException);
    buttons->addWidget(m_removeException);
    buttons->addStretch();
    column->addLayout(buttons);
    connect(m_addException, &QPushButton::clicked, this, &repeatDrawer::addEXDATE);
    connect(m_removeException, &QPushButton::clicked, this, &repeatDrawer::removeEXDATE);
    connect(m_exceptionTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &repeatDrawer::refreshTableButtons);
    connect(m_exceptions, &QAbstractItemModel::modelReset, this, &repeatDrawer::refreshTableButtons);
    connect(m_exceptions, &QAbstractItemModel::rowsRemoved, this, &repeatDrawer::refreshTableButtons);

    const QString occTitle = QStringLiteral("Changed occurrences");
    auto* occLabel = label(occTitle, view);
    m_occurrences = new occurrenceModel(this);
    m_occurrenceTable = described(new QTableView(view), occTitle,
                                  QStringLiteral("Single occurrences of the repeating entry that were changed"));
    m_occurrenceTable->setObjectName(QStringLiteral("theReoccTable"));
    m_occurrenceTable->setProperty("tag", int(kOccurrenceTable));
    m_occurrenceTable->setModel(m_occurrences);
    m_occurrenceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_occurrenceTable->horizontalHeader()->setStretchLastSection(true);
    m_occurrenceTable->verticalHeader()->hide();
    occLabel->setBuddy(m_occurrenceTable);
    column->addWidget(occLabel);
    column->addWidget(m_occurrenceTable, 1);
    return view;
}

void repeatDrawer::setDateFormat(const QString& format, const DateNames& names)
{
    m_state.setDateFormat(format, names);
    m_exceptions->setDateFormat(format, names);
    m_occurrences->setDateFormat(format, names);
    m_until->setPlaceholderText(CalDate::now().format(format, &names));
}

void repeatDrawer::updateRRULEDrawer(const EntryPtr& entry)
{
    if (!entry) {
        blankAndDisable();
        return;
    }
    m_entry = entry;
    m_state.updateRRULEDrawer(*entry);
    m_exceptions->setEntry(entry);
    m_occurrences->setEntry(entry);
    refresh();
}

void repeatDrawer::blankAndDisable()
{
    m_entry.reset();
    m_state.blankAndDisable();
    m_exceptions->setEntry(nullptr);
    m_occurrences->setEntry(nullptr);
    refresh();
}

void repeatDrawer::drawerDidOpen()
{
    if (m_entry && !m_state.isChanged())
        updateRRULEDrawer(m_entry);
    else
        refresh();
}

bool repeatDrawer::setTheRRULE(dataEntry& entry)
{
    // An until date still being typed when the selection moves counts when it is a date.
    if (m_until->isEnabled() && m_until->text() != m_state.controls().untilText)
        m_state.setUntilText(m_until->text());
    return m_state.setTheRRULE(entry);
}

void repeatDrawer::untilEdited()
{
    if (!m_until->isEnabled() || m_until->text() == m_state.controls().untilText)
        return;
    const QString typed = m_until->text();
    if (m_state.setUntilText(typed))
        return;
    m_until->setText(m_state.controls().untilText);
    const QString example = CalDate::now().format(m_state.dateFormat(), &m_state.dateNames());
    Dialogs::message(
        window(), QStringLiteral("Error!"),
        QStringLiteral("\"%1\" is not a date. Type the last day of the repeat like %2.").arg(typed, example));
}

void repeatDrawer::addEXDATE()
{
    const int row = m_exceptions->addEXDATE();
    if (row < 0)
        return;
    const QModelIndex index = m_exceptions->index(row, 0);
    m_exceptionTable->setCurrentIndex(index);
    m_exceptionTable->selectRow(row);
    m_exceptionTable->scrollTo(index);
    m_exceptionTable->edit(index);
    refreshTableButtons();
}

void repeatDrawer::removeEXDATE()
{
    const QModelIndexList rows = m_exceptionTable->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        m_exceptions->removeEXDATE(rows.first().row());
    refreshTableButtons();
}

void repeatDrawer::refreshTableButtons()
{
    const bool usable = m_entry && m_state.controls().exceptionsEnabled;
    m_addException->setEnabled(usable);
    m_removeException->setEnabled(usable && m_exceptionTable->selectionModel()->hasSelection());
}

void repeatDrawer::refresh()
{
    const repeatEditorState::Controls& c = m_state.controls();
    m_type->setCurrentIndex(c.typeIndex);
    m_type->setEnabled(c.typeEnabled);
    m_box->setCurrentIndex(int(c.box));
    m_endBox->setCurrentIndex(c.endBoxShown ? 1 : 0);

    setTextIfDifferent(m_intervals[repeatEditorState::Daily], c.dailyInterval);
    setTextIfDifferent(m_intervals[repeatEditorState::Weekly], c.weekInterval);
    setTextIfDifferent(m_intervals[repeatEditorState::Monthly], c.monthInterval);
    setTextIfDifferent(m_intervals[repeatEditorState::Yearly], c.yearInterval);
    m_week->setCells(cellList(c.weekCells));
    m_month->setCells(cellList(c.monthCells));
    m_year->setCells(cellList(c.yearCells));

    m_monthChoice->button(c.monthChoice)->setChecked(true);
    m_month->setEnabled(c.monthGridEnabled);
    m_monthOrdinal->setCurrentIndex(c.monthOrdinal);
    m_monthWeekday->setCurrentIndex(c.monthWeekday);
    m_monthOrdinal->setEnabled(c.monthPopupsEnabled);
    m_monthWeekday->setEnabled(c.monthPopupsEnabled);

    m_yearBox->setChecked(c.yearBox);
    m_yearOrdinal->setCurrentIndex(c.yearOrdinal);
    m_yearWeekday->setCurrentIndex(c.yearWeekday);
    m_yearOrdinal->setEnabled(c.yearPopupsEnabled);
    m_yearWeekday->setEnabled(c.yearPopupsEnabled);

    setTextIfDifferent(m_ruleText, c.ruleText);

    m_endText->setText(c.endText);
    m_endRadio->button(c.endTag)->setChecked(true);
    for (QAbstractButton* radio : m_endRadio->buttons())
        radio->setEnabled(c.endRadioEnabled);
    setTextIfDifferent(m_count, c.countText);
    m_count->setEnabled(c.countEnabled);
    m_timesText->setText(c.timesText);
    setTextIfDifferent(m_until, c.untilText);
    m_until->setEnabled(c.untilEnabled);

    m_exceptionTable->setEnabled(c.exceptionsEnabled);
    refreshTableButtons();
}
