#pragma once

#include <QMainWindow>

class AppControl;
class MyTableView;

/// The main window, titled "Tidewell". Drags and drops over any part of it go to the controller;
/// so do its keys: while the entry table has rows, Delete and Backspace delete the selected
/// entries and Return adds one, and every other key that reaches the window is swallowed.
class MyWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MyWindow(AppControl* control);

    AppControl* theControl;
    MyTableView* theTable = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
