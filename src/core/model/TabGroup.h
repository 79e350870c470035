#pragma once

#include "core/model/PaneHooks.h"
#include "core/model/PaneModel.h"
#include "core/model/Side.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

// The tabs of one pane side. Owns its PaneModel tabs, keeps one selected and never lets the last one go;
// every tab's changed() is passed on as the group's own.
class TabGroup : public QObject {
    Q_OBJECT
public:
    TabGroup(Side side, const QString &start, QObject *parent = nullptr);

    Side side() const { return m_side; }
    const QList<PaneModel *> &tabs() const { return m_tabs; }
    int index() const { return m_index; }
    PaneModel *current() const;

    PaneHooks *app() const { return m_app; }
    // Hands the core to every tab as well.
    void setApp(PaneHooks *app);

    // Opens path (else the current tab's folder) in a new last tab, selects it and activates the side.
    void newTab(const std::optional<QString> &path = std::nullopt);
    void select(int index);
    // Shuts the tab down and deletes it; the last tab is never closed.
    void close(int index);
    void selectNext(int step);

signals:
    void tabsChanged();
    void indexChanged();
    void changed();

private:
    void add(PaneModel *tab);
    void setIndex(int index);

    const Side m_side;
    QList<PaneModel *> m_tabs;
    int m_index = 0;
    QPointer<PaneHooks> m_app;
    QHash<PaneModel *, QMetaObject::Connection> m_changeObservers;
};
