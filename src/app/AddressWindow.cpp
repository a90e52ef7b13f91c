#include "AddressWindow.h"

#include "addressbook/addressControl.h"

#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
template <typename W>
W* described(W* w, const QString& objectName, const QString& label, const QString& tip)
{
    w->setObjectName(objectName);
    w->setAccessibleName(label);
    w->setToolTip(tip);
    w->setAccessibleDescription(tip);
    return w;
}

QString displayName(const addressPerson& p)
{
    const QString name = QStringList {p.firstName, p.lastName}.join(QLatin1Char(' ')).trimmed();
    return name.isEmpty() ? p.organisation : name;
}
} // namespace

AddressWindow::AddressWindow(addressControl& control, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_control(control)
{
    setObjectName(QStringLiteral("addressWindow"));
    setWindowTitle(QStringLiteral("Address Book"));
    setAccessibleName(windowTitle());

    auto* heading = new QLabel(QStringLiteral("People"));
    m_people = described(new QTableWidget(0, 4), "addressPeople", "People",
                         "Every card of your address books; your own card is marked");
    heading->setBuddy(m_people);
    m_people->setHorizontalHeaderLabels({"Name", "E-mail", "Groups", "Identifier"});
    m_people->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_people->setSelectionMode(QAbstractItemView::SingleSelection);
    m_people->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_people->verticalHeader()->hide();
    m_people->horizontalHeader()->setStretchLastSection(true);
    m_people->setColumnHidden(3, true);

    m_me = described(new QPushButton(QStringLiteral("This is me")), "thisIsMeButton", "This is me",
                     "Use the selected card as your own: its name and address become the sender of invitations");
    m_status = described(new QLabel, "addressStatus", "Status", "What was read from your address books");
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_me);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_people, 1);
    layout->addLayout(bottom);
    resize(640, 420);

    connect(m_me, &QPushButton::clicked, this, &AddressWindow::thisIsMe);
    connect(m_people, &QTableWidget::itemSelectionChanged, this, &AddressWindow::updateButtons);
    refresh();
}

void AddressWindow::refresh()
{
    const addressBook& book = m_control.getTheAddressBook();
    QHash<QString, QStringList> groupsOf;
    for (const addressBookGroup& g : book.groups()) {
        for (const addressPerson& member : book.members(g))
            groupsOf[member.uid] << g.name;
    }
    const addressPerson* me = m_control.getMyEntry();
    m_people->clearContents();
    m_people->setRowCount(int(book.people().size()));
    for (int row = 0; row < book.people().size(); ++row) {
        const addressPerson& p = book.people().at(row);
        QStringList addresses;
        for (const addressEmail& e : p.emails)
            addresses << e.address;
        const bool isMe = me && me->uid == p.uid;
        const QStringList cells {isMe ? displayName(p) + QStringLiteral(" (me)") : displayName(p),
                                 addresses.join(QStringLiteral(", ")), groupsOf.value(p.uid).join(QStringLiteral(", ")),
                                 p.uid};
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells.at(column));
            if (isMe) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            m_people->setItem(row, column, item);
        }
    }
    m_people->resizeColumnToContents(0);
    m_status->setText(m_control.statusText());
    const QString full = book.problemText(50, true);
    const QString tip = full.isEmpty() ? QStringLiteral("What was read from your address books") : full;
    m_status->setToolTip(tip);
    m_status->setAccessibleDescription(tip);
    updateButtons();
}

void AddressWindow::thisIsMe()
{
    const QList<QTableWidgetItem*> selected = m_people->selectedItems();
    if (selected.isEmpty())
        return;
    const QTableWidgetItem* id = m_people->item(selected.first()->row(), 3);
    if (!id)
        return;
    m_control.setMeCard(id->text());
    refresh();
    Q_EMIT meCardChanged();
}

void AddressWindow::updateButtons()
{
    m_me->setEnabled(!m_people->selectedItems().isEmpty());
}
