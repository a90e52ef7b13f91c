// The main window offscreen: files handed over, the calendar pop-up, sorting, deleting, the
// drawer, editing and selection, keys, drops, menu and toolbar states, alerts, settings.

#include "FileReading.h"
#include "SingleInstance.h"
#include "ToolbarCustomizeDialog.h"
#include "ToolbarItems.h"
#include "platform/UserDefaults.h"
#include "windowTestUtil.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QFileOpenEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

using windowtest::Event;
using windowtest::Window;
using Item = AppControl::MenuItem;

/// Records the addresses the window hands to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

class TestWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name, const QList<Event>& events)
    {
        const QString path = m_dir.filePath(name);
        windowtest::writeBytes(path, windowtest::calendarText(events));
        return path;
    }

    static EntryPtr entry(const QString& summary, int startDay, int endDay)
    {
        EntryPtr e = dataEntry::create();
        e->setStartDate(CalDate::fromFields(2007, 3, startDay, 0, 0, 0));
        e->setStartTime(CalDate::fromFields(2007, 3, startDay, 9, 0, 0));
        e->setEndDate(CalDate::fromFields(2007, 3, endDay, 0, 0, 0));
        e->setEndTime(CalDate::fromFields(2007, 3, endDay, 10, 0, 0));
        e->setSummary(summary);
        return e;
    }

    static bool rowVisible(Window& w, int row)
    {
        return w.table()->viewport()->rect().intersects(w.table()->visualRect(w.model()->index(row, 0)));
    }

    static void typeNotes(Window& w, const QString& text)
    {
        QPlainTextEdit* notes = w->notesView();
        notes->setFocus();
        notes->selectAll();
        QTest::keyClicks(notes, text);
    }

    static void sendDrag(QWidget* target, QMimeData* mime, bool drop)
    {
        QDragEnterEvent enter(QPoint(50, 150), Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (drop) {
            QDropEvent dropped(QPointF(50, 150), Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &dropped);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-01-15T12:00:00Z");
        QVERIFY(m_dir.isValid());
    }

    // Files handed over in one turn of the event loop (command line, open-file events) are one
    // batch, read in the order received; a later file is a batch of its own.
    void filesHandedOverTogetherAreOneBatch()
    {
        Window w;
        QSignalSpy batches(w.control.get(), &AppControl::fileBatchStarted);
        const QString a = file("a.ics", {{"Alpha", "20070310T090000"}});
        const QString b = file("b.ics", {{"Beta", "20070301T090000"}});
        const QString c = file("c.ics", {{"Gamma", "20070305T090000"}});
        w->applicationOpenFile(a);
        w->applicationOpenFile(b);
        QFileOpenEvent opened(c);
        QApplication::sendEvent(qApp, &opened);
        QCOMPARE(batches.size(), 0); // nothing before the next turn of the event loop
        QVERIFY(w.open({}));
        QCOMPARE(batches.size(), 1);
        QCOMPARE(batches.at(0).at(0).toStringList(), (QStringList {a, b, c}));
        QCOMPARE(w.summaries(), (QStringList {"Alpha", "Beta", "Gamma"}));

        QVERIFY(w.open({file("d.ics", {{"Delta", "20070302T090000"}})}));
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.at(1).at(0).toStringList().size(), 1);
        QCOMPARE(w.summaries().last(), QStringLiteral("Delta"));
        QCOMPARE(w.model()->rowCount(), 4);
        QVERIFY(Dialogs::log().isEmpty());
    }

    // Whatever adds entries leaves the table showing them.
    void newRowsAreShown_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("opened file") << "file";
        QTest::newRow("clipboard") << "clipboard";
        QTest::newRow("dropped text") << "drop";
    }
    void newRowsAreShown()
    {
        QFETCH(QString, how);
        Window w;
        QStringList many;
        for (int i = 0; i < 300; ++i)
            many << QStringLiteral("Old %1").arg(i);
        w.addEntries(many);
        w.table()->scrollToTop();
        QVERIFY(!rowVisible(w, 300));
        const QString text = QStringLiteral("Lunch with Ann 5th December 2006 at 12:30 pm");
        if (how == QLatin1String("file")) {
            QVERIFY(w.open({file("new.ics", {{"New one", "20070310T090000"}})}));
        } else if (how == QLatin1String("clipboard")) {
            QApplication::clipboard()->setText(text);
            w->toolbarAction(ImportFromClipboardIdentifier)->trigger();
        } else {
            QMimeData mime;
            mime.setText(text);
            sendDrag(w->mainWindow(), &mime, true);
        }
        QCOMPARE(w.model()->rowCount(), 301);
        QVERIFY(rowVisible(w, 300));
    }

    // Files that cannot be read are named with the reason; what could be read is kept, and the
    // readers' warnings come once per batch.
    void unreadableFilesAreNamed()
    {
        Window w;
        const QString missing = m_dir.filePath("missing.ics");
        const QString junk = m_dir.filePath("junk.ics");
        windowtest::writeBytes(junk, "just some words\n");
        const QString todo1 = m_dir.filePath("todo1.ics");
        const QString todo2 = m_dir.filePath("todo2.ics");
        QByteArray withTodo = windowtest::calendarText({{"Kept", "20070310T090000"}});
        withTodo.replace("END:VCALENDAR", "BEGIN:VTODO\r\nSUMMARY:t\r\nEND:VTODO\r\nEND:VCALENDAR");
        windowtest::writeBytes(todo1, withTodo);
        windowtest::writeBytes(todo2, withTodo);
        QVERIFY(w.open({missing, todo1, junk, todo2}));
        QCOMPARE(w.summaries(), (QStringList {"Kept", "Kept"}));
        QCOMPARE(Dialogs::log().size(), 1);
        const QString warning = Dialogs::log().first();
        QVERIFY(warning.startsWith(QLatin1String("Warning!: ")));
        QCOMPARE(warning.count(QLatin1String("(Error 1505)")), 1);
        QVERIFY(warning.contains(missing + QLatin1String(": could not be read")));
        QVERIFY(warning.contains(junk + QLatin1String(": not a calendar file")));
    }

    // A file is read in pieces: a device without end, or a folder, is refused with its name.
    void readingRefusesWhatIsNoFile()
    {
        QByteArray bytes;
        QString error;
        QVERIFY(!FileReading::readBytes("/dev/zero", &bytes, &error, 1 << 20));
        QCOMPARE(error, QStringLiteral("/dev/zero: is too large to read (more than 1 MB)"));
        QVERIFY(bytes.isEmpty());
        QVERIFY(!FileReading::readBytes(m_dir.path(), &bytes, &error));
        QVERIFY(error.startsWith(m_dir.path() + ": is a folder"));
        Window w;
        const QString path = file("source.ics", {{"From here", "20070310T090000"}});
        QVERIFY(w.open({path}));
        QCOMPARE(w.doc().getCalName(), QStringLiteral("source"));
    }

    // A second start hands its files to the running window and ends.
    void secondStartHandsItsFilesOver()
    {
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toUtf8());
        SingleInstance instance;
        QVERIFY(instance.listen());
        QSignalSpy received(&instance, &SingleInstance::filesReceived);
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.path());
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(m_dir.path());
        second.start(QStringLiteral(TIDEWELL_APP_PATH), {QStringLiteral("one.ics"), QStringLiteral("two.vcs")});
        QVERIFY(received.wait(int(10000 * testutil::kSlowdown)));
        QVERIFY(second.waitForFinished(int(10000 * testutil::kSlowdown)));
        qputenv("TMPDIR", oldTemp);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(received.at(0).at(0).toStringList(),
                 (QStringList {m_dir.filePath("one.ics"), m_dir.filePath("two.vcs")}));
    }

    void calendarPopup_data()
    {
        QTest::addColumn<QStringList>("calendars");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("selected");
        QTest::newRow("no calendars") << QStringList {} << "Work" << false << 0;
        QTest::newRow("saved name") << QStringList {"Home", "Work"} << "Work" << true << 2;
        QTest::newRow("saved name gone") << QStringList {"Home", "Work"} << "Travel" << true << 0;
    }
    void calendarPopup()
    {
        QFETCH(QStringList, calendars);
        QFETCH(QString, saved);
        QFETCH(bool, enabled);
        QFETCH(int, selected);
        Window w(calendars, {{"calendar", saved}});
        QComboBox* popup = w->calendarPopup();
        QCOMPARE(popup->isEnabled(), enabled);
        QCOMPARE(popup->count(), int(calendars.size()) + 1);
        QCOMPARE(popup->itemText(0), QStringLiteral("No iCal"));
        QCOMPARE(popup->currentIndex(), selected);
        QCOMPARE(w.doc().getTheCalArray(), calendars);
        // Quitting keeps the title shown, but a saved calendar not listed (yet) is not forgotten.
        w->applicationWillTerminate();
        QCOMPARE(UserDefaults::standard().string("calendar"), selected ? popup->currentText() : saved);
        popup->setCurrentIndex(popup->count() - 1);
        w->applicationWillTerminate();
        QCOMPARE(UserDefaults::standard().string("calendar"), calendars.isEmpty() ? saved : popup->currentText());
    }

    // The toolbar's Sort sorts by the selected column; with two columns selected it says so.
    void sortBySelectedColumn_data()
    {
        QTest::addColumn<QList<int>>("columns");
        QTest::addColumn<QStringList>("order");
        const QStringList byStart {"Charlie", "Alpha", "Bravo"};
        QTest::newRow("none") << QList<int> {} << byStart;
        QTest::newRow("start time") << QList<int> {EntryTableModel::StartTime} << byStart;
        QTest::newRow("end date") << QList<int> {EntryTableModel::EndDate} << QStringList {"Bravo", "Alpha", "Charlie"};
        QTest::newRow("summary") << QList<int> {EntryTableModel::Summary} << QStringList {"Alpha", "Bravo", "Charlie"};
        QTest::newRow("repeat") << QList<int> {EntryTableModel::Repeater} << QStringList {"Bravo", "Charlie", "Alpha"};
        QTest::newRow("two") << QList<int> {EntryTableModel::Summary, EntryTableModel::EndDate}
                             << QStringList {"Bravo", "Charlie", "Alpha"};
    }
    void sortBySelectedColumn()
    {
        QFETCH(QList<int>, columns);
        QFETCH(QStringList, order);
        Window w;
        w.doc().getTheData() << entry("Bravo", 3, 4) << entry("Charlie", 1, 9) << entry("Alpha", 2, 5);
        w->reloadData();
        w->updateTheMenus();
        QHeaderView* header = w.table()->horizontalHeader();
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        for (int column : columns) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers,
                              QPoint(header->sectionViewportPosition(column) + 8, header->height() / 2));
            modifiers = Qt::ControlModifier;
        }
        w->toolbarAction(sortData)->trigger();
        QCOMPARE(w.summaries(), order);
        QCOMPARE(Dialogs::log(),
                 columns.size() > 1 ? QStringList {"Error!: You have more than one column selected.  "
                                                   "Please only select one column."}
                                    : QStringList {});
    }

    // Sorting keeps the selected entry selected, and the notes stay with their entry.
    void sortKeepsTheSelectionOnItsEntry()
    {
        Window w;
        w.doc().getTheData() << entry("Bravo", 3, 4) << entry("Charlie", 1, 9) << entry("Alpha", 2, 5);
        w->reloadData();
        w->selectRows({0});
        typeNotes(w, "typed for Bravo");
        w->sortSummary();
        QCOMPARE(w.summaries(), (QStringList {"Alpha", "Bravo", "Charlie"}));
        QCOMPARE(w->selectedRows(), QList<int> {1});
        QCOMPARE(w.doc().getEntryAtIndex(1)->getShortDESCRIPTION(), QStringLiteral("typed for Bravo"));
        QCOMPARE(w->notesView()->toPlainText(), QStringLiteral("typed for Bravo"));
        w->selectRows({0});
        QCOMPARE(w.doc().getEntryAtIndex(0)->getShortDESCRIPTION(), QString());
    }

    void deleteRemovesTheSelectedRows_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("every"); // every n-th row is selected
        QTest::newRow("two of five") << 5 << 2;
        QTest::newRow("many of many") << 400 << 3;
    }
    void deleteRemovesTheSelectedRows()
    {
        QFETCH(int, count);
        QFETCH(int, every);
        Window w;
        QStringList names, kept;
        QList<int> rows;
        for (int i = 0; i < count; ++i) {
            names << QString::number(i);
            if (i % every == 1)
                rows << i;
            else
                kept << QString::number(i);
        }
        w.addEntries(names);
        w->deleteEntry(); // nothing selected: nothing happens
        QCOMPARE(w.doc().entryCount(), count);
        w->selectRows(rows);
        w->toolbarAction(DeleteRecord)->trigger();
        QCOMPARE(w.summaries(), kept);
        QCOMPARE(w.model()->rowCount(), int(kept.size()));
        QVERIFY(w->selectedRows().isEmpty());
        QVERIFY(!w->toolbarAction(DeleteRecord)->isEnabled());
    }

    void deletingTheLastEntryClosesTheDrawer()
    {
        Window w;
        w.addEntries({"Only"});
        w.doc().setDirectiCalImport(true);
        w->toolbarAction(TheDrawerIdentifier)->trigger();
        QVERIFY(w->drawer()->isVisible());
        QCOMPARE(w->toolbarAction(TheDrawerIdentifier)->text(), QStringLiteral("Close drawer"));
        QCOMPARE(w->menuItem(Item::Drawer)->text(), QStringLiteral("Close drawer"));
        w->selectRows({0});
        w->deleteEntry();
        QCOMPARE(w.doc().entryCount(), 0);
        QVERIFY(!w->drawer()->isVisible());
        QCOMPARE(w->toolbarAction(TheDrawerIdentifier)->text(), QStringLiteral("Open drawer"));
        QCOMPARE(w->menuItem(Item::Drawer)->text(), QStringLiteral("Open drawer"));
        QVERIFY(!w.doc().getDirectiCalImport());
        QVERIFY(!w->toolbarAction(TheDrawerIdentifier)->isEnabled());
    }

    // The notes view shows the one selected entry's description; what the user typed goes into
    // that entry when the selection moves, and nothing else is written back.
    void notesFollowTheSelection()
    {
        Window w;
        w.addEntries({"A", "B", "C"});
        w.doc().getEntryAtIndex(0)->setDESCRIPTION("line one\r\nline two ");
        QPlainTextEdit* notes = w->notesView();
        QVERIFY(notes->isReadOnly());
        w->selectRows({0});
        QVERIFY(!notes->isReadOnly());
        QCOMPARE(notes->toPlainText(), QStringLiteral("line one\nline two "));
        w->selectRows({1}); // untouched: the description keeps its line end
        QCOMPARE(w.doc().getEntryAtIndex(0)->getShortDESCRIPTION(), QStringLiteral("line one\r\nline two "));
        typeNotes(w, "typed for B");
        w->selectRows({0});
        QCOMPARE(w.doc().getEntryAtIndex(1)->getShortDESCRIPTION(), QStringLiteral("typed for B"));
        w->selectRows({0, 1});
        QVERIFY(notes->isReadOnly());
        QVERIFY(notes->toPlainText().isEmpty());
        // After a delete the next selection change writes into no entry.
        w->selectRows({2});
        typeNotes(w, "typed for C, then deleted");
        w->deleteEntry();
        w->selectRows({0});
        w->selectRows({1});
        QCOMPARE(w.doc().getEntryAtIndex(0)->getShortDESCRIPTION(), QStringLiteral("line one\r\nline two "));
        QCOMPARE(w.doc().getEntryAtIndex(1)->getShortDESCRIPTION(), QStringLiteral("typed for B"));
    }

    // Finishing a cell edit with Return appends one entry; Tab and Escape none; none while an
    // export is under way.
    void endOfEditing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<int>("added");
        QTest::addColumn<QString>("summary");
        QTest::newRow("return") << int(Qt::Key_Return) << false << 1 << "Edited";
        QTest::newRow("enter") << int(Qt::Key_Enter) << false << 1 << "Edited";
        QTest::newRow("tab") << int(Qt::Key_Tab) << false << 0 << "Edited";
        QTest::newRow("escape") << int(Qt::Key_Escape) << false << 0 << "First";
        QTest::newRow("return while exporting") << int(Qt::Key_Return) << true << 0 << "Edited";
    }
    void endOfEditing()
    {
        QFETCH(int, key);
        QFETCH(bool, exporting);
        QFETCH(int, added);
        QFETCH(QString, summary);
        Window w;
        w.addEntries({"First", "Second"});
        w->setAlertWindow(exporting);
        const QModelIndex cell = w.model()->index(0, EntryTableModel::Summary);
        w.table()->setFocus();
        w.table()->setCurrentIndex(cell);
        w.table()->edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "Edited");
        QTest::keyClick(editor, Qt::Key(key));
        QTest::qWait(20);
        QCOMPARE(w.doc().entryCount(), 2 + added);
        QCOMPARE(w.model()->rowCount(), 2 + added);
        QCOMPARE(w.doc().getEntryAtIndex(0)->getSummary(), summary);
    }

    // The window's keys: Delete and Backspace delete, Return adds, but not on an empty table.
    void windowKeys_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("after");
        QTest::newRow("return, empty table") << 0 << int(Qt::Key_Return) << 0;
        QTest::newRow("return") << 2 << int(Qt::Key_Return) << 3;
        QTest::newRow("delete") << 2 << int(Qt::Key_Delete) << 1;
        QTest::newRow("backspace") << 2 << int(Qt::Key_Backspace) << 1;
        QTest::newRow("other key") << 2 << int(Qt::Key_X) << 2;
    }
    void windowKeys()
    {
        QFETCH(int, rows);
        QFETCH(int, key);
        QFETCH(int, after);
        Window w;
        QStringList names;
        for (int i = 0; i < rows; ++i)
            names << QString::number(i);
        w.addEntries(names);
        if (rows > 0)
            w->selectRows({0});
        w.table()->setFocus();
        QTest::keyClick(w.table(), Qt::Key(key));
        QCOMPARE(w.doc().entryCount(), after);
    }

    // A cell edit goes through the column's format; a text it cannot read is refused.
    void cellEditing_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("time") << int(EntryTableModel::StartTime) << "14:05" << true << "14:05";
        QTest::newRow("time, short hour") << int(EntryTableModel::EndTime) << "7:30" << true << "07:30";
        QTest::newRow("time out of range") << int(EntryTableModel::StartTime) << "25:99" << false << "09:00";
        QTest::newRow("not a time") << int(EntryTableModel::StartTime) << "soon" << false << "09:00";
        QTest::newRow("time removed") << int(EntryTableModel::StartTime) << "" << true << "";
        QTest::newRow("date") << int(EntryTableModel::StartDate) << "03/20/07" << true << "03/20/07";
        QTest::newRow("impossible date") << int(EntryTableModel::EndDate) << "02/30/07" << false << "03/01/07";
        QTest::newRow("summary") << int(EntryTableModel::Summary) << "New words" << true << "New words";
    }
    void cellEditing()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, shown);
        Window w;
        w.addEntries({"One"});
        QSignalSpy refused(w.model(), &EntryTableModel::editRejected);
        const QModelIndex cell = w.model()->index(0, column);
        QCOMPARE(w.model()->setData(cell, typed), accepted);
        QCOMPARE(cell.data().toString(), shown);
        QCOMPARE(refused.size(), accepted ? 0 : 1);
        if (!accepted)
            QVERIFY(w->mainWindow()->statusBar()->currentMessage().contains(typed));
        const EntryPtr e = w.doc().getEntryAtIndex(0);
        if (column == EntryTableModel::StartTime)
            QCOMPARE(e->getStartTime().isNull(), shown.isEmpty());
    }

    void repeatMarker()
    {
        Window w;
        w.addEntries({"Once", "Weekly"});
        w.doc().getEntryAtIndex(1)->setRRULE("FREQ=WEEKLY;INTERVAL=1;BYDAY=MO");
        w.doc().getEntryAtIndex(1)->setTheRepeater(true);
        w->reloadData();
        const auto marker = [&](int row) { return w.model()->index(row, EntryTableModel::Repeater); };
        QVERIFY(marker(0).data(Qt::DecorationRole).isNull());
        QVERIFY(!marker(1).data(Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(marker(1).data(Qt::AccessibleTextRole).toString(), QStringLiteral("repeats"));
        QVERIFY(!(marker(1).flags() & Qt::ItemIsEditable));
    }

    // The grey frame shows while an acceptable file is over the window; text becomes entries on
    // the drop only.
    void dropHighlight_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("calendar file") << "drop.ics"
                                       << "" << true;
        QTest::newRow("capital extension") << "DROP.VCS"
                                           << "" << true;
        QTest::newRow("comma file") << "drop.csv"
                                    << "" << true;
        QTest::newRow("tab file") << "drop.tsv" << "" << true;
        QTest::newRow("other file") << "drop.pdf"
                                    << "" << false;
        QTest::newRow("text") << ""
                              << "Dentist 12/05/2006 at 9:30 am" << true;
        QTest::newRow("blank text") << ""
                                    << "   " << false;
    }
    void dropHighlight()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, acceptable);
        Window w;
        MyTableView* table = w.table();
        QMimeData mime;
        if (!name.isEmpty())
            mime.setUrls({QUrl::fromLocalFile(m_dir.filePath(name))});
        else
            mime.setText(text);
        const auto frameShown = [table] {
            const QImage image = table->grab().toImage();
            return image.pixelColor(1, image.height() / 2) == QColor(128, 128, 128);
        };
        QDragEnterEvent enter(QPoint(50, 150), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->mainWindow(), &enter);
        QCOMPARE(enter.isAccepted(), acceptable);
        QCOMPARE(table->hasShadow(), acceptable);
        QCOMPARE(frameShown(), acceptable);
        if (acceptable && !name.isEmpty())
            QCOMPARE(enter.dropAction(), Qt::LinkAction);
        QCOMPARE(w.doc().entryCount(), 0); // nothing is made while the drag passes over
        QDragLeaveEvent leave;
        QApplication::sendEvent(w->mainWindow(), &leave);
        QVERIFY(!table->hasShadow());
        QVERIFY(!frameShown());
        QCOMPARE(w.doc().entryCount(), 0);

        if (!text.trimmed().isEmpty()) {
            sendDrag(w->mainWindow(), &mime, true);
            QCOMPARE(w.doc().entryCount(), 1);
            QVERIFY(!table->hasShadow());
        }
    }

    void droppedCalendarFilesAreRead()
    {
        Window w;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(file("dropped.ics", {{"Dropped", "20070310T090000"}}))});
        QSignalSpy done(w.control.get(), &AppControl::fileBatchFinished);
        sendDrag(w->mainWindow(), &mime, true);
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        QCOMPARE(w.summaries(), QStringList {"Dropped"});
        QVERIFY(!w.table()->hasShadow());
    }

    // Commands are enabled by the document's state, in the menus and the toolbar alike.
    void menuAndToolbarStates()
    {
        Window w;
        const QList<Item> exports {Item::ExportICalFile, Item::ExportICal,      Item::ExportVCalFile, Item::ExportMail,
                                   Item::ExportTabFile,  Item::ExportCommaFile, Item::ExportTextFile, Item::SortStart,
                                   Item::SortEnd,        Item::SortSummary};
        const QStringList exportItems {ExportToICalIdentifier,     ExportToMailIdentifier, ExportToVCalFileIdentifier,
                                       ExportToICalFileIdentifier, ExportToTabFile,        ExportToCommaFile,
                                       ExportToTextFile,           TheDrawerIdentifier,    sortData};
        const QStringList always {AddNewRecord, ImportFromClipboardIdentifier, ImportFromICalIdentifier,
                                  ImportFromVCalFileIdentifier, ImportFromICalFileIdentifier};
        const auto check = [&](bool entries, bool selected) {
            for (Item item : exports)
                QCOMPARE(w->menuItem(item)->isEnabled(), entries);
            for (const QString& id : exportItems)
                QCOMPARE(w->toolbarAction(id)->isEnabled(), entries);
            for (const QString& id : always)
                QVERIFY(w->toolbarAction(id)->isEnabled());
            QCOMPARE(w->menuItem(Item::SelectAll)->isEnabled(), entries);
            QCOMPARE(w->menuItem(Item::Delete)->isEnabled(), selected);
            QCOMPARE(w->toolbarAction(DeleteRecord)->isEnabled(), selected);
        };
        check(false, false);
        for (Item off : {Item::NewWindow, Item::PageSetup, Item::Print, Item::Revert})
            QVERIFY(!w->menuItem(off)->isEnabled());
        for (Item on : {Item::CloseWindow, Item::Help, Item::HomePage, Item::Support, Item::ReportBug,
                        Item::CheckVersion, Item::NewEntry, Item::Preferences})
            QVERIFY(w->menuItem(on)->isEnabled());
        w->toolbarAction(AddNewRecord)->trigger(); // adds, selects the new row
        check(true, true);
        QCOMPARE(w->selectedRows(), QList<int> {0});
        w.table()->clearSelection();
        check(true, false);
        w->menuItem(Item::SelectAll)->trigger();
        check(true, true);

        w->mainWindow()->close();
        QVERIFY(w->menuItem(Item::NewWindow)->isEnabled());
        for (Item off : {Item::CloseWindow, Item::NewEntry, Item::SelectAll, Item::Delete})
            QVERIFY(!w->menuItem(off)->isEnabled());
        w->menuItem(Item::NewWindow)->trigger();
        QVERIFY(w->mainWindow()->isVisible());
        QVERIFY(!w->menuItem(Item::NewWindow)->isEnabled());
        QVERIFY(w->menuItem(Item::CloseWindow)->isEnabled());
        QVERIFY(w->menuItem(Item::NewEntry)->isEnabled());
    }

    // Menu items of the imports and exports are named after the toolbar's tooltips.
    void menuTitles()
    {
        Window w;
        const QList<QPair<Item, QString>> titles {
            {Item::ExportVCalFile, "Export to vCal File…"},
            {Item::ImportICalFile, "Import from iCal file…"},
            {Item::ImportVCalFile, "Import from vCal file…"},
            {Item::ImportCommaFile, "Import comma-delimited file…"},
            {Item::ImportTabFile, "Import tab-delimited file…"},
            {Item::ExportMail, "Export to Mail…"},
            {Item::ExportICal, "Export to iCal"},
            {Item::ImportClipboard, "Import from Clipboard"},
            {Item::ExportTabFile, "Export to tab-delimited file…"},
            {Item::ExportCommaFile, "Export to comma-delimited file…"},
            {Item::ExportTextFile, "Export to text file…"},
        };
        for (const auto& [item, title] : titles)
            QCOMPARE(w->menuItem(item)->text(), title);
    }

    // The toolbar's items, their texts for assistive technology, and the user's arrangement.
    void toolbarItemsAndTheirTexts()
    {
        Window w;
        QCOMPARE(w->toolbarItemIdentifiers(), ToolbarItems::defaultIdentifiers());
        QCOMPARE(ToolbarItems::allowedIdentifiers().size(), 20);
        QToolBar* bar = w->toolbar();
        int buttons = 0;
        for (QAction* action : bar->actions()) {
            const ToolbarItemText text = ToolbarItems::text(action->objectName());
            if (text.identifier.isEmpty() || text.identifier == CalendarPopup)
                continue;
            QWidget* button = bar->widgetForAction(action);
            QVERIFY(button);
            QCOMPARE(button->accessibleName(), text.label);
            QCOMPARE(button->accessibleDescription(), text.toolTip);
            QVERIFY(!action->icon().isNull());
            ++buttons;
        }
        QCOMPARE(buttons, 6);
        QCOMPARE(w->calendarPopup()->accessibleName(), QStringLiteral("Calendar"));
        QCOMPARE(w->calendarPopup()->accessibleDescription(),
                 QStringLiteral("Calendars available in iCal for import or export"));
        // Its drop-down list is read out under the same label.
        QAccessibleInterface* popupAccessible = QAccessible::queryAccessibleInterface(w->calendarPopup());
        QVERIFY(popupAccessible && popupAccessible->child(0));
        QCOMPARE(popupAccessible->child(0)->text(QAccessible::Name), QStringLiteral("Calendar"));
        QCOMPARE(ToolbarItems::text(TheDrawerIdentifier).paletteLabel, QStringLiteral("Open/Closer drawer"));
        // The drawer item's new label reaches assistive technology too.
        w.addEntries({"x"});
        w->openDrawer();
        QCOMPARE(bar->widgetForAction(w->toolbarAction(TheDrawerIdentifier))->accessibleName(),
                 QStringLiteral("Close drawer"));

        // Unknown items and second copies of single items are dropped; the arrangement is kept.
        w->setToolbarItems({AddNewRecord, sortData, "no such item", AddNewRecord, SeparatorItemIdentifier,
                            SeparatorItemIdentifier, FlexibleSpaceItemIdentifier});
        const QStringList kept {AddNewRecord, sortData, SeparatorItemIdentifier, SeparatorItemIdentifier,
                                FlexibleSpaceItemIdentifier};
        QCOMPARE(w->toolbarItemIdentifiers(), kept);
        QCOMPARE(bar->actions().size(), kept.size());
        AppControl again;
        again.awakeFromNib();
        QCOMPARE(again.toolbarItemIdentifiers(), kept);
        w->setToolbarItems({});
        AppControl empty;
        empty.awakeFromNib();
        QCOMPARE(empty.toolbarItemIdentifiers(), QStringList {});
    }

    void toolbarCustomisationDialog()
    {
        Window w;
        auto* dialog = qobject_cast<ToolbarCustomizeDialog*>(w->runToolbarCustomization());
        QVERIFY(dialog);
        QCOMPARE(dialog->availableList()->count(), ToolbarItems::allowedIdentifiers().size());
        QCOMPARE(dialog->chosenItems(), ToolbarItems::defaultIdentifiers());
        // Add "To text file", take out "Delete", and add a second Add (refused).
        const QStringList allowed = ToolbarItems::allowedIdentifiers();
        dialog->availableList()->setCurrentRow(int(allowed.indexOf(ExportToTextFile)));
        dialog->addSelected();
        dialog->availableList()->setCurrentRow(int(allowed.indexOf(AddNewRecord)));
        dialog->addSelected();
        dialog->toolbarList()->setCurrentRow(1);
        dialog->removeSelected();
        QStringList expected = ToolbarItems::defaultIdentifiers();
        expected.removeAt(1);
        expected << ExportToTextFile;
        QCOMPARE(dialog->chosenItems(), expected);
        dialog->accept();
        QCOMPARE(w->toolbarItemIdentifiers(), expected);
        QCOMPARE(UserDefaults::standard().value("toolbarItems").toStringList(), expected);
    }

    // Columns start in the import's default order; the user's layout comes back next time.
    void columnLayoutIsKept()
    {
        Window w;
        const QStringList defaults {"startTime", "startDate", "endTime", "endDate", "theSummary", "theRepeater"};
        QCOMPARE(w->displayedColumnIdentifiers(), defaults);
        w.table()->horizontalHeader()->moveSection(EntryTableModel::Summary, 0);
        const QStringList moved {"theSummary", "startTime", "startDate", "endTime", "endDate", "theRepeater"};
        QCOMPARE(w->displayedColumnIdentifiers(), moved);
        QTRY_VERIFY(UserDefaults::standard().contains("TidewellCol"));
        AppControl again;
        again.awakeFromNib();
        QCOMPARE(again.displayedColumnIdentifiers(), moved);
    }

    void splitViewPanesKeepTheirMinimum()
    {
        Window w;
        auto* split = w->mainWindow()->findChild<QSplitter*>("splitView");
        QVERIFY(split);
        split->setSizes({1, 2000});
        QVERIFY(split->sizes().at(0) >= 100);
        split->setSizes({2000, 1});
        QVERIFY(split->sizes().at(1) >= 100);
    }

    void tableTooltipNamesTheFormats()
    {
        Window w({}, {{"NSShortDateFormatString", "%d.%m.%Y"}, {"NSTimeFormatString", "%H.%M.%S"}});
        QCOMPARE(w.table()->toolTip(), QStringLiteral("Appointment data. Time format = 14.40 and date format = d.m.y"));
        QCOMPARE(w.table()->accessibleDescription(), w.table()->toolTip());
        w.addEntries({"x"});
        QCOMPARE(w.model()->index(0, EntryTableModel::StartTime).data().toString(), QStringLiteral("09.00"));
        QCOMPARE(w.model()->index(0, EntryTableModel::StartDate).data().toString(), QStringLiteral("01.03.2007"));
    }

    // Alerts are window-modal, have one "OK" and never wait.
    void alerts()
    {
        Window w;
        w->errorMessage("Something went wrong.");
        w->warningMessage("Something was dropped.");
        QCOMPARE(Dialogs::log(), (QStringList {"Error!: Something went wrong.", "Warning!: Something was dropped."}));
        const QList<QMessageBox*> boxes = w->mainWindow()->findChildren<QMessageBox*>();
        QCOMPARE(boxes.size(), 2);
        for (QMessageBox* box : boxes) {
            QCOMPARE(box->windowModality(), Qt::WindowModal);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->buttons().first()->text(), QStringLiteral("OK"));
            box->close();
        }
    }

    void helpItemsOpenTheirAddresses()
    {
        Window w;
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        QDesktopServices::setUrlHandler("mailto", &recorder, "open");
        w->menuItem(Item::HomePage)->trigger();
        w->menuItem(Item::Support)->trigger();
        w->menuItem(Item::ReportBug)->trigger();
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("mailto");
        QCOMPARE(recorder.urls.size(), 3);
        QCOMPARE(recorder.urls.at(0).scheme(), QStringLiteral("https"));
        QCOMPARE(recorder.urls.at(1).toString(), QStringLiteral("mailto:") + aCalendar::supportAddress());
        QCOMPARE(recorder.urls.at(2).scheme(), QStringLiteral("mailto"));
        QCOMPARE(w->getProgDict().value("progName").toString(), QStringLiteral("Tidewell"));
        QVERIFY(w->getProgDict().value("progPlist").toString().endsWith("/plist/tidewell.plist"));
    }

    void operatingSystemFlags_data()
    {
        QTest::addColumn<QString>("version"); // "" writes no file; "-" an unreadable one
        QTest::addColumn<QList<int>>("flags");
        QTest::newRow("no system file") << "" << QList<int> {1, 1, 1, 1};
        QTest::newRow("10.2") << "10.2" << QList<int> {1, 0, 0, 0};
        QTest::newRow("10.3.9") << "10.3.9" << QList<int> {1, 1, 0, 0};
        QTest::newRow("10.4.11") << "10.4.11" << QList<int> {1, 1, 1, 0};
        QTest::newRow("10.5") << "10.5" << QList<int> {1, 1, 1, 1};
        QTest::newRow("11.0") << "11.0" << QList<int> {1, 1, 1, 1};
        QTest::newRow("9.2.2") << "9.2.2" << QList<int> {0, 0, 0, 0};
        QTest::newRow("empty version") << "." << QList<int> {0, 0, 0, 0};
        QTest::newRow("not a property list") << "-" << QList<int> {0, 0, 0, 0};
    }
    void operatingSystemFlags()
    {
        QFETCH(QString, version);
        QFETCH(QList<int>, flags);
        AppControl control;
        const QString path = m_dir.filePath("SystemVersion.plist");
        QFile::remove(path);
        if (version == QLatin1String("-"))
            windowtest::writeBytes(path, "not a plist");
        else if (!version.isEmpty())
            windowtest::writeBytes(path,
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                   "<key>ProductVersion</key><string>"
                                       + version.toUtf8() + "</string></dict></plist>\n");
        QVERIFY(control.setOSVersion(path));
        QCOMPARE(control.getOSVersionFlags(), flags);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
