#pragma once

#include <QStringList>
#include <QWidget>

class QTextBrowser;
class QToolButton;

/// The help book "Tidewell Help": our own HTML pages, built into the program (help.qrc, from
/// docs/help/), shown in a window of their own. Links to other pages of the book stay in the
/// window; web and mail links go to the system's handlers.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    /// A window of its own (no parent: a sheet open on the main window does not block it).
    explicit HelpWindow(QWidget* parent = nullptr);

    /// The book's first page.
    static QUrl homePage();
    /// The page of the book holding @p anchor, with the anchor as fragment; the first page when
    /// no page holds it or @p anchor is empty.
    static QUrl pageForAnchor(const QString& anchor);
    /// Every page of the book, as qrc: URLs, in name order.
    static QList<QUrl> pages();

    /// Shows the window at @p anchor (the first page when empty) and brings it to the front.
    void showAnchor(const QString& anchor);
    /// The page shown now, with its anchor.
    QUrl currentPage() const;
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    QToolButton* m_back;
    QToolButton* m_forward;
    QToolButton* m_home;
};
