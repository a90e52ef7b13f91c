#pragma once

#include "calendar/dataEntry.h"
#include "repeatEditorState.h"

#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableView;
class buttonMatrix;
class exceptionDateModel;
class occurrenceModel;

/// The content of the repeat drawer: the repeat-rule editor of the selected entry, its exception
/// dates (table tag 1) and its changed occurrences (table tag 13).
///
/// The widgets only show a repeatEditorState and turn user actions into its operations. The
/// window drives the drawer from the entry table's selection:
///
///     // selection leaves the single entry shown so far
///     drawer->setTheRRULE(*previous);              // stores the rule only when the user changed it
///     // selection settles
///     drawer->updateRRULEDrawer(entry);            // one row: load it
///     drawer->blankAndDisable();                   // no row or several rows
///
/// Child widgets carry the object names of the drawer's outlets ("theRepeatType", "weekInterval",
/// "theWeekView", "numberOfRepeats", "repeatUntilDate", "theEXDATETable2", "theReoccTable", ...).
class repeatDrawer : public QWidget
{
    Q_OBJECT
public:
    explicit repeatDrawer(QWidget* parent = nullptr);
    ~repeatDrawer() override;

    /// The document's short date format (calendar-format codes) and names, for the until field
    /// and the date columns.
    void setDateFormat(const QString& format, const DateNames& names = DateNames::english());

    /// Loads the editor and both tables from @p entry; a null entry blanks and disables them.
    void updateRRULEDrawer(const EntryPtr& entry);
    /// No single entry selected: everything blank and disabled, the tables without rows.
    void blankAndDisable();
    /// The drawer was opened: shows the current entry's rule again unless the user is editing it.
    void drawerDidOpen();
    /// Writes the editor into @p entry when a control was changed for it (see repeatEditorState);
    /// returns whether it stored.
    bool setTheRRULE(dataEntry& entry);

    const repeatEditorState& state() const { return m_state; }
    /// The entry shown (null when none).
    const EntryPtr& entry() const { return m_entry; }

Q_SIGNALS:
    /// The shown entry's repeat marker changed (the type pop-up was used): the entry table's marker
    /// column needs reloading.
    void repeaterChanged();

private:
    QWidget* buildDailyView();
    QWidget* buildWeeklyView();
    QWidget* buildMonthlyView();
    QWidget* buildYearlyView();
    QWidget* buildRuleTextView();
    QWidget* buildBottomView();
    QWidget* buildTables();
    QLineEdit* intervalField(repeatEditorState::Type type, const char* objectName, const QString& tip);
    QComboBox* ordinalPopUp(const char* objectName, const QString& tip);
    QComboBox* weekdayPopUp(const char* objectName, const QString& tip);

    /// Shows the state in every widget (signals blocked).
    void refresh();
    void refreshTableButtons();
    void untilEdited();
    void addEXDATE();
    void removeEXDATE();

    repeatEditorState m_state;
    EntryPtr m_entry;

    QComboBox* m_type = nullptr;
    QStackedWidget* m_box = nullptr;
    QStackedWidget* m_endBox = nullptr;
    QLineEdit* m_intervals[5] = {};
    buttonMatrix* m_week = nullptr;
    buttonMatrix* m_month = nullptr;
    buttonMatrix* m_year = nullptr;
    QButtonGroup* m_monthChoice = nullptr;
    QComboBox* m_monthOrdinal = nullptr;
    QComboBox* m_monthWeekday = nullptr;
    QCheckBox* m_yearBox = nullptr;
    QComboBox* m_yearOrdinal = nullptr;
    QComboBox* m_yearWeekday = nullptr;
    QLineEdit* m_ruleText = nullptr;
    QLabel* m_endText = nullptr;
    QButtonGroup* m_endRadio = nullptr;
    QLineEdit* m_count = nullptr;
    QLabel* m_timesText = nullptr;
    QLineEdit* m_until = nullptr;
    QTableView* m_exceptionTable = nullptr;
    QTableView* m_occurrenceTable = nullptr;
    QPushButton* m_addException = nullptr;
    QPushButton* m_removeException = nullptr;
    exceptionDateModel* m_exceptions = nullptr;
    occurrenceModel* m_occurrences = nullptr;
};
