#include "HelpWindow.h"

#include "Icons.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

// The pages are compiled into the window's static library; naming the resource here makes the
// linker keep it.
static void initialiseBook()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    Q_UNUSED(done);
}

namespace
{
const QString kBookFolder = QStringLiteral(":/help");

QToolButton* navigationButton(const QString& label, const QString& tip, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(label);
    b->setToolTip(tip);
    b->setAccessibleName(label);
    b->setAccessibleDescription(tip);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}
} // namespace

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
    , m_back(navigationButton(QStringLiteral("Back"), QStringLiteral("Show the page shown before"), this))
    , m_forward(navigationButton(QStringLiteral("Forward"), QStringLiteral("Show the next page again"), this))
    , m_home(navigationButton(QStringLiteral("Contents"), QStringLiteral("Show the first page of the help"), this))
{
    initialiseBook();
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Tidewell Help"));
    setAccessibleName(windowTitle());
    setWindowIcon(Icons::own(QStringLiteral("tidewell")));
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help page"));
    m_browser->setToolTip(QStringLiteral("The text of the help page"));
    m_browser->setAccessibleDescription(m_browser->toolTip());
    m_browser->setSearchPaths({kBookFolder});
    // Pages of the book stay here; addresses outside it go to the browser or the mail program.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.scheme() == QLatin1String("qrc") || url.isRelative())
            m_browser->setSource(m_browser->source().resolved(url));
        else
            QDesktopServices::openUrl(url);
    });
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QToolButton::clicked, this, [this] { m_browser->setSource(homePage()); });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() || title == QLatin1String("Tidewell Help")
                           ? QStringLiteral("Tidewell Help")
                           : QStringLiteral("%1 — Tidewell Help").arg(title));
        setAccessibleName(windowTitle());
    });

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_back);
    bar->addWidget(m_forward);
    bar->addWidget(m_home);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(m_browser);
    resize(720, 640);
}

QUrl HelpWindow::homePage()
{
    return QUrl(QStringLiteral("qrc:/help/index.html"));
}

QList<QUrl> HelpWindow::pages()
{
    initialiseBook();
    QList<QUrl> list;
    const QStringList names = QDir(kBookFolder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    for (const QString& name : names)
        list << QUrl(QStringLiteral("qrc:/help/") + name);
    return list;
}

QUrl HelpWindow::pageForAnchor(const QString& anchor)
{
    if (anchor.isEmpty())
        return homePage();
    const QByteArray named = "name=\"" + anchor.toUtf8() + '"';
    for (const QUrl& page : pages()) {
        QFile f(QLatin1Char(':') + page.path());
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(named)) {
            QUrl url = page;
            url.setFragment(anchor);
            return url;
        }
    }
    return homePage();
}

void HelpWindow::showAnchor(const QString& anchor)
{
    const QUrl url = pageForAnchor(anchor);
    if (m_browser->source().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment)
        && !url.fragment().isEmpty())
        m_browser->scrollToAnchor(url.fragment());
    else
        m_browser->setSource(url);
    show();
    raise();
    activateWindow();
}

QUrl HelpWindow::currentPage() const
{
    return m_browser->source();
}
