#pragma once

#include <QDialog>
#include <QVariantMap>

class AddressTableModel;
class addressControl;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

/// The invite sheet: the address book's groups (table tag 11), the people of the chosen group
/// (tag 10, one row per person and address), the invitees (tag 12, editable), the sender's name
/// and address, and the choice of also adding the invitation to a calendar. Window-modal on its
/// parent; it never blocks the event loop.
///
/// "Mail" emits mailRequested() with the invitation parameters and closes the sheet; "Cancel"
/// emits cancelled() and closes it. The invitee list belongs to the address-book controller
/// and outlives the sheet, so the next sheet starts with the same invitees.
///
/// Buttons: "Add" is enabled exactly while people rows are selected, "Remove" exactly while
/// invitee rows are; selecting rows in one of the two tables clears the other's selection. The
/// calendar pop-up is enabled exactly while the tick box is on; without calendars the tick box is
/// disabled.
class InviteSheet : public QDialog
{
    Q_OBJECT

public:
    /// @p calendars are the titles of the calendar application's calendars, in its order.
    InviteSheet(addressControl& control, const QStringList& calendars, QWidget* parent);

    /// The invitation parameters: "theInvitees" (QList<invitee>), "theOrg" and "theEmail" (the
    /// sender fields), "selectedCal" (the pop-up's title, "" without calendars), "iCalTick" and
    /// "ict" (the tick box, bool).
    QVariantMap invitationParameters() const;

    QTableView* groupTable() const { return m_groups; }
    QTableView* peopleTable() const { return m_people; }
    QTableView* inviteeTable() const { return m_invitees; }
    AddressTableModel* inviteeModel() const { return m_inviteeModel; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* addressBookButton() const { return m_addressBook; }
    QPushButton* mailButton() const { return m_mail; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLineEdit* senderName() const { return m_senderName; }
    QLineEdit* senderEmail() const { return m_senderEmail; }
    QCheckBox* calendarTick() const { return m_tick; }
    QComboBox* calendarPopup() const { return m_calendars; }

public Q_SLOTS:
    /// Appends an invitee for every selected people row, in ascending order.
    void addressAdd();
    /// Removes every selected invitee, from the highest row down.
    void addressDelete();
    void mailTickDidChange();
    void mailWindowMail();
    void mailWindowCancel();
    /// Shows the controller's group and people rows again (after the address book was re-read).
    void reloadAddresses();
    /// Fills the sender fields from the user's own card.
    void fillSender();
    /// The user chose another card as their own: the sender fields follow unless the user typed in them.
    void meCardChanged();

Q_SIGNALS:
    void mailRequested(const QVariantMap& parameters);
    void cancelled();
    /// "Address Book…": the owner re-reads the address book and shows the address window.
    void addressBookRequested();

private:
    void groupSelectionChanged();
    void peopleSelectionChanged();
    void inviteeSelectionChanged();
    void updateButtons();

    addressControl& m_control;
    AddressTableModel* m_groupModel;
    AddressTableModel* m_peopleModel;
    AddressTableModel* m_inviteeModel;
    QTableView* m_groups;
    QTableView* m_people;
    QTableView* m_invitees;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_addressBook;
    QPushButton* m_mail;
    QPushButton* m_cancel;
    QLineEdit* m_senderName;
    QLineEdit* m_senderEmail;
    QCheckBox* m_tick;
    QComboBox* m_calendars;
    bool m_mailing = false;
    QString m_filledName;
    QString m_filledEmail;
};
