#pragma once

#include "core/fileops/TransferOutcome.h"
#include "core/filesteps/TransferProgress.h"
#include "core/tools/CleanRule.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

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

// Whether path is a Trash or lies in one (any user's, on any volume, however it is reached): a rule
// working there would leave items without their descriptions or trash them again under new names.
bool inTrashFolder(const QString &path);
// Why a rule's folder or destination may not be path; empty when it may.
QString refusalFor(const QString &path);
// Why a rule may be neither kept nor run (its folder or its destination lies in a Trash); empty when fine.
QString refusal(const CleanRule &rule);
// Whether items of folder could go to a Trash now; asks only, makes nothing.
bool trashUsable(const QString &folder);

// Whether another program holds a file open for writing.
enum class Writer { none, writing, unknown };
// A read lease is refused while a writer has the file open; unknown where leases can't be asked.
Writer writerOf(const Match &match);
using WriterProbe = std::function<Writer(const Match &)>;

struct RunResult {
    QList<TransferPair> moved;
    QList<FileOps::TrashedPair> trashed;
    QStringList errors;
    QStringList noTrash; // left where they are: their volume has no Trash we may use
    QStringList inUse;   // left: being written, or (where that can't be asked) changed a moment ago
    bool cancelled = false;
};
// Applies the rules in order, each on what the ones before left; blocking, for a worker thread.
RunResult run(const QList<CleanRule> &rules, TransferProgress &progress, const Clock &clock = {},
              const WriterProbe &writer = {});

// The one message of a run: none when a silent run has nothing to tell.
struct Report {
    QString text;
    bool error = false;
};
std::optional<Report> report(const RunResult &result, bool silent);

} // namespace RulesEngine
