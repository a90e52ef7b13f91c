#pragma once

#include <QDialog>
#include <QStringList>
#include <QToolButton>

class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

/// The toolbar's customisation dialog: the items the toolbar may show, the items it shows in
/// their order, and how it shows them. Nothing changes until OK.
class ToolbarCustomizeDialog : public QDialog
{
    Q_OBJECT
public:
    ToolbarCustomizeDialog(const QStringList& current, Qt::ToolButtonStyle style, QWidget* parent);

    QStringList chosenItems() const;
    Qt::ToolButtonStyle chosenStyle() const;

    // The controls, for tests.
    QListWidget* availableList() const { return m_available; }
    QListWidget* toolbarList() const { return m_chosen; }

public Q_SLOTS:
    void addSelected();
    void removeSelected();
    void moveUp();
    void moveDown();
    void restoreDefaults();

private:
    QListWidgetItem* makeItem(const QString& identifier) const;
    void setChosen(const QStringList& identifiers);
    void updateButtons();

    QListWidget* m_available;
    QListWidget* m_chosen;
    QComboBox* m_style;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
};
