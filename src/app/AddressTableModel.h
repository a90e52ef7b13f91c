#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

class addressControl;

/// One of the invite sheet's address tables over the address-book controller, told apart by
/// its tag: 10 the people rows, 11 the group rows, 12 the invitees. Each column has an
/// identifier, the name of the record field it shows ("theName", "theGroup", "inviteeName",
/// ...); the header answers it under Qt::UserRole. Only invitee cells are editable: an edit
/// goes through the invitee's setter for the column's field.
///
/// The model reads the controller's lists on every call; after the controller changed a list,
/// reload() tells the views.
class AddressTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Tag { People = 10, Groups = 11, Invitees = 12 };
    struct Column
    {
        QString identifier;
        QString title;
    };

    AddressTableModel(addressControl& control, Tag tag, const QList<Column>& columns, QObject* parent = nullptr);

    Tag tag() const { return m_tag; }
    QString identifierOfColumn(int column) const { return m_columns.value(column).identifier; }
    int columnOfIdentifier(const QString& identifier) const;
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
    addressControl& m_control;
    Tag m_tag;
    QList<Column> m_columns;
};
