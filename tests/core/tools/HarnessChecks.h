#pragma once

// What the kill harnesses check once the start has settled a killed or failed operation: every item
// once, whole, under its old or its new name; nothing under a hidden name, nothing bearing our marker.
#include "../fileops/Fixture.h"

#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"
#include "platform/TrashRoots.h"

#include <QDirIterator>
#include <QHash>
#include <QRegularExpression>

#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace Harness {

using namespace FileOpsTest;

inline bool isHidden(const QString &name) {
    return name.startsWith(".kestrin-") || name.startsWith(".dravendel-");
}

inline bool marked(const QString &path) {
    char value[64];
    return ::lgetxattr(QFile::encodeName(path).constData(), "user.kestrin.part", value, sizeof value) >= 0;
}

// One item: what it holds, and the names it may have afterwards (folder and name).
struct Item {
    QByteArray content;
    QString oldPath, newPath;
};

// Where the items' contents were found: each once, under its old or its new path.
inline void onceEach(const QList<Item> &items, const QHash<QByteArray, QStringList> &where,
                     QStringList &wrong) {
    for (const Item &item : items) {
        const QStringList at = where.value(item.content);
        if (at.size() != 1)
            wrong << QString("%1 is there %2 times").arg(item.oldPath).arg(at.size());
        else if (at[0] != item.oldPath && at[0] != item.newPath)
            wrong << QString("%1 is at %2").arg(item.oldPath, at[0]);
    }
}

// What is wrong with the items in `folders`: each must be there once, whole, under one of its two names,
// without our marker.
inline QString itemsOnce(const QList<Item> &items, const QStringList &folders) {
    QHash<QByteArray, QStringList> where;
    QStringList wrong;
    for (const QString &folder : folders)
        for (const QString &name : names(folder)) {
            const QString p = folder + '/' + name;
            if (isHidden(name))
                wrong << "hidden: " + p;
            else
                where[TestUtil::readFile(p)] << p;
            if (marked(p)) wrong << "marked: " + p;
        }
    onceEach(items, where, wrong);
    return wrong.join("; ");
}

inline void age(const QString &path) {
    const timespec ts[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), ts, AT_SYMLINK_NOFOLLOW);
}

// Every file below `root` by its path relative to it; hidden names and our marker on anything are
// named in `wrong`.
inline QMap<QString, QByteArray> filesBelow(const QString &root, QStringList &wrong) {
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        if (isHidden(it.fileName())) wrong << "hidden: " + p;
        if (marked(p)) wrong << "marked: " + p;
        if (it.fileInfo().isFile()) out.insert(p.mid(root.size() + 1), TestUtil::readFile(p));
    }
    return out;
}

// The same for every file below the roots.
inline QString treeItemsOnce(const QList<Item> &items, const QStringList &roots) {
    QStringList wrong;
    QHash<QByteArray, QStringList> where;
    for (const QString &root : roots) {
        const QMap<QString, QByteArray> files = filesBelow(root, wrong);
        for (auto f = files.cbegin(); f != files.cend(); ++f)
            where[f.value()] << root + '/' + f.key();
    }
    onceEach(items, where, wrong);
    return wrong.join("; ");
}

// A sync of two trees: each file is afterwards as it was on its side or as the other side had it, each
// original is still somewhere (on a side or in the Trash), nothing is hidden and nothing marked.
struct SyncTrees {
    QString l, r;
    QMap<QString, QByteArray> left, right; // relative path -> content, made by prepare
    QList<SyncStep> steps;
    QString trash = TrashRoots::homeTrash(); // the Trash of the sides' volume

    void prepare(SyncMode mode) {
        for (const QString &root : {l, r}) {
            QDir(root).removeRecursively();
            QDir().mkpath(root);
        }
        QDir(trash).removeRecursively();
        for (auto [root, files] : {std::pair{l, &left}, std::pair{r, &right}})
            for (auto f = files->cbegin(); f != files->cend(); ++f) {
                TestUtil::writeFile(root + '/' + f.key(), f.value());
                // The older side by its name: "old" files date from years ago.
                if (f.value().startsWith("old")) age(root + '/' + f.key());
            }
        steps.clear();
        for (const CompareRow &row : FolderCompare::scan(l, r, [] { return false; }).rows)
            if (const SyncAction a = FolderCompare::action(row, mode, true); a != SyncAction::none)
                steps << SyncStep{row, a};
    }
    QString check() const {
        QStringList wrong;
        const auto nowL = filesBelow(l, wrong), nowR = filesBelow(r, wrong);
        const auto trashed = filesBelow(trash + "/files", wrong);
        // Each entry in the Trash with its origin, so that it can be put back.
        const QStringList entries = names(trash + "/files");
        for (const QString &entry : entries)
            if (!QString::fromUtf8(TestUtil::readFile(trash + "/info/" + entry + ".trashinfo"))
                     .contains(QRegularExpression("\nPath=[^\n]+\n")))
                wrong << "no info: " + entry;
        // And no info of an item that is not there: the Trash would show what can't be put back.
        for (const QString &info : names(trash + "/info"))
            if (!info.endsWith(".trashinfo") || !entries.contains(info.chopped(10)))
                wrong << "info without its item: " + info;
        for (const auto &[now, before, other] :
             {std::tuple{&nowL, &left, &right}, std::tuple{&nowR, &right, &left}})
            for (auto f = now->cbegin(); f != now->cend(); ++f)
                if (f.value() != before->value(f.key()) && f.value() != other->value(f.key()))
                    wrong << "wrong content: " + f.key();
        const QList<QByteArray> kept = nowL.values() + nowR.values() + trashed.values();
        for (const auto *side : {&left, &right})
            for (auto f = side->cbegin(); f != side->cend(); ++f)
                if (!kept.contains(f.value())) wrong << "lost: " + f.key();
        return wrong.join("; ");
    }
};

} // namespace Harness
