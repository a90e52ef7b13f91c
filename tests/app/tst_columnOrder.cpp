// The column-order sheet and the record loop of a delimited import, offscreen: the order table's
// row drags, the record stepper, confirming and cancelling, the loop on its worker thread with
// Cancel, what the window refuses while it runs, and dropped delimited files.

#include "ColumnOrderSheet.h"
#include "RecordLoop.h"
#include "ToolbarItems.h"
#include "platform/UserDefaults.h"
#include "windowTestUtil.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>

using windowtest::Window;
using Item = AppControl::MenuItem;

namespace
{
QStringList titles(const ColumnOrder& order)
{
    QStringList list;
    for (const ColumnDescriptor& c : order)
        list << c.title;
    return list;
}

QStringList storedTitles()
{
    QStringList list;
    for (const QVariant& pair : UserDefaults::standard().value("commataborder").toList())
        list << pair.toStringList().value(0);
    return list;
}

const QStringList kDefaultTitles {"Start Time", "Start Date", "End Time", "End Date", "Summary", "Description"};

/// @p n records: "Summary i,09:00,03/0d/2007" (summary first, as many spreadsheets write it).
QByteArray records(int n)
{
    QByteArray out;
    for (int i = 1; i <= n; ++i)
        out += "Meeting " + QByteArray::number(i) + ",09:30,03/" + QByteArray::number(i % 28 + 1).rightJustified(2, '0')
            + "/2007\r\n";
    out.chop(2);
    return out;
}
} // namespace

