#include "RecordLoop.h"

#include <QElapsedTimer>
#include <QThread>

RecordLoop::RecordLoop(aCalendar& document, const ColumnOrder& order, const QAtomicInt* cancel, QObject* parent)
    : QObject(parent)
    , m_doc(document)
    , m_order(order)
    , m_cancel(cancel)
    , m_total(document.getCommaTabRowCount())
{
}

RecordLoop::~RecordLoop()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void RecordLoop::start()
{
    if (m_thread)
        return;
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("record loop"));
    m_thread->start();
}

bool RecordLoop::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void RecordLoop::deleteWhenDone()
{
    if (!m_thread || m_thread->isFinished())
        deleteLater();
    else
        connect(m_thread, &QThread::finished, this, &QObject::deleteLater);
}

void RecordLoop::run()
{
    QElapsedTimer sinceReport;
    sinceReport.start();
    Q_EMIT progress(0, m_total);
    for (int row = 0; row < m_total; ++row) {
        m_doc.makeEntryWithSeparated(row, m_order);
        ++m_made;
        if (m_cancel && m_cancel->loadAcquire()) {
            m_cancelled = true;
            break;
        }
        if (sinceReport.elapsed() >= kProgressIntervalMs) {
            Q_EMIT progress(m_made, m_total);
            sinceReport.restart();
        }
    }
    // The records, and the entries of a cancelled loop, leave the document before the window
    // hears of the end, and are freed here afterwards: a big import ends without the window
    // waiting for that.
    const auto records = m_doc.takeCommaTabData();
    const EntryList dropped = m_cancelled ? m_doc.takePendingData() : EntryList();
    Q_EMIT finished(m_cancelled, m_made);
}
