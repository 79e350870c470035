#pragma once

#include "platform/Volumes.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class MountWatch;
struct SidebarQuestions;
class Settings;

// One entry of the sidebar; the view shows `name` through L, so fixed names are German keys.
struct SidebarItem {
    QString path;
    QString name;
    QString symbol;
    QString detail;         // free space of a volume; empty for none
    bool removable = false; // the user's own favourite folders
    bool ejectable = false; // mounted volumes and the pCloud Drive folder
    QByteArray pathBytes{}; // a mount point whose name is not UTF-8, as the system has it; else empty
    bool nameIsKey = false; // the name is a text key shown in the interface's language (the Trash)
    friend bool operator==(const SidebarItem &, const SidebarItem &) = default;
};

// What the sidebar lists: the devices, the favourites and the places, and the two settings behind the
// favourites ("userFavorites", "hiddenFavorites"). The lists are built in a worker thread, since free
// space and existence tests can hang on a dead network mount; the last list stays until a newer one
// arrives. Main thread only.
class SidebarModel : public QObject {
    Q_OBJECT
public:
    struct Lists {
        QList<SidebarItem> devices, favorites, places;
    };
    // Where the lists come from; tests give their own home, volumes and free space.
    struct Sources {
        QString home; // empty: the user's home folder
        // The mounted volumes to list as devices; called in a worker.
        std::function<std::vector<Volume>()> volumes;
        // Bytes free for the user on the volume at a path (its bytes), nothing when unknown; called in a
        // thread of its own for each volume, which may hang for good.
        std::function<std::optional<qint64>(const QByteArray &path)> freeBytes;
        // How long a build waits for the volumes' free space and the favourites' existence: a volume that has
        // not answered by then is listed without free space, a favourite is listed as it is.
        int answerMs = 1500;
        bool watchMounts = true;
        int settleMs = 250; // a burst of mount changes gives one rebuild
    };
    static Sources systemSources();

    explicit SidebarModel(Settings &settings, Sources sources = systemSources(), QObject *parent = nullptr);
    ~SidebarModel() override;

    const QList<SidebarItem> &devices() const { return m_lists.devices; }
    const QList<SidebarItem> &favorites() const { return m_lists.favorites; }
    const QList<SidebarItem> &places() const { return m_lists.places; }
    const QStringList &userFavorites() const { return m_userFavorites; }
    const QSet<QString> &hiddenFavorites() const { return m_hiddenFavorites; }
    // True from a rebuild until its lists (or a newer one's) are there.
    bool building() const { return m_inFlight > 0 || m_wanted; }

    // Builds the lists anew in the background; changed() follows when they differ.
    void rebuild();
    bool isFavorite(const QString &path) const;
    // Removes, hides, unhides or adds the path (normalised), stores both settings and rebuilds. Returns
    // whether the path is meant to show now; a folder that does not exist shows once it does.
    bool toggleFavorite(const QString &path);

    // The lists for these inputs, from the file system (blocking: run it in a worker).
    struct Inputs {
        QString home;
        QString trash;
        QStringList userFavorites;
        QSet<QString> hidden;
        // The standard folders that exist on this machine's desktop (XDG user folders), with their keys.
        QList<SidebarItem> standard;
        Sources sources;
        // The questions still open, shared by the builds of one model (empty: none shared).
        std::shared_ptr<SidebarQuestions> asks;
    };
    static Lists build(const Inputs &in);
    Inputs inputs() const;

    // The favourites that need no word from the user: home, the cloud folders here, then those of
    // `standard` that exist; each path once. Asks the file system (local folders only).
    static QList<SidebarItem> fixedFavorites(const QString &home, const QList<SidebarItem> &standard);
    // The desktop's standard folders where the user keeps them, named in the interface language; one
    // switched off (set to home itself) is none. Without `media` only those for work (Desktop, Documents,
    // Downloads, Applications).
    static QList<SidebarItem> standardFolders(const QString &home, bool media);
    // Volumes the system keeps for itself, never listed.
    static bool isSystemVolumeName(const QString &name);

signals:
    void changed();

private:
    void startBuild();
    void apply(quint64 generation, const Lists &lists);

    Settings &m_settings;
    Sources m_sources;
    std::shared_ptr<SidebarQuestions> m_asks;
    Lists m_lists;
    QStringList m_userFavorites;
    QSet<QString> m_hiddenFavorites;
    MountWatch *m_mounts = nullptr;
    QTimer m_settle;
    quint64 m_generation = 0;
    quint64 m_applied = 0;
    int m_inFlight = 0;
    bool m_wanted = false;
};
