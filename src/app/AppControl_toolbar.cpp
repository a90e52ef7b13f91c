// The toolbar: its items, their enabled states, the user's arrangement and the calendar pop-up.
#include "AppControl.h"
#include "EntryTableModel.h"
#include "Icons.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "ToolbarCustomizeDialog.h"
#include "ToolbarItems.h"
#include "platform/UserDefaults.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace
{
const QString kItemsKey = QStringLiteral("toolbarItems");
const QString kStyleKey = QStringLiteral("toolbarDisplayMode");
const QString kVisibleKey = QStringLiteral("toolbarVisible");

QString styleName(Qt::ToolButtonStyle style)
{
    switch (style) {
    case Qt::ToolButtonIconOnly:
        return QStringLiteral("iconOnly");
    case Qt::ToolButtonTextOnly:
        return QStringLiteral("labelOnly");
    default:
        return QStringLiteral("iconAndLabel");
    }
}

Qt::ToolButtonStyle styleFromName(const QString& name)
{
    if (name == QLatin1String("iconOnly"))
        return Qt::ToolButtonIconOnly;
    if (name == QLatin1String("labelOnly"))
        return Qt::ToolButtonTextOnly;
    return Qt::ToolButtonTextUnderIcon;
}
} // namespace

void AppControl::buildToolbar()
{
    m_toolbar = new QToolBar(QStringLiteral("Toolbar"), theWindow);
    m_toolbar->setObjectName(MyDocToolbarIdentifier);
    m_toolbar->setAccessibleName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(32, 32));
    m_toolbar->setToolButtonStyle(styleFromName(prefs.string(kStyleKey)));
    theWindow->addToolBar(Qt::TopToolBarArea, m_toolbar);
    // The button that shows the items a narrow window cannot.
    if (auto* more = m_toolbar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"))) {
        more->setToolTip(QStringLiteral("Show the toolbar items that do not fit"));
        more->setAccessibleName(QStringLiteral("More items"));
        more->setAccessibleDescription(more->toolTip());
    }

    using Command = void (AppControl::*)();
    const QHash<QString, Command> commands {
        {ExportToMailIdentifier, &AppControl::exportToMail},
        {ExportToICalIdentifier, &AppControl::exportToICal},
        {ExportToVCalFileIdentifier, &AppControl::exportToVCal},
        {ExportToICalFileIdentifier, &AppControl::exportToFile},
        {DeleteRecord, &AppControl::deleteEntry},
        {AddNewRecord, &AppControl::createEntry},
        {ImportFromClipboardIdentifier, &AppControl::clipBoardImport},
        {ImportFromVCalFileIdentifier, &AppControl::importFromFileVCal},
        {ImportFromICalFileIdentifier, &AppControl::importFromFileICal},
        {ImportFromICalIdentifier, &AppControl::importFromICal},
        {ExportToTabFile, &AppControl::tabOutput},
        {ExportToCommaFile, &AppControl::commaOutput},
        {ExportToTextFile, &AppControl::textOutput},
        {sortData, &AppControl::sortToolbar},
        {TheDrawerIdentifier, &AppControl::openDrawer},
    };
    for (const ToolbarItemText& item : ToolbarItems::all()) {
        if (item.identifier == CalendarPopup)
            continue;
        auto* action = new QAction(Icons::named(item.image), item.label, this);
        action->setObjectName(item.identifier);
        action->setToolTip(item.toolTip);
        action->setStatusTip(item.toolTip);
        connect(action, &QAction::triggered, this, commands.value(item.identifier));
        m_toolbarActions.insert(item.identifier, action);
    }
    const ToolbarItemText customize = ToolbarItems::text(CustomizeToolbarItemIdentifier);
    auto* customizeAction = new QAction(Icons::named(customize.image), customize.label, this);
    customizeAction->setObjectName(CustomizeToolbarItemIdentifier);
    customizeAction->setToolTip(customize.toolTip);
    connect(customizeAction, &QAction::triggered, this, [this] { runToolbarCustomization(); });
    m_toolbarActions.insert(CustomizeToolbarItemIdentifier, customizeAction);
    toolbarDrawer = m_toolbarActions.value(TheDrawerIdentifier);

    // The calendar pop-up is the calendar item's view, with the item's label under it.
    const ToolbarItemText calendar = ToolbarItems::text(CalendarPopup);
    m_calendarItem = new QWidget;
    m_calendarItem->setObjectName(CalendarPopup);
    auto* layout = new QVBoxLayout(m_calendarItem);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(2);
    myCalendars = new QComboBox;
    myCalendars->setObjectName(QStringLiteral("myCalendars"));
    myCalendars->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    myCalendars->setMinimumContentsLength(12);
    myCalendars->setToolTip(calendar.toolTip);
    myCalendars->setAccessibleName(calendar.label);
    myCalendars->setAccessibleDescription(calendar.toolTip);
    auto* label = new QLabel(calendar.label);
    label->setObjectName(QStringLiteral("calendarLabel"));
    label->setAlignment(Qt::AlignHCenter);
    label->setBuddy(myCalendars);
    layout->addStretch();
    layout->addWidget(myCalendars);
    layout->addWidget(label);
    m_calendarAction = new QWidgetAction(this);
    m_calendarAction->setObjectName(CalendarPopup);
    m_calendarAction->setText(calendar.label);
    m_calendarAction->setToolTip(calendar.toolTip);
    m_calendarAction->setDefaultWidget(m_calendarItem);
    label->setVisible(m_toolbar->toolButtonStyle() != Qt::ToolButtonIconOnly);

    // As with every toolbar: its context menu customises it.
    m_toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_toolbar, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        menu.addAction(QStringLiteral("Customize Toolbar…"), this, [this] { runToolbarCustomization(); });
        menu.exec(m_toolbar->mapToGlobal(at));
    });

    const QVariant stored = prefs.value(kItemsKey);
    setToolbarItems(prefs.contains(kItemsKey) ? stored.toStringList() : ToolbarItems::defaultIdentifiers());
    if (prefs.contains(kVisibleKey))
        m_toolbar->setVisible(prefs.value(kVisibleKey).toBool());
    connect(m_toolbar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        // Closing the window hides its toolbar too; only the user's choice is kept.
        if (theWindow->isVisible()) {
            prefs.setValue(kVisibleKey, visible);
            measureToolbar();
        }
    });
}

