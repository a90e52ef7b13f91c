#include "DownloadSheet.h"

#include "updateCheck/versionDownload.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
void setLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
    label->setVisible(!text.isEmpty());
}
} // namespace

DownloadSheet::DownloadSheet(versionDownload* download, QWidget* resultWindow)
    : QDialog(resultWindow)
    , m_download(download)
    , m_header(new QLabel(this))
    , m_state(new QLabel(this))
    , m_error(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_stopButton(new QPushButton(QStringLiteral("Stop"), this))
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Download"));
    setAccessibleName(QStringLiteral("Download"));
    QFont bold = m_header->font();
    bold.setBold(true);
    m_header->setFont(bold);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_bar->setTextVisible(false);
    m_bar->setAccessibleName(QStringLiteral("Download progress"));
    m_bar->setToolTip(QStringLiteral("Kilobytes received of the size the server announced."));
    m_bar->setAccessibleDescription(m_bar->toolTip());
    m_stopButton->setAccessibleName(m_stopButton->text());
    m_stopButton->setToolTip(QStringLiteral("Stop the download; nothing is saved."));
    m_stopButton->setAccessibleDescription(m_stopButton->toolTip());
    m_stopButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_stopButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_state);
    layout->addWidget(m_bar);
    layout->addWidget(m_error);
    layout->addLayout(buttons);
    setMinimumWidth(380);

    connect(m_stopButton, &QPushButton::clicked, m_download, &versionDownload::downloadCancel);
    connect(m_download, &versionDownload::changed, this, &DownloadSheet::refresh);
    connect(m_download, &versionDownload::sheetOpened, this, [this] {
        refresh();
        open();
    });
    connect(m_download, &versionDownload::sheetClosed, this, [this] { done(QDialog::Accepted); });
    refresh();
}

void DownloadSheet::reject()
{
    // Escape or the title bar's close button stop the download, as the stop button does.
    if (m_download->sheetOpen())
        m_download->downloadCancel();
    else
        QDialog::reject();
}

void DownloadSheet::refresh()
{
    setLabel(m_header, m_download->theMessageHeader());
    setLabel(m_state, m_download->theStateMessage());
    setLabel(m_error, m_download->theErrorMessage());
    const int maximum = m_download->indicatorMaximum();
    if (maximum > 0) {
        m_bar->setRange(0, maximum);
        m_bar->setValue(qMin(m_download->indicatorValue(), maximum));
    } else {
        // No size announced: busy while running, empty once stopped.
        m_bar->setRange(0, m_download->indicatorRunning() ? 0 : 1);
        m_bar->setValue(0);
    }
}
