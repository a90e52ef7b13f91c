#pragma once

#include <QWidget>

class addressControl;
class QLabel;
class QPushButton;
class QTableWidget;

/// The address window: every person of the address book with their e-mail addresses and
/// groups, the user's own card marked, "This is me" to choose that card, and a status line that
/// counts people and groups and says what could not be read ("2 cards could not be read: ...").
///
/// It shows the controller's book as it was last read; refresh() shows it again (the owner
/// re-reads the book first, see addressControl::setUpAddressess()).
class AddressWindow : public QWidget
{
    Q_OBJECT

public:
    explicit AddressWindow(addressControl& control, QWidget* parent = nullptr);

    void refresh();

    QTableWidget* peopleTable() const { return m_people; }
    QPushButton* thisIsMeButton() const { return m_me; }
    QLabel* statusLine() const { return m_status; }

public Q_SLOTS:
    /// Marks the selected person as the user.
    void thisIsMe();

Q_SIGNALS:
    /// The user's own card changed; the invite sheet refills its sender fields.
    void meCardChanged();

private:
    void updateButtons();

    addressControl& m_control;
    QTableWidget* m_people;
    QPushButton* m_me;
    QLabel* m_status;
};
