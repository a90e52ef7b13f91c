#pragma once

#include "calendar/aCalendar.h"

#include <QAtomicInt>
#include <QObject>

class QThread;

/// The record loop of a delimited import: one entry per split record of the document, made on a
/// worker thread into the document's pending list.
///
/// While it runs the worker alone reads the document's records and writes its pending list; the
/// caller must not touch either (nor start another split) until finished() has arrived. The worker
/// reads the cancel flag after every record and stops after the record it is making.
///
/// Signals are emitted on the worker thread and arrive queued on the thread that made the object
/// (the GUI thread): progress() at most about 30 times a second, finished() once, when the loop
/// has ended and the document's records are gone; from then on the document is the caller's
/// again. The entries are not joined to the document: the receiver of finished() does that on its
/// own thread.
class RecordLoop : public QObject
{
    Q_OBJECT
public:
    /// The least time between two progress() signals.
    static constexpr int kProgressIntervalMs = 33;

    /// @p cancel must outlive the object.
    RecordLoop(aCalendar& document, const ColumnOrder& order, const QAtomicInt* cancel, QObject* parent = nullptr);
    /// Waits for the worker to end (set the cancel flag first to make that quick).
    ~RecordLoop() override;

    void start();
    bool isRunning() const;
    /// Deletes the object once its thread has ended (it may still free the records after
    /// finished()).
    void deleteWhenDone();
    int total() const { return m_total; }

Q_SIGNALS:
    /// @p done records of @p total are entries now.
    void progress(int done, int total);
    /// The loop has ended: @p made entries wait in the pending list, or, when @p cancelled (the
    /// cancel flag was set), none: they were dropped.
    void finished(bool cancelled, int made);

private:
    void run();

    aCalendar& m_doc;
    const ColumnOrder m_order;
    const QAtomicInt* m_cancel;
    QThread* m_thread = nullptr;
    int m_total = 0;
    // Written by the worker, read after it has ended.
    int m_made = 0;
    bool m_cancelled = false;
};
