#include "core/model/TabGroup.h"

TabGroup::TabGroup(Side side, const QString &start, QObject *parent) : QObject(parent), m_side(side) {
    add(new PaneModel(side, start, this));
}

PaneModel *TabGroup::current() const {
    return m_tabs[std::min<qsizetype>(m_index, m_tabs.size() - 1)];
}

void TabGroup::setApp(PaneHooks *app) {
    m_app = app;
    for (PaneModel *tab : m_tabs)
        tab->setApp(app);
}

void TabGroup::add(PaneModel *tab) {
    tab->setApp(m_app);
    tab->setParent(this);
    m_tabs.append(tab);
    emit tabsChanged();
    emit changed();
    m_changeObservers.insert(tab, connect(tab, &PaneModel::changed, this, &TabGroup::changed));
}

void TabGroup::setIndex(int index) {
    m_index = index;
    emit indexChanged();
    emit changed();
}

void TabGroup::newTab(const std::optional<QString> &path) {
    const QString folder = path ? *path : current()->currentPath();
    add(new PaneModel(m_side, folder, this));
    setIndex(int(m_tabs.size()) - 1);
    if (m_app && m_app->setActive) m_app->setActive(m_side);
}

void TabGroup::select(int index) {
    if (index < 0 || index >= m_tabs.size()) return;
    setIndex(index);
    if (m_app && m_app->setActive) m_app->setActive(m_side);
}

void TabGroup::close(int index) {
    if (m_tabs.size() < 2) return;
    if (index < 0 || index >= m_tabs.size()) return;
    PaneModel *tab = m_tabs.takeAt(index);
    // The index follows its tab before anyone hears of the close: no listener sees, even for a moment, a
    // pane the group doesn't show.
    const int before = m_index;
    if (index < m_index)
        --m_index;
    else if (m_index >= m_tabs.size())
        m_index = int(m_tabs.size()) - 1;
    emit tabsChanged();
    emit changed();
    tab->shutdown();
    disconnect(m_changeObservers.take(tab));
    // Later, not now: the close may come from a signal of the tab itself.
    tab->deleteLater();
    if (m_index == before) return;
    emit indexChanged();
    emit changed();
}

void TabGroup::selectNext(int step) {
    const int count = int(m_tabs.size());
    if (count < 2) return;
    // Wraps at both ends for any step, also one larger than the tab count.
    select(((m_index + step) % count + count) % count);
}
