#include "Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPointer>

namespace
{
QString withoutMnemonic(QString text)
{
    // "&&" is a literal ampersand; a single "&" marks the mnemonic.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1);
    }
    return text;
}

class LabelledPopupAccessible : public QAccessibleWidget
{
public:
    explicit LabelledPopupAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox)
    {
        addControllingSignal(QStringLiteral("activated(int)"));
    }

    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return combo()->accessibleName();
        case QAccessible::Value:
            return combo()->currentText();
        case QAccessible::Description:
            return combo()->accessibleDescription().isEmpty() ? combo()->toolTip() : combo()->accessibleDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return combo()->view() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 && combo()->view() ? QAccessible::queryAccessibleInterface(combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == combo()->view() ? 0 : -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = combo()->view() && combo()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == showMenuAction() || name == pressAction())
            combo()->showPopup();
    }
};

/// One item of a menu, with its tooltip as description.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    MenuItemAccessible(QMenu* menu, QAction* action)
        : m_menu(menu)
        , m_action(action)
    {
    }

    bool isValid() const override { return m_menu && m_action; }
    QObject* object() const override { return m_action; }
    QWindow* window() const override { return m_menu ? m_menu->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_menu.data()); }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 && m_action->menu() ? QAccessible::queryAccessibleInterface(m_action->menu()) : nullptr;
    }
    int childCount() const override { return m_action->menu() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && m_action->menu() && child->object() == m_action->menu() ? 0 : -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return withoutMnemonic(m_action->text());
        case QAccessible::Description:
            return m_action->toolTip();
        case QAccessible::Accelerator:
            return m_action->shortcut().toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override { }

    QRect rect() const override
    {
        if (!m_menu || !m_menu->isVisible())
            return {};
        const QRect r = m_menu->actionGeometry(m_action);
        return QRect(m_menu->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::Role role() const override
    {
        return m_action->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.disabled = !m_action->isEnabled();
        s.invisible = !m_action->isVisible();
        s.offscreen = !m_menu || !m_menu->isVisible();
        s.focusable = !m_action->isSeparator();
        s.focused = s.hotTracked = m_menu && m_menu->activeAction() == m_action;
        s.checkable = m_action->isCheckable();
        s.checked = m_action->isChecked();
        s.hasPopup = m_action->menu() != nullptr;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        if (m_action->isSeparator() || !m_action->isEnabled())
            return {};
        return m_action->menu() ? QStringList {showMenuAction()} : QStringList {pressAction()};
    }
    void doAction(const QString& name) override
    {
        if (!isValid() || !m_action->isEnabled())
            return;
        if (name == pressAction())
            m_action->trigger();
        else if (name == showMenuAction() && m_action->menu())
            m_menu->setActiveAction(m_action);
    }
    QStringList keyBindingsForAction(const QString&) const override
    {
        const QKeySequence keys = m_action->shortcut();
        return keys.isEmpty() ? QStringList() : QStringList {keys.toString(QKeySequence::NativeText)};
    }

private:
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_action;
};

QAccessibleInterface* factory(const QString& key, QObject* object)
{
    if (key == QLatin1String("QComboBox")) {
        auto* combo = static_cast<QComboBox*>(object);
        if (!combo->accessibleName().isEmpty() && !combo->isEditable()) {
            // The list that drops down is read out under the pop-up's label too, not as a nameless list.
            if (QAbstractItemView* view = combo->view(); view && view->accessibleName().isEmpty())
                view->setAccessibleName(combo->accessibleName());
            return new LabelledPopupAccessible(combo);
        }
        return nullptr;
    }
    if (auto* action = qobject_cast<QAction*>(object)) {
        for (QObject* owner : action->associatedObjects()) {
            if (auto* menu = qobject_cast<QMenu*>(owner))
                return new MenuItemAccessible(menu, action);
        }
    }
    return nullptr;
}
} // namespace

namespace Accessibility
{
void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}
} // namespace Accessibility
