#pragma once

#include "core/model/CancelFlag.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// The summary of several selected items for the inspector.
struct MultiSummary {
    struct Kind {
        QString name;
        int count = 0;
        bool operator==(const Kind &) const = default;
    };
    int folders = 0;
    int files = 0;
    QList<Kind> kinds;               // most frequent first, then by name
    std::optional<QString> location; // the one parent folder, when all items share it
    std::optional<QDateTime> oldest;
    std::optional<QDateTime> newest;
    // The colour tags every item carries (read with the rest, so the picker needs no reads of its own).
    QSet<QString> tagsOnAll;

    // Reads only the file system; safe off the main thread. Stops early (partial result) when cancelled.
    static MultiSummary make(const QStringList &paths, const CancelFlag *cancel = nullptr);
};

// The colour tags that every one of paths carries (canonically equal names match).
QSet<QString> tagsOnAllOf(const QStringList &paths, const CancelFlag *cancel = nullptr);

namespace FileOps {

struct SelectionSize {
    qint64 bytes = 0;
    qint64 files = 0;
    bool truncated = false; // a limit stopped the count
    bool cancelled = false;
};
// Sizes of all regular files of a selection, folders walked; an item inside another selected folder
// (or named twice) counts once. Links inside folders are not followed.
SelectionSize selectionSize(const QStringList &paths, const CancelFlag *cancel = nullptr);

} // namespace FileOps
