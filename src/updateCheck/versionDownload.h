#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QNetworkAccessManager;
class UpdateRequest;

/// Downloads the file named by "progDownload" of the program dictionary to the path the user
/// chose, with a progress sheet over the result window.
///
/// The sheet lives in the application; this class holds what it shows (headline, state text,
/// error text, the bar's maximum and value in kilobytes, whether the sheet is open) and
/// announces changes with changed(). sheetOpened()/sheetClosed() open and close the sheet;
/// resultWindowForward() asks for the result window to come to the front.
///
/// The bytes are kept in memory and written to the chosen path in one go (SafeFile) only when
/// the whole file has arrived: a cancelled, failed, refused or cut-short download leaves the
/// path as it was. Downloads above sizeLimit() (1 GB) are refused.
class versionDownload : public QObject
{
    Q_OBJECT
public:
    /// @p manager carries the requests; it must outlive this object.
    explicit versionDownload(QNetworkAccessManager* manager, QObject* parent = nullptr);
    ~versionDownload() override;

    /// The kilobyte figure of the progress text: bytes / 1024, rounded down.
    static qint64 kilobytes(qint64 bytes);
    /// The expected size in kilobytes as shown: (length / 1024, rounded down) + 1; "?" when the
    /// server sent no length (negative).
    static QString contentLengthText(qint64 length);
    /// "Receiving data.... (%i kb of %@ kb)".
    static QString receivingText(qint64 receivedBytes, const QString& contentLength);

    /// Starts downloading dict["progDownload"] to @p saveAt and opens the sheet.
    void getNewVersion(const QVariantMap& dict, const QString& saveAt);
    /// Sends the request.
    void startDownLoad();
    /// Stop button: abandons the download (nothing is written) and closes the sheet.
    void downloadCancel();

    // --- what the sheet shows ---
    QString theStateMessage() const { return m_theStateMessage; }
    QString theMessageHeader() const { return m_theMessageHeader; }
    QString theErrorMessage() const { return m_theErrorMessage; }
    /// The bar's range in kilobytes; 0 when the size is unknown (a busy bar).
    int indicatorMaximum() const { return m_indicatorMaximum; }
    int indicatorValue() const { return m_indicatorValue; }
    /// False once the download failed ("show the bar stopped").
    bool indicatorRunning() const { return m_indicatorRunning; }
    bool sheetOpen() const { return m_sheetOpen; }

    QString fileLocation() const { return m_fileLocation; }
    QString contentLength() const { return m_contentLength; }
    bool downloadOK() const { return m_downloadOK; }
    bool requestRunning() const;

    /// Idle time after which the request fails (60 s; tests shorten it).
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }
    /// The largest download accepted (1 GB; tests lower it).
    void setSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }
    qint64 sizeLimit() const { return m_sizeLimit; }

Q_SIGNALS:
    void changed();
    void sheetOpened();
    void sheetClosed();
    void resultWindowForward();

private:
    void connectionDidReceiveResponse(int status);
    void connectionDidReceiveData(const QByteArray& piece);
    void connectionDidFailWithError(const QString& description);
    void connectionDidFinishLoading();
    /// Writes the received bytes (run one turn after "Writing to disk!" is shown).
    void writeToDisk();
    void showError(const QString& errorText);
    void dropConnection();
    QString progName() const;

    QNetworkAccessManager* m_manager;
    QPointer<UpdateRequest> m_theConnection;
    QByteArray m_receivedData;
    QVariantMap m_theProgDict;
    QString m_fileLocation;
    QString m_contentLength;
    bool m_doDownLoad = false;
    bool m_downloadOK = false;
    /// Counts downloads, so that a write scheduled for one is not done for a later one.
    quint64 m_generation = 0;
    int m_timeout = 60000;
    qint64 m_sizeLimit = qint64(1) << 30;

    QString m_theStateMessage;
    QString m_theMessageHeader;
    QString m_theErrorMessage;
    int m_indicatorMaximum = 0;
    int m_indicatorValue = 0;
    bool m_indicatorRunning = false;
    bool m_sheetOpen = false;
};
