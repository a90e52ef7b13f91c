#include "CalDavAccountsDialog.h"

#include "Dialogs.h"
#include "bridges/caldavCalendars.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
/// The label is what assistive technology reads for the control, the tooltip its description.
void describe(QWidget* control, const QString& label, const QString& tip)
{
    control->setAccessibleName(label);
    control->setToolTip(tip);
    control->setAccessibleDescription(tip);
}

QString entryText(const caldav::Account& a)
{
    return QStringLiteral("%1 (%2 at %3)").arg(a.name, a.user, a.url.toDisplayString());
}
} // namespace

CalDavAccountsDialog::CalDavAccountsDialog(QWidget* parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
    , m_name(new QLineEdit(this))
    , m_server(new QLineEdit(this))
    , m_user(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_add(new QPushButton(QStringLiteral("Add"), this))
    , m_remove(new QPushButton(QStringLiteral("Remove"), this))
    , m_close(new QPushButton(QStringLiteral("Close"), this))
    , m_status(new QLabel(this))
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("CalDAV Accounts"));
    setAccessibleName(windowTitle());

    auto* listLabel = new QLabel(QStringLiteral("Accounts"), this);
    listLabel->setBuddy(m_list);
    describe(m_list, listLabel->text(),
             QStringLiteral("The accounts whose calendars the calendar pop-up lists after the calendar "
                            "application's"));
    describe(m_remove, m_remove->text(), QStringLiteral("Remove the selected account and its password"));
    m_remove->setAutoDefault(false);

    auto* group = new QGroupBox(QStringLiteral("New account"), this);
    group->setAccessibleName(group->title());
    auto* form = new QFormLayout(group);
    const struct
    {
        QLineEdit* field;
        const char* label;
        const char* tip;
    } fields[] = {
        {m_name, "Name", "How the account is called; calendars of the same name in two accounts are told apart by it"},
        {m_server, "Server", "The server's address, such as https://cal.example.org (https:// when none is given)"},
        {m_user, "User name", "Your user name on the server"},
        {m_password, "Password",
         "Kept in the desktop's password store; where there is none, only until Tidewell quits"},
    };
    for (const auto& f : fields) {
        auto* label = new QLabel(QString::fromUtf8(f.label), group);
        label->setBuddy(f.field);
        describe(f.field, label->text(), QString::fromUtf8(f.tip));
        form->addRow(label, f.field);
    }
    m_password->setEchoMode(QLineEdit::Password);
    describe(m_add, m_add->text(), QStringLiteral("Find the account's calendars with this password, then add it"));
    m_add->setAutoDefault(false);
    form->addRow(QString(), m_add);

    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    describe(m_close, m_close->text(), QStringLiteral("Close the accounts"));

    auto* listButtons = new QHBoxLayout;
    listButtons->addStretch();
    listButtons->addWidget(m_remove);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(listLabel);
    layout->addWidget(m_list);
    layout->addLayout(listButtons);
    layout->addWidget(group);
    layout->addWidget(m_status);
    layout->addLayout(closeRow);
    setMinimumWidth(460);

    connect(m_add, &QPushButton::clicked, this, &CalDavAccountsDialog::addAccount);
    connect(m_remove, &QPushButton::clicked, this, &CalDavAccountsDialog::removeAccount);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(!m_list->selectedItems().isEmpty()); });
    fillList();
}

CalDavAccountsDialog::~CalDavAccountsDialog() = default;

void CalDavAccountsDialog::fillList()
{
    m_list->clear();
    for (const caldav::Account& a : caldav::Accounts::load()) {
        auto* item = new QListWidgetItem(entryText(a), m_list);
        item->setData(Qt::UserRole, a.name);
    }
    m_remove->setEnabled(false);
}

void CalDavAccountsDialog::setBusy(bool busy)
{
    for (QWidget* w : std::initializer_list<QWidget*> {m_name, m_server, m_user, m_password, m_add})
        w->setEnabled(!busy);
}

void CalDavAccountsDialog::setStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setAccessibleName(text);
}

