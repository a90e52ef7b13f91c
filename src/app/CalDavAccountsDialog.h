#pragma once

#include "bridges/caldavAccounts.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace caldav
{
class Connection;
}

/// The CalDAV accounts (Preferences): the list with "Remove", and a new account's name, server,
/// user name and password with "Add". An account is added only once its calendars were found
/// with that password; the password goes to the desktop's password store (where there is none,
/// it is kept for the run and asked again at the next one). Every change finds the calendars of
/// the calendar pop-up again. Window-modal; never waits.
class CalDavAccountsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CalDavAccountsDialog(QWidget* parent);
    ~CalDavAccountsDialog() override;

    QListWidget* accountList() const { return m_list; }
    QLineEdit* nameField() const { return m_name; }
    QLineEdit* serverField() const { return m_server; }
    QLineEdit* userField() const { return m_user; }
    QLineEdit* passwordField() const { return m_password; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    /// What the last check found or why it failed.
    QLabel* statusLabel() const { return m_status; }

Q_SIGNALS:
    /// An account was added or removed (after its password was stored or removed).
    void accountsChanged();

private:
    void fillList();
    void addAccount();
    void removeAccount();
    void setBusy(bool busy);
    void setStatus(const QString& text);

    QListWidget* m_list;
    QLineEdit* m_name;
    QLineEdit* m_server;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_close;
    QLabel* m_status;
    std::unique_ptr<caldav::Connection> m_check;
};
