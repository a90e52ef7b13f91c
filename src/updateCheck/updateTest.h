#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class QNetworkAccessManager;
class UpdateRequest;
class versionDownload;

/// The version check: fetches the published version file, compares its "productVersion" with
/// the running version and fills the result window.
///
/// The window itself lives in the application; this class holds everything it shows (title,
/// headline, message, progress text, indicator, tick box, download button, visibility) and
/// announces changes with changed(). broughtForward() asks the window to show itself and come to
/// the front; closed() to hide. The save panel of the download button is asked for with
/// savePanelWanted() and answered with savePanelDidEnd().
///
/// Settings (UserDefaults): "versionCheck" "0" checks at start-up, "1" does not;
/// "versionCheckDate" (a UTC date) is the earliest moment of the next automatic check. "Now"
/// comes from Clock. Requests run on the thread of this object's event loop, one at a time.
///
/// Program dictionary keys: "progName", "progPlist" (the version file's address) and, once a
/// different version is published, "progDownload" (the file to download).
class updateTest : public QObject
{
    Q_OBJECT
public:
    explicit updateTest(QObject* parent = nullptr);
    ~updateTest() override;

    /// The program dictionary the application hands in: "progName" "Tidewell" and "progPlist"
    /// versionFileURL().
    static QVariantMap programDictionary();
    /// The setting "versionURL" when present, else the published address.
    static QString versionFileURL();
    /// The running version (the project's version, as `--version` prints it).
    static QString runningVersion();
    /// Any difference between the texts counts as a newer version, lower numbers included: the
    /// publisher may withdraw a release.
    static bool isNewer(const QString& published, const QString& running);
    /// Whether the check runs at start-up: stores "0" under "versionCheck" when the key is
    /// missing, then true when it holds "0".
    static bool automaticCheckEnabled();
    /// True when an automatic check is due: no valid stored date, or it lies in the past.
    static bool automaticCheckDue(const QVariant& storedDate, const QDateTime& now);

    /// Start of the result window: stores "0" under "versionCheck" when missing and sets the
    /// tick box from it (on unless "0").
    void awakeFromNib();
    /// The tick box: stores "1" (on) or "0" under "versionCheck".
    void checkBoxChange(bool on);

    /// The automatic check (at most one request a day, by "versionCheckDate").
    void newVersion(const QVariantMap& dict);
    /// The check on demand: always one request; results and failures are shown.
    void checkNewVersion(QObject* sender, const QVariantMap& theDict);
    /// Starts the request for "progPlist" (any running one is dropped).
    void newVersionCheck();

    /// Close button: stops any request and hides the window.
    void closeBut();
    /// Download button: asks for the save panel, proposing the download's file name.
    void downloadBut();
    /// The save panel's answer; an empty path means cancelled. Starts the download.
    void savePanelDidEnd(const QString& path);

    // --- what the window shows ---
    QString windowTitle() const { return m_windowTitle; }
    QString theMessage() const { return m_theMessage; }
    QString theMessageHeader() const { return m_theMessageHeader; }
    QString progText() const { return m_progText; }
    bool noCheck() const { return m_noCheck; }
    bool downloadButtonEnabled() const { return m_downloadButton; }
    bool progIndicVisible() const { return m_progIndicVisible; }
    bool progIndicRunning() const { return m_progIndicRunning; }
    bool windowVisible() const { return m_windowVisible; }

    bool menuCheck() const { return m_menuCheck; }
    bool requestRunning() const;
    QVariantMap theProgDict() const { return m_theProgDict; }
    /// The download controller (owned).
    versionDownload* doDownload() const { return m_doDownload; }

    /// The idle time after which a request fails (60 s; tests shorten it).
    void setTimeout(int milliseconds);

Q_SIGNALS:
    void changed();
    void broughtForward();
    void closed();
    void savePanelWanted(const QString& suggestedName);

private:
    void connectionDidReceiveResponse(int status);
    void connectionDidReceiveData(const QByteArray& piece);
    void connectionDidFailWithError(const QString& description);
    void connectionDidFinishLoading();
    /// The failure texts of a check on demand (silent otherwise).
    void showFailure(const QString& message);
    /// Stops and releases the running request, if any.
    void dropConnection();
    void stopIndicator();
    void bringForward();
    QString progName() const;

    QNetworkAccessManager* m_manager;
    versionDownload* m_doDownload;
    QPointer<UpdateRequest> m_theConnection;
    QByteArray m_receivedData;
    QVariantMap m_theProgDict;
    int m_timeout = 60000;
    bool m_menuCheck = false;
    bool m_responseOK = false;

    QString m_windowTitle;
    QString m_theMessage;
    QString m_theMessageHeader;
    QString m_progText;
    bool m_noCheck = false;
    bool m_downloadButton = false;
    bool m_progIndicVisible = false;
    bool m_progIndicRunning = false;
    bool m_windowVisible = false;
};
