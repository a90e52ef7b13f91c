// The repeat drawer: a dock beside the entry table, opened and closed by its toolbar item.
#include "AppControl.h"
#include "MyWindow.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>

namespace
{
const QString kOpen = QStringLiteral("Open drawer");
const QString kClose = QStringLiteral("Close drawer");
} // namespace

void AppControl::buildDrawer()
{
    theDrawer = new QDockWidget(QStringLiteral("Repeat"), theWindow);
    theDrawer->setObjectName(QStringLiteral("theDrawer"));
    theDrawer->setAccessibleName(QStringLiteral("Repeat"));
    theDrawer->setFeatures(QDockWidget::NoDockWidgetFeatures);
    theDrawer->setAllowedAreas(Qt::RightDockWidgetArea);
    theDrawer->setMinimumWidth(280);
    // Until the repeat editor is installed (setDrawerContent), the drawer says what it is for.
    auto* placeholder = new QLabel(QStringLiteral("Select one appointment to set how it repeats."));
    placeholder->setWordWrap(true);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setMargin(12);
    theDrawer->setWidget(placeholder);
    theWindow->addDockWidget(Qt::RightDockWidgetArea, theDrawer);
    theDrawer->hide();
}

void AppControl::setDrawerContent(QWidget* content)
{
    QWidget* old = theDrawer->widget();
    theDrawer->setWidget(content);
    if (old != content)
        delete old;
}

QWidget* AppControl::drawerContent() const
{
    return theDrawer->widget();
}

bool AppControl::isDrawerOpen() const
{
    return toolbarDrawer->text() == kClose;
}

void AppControl::openDrawer()
{
    setDrawerOpen(toolbarDrawer->text() == kOpen);
    measureToolbar();
}

void AppControl::setDrawerOpen(bool open)
{
    toolbarDrawer->setText(open ? kClose : kOpen);
    syncAccessibility(toolbarDrawer);
    if (QAction* item = menuItem(MenuItem::Drawer))
        item->setText(toolbarDrawer->text());
    theDrawer->setVisible(open);
    if (open)
        drawerDidOpen();
}

void AppControl::drawerDidOpen()
{
    updateRRULEDrawer(1);
}
