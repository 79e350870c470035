#pragma once

#include <QDateTime>
#include <QHash>
#include <QSharedData>
#include <QSharedDataPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Device and inode of an entry as a listing saw it (a link itself, not where it leads); zero: not known.
struct ItemId {
    quint64 dev = 0, ino = 0;
    bool known() const { return ino != 0; }
    friend bool operator==(const ItemId &, const ItemId &) = default;
};

// An item as a pane listed it, with the identities of its folder and of itself as far as they are known:
// a command changes it only while both still are what was listed.
struct ShownItem {
    QString path;
    ItemId folder;
    ItemId item;
    friend bool operator==(const ShownItem &, const ShownItem &) = default;
};

// One entry of a listing or a search; identity is the path, equality covers every field.
// The path is not stored whole: a listing's records share one folder string, and the name on disk
// shares the shown name's characters unless the two differ (a system folder's translated name).
struct FileItem {
    QString folder; // empty only for the root and for relative paths
    QString leaf;   // the name on disk
    QString name;   // the name shown
    bool isDirectory = false;
    bool isPackage = false;
    quint32 devBits = 0; // the device of identity(), packed as the kernel keeps it (12 + 20 bits)
    qint64 size = 0;
    std::optional<QDateTime> modified;
    QString kind;
    quint64 ino = 0;

    ItemId identity() const;
    void setIdentity(const ItemId &id);

    // Few records have tags or a folder icon of their own: those live apart, so that the rest stay small.
    const QStringList &tags() const;
    void setTags(const QStringList &tags);
    const std::optional<QString> &iconPath() const;
    void setIconPath(const std::optional<QString> &path);

    QString path() const;
    // Splits path into folder and leaf; the folder string is the record's own.
    void setPath(const QString &path);
    // The same place with a folder string the caller shares between many records.
    void place(const QString &sharedFolder, const QString &diskName) {
        folder = sharedFolder;
        leaf = diskName;
    }
    // True when path() would equal path, without building it.
    bool isAt(QStringView path) const;
    QString id() const { return path(); }
    QUrl url() const { return QUrl::fromLocalFile(path()); }
    QString parentName() const;
    std::optional<int> folderTint() const;

    struct Rare : QSharedData {
        std::optional<QString> iconPath;
        QStringList tags;
    };
    QSharedDataPointer<Rare> rare; // null when neither is set

    friend bool operator==(const FileItem &a, const FileItem &b) {
        return a.folder == b.folder && a.leaf == b.leaf && a.name == b.name &&
               a.isDirectory == b.isDirectory && a.isPackage == b.isPackage && a.size == b.size &&
               a.modified == b.modified && a.kind == b.kind && a.ino == b.ino && a.devBits == b.devBits &&
               a.iconPath() == b.iconPath() && a.tags() == b.tags();
    }
};

// Moved as bytes: inserting a row into a million shifts memory instead of assigning each record.
Q_DECLARE_TYPEINFO(FileItem, Q_RELOCATABLE_TYPE);

size_t qHash(const FileItem &item, size_t seed = 0);
