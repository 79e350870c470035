#include "core/fileops/PutBack.h"

#include "core/fileops/FileActionContext.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QDir>

#include <cerrno>

#include <unistd.h>

namespace FileActions {
namespace {

// Only what lies in a Trash's files folder can go back; not the Trash itself nor its info files.
bool puttable(const QString &path) {
    const QString clean = QDir::cleanPath(path);
    const QString root = TrashRoots::containing(clean);
    return !root.isEmpty() && clean.startsWith(root + QStringLiteral("/files/"));
}

// The name an item goes back under: the one its record says (a rename in the Trash writes it there).
QString nameBack(const QString &inTrash, const QString &origin) {
    return Trash::shownName(Restore::name(inTrash), Restore::name(origin));
}

// The name the item had when it went to the Trash, where it was renamed there since; else empty.
QString renamedFrom(const QString &inTrash, const QString &origin) {
    const std::optional<QString> had = TrashMemory::origin(inTrash);
    if (!had || Restore::folder(*had) != Restore::folder(origin)) return {};
    const QString name = Restore::name(*had);
    return name == nameBack(inTrash, origin) ? QString() : name;
}

QString invalidOrigin(const QString &path) {
    return LF("„%@“ bleibt im Papierkorb: Sein gespeicherter alter Ort ist ungültig.", Restore::name(path));
}

// had: the name it had before a rename in the Trash, said along with the one it goes back under.
void moveBack(const QString &path, const QString &folder, const QString &name, TransferProgress &progress,
              PutBackReport &report, const QString &shownFolder = {}, const QString &had = {}) {
    Restore::Placed placed = Restore::moveToFreeName(path, folder, name, progress);
    if (placed.error) {
        report.errors << Restore::message(*placed.error, Restore::name(path));
        return;
    }
    if (!shownFolder.isEmpty()) placed.path = Posix::childPath(shownFolder, Restore::name(placed.path));
    Restore::forgetTrashed(path);
    report.moved << TransferPair{path, placed.path};
    if (Restore::name(placed.path) != name)
        report.renamed.append({name, Restore::name(placed.path)});
    else if (!had.isEmpty())
        report.renamedInTrash.append({had, name});
}

// Back from a volume's trash: the old folder is opened below the volume's top folder without following a
// link off the volume (nor onto another mounted file system), and the item moves into exactly that folder.
void moveBackWithin(const QString &path, const QString &top, const QString &origin,
                    TransferProgress &progress, PutBackReport &report) {
    if (!Restore::isBelow(origin, top) || origin == top) {
        report.errors << invalidOrigin(path);
        return;
    }
    const QString relative = origin.mid(top.size() + (top.endsWith(u'/') ? 0 : 1));
    const QString relFolder = relative.contains(u'/') ? relative.section(u'/', 0, -2) : QString();
    const int fd = Posix::openFolderBeneath(top, relFolder);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR)
            report.unresolved << path;
        else if (e == EXDEV || e == ELOOP)
            report.errors << invalidOrigin(path);
        else
            report.errors << Restore::message(FileError::fromErrno(e), Restore::name(path));
        return;
    }
    // The pinned folder by its descriptor: names swapped for links meanwhile lead nowhere else.
    const QString pinned = QStringLiteral("/proc/self/fd/") + QString::number(fd);
    moveBack(path, pinned, nameBack(path, origin), progress, report, Restore::folder(origin),
             renamedFrom(path, origin));
    ::close(fd);
}

// Into `folder`, held from here on; with `gone`, a folder that is missing leaves the item unresolved.
void moveBackInto(const QString &path, const QString &folder, const QString &name, TransferProgress &progress,
                  PutBackReport &report, bool gone = false, const QString &had = {}) {
    try {
        const FileSteps::HeldFolder held = Restore::holdOrigin(folder);
        moveBack(path, FileSteps::pinnedPath(held), name, progress, report, folder, had);
    } catch (const FileError &e) {
        if (gone && (e.code == ENOENT || e.code == ENOTDIR))
            report.unresolved << path;
        else
            report.errors << Restore::message(e, Restore::name(path));
    }
}

// Calls place(path, report) for every item still in the Trash, until cancelled.
template <typename Place>
PutBackReport eachStillThere(const QStringList &inTrash, TransferProgress &progress, Place place) {
    PutBackReport report;
    try {
        for (const QString &path : inTrash) {
            if (progress.isCancelled()) {
                report.cancelled = true;
                break;
            }
            if (!Restore::exists(path)) continue;
            place(path, report);
        }
    } catch (const CancelledError &) {
        report.cancelled = true;
    }
    return report;
}

} // namespace

std::optional<QString> trashOrigin(const QString &inTrash) {
    // The .trashinfo travels with the item; our record may be about an earlier item of the same name.
    // A description that names no acceptable place is not overruled by our record either.
    if (const auto info = Restore::readTrashInfo(inTrash))
        return info->original.isEmpty() ? std::nullopt : std::optional<QString>(info->original);
    return TrashMemory::origin(inTrash);
}

