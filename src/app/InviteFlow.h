#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class AddressWindow;
class InviteSheet;
class addressControl;
class QWidget;

/// The window's side of invitations: one address window and the invite sheet of the moment,
/// over the program's address-book controller (whose invitee list outlives every sheet).
/// AppControl makes one at start-up and forwards its invite-sheet actions here.
class InviteFlow : public QObject
{
    Q_OBJECT

public:
    /// @p window is the main window the sheets open on (may be null in tests).
    InviteFlow(addressControl& control, QWidget* window);
    ~InviteFlow() override;

    /// Opens a new invite sheet on the window, its sender fields filled from the user's own card
    /// and its pop-up with @p calendars (the calendar application's titles). A sheet already
    /// open is brought forward instead.
    InviteSheet* showInviteSheet(const QStringList& calendars);
    /// Re-reads the address book, shows the new rows in the open sheet and brings the address
    /// window forward.
    void openAddressBook();

    /// The sheet open now, or null.
    InviteSheet* sheet() const;
    /// The address window once opened, or null.
    AddressWindow* addressWindow() const;

Q_SIGNALS:
    /// "Mail" on the sheet (the sheet has closed): the invitation parameters for the mail bridge.
    void mailRequested(const QVariantMap& parameters);
    /// "Cancel" on the sheet (the sheet has closed).
    void cancelled();

private:
    addressControl& m_control;
    QPointer<QWidget> m_window;
    QPointer<InviteSheet> m_sheet;
    QPointer<AddressWindow> m_addressWindow;
};
