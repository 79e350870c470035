#include "core/model/FileItem.h"

#include "core/localisation/SystemNames.h"
#include "core/model/Tags.h"

QString FileItem::parentName() const {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    return localName(parent);
}

std::optional<int> FileItem::folderTint() const {
    for (const QString &t : tags)
        if (const int n = FileOps::colorNumber(t); n >= 1) return n;
    return std::nullopt;
}

size_t qHash(const FileItem &item, size_t seed) {
    QtPrivate::QHashCombine combine;
    seed = combine(seed, item.path);
    seed = combine(seed, item.name);
    seed = combine(seed, item.isDirectory);
    seed = combine(seed, item.isPackage);
    seed = combine(seed, item.size);
    seed = combine(seed, item.modified ? item.modified->toMSecsSinceEpoch() : -1);
    seed = combine(seed, item.kind);
    seed = combine(seed, item.iconPath.value_or(QString()));
    seed = combine(seed, item.iconPath.has_value());
    for (const QString &t : item.tags)
        seed = combine(seed, t);
    return seed;
}
