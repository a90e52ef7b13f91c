#include "InviteFlow.h"

#include "AddressWindow.h"
#include "InviteSheet.h"
#include "addressbook/addressControl.h"

InviteFlow::InviteFlow(addressControl& control, QWidget* window)
    : QObject(window)
    , m_control(control)
    , m_window(window)
{
}

InviteFlow::~InviteFlow()
{
    delete m_addressWindow;
}

InviteSheet* InviteFlow::sheet() const
{
    return m_sheet;
}

AddressWindow* InviteFlow::addressWindow() const
{
    return m_addressWindow;
}

InviteSheet* InviteFlow::showInviteSheet(const QStringList& calendars)
{
    if (m_sheet) {
        m_sheet->raise();
        m_sheet->activateWindow();
        return m_sheet;
    }
    auto* sheet = new InviteSheet(m_control, calendars, m_window);
    m_sheet = sheet;
    connect(sheet, &InviteSheet::mailRequested, this, &InviteFlow::mailRequested);
    connect(sheet, &InviteSheet::cancelled, this, &InviteFlow::cancelled);
    connect(sheet, &InviteSheet::addressBookRequested, this, &InviteFlow::openAddressBook);
    connect(sheet, &QDialog::finished, sheet, &QObject::deleteLater);
    if (m_addressWindow)
        connect(m_addressWindow, &AddressWindow::meCardChanged, sheet, &InviteSheet::meCardChanged);
    sheet->open();
    return sheet;
}

void InviteFlow::openAddressBook()
{
    m_control.setUpAddressess();
    if (m_sheet)
        m_sheet->reloadAddresses();
    if (!m_addressWindow) {
        // A window of its own (not a child of the main window), so that it can stay beside the
        // window-modal sheet; it goes with the flow.
        m_addressWindow = new AddressWindow(m_control);
        m_addressWindow->setAttribute(Qt::WA_QuitOnClose, false); // the main window decides when to quit
        if (m_sheet)
            connect(m_addressWindow, &AddressWindow::meCardChanged, m_sheet, &InviteSheet::meCardChanged);
    } else {
        m_addressWindow->refresh();
    }
    m_addressWindow->show();
    m_addressWindow->raise();
    m_addressWindow->activateWindow();
}
