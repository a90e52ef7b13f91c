// Files handed to the application and drops on the window.
//
// Files are processed in the order they arrive, one batch at a time. Calendar files are read on a
// worker thread into a document of their own (CalendarFileReading), which joins the window's
// document on the GUI thread when the run is read; the window stays usable meanwhile and the
// status bar says what is being read. Other files (delimited text, text clippings) go to the
// document's drop handling on the GUI thread. At the end of a batch the table shows the new rows
// and one warning names what the readers dropped and which files could not be read.
#include "AppControl.h"
#include "EntryTableModel.h"
#include "FileReading.h"
#include "MyTableView.h"
#include "MyWindow.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QStatusBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QUrl>

namespace
{
QStringList localFiles(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

/// The plain text of a drag: its text, or the text of its rich text.
QString dragText(const QMimeData* mime)
{
    if (!mime)
        return {};
    if (mime->hasText())
        return mime->text();
    if (mime->hasHtml())
        return QTextDocumentFragment::fromHtml(mime->html()).toPlainText();
    return {};
}

/// Offers linking when the source allows it, else copying.
bool acceptWithOperation(QDropEvent* event)
{
    const Qt::DropActions possible = event->possibleActions();
    if (possible & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else if (possible & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else
        return false;
    event->accept();
    return true;
}
} // namespace

QStringList AppControl::acceptedDropExtensions()
{
    // The document types the application declares (tab-separated text among them), and text clippings.
    return {QStringLiteral("ics"), QStringLiteral("ical"), QStringLiteral("icalendar"),
            QStringLiteral("ifb"), QStringLiteral("vcal"), QStringLiteral("vcs"),
            QStringLiteral("csv"), QStringLiteral("txt"),  QStringLiteral("tsv"),
            QStringLiteral("tab"), QStringLiteral("textclipping")};
}

bool AppControl::applicationOpenFile(const QString& path)
{
    theDroppedAppList << path;
    if (droppedCount == 0) {
        QTimer::singleShot(0, this, &AppControl::proceedWithProcess);
        droppedCount = 1;
    }
    return true;
}

void AppControl::proceedWithProcess()
{
    const QStringList batch = theDroppedAppList;
    droppedCount = 0;
    theDroppedAppList.clear();
    if (batch.isEmpty())
        return;
    Q_EMIT fileBatchStarted(batch);
    queueFiles(batch, QString());
}

void AppControl::queueFiles(const QStringList& paths, const QString& text)
{
    const qsizetype first = m_fileSteps.size();
    for (const QString& path : paths) {
        const bool background = FileReading::isCalendarFile(path);
        if (background && m_fileSteps.size() > first && m_fileSteps.last().background) {
            m_fileSteps.last().paths << path;
            continue;
        }
        m_fileSteps.append({{path}, text, background, false});
    }
    if (m_fileSteps.size() == first)
        m_fileSteps.append({{}, text, false, false});
    m_fileSteps.last().lastOfBatch = true;
    runNextFileStep();
}

void AppControl::runNextFileStep()
{
    // While a delimited import uses the document's records, files wait (they could split others).
    while (!m_reading && !m_fileSteps.isEmpty() && !isImporting()) {
        if (m_rowsBeforeBatch < 0) {
            m_rowsBeforeBatch = theCal->entryCount();
            m_batchMessages.clear();
            m_batchUnreadable.clear();
            m_batchSplitDelimited = false;
        }
        const FileStep step = m_fileSteps.takeFirst();
        if (step.background) {
            m_reading = new CalendarFileReading(step.paths, this);
            connect(m_reading, &CalendarFileReading::fileStarted, this,
                    [this](int index, int count, const QString& path) {
                        const QString name = QFileInfo(path).fileName();
                        showReadProgress(
                            count > 1 ? QStringLiteral("Reading “%1” (%2 of %3)…").arg(name).arg(index + 1).arg(count)
                                      : QStringLiteral("Reading “%1”…").arg(name));
                    });
            connect(m_reading, &CalendarFileReading::finished, this, [this, step] {
                CalendarFileReading* reading = m_reading;
                m_batchMessages << reading->warnings();
                m_batchUnreadable << reading->unreadable();
                if (!reading->lastRead().isEmpty()) {
                    const EntryList& data = theCal->getTheData();
                    if (data.size() == 1 && data.first()->getCheck() == QLatin1String("X"))
                        theTable->clearSelection(); // the untouched lone entry gives way to the file
                    FileReading::adopt(*theCal, reading->result(), reading->lastRead());
                }
                m_reading = nullptr;
                reading->deleteLater();
                if (step.lastOfBatch)
                    finishFileBatch();
                runNextFileStep();
            });
            m_reading->start();
            return;
        }
        if (!step.paths.isEmpty()) {
            const EntryList& data = theCal->getTheData();
            if (data.size() == 1 && data.first()->getCheck() == QLatin1String("X"))
                theTable->clearSelection();
            QMimeData drag;
            if (!step.text.isNull())
                drag.setText(step.text);
            const DropOutcome outcome
                = theCal->processDroppedFileArray(step.paths, step.text.isNull() ? nullptr : &drag);
            if (!outcome.readerMessage.isEmpty())
                m_batchMessages << outcome.readerMessage;
            m_batchUnreadable << outcome.unreadable;
            m_batchSplitDelimited = m_batchSplitDelimited || outcome.delimitedSplit;
            // Each delimited file goes into the column-order sheet before the next file is read,
            // so that a second one cannot replace its records.
            if (outcome.delimitedSplit)
                openDataInputOrder();
        }
        if (step.lastOfBatch)
            finishFileBatch();
    }
}

void AppControl::finishFileBatch()
{
    m_readProgress->hide();
    m_readLabel->clear();
    reloadData(true);
    updateTheMenus();
    m_rowsBeforeBatch = -1;

    QStringList messages;
    for (const QString& m : std::as_const(m_batchMessages)) {
        if (!messages.contains(m))
            messages << m;
    }
    if (!m_batchUnreadable.isEmpty()) {
        messages << (m_batchUnreadable.size() == 1 ? QStringLiteral("This file could not be read:\n")
                                                   : QStringLiteral("These files could not be read:\n"))
                + m_batchUnreadable.join(QLatin1Char('\n'));
    }
    if (!messages.isEmpty())
        warningMessage(messages.join(QStringLiteral("\n\n")));
    if (m_batchSplitDelimited)
        openDataInputOrder();
    Q_EMIT fileBatchFinished();
}

void AppControl::showReadProgress(const QString& text)
{
    m_readLabel->setText(text);
    m_readProgress->setAccessibleDescription(text);
    m_readProgress->show();
}

void AppControl::draggingEntered(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    acceptableDropFile = false;
    if (isImporting()) {
        event->ignore();
        return;
    }
    const QStringList files = localFiles(mime);
    if (!files.isEmpty()) {
        const QStringList accepted = acceptedDropExtensions();
        for (const QString& path : files)
            acceptableDropFile = acceptableDropFile || accepted.contains(QFileInfo(path).suffix().toLower());
        if (acceptableDropFile && acceptWithOperation(event)) {
            theTable->setHasShadow(true);
            return;
        }
        acceptableDropFile = false;
        event->ignore();
        return;
    }
    // Text becomes entries when it is dropped, not while it passes over the window.
    if (!dragText(mime).trimmed().isEmpty() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        theTable->setHasShadow(true);
        return;
    }
    event->ignore();
}

void AppControl::draggingUpdated(QDragMoveEvent* event)
{
    if (theTable->hasShadow()) {
        if (acceptableDropFile)
            acceptWithOperation(event);
        else
            event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void AppControl::draggingExited()
{
    theTable->setHasShadow(false);
    acceptableDropFile = false;
}

void AppControl::performDragOperation(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (acceptableDropFile) {
        queueFiles(localFiles(mime), mime->hasText() ? mime->text() : QString());
        acceptWithOperation(event);
    } else if (theTable->hasShadow()) {
        const QString text = dragText(mime);
        theCal->processDateString(text);
        reloadData(true);
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
    acceptableDropFile = false;
    theTable->setHasShadow(false);
    updateTheMenus();
}
