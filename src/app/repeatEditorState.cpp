#include "repeatEditorState.h"

#include "calendar/dataEntry.h"

#include <QRegularExpression>
#include <QSet>

namespace
{
const QString kRulePrefix = QStringLiteral("RRULE:");

const QStringList& freqTokens()
{
    static const QStringList tokens {QString(), QStringLiteral("FREQ=DAILY"), QStringLiteral("FREQ=WEEKLY"),
                                     QStringLiteral("FREQ=MONTHLY"), QStringLiteral("FREQ=YEARLY")};
    return tokens;
}

/// The type a rule's first token names, or -1.
int typeOfRule(const QString& rule)
{
    const QString first = rule.section(QLatin1Char(';'), 0, 0);
    const int i = int(freqTokens().indexOf(first));
    return i > 0 ? i : -1;
}

/// A number as the count and interval fields take it: 1 to 9999, digits only, no leading zero.
bool isFieldNumber(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^[1-9][0-9]{0,3}$"));
    return re.match(text).hasMatch();
}

bool isNumberList(const QString& value, int low, int high)
{
    if (value.isEmpty())
        return false;
    for (const QString& item : value.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = item.toInt(&ok);
        if (!ok || n < low || n > high || item.startsWith(QLatin1Char('+')) || item.startsWith(QLatin1Char('0')))
            return false;
    }
    return true;
}

/// A weekday position such as 2TU or -1FR, split the way the pop-ups hold it (ordinal index 0-4,
/// weekday index 0-6). Only the positions the pop-ups offer are accepted.
bool parsePosition(const QString& value, int* ordinalIndex, int* weekdayIndex)
{
    QString ordinal;
    QString code;
    if (value.size() == 3) {
        ordinal = value.left(1);
        code = value.mid(1);
    } else if (value.size() == 4) {
        ordinal = value.left(2);
        code = value.mid(2);
    } else {
        return false;
    }
    const int weekday = int(repeatEditorState::weekdayCodes().indexOf(code));
    if (weekday < 0)
        return false;
    int index = -1;
    if (ordinal == QLatin1String("-1"))
        index = 4;
    else if (ordinal.size() == 1 || ordinal.startsWith(QLatin1Char('+'))) {
        const int n = ordinal.right(1).toInt();
        if (n >= 1 && n <= 4 && ordinal.right(1).at(0).isDigit())
            index = n - 1;
    }
    if (index < 0)
        return false;
    *ordinalIndex = index;
    *weekdayIndex = weekday;
    return true;
}

/// The day an UNTIL value names (YYYYMMDD, optionally followed by THHMMSS and Z), or null.
CalDate untilDay(const QString& value)
{
    static const QRegularExpression re(QStringLiteral("^([0-9]{4})([0-9]{2})([0-9]{2})(T[0-9]{6}Z?)?$"));
    const QRegularExpressionMatch m = re.match(value);
    if (!m.hasMatch())
        return {};
    const int y = m.captured(1).toInt();
    const int mo = m.captured(2).toInt();
    const int d = m.captured(3).toInt();
    const CalDate day = CalDate::fromFields(y, mo, d, 0, 0, 0);
    // fromFields carries out-of-range fields; a value that carried is not a real date.
    if (day.isNull() || day.year() != y || day.month() != mo || day.day() != d)
        return {};
    return day;
}

/// The day the entry starts, or today when it has no start date.
CalDate startOrToday(const dataEntry& entry)
{
    return entry.getStartDate() ? entry.getStartDate() : CalDate::now();
}

/// Week cell index (0 = Monday ... 6 = Sunday) of a date.
int weekCellIndex(const CalDate& d)
{
    return (d.dayOfWeek() + 6) % 7;
}

template <typename Cells>
void allOff(Cells& cells)
{
    cells.fill(false);
}

template <typename Cells>
QString joinedOn(const Cells& cells)
{
    QStringList parts;
    for (int i = 0; i < int(cells.size()); ++i) {
        if (cells[i])
            parts << QString::number(i + 1);
    }
    return parts.join(QLatin1Char(','));
}
} // namespace

const QStringList& repeatEditorState::typeTitles()
{
    static const QStringList titles {QStringLiteral("Never"), QStringLiteral("Daily"), QStringLiteral("Weekly"),
                                     QStringLiteral("Monthly"), QStringLiteral("Yearly")};
    return titles;
}

const QStringList& repeatEditorState::weekCellTitles()
{
    static const QStringList titles {QStringLiteral("Mon"),   QStringLiteral("Tues"), QStringLiteral("Wed"),
                                     QStringLiteral("Thurs"), QStringLiteral("Fri"),  QStringLiteral("Sat"),
                                     QStringLiteral("Sun")};
    return titles;
}