class TestColumnOrder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        windowtest::writeBytes(path, bytes);
        return path;
    }

    /// Imports @p path through the comma import's panel; the sheet is open afterwards.
    static ColumnOrderSheet* openComma(Window& w, const QString& path)
    {
        Dialogs::queueAnswer(QStringList {path});
        w->importFromFileComma();
        (void)QTest::qWaitFor([&] { return w->orderSheet() != nullptr; }, int(5000 * testutil::kSlowdown));
        return w->orderSheet();
    }

    static void drag(ColumnOrderModel* model, int from, int ontoRow)
    {
        std::unique_ptr<QMimeData> mime(model->mimeData({model->index(from)}));
        QCOMPARE(mime->text(), QString::number(from));
        QVERIFY(model->canDropMimeData(mime.get(), Qt::CopyAction, -1, 0, model->index(ontoRow)));
        QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, -1, 0,
                                    ontoRow < 0 ? QModelIndex() : model->index(ontoRow)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-01-15T12:00:00Z");
        QVERIFY(m_dir.isValid());
    }

    // Dragging "Summary" onto the first row makes it the first field and moves the others down;
    // the order is stored only when the import is confirmed, and then fills the entries.
    void draggedOrderIsUsedAndStoredOnConfirm()
    {
        Window w({}, {{"NSShortDateFormatString", "%m/%d/%Y"}});
        ColumnOrderSheet* sheet = openComma(w, write("ten.csv", records(10)));
        QVERIFY(sheet);
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->inputOrder()->property("tag").toInt(), 99);
        QCOMPARE(sheet->inputData()->property("tag").toInt(), 100);
        ColumnOrderModel* order = sheet->orderModel();
        QCOMPARE(titles(order->order()), kDefaultTitles);
        drag(order, 4, 0);
        const QStringList moved {"Summary", "Start Time", "Start Date", "End Time", "End Date", "Description"};
        QCOMPARE(titles(order->order()), moved);
        QCOMPARE(sheet->inputOrder()->model()->index(0, 0).data().toString(), QStringLiteral("Summary"));
        QCOMPARE(storedTitles(), kDefaultTitles); // not yet

        QSignalSpy done(w.control.get(), &AppControl::delimitedImportFinished);
        sheet->okButton()->click();
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(storedTitles(), moved);
        QCOMPARE(w.summaries().size(), 10);
        QCOMPARE(w.summaries().first(), QStringLiteral("Meeting 1"));
        const EntryPtr first = w.doc().getEntryAtIndex(0);
        QCOMPARE(first->getStartTime().hour(), 9);
        QCOMPARE(first->getStartDate().day(), 2);
        QVERIFY(w.doc().getCommaTabRowCount() == 0);
        QVERIFY(!w->isImporting());
        QVERIFY(w->menuItem(Item::ImportCommaFile)->isEnabled());
        QVERIFY(w->menuItem(Item::ExportCommaFile)->isEnabled());
    }

    // Drops between rows and below the last row; a drop of text from elsewhere is refused.
    void rowDrops_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("row"); // between rows (-1: below the last row)
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("first below the last")
            << 0 << -1 << QStringList {"Start Date", "End Time", "End Date", "Summary", "Description", "Start Time"};
        QTest::newRow("last before the second")
            << 5 << 1 << QStringList {"Start Time", "Description", "Start Date", "End Time", "End Date", "Summary"};
        QTest::newRow("onto itself") << 2 << 2 << kDefaultTitles;
    }
    void rowDrops()
    {
        QFETCH(int, from);
        QFETCH(int, row);
        QFETCH(QStringList, expected);
        ColumnOrderModel model(aCalendar::defaultColumnOrder());
        std::unique_ptr<QMimeData> mime(model.mimeData({model.index(from)}));
        QVERIFY(model.dropMimeData(mime.get(), Qt::CopyAction, row, 0, QModelIndex()));
        QCOMPARE(titles(model.order()), expected);
        QMimeData text;
        text.setText("3");
        QVERIFY(!model.canDropMimeData(&text, Qt::CopyAction, -1, 0, model.index(0)));
        QVERIFY(!model.dropMimeData(&text, Qt::CopyAction, -1, 0, model.index(0)));
        QVERIFY(!model.moveDescriptor(6, 0));
        QCOMPARE(titles(model.order()), expected);
    }

    // The stepper shows "1 of N" at first, "3 of 10" on the third record, and the preview
    // that record's fields.
    void stepperShowsTheRecord()
    {
        Window w;
        ColumnOrderSheet* sheet = openComma(w, write("step.csv", records(10) + "\r\nlast,\"a, b\",c\"d"));
        QVERIFY(sheet);
        QCOMPARE(sheet->ctCount()->text(), QStringLiteral("1 of 11"));
        QCOMPARE(sheet->ctStepper()->minimum(), 1);
        QCOMPARE(sheet->ctStepper()->maximum(), 11);
        sheet->ctStepper()->setValue(3);
        QCOMPARE(sheet->ctCount()->text(), QStringLiteral("3 of 11"));
        QAbstractItemModel* preview = sheet->inputData()->model();
        QCOMPARE(preview->rowCount(), 3);
        QCOMPARE(preview->index(0, 0).data().toString(), QStringLiteral("Meeting 3"));
        QCOMPARE(preview->index(2, 0).data().toString(), QStringLiteral("03/04/2007"));
        sheet->ctStepper()->stepBy(8);
        QCOMPARE(sheet->ctCount()->text(), QStringLiteral("11 of 11"));
        QCOMPARE(preview->rowCount(), 3);
        QCOMPARE(preview->index(1, 0).data().toString(), QStringLiteral("a, b"));
        QCOMPARE(preview->index(2, 0).data().toString(), QStringLiteral("c\"d"));
        sheet->ctStepper()->stepBy(5); // stays on the last
        QCOMPARE(sheet->ctCount()->text(), QStringLiteral("11 of 11"));
    }

    // Cancel (the button, or Escape) imports nothing and keeps the stored order; the header
    // box leaves out the first record.
    void cancelAndHeader_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("summaries");
        QTest::newRow("Cancel") << "cancel" << QStringList {"kept"};
        QTest::newRow("Escape") << "escape" << QStringList {"kept"};
        QTest::newRow("OK with a header record") << "header" << QStringList {"kept", "Meeting 2", "Meeting 3"};
    }
    void cancelAndHeader()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, summaries);
        Window w;
        w.addEntries({"kept"});
        ColumnOrderSheet* sheet = openComma(w, write("three.csv", records(3)));
        QVERIFY(sheet);
        drag(sheet->orderModel(), 4, 0);
        QVERIFY(w->isImporting());
        QVERIFY(!w->menuItem(Item::ImportTabFile)->isEnabled());
        QSignalSpy done(w.control.get(), &AppControl::delimitedImportFinished);
        if (how == "cancel") {
            sheet->cancelButton()->click();
        } else if (how == "escape") {
            QTest::keyClick(sheet, Qt::Key_Escape);
        } else {
            sheet->headerRecord()->setChecked(true);
            sheet->okButton()->click();
            QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        }
        QCOMPARE(w.summaries(), summaries);
        QCOMPARE(w->orderSheet(), nullptr);
        QVERIFY(w.doc().getCommaTabRowCount() == 0);
        QVERIFY(!w->isImporting());
        QVERIFY(w->menuItem(Item::ImportTabFile)->isEnabled());
        QCOMPARE(storedTitles(), how == "header" ? titles(w.doc().getCommaTabDataOrder()) : kDefaultTitles);
    }

    // Cancel during the record loop stops it at once and adds nothing; meanwhile the commands that
    // change the document are off and a file handed over waits for the loop to end.
    void cancellingTheRecordLoop()
    {
        Window w;
        w.addEntries({"kept"});
        QByteArray big;
        big.reserve(400000 * 40);
        for (int i = 0; i < 400000; ++i)
            big += "09:00,03/" + QByteArray::number(i % 28 + 1) + "/2007,10:00,03/01/2007,Row " + QByteArray::number(i)
                + "\n";
        big.chop(1);
        ColumnOrderSheet* sheet = openComma(w, write("big.csv", big));
        QVERIFY(sheet);
        QSignalSpy done(w.control.get(), &AppControl::delimitedImportFinished);
        sheet->okButton()->click();
        ImportProgressSheet* progress = w->importCounterWindow();
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->windowModality(), Qt::WindowModal);
        QTRY_VERIFY(w.doc().pendingCount() > 0);
        QTRY_VERIFY(progress->importCounter()->text().endsWith(" of 400000"));

        for (Item item : {Item::NewEntry, Item::ImportCommaFile, Item::ImportClipboard, Item::Delete,
                          Item::ExportICalFile, Item::SortStart, Item::Paste})
            QVERIFY2(!w->menuItem(item)->isEnabled(), qPrintable(QString::number(int(item))));
        QVERIFY(!w->toolbarAction(AddNewRecord)->isEnabled());
        QVERIFY(!w->calendarPopup()->isEnabled() || w->calendarPopup()->count() == 1);
        QSignalSpy batch(w.control.get(), &AppControl::fileBatchFinished);
        w->applicationOpenFile(write("later.ics", windowtest::calendarText({{"Later", "20070310T090000"}})));
        w->updateTheMenus(); // a refresh meanwhile does not bring the commands back
        QVERIFY(!w->menuItem(Item::ExportICalFile)->isEnabled());

        QElapsedTimer timer;
        timer.start();
        progress->cancelButton()->click();
        // The loop's end arrives through the event loop, which runs only inside wait().
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        qInfo("the record loop stopped %lld ms after Cancel", timer.elapsed());
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(w.doc().pendingCount(), 0);
        QVERIFY(w.doc().getPendingEntries().isEmpty());
        QVERIFY(!progress->isVisible());
        QCOMPARE(progress->importCounter()->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(batch.size(), 1, int(10000 * testutil::kSlowdown));
        QCOMPARE(w.summaries(), (QStringList {"kept", "Later"}));
        QVERIFY(w->menuItem(Item::NewEntry)->isEnabled());
        QVERIFY(w->toolbarAction(AddNewRecord)->isEnabled());

        // The next import joins its own entries only.
        ColumnOrderSheet* again = openComma(w,
                                            write("two.csv",
                                                  "09:00,03/01/2007,10:00,03/01/2007,A\n"
                                                  "09:00,03/02/2007,10:00,03/02/2007,B"));
        QVERIFY(again);
        again->okButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, int(10000 * testutil::kSlowdown));
        QCOMPARE(w.summaries(), (QStringList {"kept", "Later", "A", "B"}));
    }

    // The loop reports at most about 30 times a second, and from the GUI thread's point of view.
    void progressIsThrottled()
    {
        testutil::TempSettings settings;
        aCalendar doc;
        QByteArray text;
        for (int i = 0; i < 100000; ++i)
            text += "09:00,03/" + QByteArray::number(i % 28 + 1) + "/2007,10:00,03/01/2007,Row\n";
        doc.processCT(QString::fromLatin1(text), ",");
        QAtomicInt cancel;
        RecordLoop loop(doc, doc.getCommaTabDataOrder(), &cancel);
        QList<int> reports;
        bool onGuiThread = true;
        connect(&loop, &RecordLoop::progress, this, [&](int done) {
            onGuiThread = onGuiThread && QThread::currentThread() == thread();
            reports << done;
        });
        QList<QVariantList> finished;
        connect(&loop, &RecordLoop::finished, this, [&](bool cancelled, int made) {
            onGuiThread = onGuiThread && QThread::currentThread() == thread();
            finished.append({cancelled, made});
        });
        QElapsedTimer timer;
        timer.start();
        loop.start();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, int(30000 * testutil::kSlowdown));
        const double seconds = timer.elapsed() / 1000.0;
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(finished.first().at(1).toInt(), 100000);
        QCOMPARE(doc.getPendingEntries().size(), 100000);
        QVERIFY(doc.getCommaTabRowCount() == 0);
        QTRY_VERIFY(!reports.isEmpty());
        QVERIFY(onGuiThread);
        QVERIFY2(reports.size() <= 2 + seconds * 1000 / RecordLoop::kProgressIntervalMs,
                 qPrintable(QString("%1 reports in %2 s").arg(reports.size()).arg(seconds)));
        for (int i = 1; i < reports.size(); ++i)
            QVERIFY(reports.at(i) > reports.at(i - 1));
    }

    // Dropped comma and tab files go on into the sheet, one after the other; neither replaces
    // the other's records.
    void droppedDelimitedFilesOpenTheSheet()
    {
        Window w;
        const QString csv = write("dropped.csv", "09:00,03/01/2007,10:00,03/01/2007,Comma");
        const QString txt = write("dropped.txt", "09:00\t03/02/2007\t10:00\t03/02/2007\tTab\t\"quoted\"");
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(csv), QUrl::fromLocalFile(txt)});
        QDragEnterEvent enter(QPoint(50, 150), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->mainWindow(), &enter);
        QDropEvent drop(QPointF(50, 150), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w->mainWindow(), &drop);
        QSignalSpy done(w.control.get(), &AppControl::delimitedImportFinished);
        QTRY_VERIFY(w->orderSheet());
        QCOMPARE(w->orderSheet()->inputData()->model()->index(4, 0).data().toString(), QStringLiteral("Comma"));
        w->orderSheet()->okButton()->click();
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        QTRY_VERIFY(w->orderSheet());
        QCOMPARE(w->orderSheet()->inputData()->model()->index(4, 0).data().toString(), QStringLiteral("Tab"));
        w->orderSheet()->okButton()->click();
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        QCOMPARE(w.summaries(), (QStringList {"Comma", "Tab"}));
        QCOMPARE(w.doc().getEntryAtIndex(1)->getShortDESCRIPTION(), QStringLiteral("\"quoted\""));
    }

    // Every control of the two sheets carries its visible label as its accessible name and its
    // tooltip as its description.
    void sheetsNameTheirControls()
    {
        Window w;
        ColumnOrderSheet* sheet = openComma(w, write("named.csv", records(2)));
        QVERIFY(sheet);
        int controls = 0;
        const auto check = [&controls](QWidget* root) {
            controls = 0;
            for (QWidget* c : root->findChildren<QWidget*>()) {
                if (!qobject_cast<QAbstractButton*>(c) && !qobject_cast<QAbstractSpinBox*>(c)
                    && !qobject_cast<QAbstractItemView*>(c) && !qobject_cast<QProgressBar*>(c))
                    continue;
                bool part = false; // headers, scroll bars and editors belong to their control
                for (QWidget* p = c->parentWidget(); p && p != root; p = p->parentWidget())
                    part = part || qobject_cast<QAbstractItemView*>(p) || qobject_cast<QAbstractSpinBox*>(p);
                if (part)
                    continue;
                ++controls;
                QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
                QCOMPARE(c->accessibleDescription(), c->toolTip());
                QVERIFY(!c->toolTip().isEmpty());
                if (auto* b = qobject_cast<QAbstractButton*>(c))
                    QCOMPARE(b->accessibleName(), b->text());
            }
        };
        check(sheet);
        QCOMPARE(controls, 7);
        QSignalSpy done(w.control.get(), &AppControl::delimitedImportFinished);
        sheet->okButton()->click();
        QVERIFY(done.wait(int(10000 * testutil::kSlowdown)));
        check(w->importCounterWindow());
        QCOMPARE(controls, 2);
    }
};

QTEST_MAIN(TestColumnOrder)
#include "tst_columnOrder.moc"
