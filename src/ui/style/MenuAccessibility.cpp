#include "ui/style/MenuAccessibility.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <QWidgetAction>

namespace {

// A title without its mnemonic marker ("&&" is an "&").
QString withoutMarker(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

class MenuEntry : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit MenuEntry(QAction *action) : m_action(action) {}

    // The menu or menu bar the entry is read in: the one that shows it, else the first that holds it.
    QWidget *owner() const {
        if (!m_action) return nullptr;
        QWidget *first = nullptr;
        const auto objects = m_action->associatedObjects();
        for (QObject *o : objects) {
            auto *w = qobject_cast<QWidget *>(o);
            if (!qobject_cast<QMenu *>(w) && !qobject_cast<QMenuBar *>(w)) continue;
            if (w->isVisible()) return w;
            if (!first) first = w;
        }
        return first;
    }

    bool isValid() const override { return m_action && owner(); }
    QObject *object() const override { return m_action; }
    QWindow *window() const override {
        QWidget *w = owner();
        return w ? w->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(owner()); }
    QAccessibleInterface *child(int index) const override {
        return index == 0 && m_action && m_action->menu()
                   ? QAccessible::queryAccessibleInterface(m_action->menu())
                   : nullptr;
    }
    int childCount() const override { return m_action && m_action->menu() ? 1 : 0; }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return child && m_action && m_action->menu() && child->object() == m_action->menu() ? 0 : -1;
    }
    QString text(QAccessible::Text t) const override {
        if (!m_action) return {};
        const QString shown = m_action->text();
        if (t == QAccessible::Name) return withoutMarker(shown.section(u'\t', 0, 0));
        if (t == QAccessible::Accelerator) {
            const QString keys = shown.section(u'\t', 1);
            if (!keys.isEmpty()) return keys;
            const QKeySequence mnemonic = QKeySequence::mnemonic(shown);
            return mnemonic.toString(QKeySequence::NativeText);
        }
        if (t == QAccessible::Description)
            return m_action->toolTip() == withoutMarker(shown.section(u'\t', 0, 0)) ? QString()
                                                                                    : m_action->toolTip();
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override {
        QWidget *w = owner();
        if (auto *bar = qobject_cast<QMenuBar *>(w))
            return bar->actionGeometry(m_action).translated(bar->mapToGlobal(QPoint(0, 0)));
        if (auto *menu = qobject_cast<QMenu *>(w))
            return menu->actionGeometry(m_action).translated(menu->mapToGlobal(QPoint(0, 0)));
        return {};
    }
    QAccessible::Role role() const override {
        return m_action && m_action->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        QWidget *w = owner();
        if (!m_action) return s;
        if (!w || !w->isVisible() || !m_action->isVisible()) s.invisible = true;
        if (auto *menu = qobject_cast<QMenu *>(w); menu && menu->activeAction() == m_action) s.focused = true;
        if (auto *bar = qobject_cast<QMenuBar *>(w); bar && bar->activeAction() == m_action) s.focused = true;
        if (w && w->style()->styleHint(QStyle::SH_Menu_MouseTracking)) s.hotTracked = true;
        if (m_action->isSeparator() || !m_action->isEnabled()) s.disabled = true;
        if (m_action->isCheckable()) s.checkable = true;
        if (m_action->isChecked()) s.checked = true;
        if (m_action->menu()) s.hasPopup = true;
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType t) override {
        return t == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override {
        if (!m_action || m_action->isSeparator()) return {};
        return {m_action->menu() ? showMenuAction() : pressAction()};
    }
    void doAction(const QString &name) override {
        if (!m_action || !m_action->isEnabled()) return;
        if (name == pressAction()) {
            m_action->trigger();
            return;
        }
        if (name != showMenuAction() || !m_action->menu()) return;
        if (m_action->menu()->isVisible()) {
            m_action->menu()->hide();
        } else if (auto *bar = qobject_cast<QMenuBar *>(owner())) {
            bar->setActiveAction(m_action);
        } else if (auto *menu = qobject_cast<QMenu *>(owner())) {
            menu->setActiveAction(m_action);
        }
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QAction> m_action;
};

QAccessibleInterface *menuEntries(const QString &className, QObject *object) {
    if (className != QLatin1String("QAction")) return nullptr;
    auto *action = qobject_cast<QAction *>(object);
    // A widget in a menu speaks for itself.
    if (!action || qobject_cast<QWidgetAction *>(action)) return nullptr;
    return new MenuEntry(action);
}

} // namespace

namespace MenuAccessibility {

void install() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(menuEntries);
}

} // namespace MenuAccessibility