const QStringList& repeatEditorState::yearCellTitles()
{
    static const QStringList titles {QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                     QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                     QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sept"),
                                     QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    return titles;
}

const QStringList& repeatEditorState::weekdayCodes()
{
    static const QStringList codes {QStringLiteral("MO"), QStringLiteral("TU"), QStringLiteral("WE"),
                                    QStringLiteral("TH"), QStringLiteral("FR"), QStringLiteral("SA"),
                                    QStringLiteral("SU")};
    return codes;
}

int repeatEditorState::ordinalTag(int index)
{
    return index >= 0 && index < 4 ? index + 1 : -1;
}

repeatEditorState::repeatEditorState()
{
    blankAndDisable();
}

void repeatEditorState::setDateFormat(const QString& format, const DateNames& names)
{
    m_dateFormat = format;
    m_names = names;
}

// --- loading ---

bool repeatEditorState::canShow(const QString& rule)
{
    const QStringList tokens = rule.split(QLatin1Char(';'));
    const int type = typeOfRule(rule);
    if (type < 0)
        return false;
    QSet<QString> seen;
    for (int i = 1; i < tokens.size(); ++i) {
        const QString& token = tokens.at(i);
        if (token.isEmpty())
            continue; // a stray ";" holds nothing
        const int eq = int(token.indexOf(QLatin1Char('=')));
        if (eq <= 0)
            return false;
        const QString name = token.left(eq);
        const QString value = token.mid(eq + 1);
        if (seen.contains(name))
            return false;
        seen.insert(name);
        int ordinal = 0;
        int weekday = 0;
        bool ok = false;
        if (name == QLatin1String("INTERVAL") || name == QLatin1String("COUNT"))
            ok = isFieldNumber(value);
        else if (name == QLatin1String("UNTIL"))
            ok = !untilDay(value).isNull();
        else if (name == QLatin1String("BYDAY") && type == Weekly) {
            ok = !value.isEmpty();
            for (const QString& code : value.split(QLatin1Char(',')))
                ok = ok && weekdayCodes().contains(code);
        } else if (name == QLatin1String("BYDAY") && (type == Monthly || type == Yearly))
            ok = parsePosition(value, &ordinal, &weekday);
        else if (name == QLatin1String("BYMONTHDAY") && type == Monthly)
            ok = isNumberList(value, 1, 31);
        else if (name == QLatin1String("BYMONTH") && type == Yearly)
            ok = isNumberList(value, 1, 12);
        if (!ok)
            return false;
    }
    const auto has = [&](const char* name) { return seen.contains(QLatin1String(name)); };
    if (has("COUNT") && has("UNTIL"))
        return false;
    if (type == Monthly && has("BYDAY") && has("BYMONTHDAY"))
        return false;
    // A weekday position without months means "in the year", which the controls cannot say.
    if (type == Yearly && has("BYDAY") && !has("BYMONTH"))
        return false;
    return true;
}

void repeatEditorState::resetForLoad()
{
    // Every control a rule may leave unmentioned starts from its default, so that nothing of the
    // previously shown entry is carried into this one and stored there later.
    const Controls defaults;
    m_c.dailyInterval = defaults.dailyInterval;
    m_c.weekInterval = defaults.weekInterval;
    m_c.monthInterval = defaults.monthInterval;
    m_c.yearInterval = defaults.yearInterval;
    allOff(m_c.weekCells);
    allOff(m_c.monthCells);
    allOff(m_c.yearCells);
    m_c.monthChoice = 1;
    m_c.monthGridEnabled = true;
    m_c.monthPopupsEnabled = false;
    m_c.monthOrdinal = 0;
    m_c.monthWeekday = 0;
    m_c.yearBox = false;
    m_c.yearPopupsEnabled = false;
    m_c.yearOrdinal = 0;
    m_c.yearWeekday = 0;
    m_c.ruleText.clear();
    m_readOnly = false;
    m_changed = false;
}

void repeatEditorState::clearEndCondition()
{
    m_c.endRadioEnabled = false;
    m_c.endTag = 1;
    m_c.countText.clear();
    m_c.countEnabled = false;
    m_c.untilText.clear();
    m_c.untilEnabled = false;
    m_c.endText.clear();
    m_c.timesText.clear();
}

void repeatEditorState::blankAndDisable()
{
    resetForLoad();
    m_c.box = Pane::Blank;
    m_c.endBoxShown = false;
    m_c.typeIndex = Never;
    m_c.typeEnabled = false;
    clearEndCondition();
    m_c.exceptionsEnabled = false;
}

void repeatEditorState::setBottomRepeatWindowToDefault()
{
    m_c.dailyInterval = QStringLiteral("1");
    m_c.endTag = 1;
    m_c.countText.clear();
    m_c.countEnabled = false;
    m_c.untilText.clear();
    m_c.untilEnabled = false;
    m_c.timesText.clear();
}

void repeatEditorState::showEndCondition()
{
    m_c.endBoxShown = true;
    m_c.endRadioEnabled = true;
    m_c.endText = QStringLiteral("End:");
    m_c.exceptionsEnabled = true;
}

void repeatEditorState::updateRRULEDrawer(const dataEntry& entry)
{
    resetForLoad();
    setBottomRepeatWindowToDefault();
    const QString text = entry.getRRULE();
    if (text == kRulePrefix) {
        m_c.typeIndex = Never;
        m_c.typeEnabled = true;
        m_c.box = Pane::Blank;
        m_c.endBoxShown = false;
        clearEndCondition();
        m_c.exceptionsEnabled = false;
        return;
    }
    // The value is everything after the prefix (a value holding ":" keeps it).
    const QString rule = text.mid(kRulePrefix.size());
    const int type = typeOfRule(rule);
    if (!canShow(rule)) {
        m_readOnly = true;
        m_c.ruleText = rule;
        m_c.typeIndex = type; // -1 (no item) for another frequency
        m_c.typeEnabled = false;
        m_c.box = Pane::RuleText;
        m_c.endBoxShown = false;
        clearEndCondition();
        m_c.exceptionsEnabled = true;
        return;
    }

    m_c.typeIndex = type;
    m_c.typeEnabled = true;
    m_c.box = Pane(int(Pane::Daily) + type - Daily);
    showEndCondition();
    m_c.countEnabled = false;
    m_c.untilEnabled = false;

    // Parts a rule may leave to its start date, as the calendar readers do.
    const CalDate start = startOrToday(entry);
    if (type == Weekly && !rule.contains(QLatin1String("BYDAY")))
        m_c.weekCells[weekCellIndex(start)] = true;
    if (type == Monthly && !rule.contains(QLatin1String("BYDAY")) && !rule.contains(QLatin1String("BYMONTHDAY")))
        m_c.monthCells[start.day() - 1] = true;
    if (type == Yearly && !rule.contains(QLatin1String("BYMONTH")))
        m_c.yearCells[start.month() - 1] = true;

    m_sawEnd = false;
    const QStringList tokens = rule.split(QLatin1Char(';'));
    for (int i = 1; i < tokens.size(); ++i)
        applyToken(tokens.at(i), Type(type));
    if (!m_sawEnd)
        m_c.endTag = 1;
}

void repeatEditorState::applyToken(const QString& token, Type type)
{
    const int eq = int(token.indexOf(QLatin1Char('=')));
    if (eq <= 0)
        return;
    const QString name = token.left(eq);
    const QString value = token.mid(eq + 1);
    if (name == QLatin1String("INTERVAL")) {
        QString* field[] = {nullptr, &m_c.dailyInterval, &m_c.weekInterval, &m_c.monthInterval, &m_c.yearInterval};
        *field[type] = value;
    } else if (name == QLatin1String("COUNT")) {
        m_c.endTag = 2;
        m_c.countText = value;
        m_c.countEnabled = true;
        m_c.timesText = QStringLiteral("time(s)");
        m_sawEnd = true;
    } else if (name == QLatin1String("UNTIL")) {
        m_c.untilText = untilDay(value).format(m_dateFormat, &m_names);
        m_c.untilEnabled = true;
        m_c.endTag = 3;
        m_sawEnd = true;
    } else if (name == QLatin1String("BYDAY") && type == Weekly) {
        allOff(m_c.weekCells);
        for (const QString& code : value.split(QLatin1Char(','))) {
            const int i = int(weekdayCodes().indexOf(code));
            if (i >= 0)
                m_c.weekCells[i] = true;
        }
    } else if (name == QLatin1String("BYDAY") && (type == Monthly || type == Yearly)) {
        int ordinal = 0;
        int weekday = 0;
        if (!parsePosition(value, &ordinal, &weekday))
            return;
        if (type == Monthly) {
            m_c.monthChoice = 2;
            m_c.monthPopupsEnabled = true;
            m_c.monthGridEnabled = false;
            m_c.monthOrdinal = ordinal;
            m_c.monthWeekday = weekday;
        } else {
            m_c.yearPopupsEnabled = true;
            m_c.yearBox = true;
            m_c.yearOrdinal = ordinal;
            m_c.yearWeekday = weekday;
        }
    } else if (name == QLatin1String("BYMONTHDAY") && type == Monthly) {
        m_c.monthGridEnabled = true;
        allOff(m_c.monthCells);
        for (const QString& n : value.split(QLatin1Char(','))) {
            const int day = n.toInt();
            if (day >= 1 && day <= 31)
                m_c.monthCells[day - 1] = true;
        }
    } else if (name == QLatin1String("BYMONTH") && type == Yearly) {
        allOff(m_c.yearCells);
        for (const QString& n : value.split(QLatin1Char(','))) {
            const int month = n.toInt();
            if (month >= 1 && month <= 12)
                m_c.yearCells[month - 1] = true;
        }
    }
}

// --- building ---

QString repeatEditorState::endPiece() const
{
    if (m_c.endTag == 2 && !m_c.countText.isEmpty())
        return QStringLiteral("COUNT=") + m_c.countText + QLatin1Char(';');
    if (m_c.endTag == 3 && !m_c.untilText.isEmpty()) {
        const CalDate until = CalDate::parse(m_c.untilText, m_dateFormat, Zones::local(), &m_names);
        if (until)
            return QStringLiteral("UNTIL=") + until.format(QStringLiteral("%Y%m%d")) + QStringLiteral("T235959;");
    }
    return QString();
}

QString repeatEditorState::buildRRULE() const
{
    if (m_readOnly)
        return m_c.ruleText;
    const auto interval = [](const QString& field) { return field.isEmpty() ? QStringLiteral("1") : field; };
    switch (m_c.typeIndex) {
    case Daily:
        return QStringLiteral("FREQ=DAILY;") + endPiece() + QStringLiteral("INTERVAL=") + interval(m_c.dailyInterval);
    case Weekly: {
        QStringList codes;
        for (int i = 0; i < 7; ++i) {
            if (m_c.weekCells[i])
                codes << weekdayCodes().at(i);
        }
        return QStringLiteral("FREQ=WEEKLY;") + endPiece() + QStringLiteral("INTERVAL=") + interval(m_c.weekInterval)
            + QStringLiteral(";BYDAY=") + codes.join(QLatin1Char(','));
    }
    case Monthly: {
        QString rule = QStringLiteral("FREQ=MONTHLY;") + endPiece() + QStringLiteral("INTERVAL=")
            + interval(m_c.monthInterval) + QLatin1Char(';');
        if (m_c.monthChoice == 1)
            return rule + QStringLiteral("BYMONTHDAY=") + joinedOn(m_c.monthCells);
        return rule + QStringLiteral("BYDAY=") + QString::number(ordinalTag(m_c.monthOrdinal))
            + weekdayCodes().value(m_c.monthWeekday);
    }
    case Yearly: {
        QString rule
            = QStringLiteral("FREQ=YEARLY;INTERVAL=") + interval(m_c.yearInterval) + QLatin1Char(';') + endPiece();
        if (m_c.yearBox)
            rule += QStringLiteral("BYDAY=") + QString::number(ordinalTag(m_c.yearOrdinal))
                + weekdayCodes().value(m_c.yearWeekday) + QLatin1Char(';');
        return rule + QStringLiteral("BYMONTH=") + joinedOn(m_c.yearCells);
    }
    default:
        return QString();
    }
}

bool repeatEditorState::setTheRRULE(dataEntry& entry) const
{
    if (!m_changed || m_readOnly)
        return false;
    const QString rule = buildRRULE();
    entry.setRRULE(rule);
    entry.setTheRepeater(!rule.isEmpty());
    return true;
}

// --- control actions ---

bool repeatEditorState::repeatTypeDidChange(const QString& title, dataEntry* entry)
{
    const int type = int(typeTitles().indexOf(title));
    if (type < 0 || m_readOnly)
        return false;
    m_changed = true;
    m_c.typeIndex = type;
    const int storedType = entry ? typeOfRule(entry->getRRULENoRRULE()) : -1;
    if (entry)
        entry->setTheRepeater(type != Never);
    if (type == Never) {
        m_c.box = Pane::Blank;
        m_c.endBoxShown = false;
        m_c.endRadioEnabled = false;
        m_c.countText.clear();
        m_c.countEnabled = false;
        m_c.untilText.clear();
        m_c.untilEnabled = false;
        m_c.endText.clear();
        m_c.timesText.clear();
        m_c.exceptionsEnabled = false;
        return true;
    }

    setBottomRepeatWindowToDefault();
    m_c.box = Pane(int(Pane::Daily) + type - Daily);
    m_c.endBoxShown = true;
    const CalDate today = CalDate::now();
    switch (type) {
    case Weekly:
        allOff(m_c.weekCells);
        if (storedType != Weekly)
            m_c.weekCells[weekCellIndex(today)] = true;
        break;
    case Monthly:
        allOff(m_c.monthCells);
        if (storedType != Monthly)
            m_c.monthCells[today.day() - 1] = true;
        break;
    case Yearly:
        allOff(m_c.yearCells);
        if (storedType != Yearly)
            m_c.yearCells[today.month() - 1] = true;
        break;
    default:
        break;
    }
    // Back on the entry's own type: show its stored rule again (the editor is unchanged then).
    if (entry && storedType == type && canShow(entry->getRRULENoRRULE()))
        updateRRULEDrawer(*entry);
    m_c.exceptionsEnabled = true;
    m_c.endRadioEnabled = true;
    m_c.endText = QStringLiteral("End:");
    return true;
}

void repeatEditorState::mainRadioButton(int tag)
{
    if (tag < 1 || tag > 3)
        return;
    m_changed = true;
    m_c.endTag = tag;
    m_c.countEnabled = tag == 2;
    m_c.timesText = tag == 2 ? QStringLiteral("Time(s)") : QString();
    m_c.untilEnabled = tag == 3;
}

void repeatEditorState::monthRadioButton(int tag)
{
    if (tag != 1 && tag != 2)
        return;
    m_changed = true;
    m_c.monthChoice = tag;
    allOff(m_c.monthCells);
    if (tag == 1) {
        m_c.monthGridEnabled = true;
        m_c.monthPopupsEnabled = false;
        m_c.monthCells[CalDate::now().day() - 1] = true;
    } else {
        m_c.monthGridEnabled = false;
        m_c.monthPopupsEnabled = true;
        m_c.monthOrdinal = 0;
        m_c.monthWeekday = 0;
    }
}

void repeatEditorState::yearCheck(bool on)
{
    m_changed = true;
    m_c.yearBox = on;
    m_c.yearOrdinal = 0;
    m_c.yearWeekday = 0;
    m_c.yearPopupsEnabled = on;
}

void repeatEditorState::toggleWeekCell(int tag)
{
    m_changed = true;
    toggleKeepingOne(m_c.weekCells, tag - 1);
}

void repeatEditorState::toggleMonthCell(int day)
{
    m_changed = true;
    toggleKeepingOne(m_c.monthCells, day - 1);
}

void repeatEditorState::toggleYearCell(int month)
{
    m_changed = true;
    toggleKeepingOne(m_c.yearCells, month - 1);
}

bool repeatEditorState::setInterval(Type type, const QString& text)
{
    if (type < Daily || type > Yearly || (!text.isEmpty() && !isFieldNumber(text)))
        return false;
    QString* field[] = {nullptr, &m_c.dailyInterval, &m_c.weekInterval, &m_c.monthInterval, &m_c.yearInterval};
    if (*field[type] != text) {
        *field[type] = text;
        m_changed = true;
    }
    return true;
}

QString repeatEditorState::intervalText(Type type) const
{
    const QString* field[] = {nullptr, &m_c.dailyInterval, &m_c.weekInterval, &m_c.monthInterval, &m_c.yearInterval};
    return type >= Daily && type <= Yearly ? *field[type] : QString();
}

bool repeatEditorState::setCountText(const QString& text)
{
    if (!text.isEmpty() && !isFieldNumber(text))
        return false;
    if (m_c.countText != text) {
        m_c.countText = text;
        m_changed = true;
    }
    return true;
}

bool repeatEditorState::setUntilText(const QString& text)
{
    if (!text.isEmpty() && CalDate::parse(text, m_dateFormat, Zones::local(), &m_names).isNull())
        return false;
    if (m_c.untilText != text) {
        m_c.untilText = text;
        m_changed = true;
    }
    return true;
}

void repeatEditorState::setMonthOrdinal(int index)
{
    if (index >= 0 && index <= 4 && index != m_c.monthOrdinal) {
        m_c.monthOrdinal = index;
        m_changed = true;
    }
}

void repeatEditorState::setMonthWeekday(int index)
{
    if (index >= 0 && index <= 6 && index != m_c.monthWeekday) {
        m_c.monthWeekday = index;
        m_changed = true;
    }
}

void repeatEditorState::setYearOrdinal(int index)
{
    if (index >= 0 && index <= 4 && index != m_c.yearOrdinal) {
        m_c.yearOrdinal = index;
        m_changed = true;
    }
}

void repeatEditorState::setYearWeekday(int index)
{
    if (index >= 0 && index <= 6 && index != m_c.yearWeekday) {
        m_c.yearWeekday = index;
        m_changed = true;
    }
}
