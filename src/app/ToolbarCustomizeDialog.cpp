#include "ToolbarCustomizeDialog.h"

#include "Icons.h"
#include "ToolbarItems.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
constexpr int kIdentifierRole = Qt::UserRole;

QPushButton* button(const QString& label, const QString& tip)
{
    auto* b = new QPushButton(label);
    b->setToolTip(tip);
    b->setAccessibleName(QString(label).remove(QLatin1Char('&')));
    b->setAccessibleDescription(tip);
    return b;
}
} // namespace

ToolbarCustomizeDialog::ToolbarCustomizeDialog(const QStringList& current, Qt::ToolButtonStyle style, QWidget* parent)
    : QDialog(parent)
    , m_available(new QListWidget)
    , m_chosen(new QListWidget)
    , m_style(new QComboBox)
    , m_add(button(QStringLiteral("&Add"), QStringLiteral("Put the chosen items into the toolbar")))
    , m_remove(button(QStringLiteral("&Remove"), QStringLiteral("Take the chosen items out of the toolbar")))
    , m_up(button(QStringLiteral("Move &Up"), QStringLiteral("Move the chosen item to the left")))
    , m_down(button(QStringLiteral("Move &Down"), QStringLiteral("Move the chosen item to the right")))
{
    setWindowTitle(QStringLiteral("Customize Toolbar"));
    setAccessibleName(windowTitle());

    for (const QString& id : ToolbarItems::allowedIdentifiers())
        m_available->addItem(makeItem(id));
    m_available->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_available->setToolTip(QStringLiteral("Items the toolbar can show"));
    m_available->setAccessibleName(QStringLiteral("Available items"));
    m_available->setAccessibleDescription(m_available->toolTip());
    m_chosen->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_chosen->setDragDropMode(QAbstractItemView::InternalMove);
    m_chosen->setToolTip(QStringLiteral("Items the toolbar shows, from left to right"));
    m_chosen->setAccessibleName(QStringLiteral("Toolbar items"));
    m_chosen->setAccessibleDescription(m_chosen->toolTip());
    setChosen(current);

    m_style->addItem(QStringLiteral("Icon and Label"), int(Qt::ToolButtonTextUnderIcon));
    m_style->addItem(QStringLiteral("Icon Only"), int(Qt::ToolButtonIconOnly));
    m_style->addItem(QStringLiteral("Label Only"), int(Qt::ToolButtonTextOnly));
    m_style->setCurrentIndex(std::max(0, m_style->findData(int(style))));
    m_style->setToolTip(QStringLiteral("How the toolbar shows its items"));
    m_style->setAccessibleName(QStringLiteral("Show"));
    m_style->setAccessibleDescription(m_style->toolTip());

    auto* availableLabel = new QLabel(QStringLiteral("A&vailable items"));
    availableLabel->setBuddy(m_available);
    auto* chosenLabel = new QLabel(QStringLiteral("&Toolbar items"));
    chosenLabel->setBuddy(m_chosen);
    auto* styleLabel = new QLabel(QStringLiteral("&Show"));
    styleLabel->setBuddy(m_style);
    QPushButton* defaults
        = button(QStringLiteral("Restore De&faults"), QStringLiteral("Show the original set of items"));

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(m_add);
    middle->addWidget(m_remove);
    middle->addSpacing(12);
    middle->addWidget(m_up);
    middle->addWidget(m_down);
    middle->addStretch();

    auto* grid = new QGridLayout;
    grid->addWidget(availableLabel, 0, 0);
    grid->addWidget(chosenLabel, 0, 2);
    grid->addWidget(m_available, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(m_chosen, 1, 2);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(styleLabel);
    bottom->addWidget(m_style);
    bottom->addStretch();
    bottom->addWidget(defaults);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    for (QAbstractButton* b : buttons->buttons())
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->addWidget(buttons);

    connect(m_add, &QPushButton::clicked, this, &ToolbarCustomizeDialog::addSelected);
    connect(m_remove, &QPushButton::clicked, this, &ToolbarCustomizeDialog::removeSelected);
    connect(m_up, &QPushButton::clicked, this, &ToolbarCustomizeDialog::moveUp);
    connect(m_down, &QPushButton::clicked, this, &ToolbarCustomizeDialog::moveDown);
    connect(defaults, &QPushButton::clicked, this, &ToolbarCustomizeDialog::restoreDefaults);
    connect(m_available, &QListWidget::itemSelectionChanged, this, &ToolbarCustomizeDialog::updateButtons);
    connect(m_chosen, &QListWidget::itemSelectionChanged, this, &ToolbarCustomizeDialog::updateButtons);
    connect(m_available, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizeDialog::addSelected);
    connect(m_chosen, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizeDialog::removeSelected);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateButtons();
}

QListWidgetItem* ToolbarCustomizeDialog::makeItem(const QString& identifier) const
{
    const ToolbarItemText text = ToolbarItems::text(identifier);
    auto* item = new QListWidgetItem(Icons::named(text.image), text.paletteLabel);
    item->setData(kIdentifierRole, identifier);
    item->setToolTip(text.toolTip);
    return item;
}

void ToolbarCustomizeDialog::setChosen(const QStringList& identifiers)
{
    m_chosen->clear();
    for (const QString& id : ToolbarItems::sanitised(identifiers))
        m_chosen->addItem(makeItem(id));
    updateButtons();
}

QStringList ToolbarCustomizeDialog::chosenItems() const
{
    QStringList ids;
    for (int i = 0; i < m_chosen->count(); ++i)
        ids << m_chosen->item(i)->data(kIdentifierRole).toString();
    return ids;
}

Qt::ToolButtonStyle ToolbarCustomizeDialog::chosenStyle() const
{
    return Qt::ToolButtonStyle(m_style->currentData().toInt());
}

void ToolbarCustomizeDialog::addSelected()
{
    QStringList ids = chosenItems();
    int insertAt = m_chosen->currentRow() >= 0 && m_chosen->currentItem()->isSelected() ? m_chosen->currentRow() + 1
                                                                                        : int(ids.size());
    for (QListWidgetItem* item : m_available->selectedItems()) {
        const QString id = item->data(kIdentifierRole).toString();
        if (!ToolbarItems::isRepeatable(id) && ids.contains(id))
            continue;
        ids.insert(insertAt++, id);
    }
    setChosen(ids);
}

void ToolbarCustomizeDialog::removeSelected()
{
    for (QListWidgetItem* item : m_chosen->selectedItems())
        delete item;
    updateButtons();
}

void ToolbarCustomizeDialog::moveUp()
{
    const int row = m_chosen->currentRow();
    if (row <= 0)
        return;
    QListWidgetItem* item = m_chosen->takeItem(row);
    m_chosen->insertItem(row - 1, item);
    m_chosen->setCurrentItem(item);
}

void ToolbarCustomizeDialog::moveDown()
{
    const int row = m_chosen->currentRow();
    if (row < 0 || row + 1 >= m_chosen->count())
        return;
    QListWidgetItem* item = m_chosen->takeItem(row);
    m_chosen->insertItem(row + 1, item);
    m_chosen->setCurrentItem(item);
}

void ToolbarCustomizeDialog::restoreDefaults()
{
    setChosen(ToolbarItems::defaultIdentifiers());
}

void ToolbarCustomizeDialog::updateButtons()
{
    const QStringList ids = chosenItems();
    bool canAdd = false;
    for (QListWidgetItem* item : m_available->selectedItems()) {
        const QString id = item->data(kIdentifierRole).toString();
        canAdd = canAdd || ToolbarItems::isRepeatable(id) || !ids.contains(id);
    }
    m_add->setEnabled(canAdd);
    const bool chosen = !m_chosen->selectedItems().isEmpty();
    m_remove->setEnabled(chosen);
    m_up->setEnabled(chosen && m_chosen->currentRow() > 0);
    m_down->setEnabled(chosen && m_chosen->currentRow() + 1 < m_chosen->count());
}
