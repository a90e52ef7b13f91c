#pragma once

#include <QWidget>

class DownloadSheet;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class updateTest;

/// The result window of the version check, a thin view over updateTest: it shows the title,
/// headline, message and progress text, the busy indicator, the "do not check" tick box and the
/// download and close buttons, and hands every click to the controller. Creating it is loading
/// the version check: it makes its updateTest (owned) and the download's progress sheet, and
/// runs the controller's awakeFromNib().
///
/// The window appears when the controller brings it forward and hides when it closes; closing
/// it from the title bar is the close button. The download button's save panel goes through
/// Dialogs::saveFile.
class UpdateWindow : public QWidget
{
    Q_OBJECT
public:
    explicit UpdateWindow(QWidget* parent = nullptr);
    ~UpdateWindow() override;

    updateTest* controller() const { return m_test; }
    DownloadSheet* sheet() const { return m_sheet; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    /// Copies the controller's state into the widgets.
    void refresh();
    void bringForward();

    updateTest* m_test;
    DownloadSheet* m_sheet;
    QLabel* m_header;
    QLabel* m_message;
    QLabel* m_progText;
    QProgressBar* m_progIndic;
    QCheckBox* m_noCheck;
    QPushButton* m_downloadButton;
    QPushButton* m_closeButton;
    bool m_closing = false;
};
