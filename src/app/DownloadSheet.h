#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class versionDownload;

/// The progress sheet of the download, window-modal over the result window: headline, state
/// text, error text, the bar in kilobytes and the stop button. A thin view over versionDownload:
/// it opens and closes when the controller says so, and the stop button (or Escape) is
/// downloadCancel().
class DownloadSheet : public QDialog
{
    Q_OBJECT
public:
    DownloadSheet(versionDownload* download, QWidget* resultWindow);

    QPushButton* stopButton() const { return m_stopButton; }

public Q_SLOTS:
    void reject() override;

private:
    void refresh();

    versionDownload* m_download;
    QLabel* m_header;
    QLabel* m_state;
    QLabel* m_error;
    QProgressBar* m_bar;
    QPushButton* m_stopButton;
};
