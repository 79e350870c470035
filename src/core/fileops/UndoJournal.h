#pragma once

// The undo journal: the last 30 file operations, newest last, each reversible once.

#include "core/fileops/FileOps.h"
#include "core/fileops/TransferOutcome.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/model/FileItem.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct FileActionContext;

struct UndoAction {
    enum class Kind { moved, created, renamed, trashed, access };

    // access: one item's permission bits as they were (from) and as the change left them (to).
    struct AccessChange {
        ShownItem item;
        quint32 from = 0;
        quint32 to = 0;
        friend bool operator==(const AccessChange &, const AccessChange &) = default;
    };

    Kind kind = Kind::created;
    QList<TransferPair> pairs;           // moved, renamed: where each item was (from) and is (to)
    QStringList paths;                   // created: items that did not exist before
    QList<FileOps::TrashedPair> trashed; // trashed: where each item was and where it lies in a Trash
    // Items that a copy or move replaced and sent to a Trash; they come back to their old
    // place once the item that replaced them is gone again.
    QList<FileOps::TrashedPair> replaced;
    // renamed: each item as the rename left it (its new path, its folder's identity and its own), in the
    // order of `pairs`; empty where unknown, and then the undo holds the folders as they are.
    QList<ShownItem> renamedAs;
    QList<AccessChange> access;
    // moved: items moved in part; what went (to) goes back into what stayed (from).
    QList<TransferPair> partly;

    static UndoAction makeMoved(QList<TransferPair> pairs, QList<FileOps::TrashedPair> replaced = {},
                                QList<TransferPair> partly = {}) {
        return {Kind::moved, std::move(pairs), {}, {}, std::move(replaced), {}, {}, std::move(partly)};
    }
    static UndoAction makeCreated(QStringList paths, QList<FileOps::TrashedPair> replaced = {}) {
        return {Kind::created, {}, std::move(paths), {}, std::move(replaced), {}, {}, {}};
    }
    static UndoAction makeRenamed(QList<TransferPair> pairs, QList<ShownItem> renamedAs = {}) {
        return {Kind::renamed, std::move(pairs), {}, {}, {}, std::move(renamedAs), {}, {}};
    }
    // What a batch rename did, with each item as it left it.
    static UndoAction makeRenamed(const FileOps::TwoPhaseReport &report) {
        return makeRenamed(report.done, report.renamedAs);
    }
    static UndoAction makeTrashed(QList<FileOps::TrashedPair> trashed) {
        return {Kind::trashed, {}, {}, std::move(trashed), {}, {}, {}, {}};
    }

    static UndoAction makeAccess(const ShownItem &item, quint32 from, quint32 to) {
        return {Kind::access, {}, {}, {}, {}, {}, {{item, from, to}}, {}};
    }

    friend bool operator==(const UndoAction &, const UndoAction &) = default;
};

// An entry's title, formed in the language shown whenever it is asked for: the language may change
// while the entry waits.
using UndoTitle = std::function<QString()>;

struct UndoEntry {
    QString title; // as formed when recorded, e.g. "3 Objekte kopiert"
    UndoAction action;
    UndoTitle titleNow; // forms the title again; none: the title as recorded
    QString text() const { return titleNow ? titleNow() : title; }
    friend bool operator==(const UndoEntry &a, const UndoEntry &b) {
        return a.title == b.title && a.action == b.action;
    }
};

// The journal itself; lives on the main thread with the application core.
class UndoJournal : public QObject {
    Q_OBJECT
public:
    static constexpr int limit = 30;

    using QObject::QObject;

    void record(const QString &title, const UndoAction &action);
    void record(const UndoTitle &title, const UndoAction &action);
    // The newest entry's title in the language shown now.
    std::optional<QString> undoTitle() const;
    const QList<UndoEntry> &entries() const { return entries_; }
    std::optional<UndoEntry> takeLast();
    // How many entries were ever recorded: taken with an entry, it tells putBack where the entry was.
    quint64 recorded() const { return recorded_; }
    // A taken entry whose undo changed nothing, back below what was recorded since `mark`.
    void putBack(const UndoEntry &entry, quint64 mark);

signals:
    void changed();

private:
    QList<UndoEntry> entries_;
    quint64 recorded_ = 0;
};

namespace FileActions {

// What reversing one entry did.
struct UndoReport {
    qsizetype done = 0;
    qsizetype total = 0; // the items the entry held
    QStringList errors;
    QStringList whereabouts;   // those of errors whose item is under neither of its names now
    QList<TransferPair> moved; // what went back: where it was (from) and is now (to)
    qsizetype taken = 0;       // those of errors refused because their old name is taken
    bool cancelled = false;
};

// Reverses one entry (blocking; a background thread). Never replaces an existing item.
UndoReport reverse(const UndoAction &action, TransferProgress &progress);

// The one toast that reports an undo.
QString undoToast(const QString &title, const UndoReport &report, bool *error);

// Takes the newest entry and reverses it as a job, then refreshes and reports.
void undoLast(const FileActionContext &ctx, UndoJournal &journal);

} // namespace FileActions