void AppControl::setToolbarItems(const QStringList& identifiers)
{
    const QStringList items = ToolbarItems::sanitised(identifiers);
    m_toolbar->clear();
    qDeleteAll(m_toolbarFillers);
    m_toolbarFillers.clear();
    for (const QString& id : items) {
        if (id == SeparatorItemIdentifier) {
            m_toolbarFillers << m_toolbar->addSeparator();
        } else if (id == SpaceItemIdentifier || id == FlexibleSpaceItemIdentifier) {
            auto* space = new QWidget;
            if (id == SpaceItemIdentifier)
                space->setFixedWidth(16);
            else
                space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            m_toolbarFillers << m_toolbar->addWidget(space);
        } else if (id == CalendarPopup) {
            m_toolbar->addAction(m_calendarAction);
        } else if (QAction* action = m_toolbarActions.value(id)) {
            m_toolbar->addAction(action);
            syncAccessibility(action);
        }
    }
    m_toolbarItems = items;
    prefs.setValue(kItemsKey, items);
    prefs.sync();
    measureToolbar();
    validateToolbarItems();
}

void AppControl::syncAccessibility(QAction* action)
{
    if (!m_toolbar || !action)
        return;
    if (QWidget* button = m_toolbar->widgetForAction(action)) {
        button->setObjectName(action->objectName());
        button->setAccessibleName(action->text());
        button->setAccessibleDescription(action->toolTip());
    }
}

void AppControl::validateToolbarItems()
{
    if (!m_toolbar)
        return;
    const bool hasEntries = theCal->entryCount() > 0;
    bool rowsSelected = false;
    if (theTable && theTable->selectionModel()) {
        for (const QItemSelectionRange& range : theTable->selectionModel()->selection())
            rowsSelected = rowsSelected || (range.left() == 0 && range.right() == EntryTableModel::ColumnCount - 1);
    }
    for (auto it = m_toolbarActions.begin(); it != m_toolbarActions.end(); ++it) {
        const QString& id = it.key();
        bool enabled = true;
        if (id == DeleteRecord)
            enabled = rowsSelected;
        else if (id == ExportToICalIdentifier || id == ExportToMailIdentifier || id == ExportToVCalFileIdentifier
                 || id == ExportToICalFileIdentifier || id == ExportToTabFile || id == ExportToCommaFile
                 || id == ExportToTextFile || id == TheDrawerIdentifier || id == sortData)
            enabled = hasEntries;
        it.value()->setEnabled(enabled);
    }
    m_calendarAction->setEnabled(true);
    applyDocumentLock(); // while a delimited import runs
}

QWidget* AppControl::runToolbarCustomization()
{
    auto* dialog = new ToolbarCustomizeDialog(m_toolbarItems, m_toolbar->toolButtonStyle(), theWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const Qt::ToolButtonStyle style = dialog->chosenStyle();
        m_toolbar->setToolButtonStyle(style);
        if (QLabel* label = m_calendarItem->findChild<QLabel*>(QStringLiteral("calendarLabel")))
            label->setVisible(style != Qt::ToolButtonIconOnly);
        prefs.setValue(kStyleKey, styleName(style));
        setToolbarItems(dialog->chosenItems());
    });
    dialog->open();
    return dialog;
}

void AppControl::fillCalendarPopup()
{
    myCalendars->setEnabled(false);
    QStringList names;
    if (m_calendarSource) {
        names = m_calendarSource();
        theCal->setCalArray(&names);
    } else {
        theCal->setCalArray(nullptr);
        names = theCal->getTheCalArray();
    }
    myCalendars->clear();
    myCalendars->addItem(QStringLiteral("No iCal"));
    if (names.isEmpty())
        return;
    myCalendars->setEnabled(true);
    myCalendars->addItems(names);
    const int saved = int(names.indexOf(prefs.string(QStringLiteral("calendar"))));
    myCalendars->setCurrentIndex(saved >= 0 ? saved + 1 : 0);
}

void AppControl::measureToolbar()
{
    toolBarSize = m_toolbar && m_toolbar->isVisible() ? m_toolbar->height() : 0;
}
