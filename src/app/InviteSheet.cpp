#include "InviteSheet.h"

#include "AddressTableModel.h"
#include "addressbook/addressControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace
{
// Assistive technology reads a control's visible label as its name and its tooltip as its
// description.
template <typename W>
W* described(W* w, const QString& objectName, const QString& label, const QString& tip)
{
    w->setObjectName(objectName);
    w->setAccessibleName(label);
    w->setToolTip(tip);
    w->setAccessibleDescription(tip);
    return w;
}

QTableView* table(AddressTableModel* model, const QString& objectName, const QString& label, const QString& tip,
                  QAbstractItemView::SelectionMode mode)
{
    auto* view = described(new QTableView, objectName, label, tip);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(mode);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    view->setShowGrid(false);
    view->setAlternatingRowColors(true);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

QList<int> selectedRows(const QTableView* view)
{
    QList<int> rows;
    for (const QModelIndex& i : view->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QLabel* heading(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}
} // namespace

InviteSheet::InviteSheet(addressControl& control, const QStringList& calendars, QWidget* parent)
    : QDialog(parent)
    , m_control(control)
{
    setObjectName(QStringLiteral("inviteSheet"));
    setWindowTitle(QStringLiteral("Send Invitation"));
    setAccessibleName(windowTitle());
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);

    m_groupModel = new AddressTableModel(control, AddressTableModel::Groups, {{"theGroup", "Group"}}, this);
    m_peopleModel = new AddressTableModel(control, AddressTableModel::People,
                                          {{"theName", "Name"}, {"theEmailAddress", "E-mail"}}, this);
    m_inviteeModel = new AddressTableModel(
        control, AddressTableModel::Invitees,
        {{"theRealName", "Name"}, {"inviteeEmailAddress", "E-mail"}, {"inviteeName", "Address book entry"}}, this);

    m_groups = table(m_groupModel, "groupTable", "Groups", "Groups of the address book; All shows everybody",
                     QAbstractItemView::SingleSelection);
    m_people
        = table(m_peopleModel, "peopleTable", "People", "The people of the chosen group, one row per e-mail address",
                QAbstractItemView::ExtendedSelection);
    m_invitees = table(m_inviteeModel, "inviteeTable", "Invitees",
                       "The people the invitation goes to; double-click a cell to change it",
                       QAbstractItemView::ExtendedSelection);
    m_invitees->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                | QAbstractItemView::SelectedClicked);

    m_add = described(new QPushButton(QStringLiteral("Add")), "addButton", "Add",
                      "Add the selected people to the invitees");
    m_remove = described(new QPushButton(QStringLiteral("Remove")), "removeButton", "Remove",
                         "Remove the selected invitees");
    m_addressBook = described(new QPushButton(QStringLiteral("Address Book…")), "addressBookButton", "Address Book…",
                              "Read the address book again and show it");
    m_mail = described(new QPushButton(QStringLiteral("Mail")), "mailButton", "Mail",
                       "Write the invitation and hand it to your mail program");
    m_cancel = described(new QPushButton(QStringLiteral("Cancel")), "cancelButton", "Cancel",
                         "Close without sending anything");
    m_mail->setDefault(true);
    m_add->setAutoDefault(false);
    m_remove->setAutoDefault(false);
    m_addressBook->setAutoDefault(false);

    m_senderName = described(new QLineEdit, "senderName", "Your name", "The organiser's name in the invitation");
    m_senderEmail
        = described(new QLineEdit, "senderEmail", "Your e-mail", "The organiser's e-mail address in the invitation");
    m_tick = described(new QCheckBox(QStringLiteral("Also add to calendar")), "calendarTick", "Also add to calendar",
                       "Also add the invitation to one of your calendars");
    m_calendars = described(new QComboBox, "calendarPopup", "Calendar", "The calendar the invitation is added to");
    m_calendars->addItems(calendars);
    m_tick->setEnabled(!calendars.isEmpty());
    m_calendars->setEnabled(false);

    auto* tables = new QGridLayout;
    tables->addWidget(heading(QStringLiteral("Groups"), m_groups), 0, 0);
    tables->addWidget(heading(QStringLiteral("People"), m_people), 0, 1);
    tables->addWidget(heading(QStringLiteral("Invitees"), m_invitees), 0, 3);
    tables->addWidget(m_groups, 1, 0);
    tables->addWidget(m_people, 1, 1);
    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(m_add);
    moves->addWidget(m_remove);
    moves->addStretch();
    tables->addLayout(moves, 1, 2);
    tables->addWidget(m_invitees, 1, 3);
    tables->addWidget(m_addressBook, 2, 0);
    tables->setColumnStretch(0, 1);
    tables->setColumnStretch(1, 3);
    tables->setColumnStretch(3, 3);

    auto* sender = new QGridLayout;
    sender->addWidget(heading(QStringLiteral("Your name"), m_senderName), 0, 0);
    sender->addWidget(m_senderName, 0, 1);
    sender->addWidget(heading(QStringLiteral("Your e-mail"), m_senderEmail), 0, 2);
    sender->addWidget(m_senderEmail, 0, 3);
    sender->addWidget(m_tick, 1, 0, 1, 2);
    sender->addWidget(m_calendars, 1, 2, 1, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_mail);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tables, 1);
    layout->addLayout(sender);
    layout->addLayout(buttons);
    resize(900, 480);

    connect(m_groups->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &InviteSheet::groupSelectionChanged);
    connect(m_people->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &InviteSheet::peopleSelectionChanged);
    connect(m_invitees->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &InviteSheet::inviteeSelectionChanged);
    connect(m_add, &QPushButton::clicked, this, &InviteSheet::addressAdd);
    connect(m_remove, &QPushButton::clicked, this, &InviteSheet::addressDelete);
    connect(m_addressBook, &QPushButton::clicked, this, &InviteSheet::addressBookRequested);
    connect(m_tick, &QCheckBox::toggled, this, &InviteSheet::mailTickDidChange);
    connect(m_mail, &QPushButton::clicked, this, &InviteSheet::mailWindowMail);
    connect(m_cancel, &QPushButton::clicked, this, &InviteSheet::mailWindowCancel);
    // Escape and the window's close button are "Cancel".
    connect(this, &QDialog::rejected, this, [this] {
        if (!m_mailing)
            Q_EMIT cancelled();
    });

    fillSender();
    // The sheet opens on everybody, whatever group an earlier sheet showed.
    m_groups->selectRow(0);
    updateButtons();
}

