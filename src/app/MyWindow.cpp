#include "MyWindow.h"

#include "AppControl.h"
#include "MyTableView.h"

#include <QCloseEvent>
#include <QKeyEvent>

MyWindow::MyWindow(AppControl* control)
    : theControl(control)
{
    setWindowTitle(QStringLiteral("Tidewell"));
    setAcceptDrops(true);
}

void MyWindow::keyPressEvent(QKeyEvent* event)
{
    if (!theTable || theTable->model() == nullptr || theTable->model()->rowCount() == 0) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        theControl->deleteEntry();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        theControl->createEntry();
        break;
    default:
        break;
    }
    event->accept();
}

void MyWindow::dragEnterEvent(QDragEnterEvent* event)
{
    theControl->draggingEntered(event);
}

void MyWindow::dragMoveEvent(QDragMoveEvent* event)
{
    theControl->draggingUpdated(event);
}

void MyWindow::dragLeaveEvent(QDragLeaveEvent* event)
{
    theControl->draggingExited();
    event->accept();
}

void MyWindow::dropEvent(QDropEvent* event)
{
    theControl->performDragOperation(event);
}

void MyWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        theControl->windowWillClose();
}
