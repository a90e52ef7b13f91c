// A calendar of 100,000 events in the window: read off the GUI thread, shown without formatting
// rows nobody looks at, scrolled end to end, sorted, selected and deleted whole. (Speed figures
// come from bench/window; the time bounds here only catch a hang.)

#include "windowTestUtil.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>

namespace
{
constexpr int kEvents = 100000;

QString bigCalendar(const QString& dir)
{
    const QString path = dir + QStringLiteral("/big.ics");
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
    out.reserve(kEvents * 160);
    for (int i = 0; i < kEvents; ++i) {
        // Every event at its own minute, counting down: sorting reverses the list.
        const int minutes = kEvents - i;
        const int day = 1 + minutes / (24 * 60) % 28;
        const int month = 1 + minutes / (24 * 60 * 28);
        const QByteArray stamp = "2007" + QByteArray::number(month).rightJustified(2, '0')
            + QByteArray::number(day).rightJustified(2, '0') + "T"
            + QByteArray::number(minutes / 60 % 24).rightJustified(2, '0')
            + QByteArray::number(minutes % 60).rightJustified(2, '0') + "00";
        out += "BEGIN:VEVENT\r\nUID:big-" + QByteArray::number(i) + "\r\nDTSTART;TZID=Europe/Kyiv:" + stamp
            + "\r\nDURATION:PT30M\r\nSUMMARY:Event " + QByteArray::number(i) + "\r\nEND:VEVENT\r\n";
    }
    out += "END:VCALENDAR\r\n";
    return windowtest::writeBytes(path, out) ? path : QString();
}
} // namespace

class TestWindowScale : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }

    void hundredThousandEvents()
    {
        QTemporaryDir dir;
        const QString path = bigCalendar(dir.path());
        QVERIFY(!path.isEmpty());
        windowtest::Window w;
        // The window keeps answering while the file is read.
        int ticks = 0;
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout, [&ticks] { ++ticks; });
        heartbeat.start(5);
        QVERIFY(w.open({path}, 120000));
        QVERIFY(ticks > 0);
        QCOMPARE(w.model()->rowCount(), kEvents);
        QVERIFY(Dialogs::log().isEmpty());

        // Only rows the view asked for were formatted.
        QApplication::processEvents();
        w.table()->viewport()->repaint();
        QVERIFY2(w.model()->formattedRowCount() < 500, qPrintable(QString::number(w.model()->formattedRowCount())));

        // End to end, a hundred stops on the way, each drawn.
        QScrollBar* bar = w.table()->verticalScrollBar();
        for (int stop = 0; stop <= 100; ++stop) {
            bar->setValue(int(qint64(bar->maximum()) * stop / 100));
            w.table()->viewport()->repaint();
        }
        QCOMPARE(bar->value(), bar->maximum());
        const int last = w.table()->rowAt(w.table()->viewport()->height() - 2);
        QCOMPARE(last, kEvents - 1);
        QCOMPARE(w.model()->index(last, EntryTableModel::Summary).data().toString(),
                 QStringLiteral("Event %1").arg(kEvents - 1));
        QVERIFY(w.model()->formattedRowCount() < 100 * 100);

        // Sorting reverses the list and keeps the chosen entry selected.
        w->selectRows({kEvents - 1});
        w->sortStart();
        QCOMPARE(w.doc().getEntryAtIndex(0)->getSummary(), QStringLiteral("Event %1").arg(kEvents - 1));
        QCOMPARE(w->selectedRows(), QList<int> {0});

        // Everything selected and deleted.
        w->selectAll();
        QCOMPARE(w->getNumberSelected(), kEvents);
        w->deleteEntry();
        QCOMPARE(w.doc().entryCount(), 0);
        QCOMPARE(w.model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestWindowScale)
#include "tst_windowScale.moc"
