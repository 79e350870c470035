#include "core/model/FileItem.h"

#include "core/localisation/SystemNames.h"
#include "core/model/Tags.h"

#include <sys/sysmacros.h>

QString FileItem::path() const {
    if (folder.isEmpty()) return leaf;
    QString out;
    // Exactly as long as needed: callers may keep many of these.
    out.reserve(folder.size() + 1 + leaf.size());
    out.append(folder);
    if (folder != u"/") out.append(u'/');
    out.append(leaf);
    return out;
}

void FileItem::setPath(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || path == u"/") {
        folder.clear();
        leaf = path;
        return;
    }
    folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    leaf = path.mid(slash + 1);
    if (leaf == name) leaf = name; // share the characters
}

bool FileItem::isAt(QStringView path) const {
    if (folder.isEmpty()) return path == leaf;
    const qsizetype sep = folder == u"/" ? 0 : 1;
    return path.size() == folder.size() + sep + leaf.size() && path.startsWith(folder) &&
           (sep == 0 || path[folder.size()] == u'/') && path.endsWith(leaf);
}

ItemId FileItem::identity() const {
    if (!ino) return {};
    return ItemId{quint64(makedev(devBits >> 20, devBits & 0xfffff)), ino};
}

void FileItem::setIdentity(const ItemId &id) {
    const auto maj = major(dev_t(id.dev)), min = minor(dev_t(id.dev));
    // Every device the kernel numbers fits; anything else stays unknown rather than wrong.
    const bool fits = maj < (1u << 12) && min < (1u << 20);
    devBits = fits ? quint32(maj << 20 | min) : 0;
    ino = fits ? id.ino : 0;
}

QString FileItem::parentName() const {
    return localName(folder.isEmpty() ? QStringLiteral("/") : folder);
}

const QStringList &FileItem::tags() const {
    static const QStringList none;
    return rare ? rare->tags : none;
}

void FileItem::setTags(const QStringList &tags) {
    if (!rare && tags.isEmpty()) return;
    if (!rare) rare = new Rare;
    rare->tags = tags;
}

const std::optional<QString> &FileItem::iconPath() const {
    static const std::optional<QString> none;
    return rare ? rare->iconPath : none;
}

void FileItem::setIconPath(const std::optional<QString> &path) {
    if (!rare && !path) return;
    if (!rare) rare = new Rare;
    rare->iconPath = path;
}

std::optional<int> FileItem::folderTint() const {
    for (const QString &t : tags())
        if (const int n = FileOps::colorNumber(t); n >= 1) return n;
    return std::nullopt;
}

size_t qHash(const FileItem &item, size_t seed) {
    QtPrivate::QHashCombine combine;
    seed = combine(seed, item.folder);
    seed = combine(seed, item.leaf);
    seed = combine(seed, item.name);
    seed = combine(seed, item.isDirectory);
    seed = combine(seed, item.isPackage);
    seed = combine(seed, item.size);
    seed = combine(seed, item.modified ? item.modified->toMSecsSinceEpoch() : -1);
    seed = combine(seed, item.kind);
    seed = combine(seed, item.iconPath().value_or(QString()));
    seed = combine(seed, item.iconPath().has_value());
    for (const QString &t : item.tags())
        seed = combine(seed, t);
    return seed;
}
