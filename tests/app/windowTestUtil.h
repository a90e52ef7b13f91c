#pragma once

// A main window for GUI tests: pinned zone, clock and settings, dialogs answered by the test,
// no version check, the calendar list given by the test.

#include "AppControl.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace windowtest
{
/// One event of a test calendar: summary and local start "YYYYMMDDTHHMMSS" (one hour long).
struct Event
{
    QString summary;
    QString start;
    QString rule = {};
};

/// An iCalendar text with @p events in Europe/Kyiv.
inline QByteArray calendarText(const QList<Event>& events)
{
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
    int n = 0;
    for (const Event& e : events) {
        const QString end
            = e.start.left(9) + QString::number(e.start.mid(9, 2).toInt() + 1).rightJustified(2, '0') + e.start.mid(11);
        out += "BEGIN:VEVENT\r\nUID:test-" + QByteArray::number(++n) + "-" + e.summary.toUtf8().toHex() + "\r\n";
        out += "DTSTAMP:20070101T000000Z\r\n";
        out += "DTSTART;TZID=Europe/Kyiv:" + e.start.toUtf8() + "\r\nDTEND;TZID=Europe/Kyiv:" + end.toUtf8() + "\r\n";
        out += "SUMMARY:" + e.summary.toUtf8() + "\r\n";
        if (!e.rule.isEmpty())
            out += "RRULE:" + e.rule.toUtf8() + "\r\n";
        out += "END:VEVENT\r\n";
    }
    return out + "END:VCALENDAR\r\n";
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

/// The window as a user starts it, with what the test fixes beforehand.
class Window
{
public:
    explicit Window(const QStringList& calendars = {}, const QVariantMap& settings = {})
        : m_settings(QLocale(QLocale::English, QLocale::UnitedStates), withDefaults(settings))
    {
        Dialogs::resetForTests();
        control = std::make_unique<AppControl>();
        control->setCalendarListSource([calendars] { return calendars; });
        control->awakeFromNib();
        control->applicationDidFinishLaunching();
        (void)QTest::qWaitForWindowExposed(control->mainWindow());
    }
    ~Window()
    {
        control.reset();
        Dialogs::resetForTests();
    }

    AppControl& operator*() { return *control; }
    AppControl* operator->() { return control.get(); }
    aCalendar& doc() { return control->document(); }
    MyTableView* table() { return control->entryTable(); }
    EntryTableModel* model() { return control->entryModel(); }

    /// Appends entries with these summaries (the start of each on consecutive days at 09:00)
    /// and shows them.
    void addEntries(const QStringList& summaries)
    {
        int day = 1;
        for (const QString& s : summaries) {
            EntryPtr e = dataEntry::create();
            e->setStartDate(CalDate::fromFields(2007, 3, day, 0, 0, 0));
            e->setStartTime(CalDate::fromFields(2007, 3, day, 9, 0, 0));
            e->setEndDate(CalDate::fromFields(2007, 3, day, 0, 0, 0));
            e->setEndTime(CalDate::fromFields(2007, 3, day, 10, 0, 0));
            e->setSummary(s);
            doc().getTheData().append(e);
            ++day;
        }
        control->reloadData();
        control->updateTheMenus();
    }

    QStringList summaries()
    {
        QStringList list;
        for (const EntryPtr& e : doc().getTheData())
            list << e->getSummary();
        return list;
    }

    /// Opens these files as a start with them on the command line would, and waits until they
    /// are read.
    bool open(const QStringList& paths, int timeoutMs = 10000)
    {
        QSignalSpy done(control.get(), &AppControl::fileBatchFinished);
        for (const QString& p : paths)
            control->applicationOpenFile(p);
        return done.wait(int(timeoutMs * testutil::kSlowdown));
    }

    std::unique_ptr<AppControl> control;

private:
    static QVariantMap withDefaults(QVariantMap settings)
    {
        if (!settings.contains(QStringLiteral("versionCheck")))
            settings.insert(QStringLiteral("versionCheck"), QStringLiteral("1"));
        return settings;
    }

    testutil::TempSettings m_settings;
};
} // namespace windowtest
