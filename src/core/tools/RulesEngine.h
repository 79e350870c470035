#pragma once

#include "core/fileops/TransferOutcome.h"
#include "core/fileops/TransferProgress.h"
#include "core/tools/CleanRule.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace RulesEngine {

// Milliseconds since the epoch; tests fake it.
using Clock = std::function<qint64()>;

// A file one rule would act on, with the facts it had when it was matched.
struct Match {
    QString path;
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t mtimeSec = 0;
    uint32_t mtimeNsec = 0;
    int64_t size = 0;
};

// The regular files of the rule's folder that the rule would act on now, sorted by path.
QList<Match> matchEntries(const CleanRule &rule, const Clock &clock = {});
QStringList matches(const CleanRule &rule, const Clock &clock = {});

// Whether the file is still the one that was matched (same inode, size and time, still a regular file).
bool unchanged(const Match &match);

struct RunResult {
    QList<TransferPair> moved;
    QList<FileOps::TrashedPair> trashed;
    QStringList errors;
    bool cancelled = false;
};
// Applies the rules in order, each on what the ones before left; blocking, for a worker thread.
RunResult run(const QList<CleanRule> &rules, TransferProgress &progress, const Clock &clock = {});

} // namespace RulesEngine
