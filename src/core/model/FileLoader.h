#pragma once

#include "core/model/CancelFlag.h"
#include "core/model/FileItem.h"
#include "core/model/SearchFilter.h"
#include "core/model/SortKey.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include <sys/types.h>

// Turns the file system into FileItem records: listing, sorting, search, trash folders.
namespace FileLoader {

// Why a folder could not be listed.
struct Error {
    int code = 0; // errno
    QString path;
};

struct Listing {
    QList<FileItem> items;
    std::optional<Error> error; // set when the folder itself could not be read; items is then empty
    // Entries whose names are not valid UTF-8: left out rather than shown under a name that is not theirs.
    QStringList unrepresentable; // their names as Posix::shown writes them, for the message
    ItemId folder;               // the folder read, as it was opened
};

// Removes "." and ".." components and trailing slashes; the one path normaliser of the program.
QString norm(const QString &path);

// Whether listings and searches include hidden entries; first read from the "showHidden" setting.
bool showHidden();
void setShowHidden(bool show);

// The record of one entry; never fails (an entry without attributes is a file of size 0).
FileItem item(const QString &path);
// One folder level, unsorted; the home trash lists every trash folder's items.
Listing list(const QString &path);
// The user's sentence for a listing error.
QString describe(const Error &error);
// The records of the named entries of one folder that exist now (hidden ones only when shown); false when
// the folder itself can't be read.
bool entries(const QString &folder, const QStringList &names, QList<FileItem> &out);
// The sentence for entries left out of a listing because their names can't be represented.
QString describeUnrepresentable(const QStringList &names);

// The folder the home trash keeps its items in.
QString mainTrash();
QStringList extraTrashFolders();
QStringList allTrashFolders();
// Whether path is one of allTrashFolders(), asking only path's own volume.
bool isTrashFolder(const QString &path);
// True for what lies inside a real trash folder (not for the trash folders themselves).
bool isInTrash(const QString &path);

// Folders first in both directions; stable.
QList<FileItem> sorted(const QList<FileItem> &items, SortKey key, bool reversed);
// The same, reordering the given records in place (for large listings).
QList<FileItem> sorted(QList<FileItem> &&items, SortKey key, bool reversed);
// A sorted listing of folder after the named entries changed: their old rows dropped, records (what exists
// of them now) put where the sort puts them. Rows of other folders stay.
QList<FileItem> merged(const QList<FileItem> &before, const QString &folder, const QStringList &names,
                       QList<FileItem> records, SortKey key, bool reversed);
// The same as a plan, so that the items can be changed where they are instead of copied.
struct MergePlan {
    std::vector<qsizetype> drop; // rows of the old items, ascending
    QList<FileItem> records;     // the new records, sorted
    std::vector<qsizetype> rows; // the row of each record in the result, ascending
};
MergePlan mergePlan(const QList<FileItem> &before, const QString &folder, const QStringList &names,
                    QList<FileItem> records, SortKey key, bool reversed);
// One change of rows while a plan is applied: told before (done false) and after it is made.
struct MergeStep {
    bool insert = false; // else a removal
    qsizetype first = 0, last = 0;
    bool done = false;
};
// Applies plan to the items it was made for: removals from the last run up, then insertions in ascending
// order, each between two calls of step.
void applyPlan(QList<FileItem> &items, MergePlan plan,
               const std::function<void(const MergeStep &)> &step = {});
// When the file was last opened: its access time here.
std::optional<QDateTime> lastUsedDate(const QString &path);

// How many entries one search looks at, at most.
constexpr int searchBudget = 80'000;
// Recursive name and filter search below root; empty when cancelled. Never follows symbolic links.
// cutShort tells whether the walk stopped at its budget of entries with parts of the tree not looked at;
// folders gets the folders it read, root first, at most searchFolderLimit of them (those a watch follows).
constexpr int searchFolderLimit = 1000;
QList<FileItem> search(const QString &root, const QString &query, const SearchFilter &filter,
                       const CancelFlag &flag, int limit = 400, bool *cutShort = nullptr,
                       QStringList *folders = nullptr);

} // namespace FileLoader
