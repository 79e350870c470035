#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Where the freedesktop Trash lives: the home trash and the per-volume trash folders.
namespace TrashRoots {

// $XDG_DATA_HOME/Trash (~/.local/share/Trash by default).
QString homeTrash();
// The trash folders of the volume mounted at mountPoint that exist now and may be trusted:
// <mount>/.Trash/<uid> (only when .Trash is a real sticky folder, not a link, that root or the owner of
// <mount> owns) and <mount>/.Trash-<uid>,
// each a real folder owned by this user. Anything else there is neither listed, nor put back from, nor
// emptied: another user could have made it and planted items in it.
QStringList volumeTrashes(const QString &mountPoint);
// Would-be trash folders of every mount point that exist but are not trusted, and why (for the diagnosis).
enum class Refusal {
    none,
    link,
    notFolder,
    foreignOwner,
    sharedNotFolder,
    sharedNotSticky,
    sharedForeignOwner
};
struct Refused {
    QString path;
    Refusal reason = Refusal::none;
    unsigned owner = 0; // the owner's uid, for foreignOwner and sharedForeignOwner
};
QList<Refused> refused();
// all() and refused() look only at the volumes mounted at or below `folder` (empty: at every one), so
// that what the machine has mounted elsewhere stays out of a test's Trash.
void confineForTests(const QString &folder);
// The home trash and the existing trash folders of every mount point: every place moveToTrash may have
// put an item, so that the Trash view and its emptying see them all.
QStringList all();
// The trash folder an item at path would go to: the home trash on its volume, else the volume's own
// (existing or to be made as <mount>/.Trash-<uid>); empty when path's volume cannot be found.
QString rootFor(const QString &path);
// The trash root whose files or info folder holds path (or the root itself); empty when none does.
// Only real trash roots count: a user folder that happens to be named ".Trash" is not the Trash.
QString containing(const QString &path);
inline bool isInTrash(const QString &path) {
    return !containing(path).isEmpty();
}

} // namespace TrashRoots
