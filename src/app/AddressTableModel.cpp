#include "AddressTableModel.h"

#include "addressbook/addressControl.h"

AddressTableModel::AddressTableModel(addressControl& control, Tag tag, const QList<Column>& columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_control(control)
    , m_tag(tag)
    , m_columns(columns)
{
}

int AddressTableModel::columnOfIdentifier(const QString& identifier) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).identifier == identifier)
            return i;
    }
    return -1;
}

void AddressTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

int AddressTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    switch (m_tag) {
    case People:
        return int(m_control.getTheAddresses().size());
    case Groups:
        return int(m_control.getAddressGroupsArray().size());
    case Invitees:
        return int(m_control.getTheInvitees().size());
    }
    return 0;
}

int AddressTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant AddressTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
        return {};
    const QString key = identifierOfColumn(index.column());
    const int row = index.row();
    switch (m_tag) {
    case People:
        if (row < m_control.getTheAddresses().size())
            return addressControl::valueForKey(m_control.getTheAddresses().at(row), key);
        break;
    case Groups:
        if (row < m_control.getAddressGroupsArray().size())
            return addressControl::valueForKey(m_control.getAddressGroupsArray().at(row), key);
        break;
    case Invitees:
        if (row < m_control.getTheInvitees().size())
            return addressControl::valueForKey(m_control.getTheInvitees().at(row), key);
        break;
    }
    return {};
}

QVariant AddressTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns.at(section).title;
    if (role == Qt::UserRole)
        return m_columns.at(section).identifier;
    return {};
}

Qt::ItemFlags AddressTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_tag == Invitees)
        f |= Qt::ItemIsEditable;
    return f;
}

bool AddressTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    // Edits in the people and group tables are ignored.
    if (m_tag != Invitees || role != Qt::EditRole || !index.isValid())
        return false;
    if (!m_control.setInviteeValue(index.row(), identifierOfColumn(index.column()), value.toString()))
        return false;
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}