void CalDavAccountsDialog::addAccount()
{
    const QList<caldav::Account> accounts = caldav::Accounts::load();
    QString why = caldav::Accounts::nameProblem(m_name->text(), accounts);
    std::optional<QUrl> url;
    if (why.isEmpty())
        url = caldav::Accounts::serverUrl(m_server->text(), &why);
    if (why.isEmpty() && m_user->text().isEmpty())
        why = QStringLiteral("the account needs your user name on the server");
    if (why.isEmpty() && m_password->text().isEmpty())
        why = QStringLiteral("the account needs its password");
    if (!why.isEmpty()) {
        Dialogs::message(this, QStringLiteral("Error!"), why.left(1).toUpper() + why.mid(1) + QLatin1Char('.'));
        return;
    }
    const caldav::Account account {m_name->text().trimmed(), *url, m_user->text()};
    const QString password = m_password->text();
    setBusy(true);
    setStatus(QStringLiteral("Looking for the calendars of %1…").arg(account.name));
    m_check = std::make_unique<caldav::Connection>(account.user, password);
    QPointer<CalDavAccountsDialog> self(this);
    caldav::discover(
        *m_check, account.name, account.url,
        [self, account, password](QList<caldav::Calendar> calendars, QString error) {
            if (!self)
                return;
            self->setBusy(false);
            if (!error.isEmpty()) {
                self->setStatus(QString());
                Dialogs::message(self, QStringLiteral("Error!"),
                                 QStringLiteral("The account %1 was not added: %2.").arg(account.name, error));
                return;
            }
            caldav::Accounts::save(caldav::Accounts::load() << account);
            QStringList names;
            for (const caldav::Calendar& c : calendars)
                names << (c.displayName.isEmpty() ? c.url.toDisplayString() : c.displayName);
            names.sort(Qt::CaseInsensitive);
            self->setStatus(names.isEmpty()
                                ? QStringLiteral("%1 was added; it has no calendar for events.").arg(account.name)
                                : QStringLiteral("%1 was added with its calendars %2.")
                                      .arg(account.name, names.join(QStringLiteral(", "))));
            for (QLineEdit* f : {self->m_name, self->m_server, self->m_user, self->m_password})
                f->clear();
            self->fillList();
            caldav::Passwords::store(account, password, [self](bool kept, QString why) {
                if (!kept && self) {
                    Dialogs::message(self, QStringLiteral("Warning!"),
                                     QStringLiteral("The password could not be kept in the desktop's "
                                                    "password store (%1). Tidewell keeps it until it "
                                                    "quits and asks for it once at each start.")
                                         .arg(why));
                }
                caldav::Calendars::instance().refresh();
                if (self)
                    Q_EMIT self->accountsChanged();
            });
        });
}

void CalDavAccountsDialog::removeAccount()
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    const QString name = selected.first()->data(Qt::UserRole).toString();
    QPointer<CalDavAccountsDialog> self(this);
    Dialogs::ask(this, QStringLiteral("Warning!"),
                 QStringLiteral("Remove the account %1? Its calendars leave the calendar pop-up and its password "
                                "leaves the desktop's password store; nothing on the server changes.")
                     .arg(name),
                 {QStringLiteral("Remove"), QStringLiteral("Cancel")}, [self, name](int answer) {
                     if (answer != 0 || !self)
                         return;
                     QList<caldav::Account> accounts = caldav::Accounts::load();
                     std::optional<caldav::Account> gone;
                     for (qsizetype i = 0; i < accounts.size(); ++i) {
                         if (accounts.at(i).name == name)
                             gone = accounts.takeAt(i);
                     }
                     if (!gone)
                         return;
                     caldav::Accounts::save(accounts);
                     self->fillList();
                     self->setStatus(QStringLiteral("%1 was removed.").arg(name));
                     caldav::Passwords::remove(*gone, [self](bool, QString) {
                         caldav::Calendars::instance().refresh();
                         if (self)
                             Q_EMIT self->accountsChanged();
                     });
                 });
}
