#pragma once

#include "platform/Volumes.h"

#include <QPointer>
#include <QToolButton>
#include <functional>
#include <vector>

class ItemCommands;
class PaneModel;

// The header's menu of well-known places for its pane, shown while the sidebar is hidden; the list is
// made anew each time the menu opens.
class PlacesMenu : public QToolButton {
    Q_OBJECT
public:
    struct Place {
        QString name; // shown as it is: already in the interface language
        QString symbol;
        QString path;
        friend bool operator==(const Place &, const Place &) = default;
    };
    // Home, the cloud folders that exist, the standard folders that exist, "/", the mounted volumes and
    // the pCloud Drive folder. Only local tests and the mount table: nothing that can hang on a volume.
    static QList<Place> places(const QString &home, const QStringList &volumeMountPoints);
    // The list for this machine, with the volumes the sidebar lists.
    QList<Place> places() const;

    using VolumeList = std::function<std::vector<Volume>()>;
    // volumes: the mounted volumes the sidebar lists (none: the user's volumes of this machine).
    PlacesMenu(PaneModel *model, ItemCommands &items, VolumeList volumes, QWidget *parent = nullptr);
    // Fills the menu as it is about to show.
    void fill();

private:
    QPointer<PaneModel> m_model;
    QPointer<ItemCommands> m_items;
    VolumeList m_volumes;
};
