#pragma once

#include "platform/CalDate.h"

#include <QString>
#include <QStringList>

#include <array>

class dataEntry;

/// What the repeat drawer's controls hold, kept apart from the widgets so that the rule logic can
/// be driven without a window. The drawer widget shows these values and turns every user action
/// into one of the operations below; nothing here touches a widget.
///
/// Loading (`updateRRULEDrawer`) reads an entry's rule (iCalendar RRULE grammar, FREQ first) and its
/// start date into the controls; building (`buildRRULE`) assembles the rule text back from them, and
/// `setTheRRULE` stores it into an entry.
///
/// Two guards keep rules from files intact:
/// - a rule the controls cannot express (another frequency, FREQ not first, WKST, BYSETPOS, BYHOUR,
///   a count or interval that is not a number from 1 to 9999, ...) is loaded read-only: the controls
///   show its text, the type pop-up is disabled and the rule is never rewritten;
/// - the rule is written back only when a control was changed since the entry was loaded, so an
///   entry merely looked at keeps its rule text byte for byte.
///
/// "Today" (the cell turned on when a type is chosen for an entry without such a rule) comes from
/// Clock, in the local zone.
class repeatEditorState
{
public:
    /// Indices of the type pop-up; titles in typeTitles().
    enum Type { Never = 0, Daily, Weekly, Monthly, Yearly };
    /// What the upper pane (`Box`) shows.
    enum class Pane { Blank, Daily, Weekly, Monthly, Yearly, RuleText };

    /// "Never", "Daily", "Weekly", "Monthly", "Yearly": the pop-up's items, compared by title.
    static const QStringList& typeTitles();
    /// Week grid cells 1-7: "Mon" ... "Sun".
    static const QStringList& weekCellTitles();
    /// Year grid cells 1-12: "Jan" ... "Dec" (with "Sept").
    static const QStringList& yearCellTitles();
    /// Weekday codes "MO" ... "SU": week cell n and weekday pop-up item n - 1.
    static const QStringList& weekdayCodes();
    /// Tag of an ordinal pop-up item: 1 to 4 for indices 0 to 3, -1 (last) for index 4.
    static int ordinalTag(int index);

    /// Plain values of the controls, read by the widgets.
    struct Controls
    {
        int typeIndex = Never; ///< selected pop-up item, -1 for none (a read-only rule of another frequency)
        bool typeEnabled = false;
        Pane box = Pane::Blank;
        bool endBoxShown = false; ///< lower pane (`endBox`): end-condition view or blank

        QString dailyInterval = QStringLiteral("1");
        QString weekInterval = QStringLiteral("1");
        QString monthInterval = QStringLiteral("1");
        QString yearInterval = QStringLiteral("1");

        std::array<bool, 7> weekCells {}; ///< index n - 1 for the cell tagged n (Mon 1 ... Sun 7)
        std::array<bool, 31> monthCells {}; ///< index d - 1 for day d
        std::array<bool, 12> yearCells {}; ///< index m - 1 for month m

        int monthChoice = 1; ///< monthly radio tag: 1 "Each" (day grid), 2 a weekday position
        bool monthGridEnabled = true;
        bool monthPopupsEnabled = false;
        int monthOrdinal = 0; ///< ordinal pop-up index 0-4
        int monthWeekday = 0; ///< weekday pop-up index 0-6 (Monday first)

        bool yearBox = false; ///< tick box: a weekday position in the chosen months
        bool yearPopupsEnabled = false;
        int yearOrdinal = 0;
        int yearWeekday = 0;

        int endTag = 1; ///< end radio: 1 no end, 2 after a count, 3 until a date
        bool endRadioEnabled = false;
        QString countText;
        bool countEnabled = false;
        QString untilText; ///< in the document's short date format
        bool untilEnabled = false;
        QString timesText; ///< label after the count: "", "time(s)" or "Time(s)"
        QString endText; ///< label before the end condition: "" or "End:"

