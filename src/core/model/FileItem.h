#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// One entry of a listing or a search; identity is the path, equality covers every field.
struct FileItem {
    QString path;
    QString name;
    bool isDirectory = false;
    bool isPackage = false;
    qint64 size = 0;
    std::optional<QDateTime> modified;
    QString kind;
    std::optional<QString> iconPath;
    QStringList tags;

    const QString &id() const { return path; }
    QUrl url() const { return QUrl::fromLocalFile(path); }
    QString parentName() const;
    std::optional<int> folderTint() const;

    friend bool operator==(const FileItem &a, const FileItem &b) {
        return a.path == b.path && a.name == b.name && a.isDirectory == b.isDirectory &&
               a.isPackage == b.isPackage && a.size == b.size && a.modified == b.modified &&
               a.kind == b.kind && a.iconPath == b.iconPath && a.tags == b.tags;
    }
};

size_t qHash(const FileItem &item, size_t seed = 0);