PutBackReport putBackToOrigins(const QStringList &inTrash, TransferProgress &progress) {
    return eachStillThere(inTrash, progress, [&](const QString &path, PutBackReport &report) {
        if (const auto info = Restore::readTrashInfo(path); info && info->original.isEmpty()) {
            report.errors << invalidOrigin(path);
            return;
        }
        const std::optional<QString> origin = trashOrigin(path);
        if (const QString top = Restore::volumeTopOf(path); origin && !top.isEmpty()) {
            moveBackWithin(path, top, QDir::cleanPath(*origin), progress, report);
            return;
        }
        if (!origin) {
            report.unresolved << path;
            return;
        }
        moveBackInto(path, Restore::folder(*origin), nameBack(path, *origin), progress, report, true,
                     renamedFrom(path, *origin));
    });
}

PutBackReport putBackInto(const QStringList &inTrash, const QString &folder, TransferProgress &progress) {
    return eachStillThere(inTrash, progress, [&](const QString &path, PutBackReport &report) {
        // The name it had before the Trash, when known; a Trash name may carry a number.
        const std::optional<QString> origin = trashOrigin(path);
        moveBackInto(path, folder, origin ? nameBack(path, *origin) : Restore::name(path), progress, report);
    });
}

namespace {

// What went back, and under which names where the old ones were taken.
QString doneText(const PutBackReport &report) {
    if (report.renamed.isEmpty() && report.moved.size() == 1 && report.renamedInTrash.size() == 1)
        return LF("„%@“ zurückgelegt als „%@“, wie es im Papierkorb umbenannt wurde.",
                  report.renamedInTrash[0].first, report.renamedInTrash[0].second);
    if (report.renamed.isEmpty()) return LF("%@ zurückgelegt.", FileFmt::count(report.moved.size()));
    if (report.moved.size() == 1)
        return LF("„%@“ zurückgelegt als „%@“, weil der Name dort schon vergeben war.",
                  report.renamed[0].first, report.renamed[0].second);
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(report.renamed.size(), 3); ++i)
        names << report.renamed[i].second;
    const QString more = report.renamed.size() > 3 ? QStringLiteral(" …") : QString();
    return LF("%@ zurückgelegt. Unter neuem Namen, weil der alte dort schon vergeben war: %@",
              FileFmt::count(report.moved.size()), FileFmt::quotedList(names) + more);
}

void finish(const FileActionContext &ctx, const JobChannel::Step &step, const PutBackReport &report) {
    step.end();
    ctx.refresh();
    if (!report.moved.isEmpty())
        ctx.journal([n = report.moved.size()] { return LF("%@ zurückgelegt", FileFmt::count(n)); },
                    UndoAction::makeMoved(report.moved));
    if (!report.errors.isEmpty())
        ctx.toast(report.errors.first(), true);
    else if (report.cancelled)
        ctx.warn(K("Abgebrochen. Unvollständiges wurde entfernt."));
    else if (!report.moved.isEmpty())
        ctx.toast(doneText(report));
    else
        ctx.warn(K("Nichts zurückgelegt."));
}

// A chosen item left where it is is said first, never hidden behind the others' count.
PutBackReport saying(const QStringList &refused, PutBackReport report) {
    report.errors = refused + report.errors;
    return report;
}

} // namespace

void putBack(const FileActionContext &ctx, const QStringList &given) {
    const QStringList paths = Restore::normalized(given);
    QStringList kept, out;
    for (const QString &path : paths)
        if (puttable(path))
            kept << QDir::cleanPath(path);
        else
            out << LF("„%@“ liegt nicht im Papierkorb und wurde nicht zurückgelegt.", Restore::name(path));
    if (kept.isEmpty()) {
        ctx.warn(K("Zum Zurücklegen Objekte im Papierkorb markieren."));
        return;
    }
    // One job over both passes: the folder question comes between them while the job waits.
    ctx.job(K("Lege zurück"), [ctx, kept, out](const JobChannel::Step &step) {
        step.progress().setItem(0, Restore::name(kept.first()));
        step.then([kept, out](TransferProgress &p) { return saying(out, putBackToOrigins(kept, p)); },
                  [ctx](const PutBackReport &first, const JobChannel::Step &step) {
                      if (first.unresolved.isEmpty() || first.cancelled || !ctx.chooseFolder) {
                          finish(ctx, step, first);
                          return;
                      }
                      const FolderQuestion question{L("Der alte Ort ist nicht bekannt oder fehlt. In welchen "
                                                      "Ordner sollen die Objekte zurück?"),
                                                    L("Hierher zurücklegen")};
                      step.setWaitingForAnswer(true);
                      ctx.chooseFolder(question, [ctx, step, first](const std::optional<QString> &folder) {
                          step.setWaitingForAnswer(false);
                          if (!folder || folder->isEmpty()) {
                              finish(ctx, step, first); // the rest stays in the Trash, without a message
                              return;
                          }
                          step.then(
                              [unresolved = first.unresolved, target = *folder](TransferProgress &progress) {
                                  return putBackInto(unresolved, target, progress);
                              },
                              [ctx, first](const PutBackReport &second, const JobChannel::Step &last) {
                                  PutBackReport all = first;
                                  all.moved << second.moved;
                                  all.renamed << second.renamed;
                                  all.renamedInTrash << second.renamedInTrash;
                                  all.errors << second.errors;
                                  all.cancelled = second.cancelled;
                                  finish(ctx, last, all);
                              });
                      });
                  });
    });
}

} // namespace FileActions
