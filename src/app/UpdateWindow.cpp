#include "UpdateWindow.h"

#include "Dialogs.h"
#include "DownloadSheet.h"
#include "updateCheck/updateTest.h"
#include "updateCheck/versionDownload.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
void describe(QWidget* control, const QString& name, const QString& toolTip)
{
    control->setAccessibleName(name);
    control->setToolTip(toolTip);
    control->setAccessibleDescription(toolTip);
}

void setLabel(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
}
} // namespace

UpdateWindow::UpdateWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_test(new updateTest(this))
    , m_header(new QLabel(this))
    , m_message(new QLabel(this))
    , m_progText(new QLabel(this))
    , m_progIndic(new QProgressBar(this))
    , m_noCheck(new QCheckBox(QStringLiteral("Do not check for a new version at start-up"), this))
    , m_downloadButton(new QPushButton(QStringLiteral("Download"), this))
    , m_closeButton(new QPushButton(QStringLiteral("Close"), this))
{
    m_sheet = new DownloadSheet(m_test->doDownload(), this);
    setAccessibleName(QStringLiteral("Version check"));
    QFont headline = m_header->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.2);
    m_header->setFont(headline);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setMinimumWidth(360);
    m_progIndic->setTextVisible(false);
    m_progIndic->setMaximumWidth(120);
    describe(m_progIndic, QStringLiteral("Checking"), QStringLiteral("Moves while the version file is fetched."));
    describe(m_noCheck, m_noCheck->text(),
             QStringLiteral("When ticked, Tidewell looks for a new version only when you choose Check for a New "
                            "Version in the Help menu."));
    describe(m_downloadButton, m_downloadButton->text(),
             QStringLiteral("Download the new version and save it where you choose."));
    describe(m_closeButton, m_closeButton->text(), QStringLiteral("Close this window and stop the check."));
    m_closeButton->setDefault(true);

    auto* progress = new QHBoxLayout;
    progress->addWidget(m_progIndic);
    progress->addWidget(m_progText, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_noCheck);
    buttons->addStretch();
    buttons->addWidget(m_downloadButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_message, 1);
    layout->addLayout(progress);
    layout->addLayout(buttons);

    connect(m_noCheck, &QCheckBox::clicked, m_test, &updateTest::checkBoxChange);
    connect(m_downloadButton, &QPushButton::clicked, m_test, &updateTest::downloadBut);
    connect(m_closeButton, &QPushButton::clicked, m_test, &updateTest::closeBut);
    connect(m_test, &updateTest::changed, this, &UpdateWindow::refresh);
    connect(m_test, &updateTest::broughtForward, this, &UpdateWindow::bringForward);
    connect(m_test->doDownload(), &versionDownload::resultWindowForward, this, &UpdateWindow::bringForward);
    connect(m_test, &updateTest::closed, this, [this] {
        m_closing = true;
        close();
        m_closing = false;
    });
    connect(m_test, &updateTest::savePanelWanted, this, [this](const QString& suggestedName) {
        Dialogs::saveFile(this, QStringLiteral("Save the new version"), suggestedName, {},
                          [this](const QString& path) { m_test->savePanelDidEnd(path); });
    });
    m_test->awakeFromNib();
    refresh();
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::closeEvent(QCloseEvent* event)
{
    // The title bar's close button is the window's close button.
    if (!m_closing)
        m_test->closeBut();
    event->accept();
}

void UpdateWindow::refresh()
{
    setWindowTitle(m_test->windowTitle());
    setLabel(m_header, m_test->theMessageHeader());
    setLabel(m_message, m_test->theMessage());
    setLabel(m_progText, m_test->progText());
    m_progIndic->setVisible(m_test->progIndicVisible());
    m_progIndic->setRange(0, m_test->progIndicRunning() ? 0 : 1);
    m_noCheck->setChecked(m_test->noCheck());
    m_downloadButton->setEnabled(m_test->downloadButtonEnabled());
}

void UpdateWindow::bringForward()
{
    show();
    raise();
    activateWindow();
}