QVariantMap InviteSheet::invitationParameters() const
{
    const bool tick = m_tick->isEnabled() && m_tick->isChecked();
    return {{QStringLiteral("theInvitees"), QVariant::fromValue(m_control.getTheInvitees())},
            {QStringLiteral("theOrg"), m_senderName->text()},
            {QStringLiteral("theEmail"), m_senderEmail->text()},
            {QStringLiteral("selectedCal"), m_calendars->currentText()},
            {QStringLiteral("iCalTick"), tick},
            {QStringLiteral("ict"), tick}};
}

void InviteSheet::addressAdd()
{
    m_control.addAddressesToInvitees(selectedRows(m_people));
    m_inviteeModel->reload();
    updateButtons();
}

void InviteSheet::addressDelete()
{
    m_control.removeInvitees(selectedRows(m_invitees));
    m_inviteeModel->reload();
    updateButtons();
}

void InviteSheet::mailTickDidChange()
{
    m_calendars->setEnabled(m_tick->isEnabled() && m_tick->isChecked());
}

void InviteSheet::mailWindowMail()
{
    // A click on "Mail" takes the focus from a cell being edited, which stores the edit first.
    const QVariantMap parameters = invitationParameters();
    m_mailing = true;
    accept();
    Q_EMIT mailRequested(parameters);
}

void InviteSheet::mailWindowCancel()
{
    reject();
}

void InviteSheet::reloadAddresses()
{
    m_groupModel->reload();
    m_peopleModel->reload();
    m_groups->selectRow(0); // the re-read book shows everybody
    updateButtons();
}

void InviteSheet::fillSender()
{
    m_filledName = m_control.getFullMeName();
    m_filledEmail = m_control.getPrimaryEmailAddressOfMe();
    m_senderName->setText(m_filledName);
    m_senderEmail->setText(m_filledEmail);
}

void InviteSheet::meCardChanged()
{
    if (m_senderName->text() == m_filledName && m_senderEmail->text() == m_filledEmail)
        fillSender();
}

void InviteSheet::groupSelectionChanged()
{
    const QList<int> rows = selectedRows(m_groups);
    for (int row : rows) {
        if (row == 0)
            m_control.displayAllAddresses();
        else
            m_control.displayGroupAddress(row);
    }
    m_peopleModel->reload();
    updateButtons();
}

void InviteSheet::peopleSelectionChanged()
{
    if (m_people->selectionModel()->hasSelection())
        m_invitees->clearSelection();
    updateButtons();
}

void InviteSheet::inviteeSelectionChanged()
{
    if (m_invitees->selectionModel()->hasSelection())
        m_people->clearSelection();
    updateButtons();
}

void InviteSheet::updateButtons()
{
    m_add->setEnabled(m_people->selectionModel()->hasSelection());
    m_remove->setEnabled(m_invitees->selectionModel()->hasSelection());
}