        bool exceptionsEnabled = false; ///< the exception-date table and its buttons
        QString ruleText; ///< the rule shown read-only (pane RuleText)
    };

    repeatEditorState();

    /// The document's short date format (calendar-format codes) and names, used by the until field.
    void setDateFormat(const QString& format, const DateNames& names = DateNames::english());
    const QString& dateFormat() const { return m_dateFormat; }
    const DateNames& dateNames() const { return m_names; }

    const Controls& controls() const { return m_c; }
    /// The loaded rule could not be expressed by the controls and is shown as text.
    bool isReadOnly() const { return m_readOnly; }
    /// A control was changed since the last load: the next write-back stores the rule.
    bool isChanged() const { return m_changed; }

    // --- loading and storing ---
    /// Loads the controls from @p entry's rule and start date; the editor is unchanged afterwards.
    void updateRRULEDrawer(const dataEntry& entry);
    /// No or several rows selected: both panes blank, pop-up "Never" and disabled, no end condition.
    void blankAndDisable();
    /// The rule text the controls describe ("" for "Never"); for a read-only rule, that rule.
    QString buildRRULE() const;
    /// Stores buildRRULE() into @p entry, with its repeat marker, when a control was changed and the
    /// rule is not read-only; returns whether it stored.
    bool setTheRRULE(dataEntry& entry) const;
    /// True when the controls can show @p rule (the value, without "RRULE:") without losing anything.
    static bool canShow(const QString& rule);

    // --- control actions (each marks the editor changed) ---
    /// The type pop-up chose @p title; @p entry (may be null) is the selected entry, whose repeat
    /// marker follows the type at once. Returns false for a title that is not a type.
    bool repeatTypeDidChange(const QString& title, dataEntry* entry);
    /// End-condition radio tag 1, 2 or 3.
    void mainRadioButton(int tag);
    /// Monthly choice: tag 1 "Each", tag 2 the weekday position.
    void monthRadioButton(int tag);
    void yearCheck(bool on);
    /// Resets the end condition: daily interval "1", no end, count and until empty and disabled.
    void setBottomRepeatWindowToDefault();

    /// Toggles a grid cell (week tag 1-7, day 1-31, month 1-12); the last cell on stays on.
    void toggleWeekCell(int tag);
    void toggleMonthCell(int day);
    void toggleYearCell(int month);

    /// Interval field of @p type (Daily ... Yearly): digits only, 1 to 9999, or empty (meaning 1).
    /// Returns false and keeps the old text otherwise.
    bool setInterval(Type type, const QString& text);
    /// The interval field of @p type (Daily ... Yearly).
    QString intervalText(Type type) const;
    /// Count field: digits only, 1 to 9999, or empty (no end piece). Returns false and keeps the
    /// old text otherwise.
    bool setCountText(const QString& text);
    /// Until field: empty or a date in dateFormat(). Returns false and keeps the old text otherwise.
    bool setUntilText(const QString& text);
    void setMonthOrdinal(int index);
    void setMonthWeekday(int index);
    void setYearOrdinal(int index);
    void setYearWeekday(int index);

    /// The toggle rule of the grids, shared with the grid widgets: flips @p cells[@p index] and turns
    /// it on again when no cell would be left on.
    template <typename Cells>
    static void toggleKeepingOne(Cells& cells, int index)
    {
        if (index < 0 || index >= int(cells.size()))
            return;
        cells[index] = !cells[index];
        for (bool on : cells) {
            if (on)
                return;
        }
        cells[index] = true;
    }

private:
    void resetForLoad();
    void showEndCondition();
    void clearEndCondition();
    void applyToken(const QString& token, Type type);
    QString endPiece() const;

    Controls m_c;
    QString m_dateFormat = QStringLiteral("%d/%m/%Y");
    DateNames m_names = DateNames::english();
    bool m_readOnly = false;
    bool m_changed = false;
    bool m_sawEnd = false;
};
