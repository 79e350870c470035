#pragma once

// What a copy or move batch did; the caller reports it, selects the new items and
// records the undo entry from it.

#include <QList>
#include <QString>
#include <QStringList>

struct TransferPair {
    QString from;
    QString to;
    friend bool operator==(const TransferPair &, const TransferPair &) = default;
};

struct TransferOutcome {
    qsizetype done = 0;
    QStringList created;
    QStringList errors;
    qsizetype skipped = 0;
    bool cancelled = false;
    QList<TransferPair> pairs;

    friend bool operator==(const TransferOutcome &, const TransferOutcome &) = default;
};

enum class ConflictChoice { replace, skip, keepBoth };
