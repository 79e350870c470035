// One file operation in a process of its own, for the harness that kills it after a chosen system call:
//   mirror LEFT RIGHT · twoway LEFT RIGHT · rename LIST (lines: old path, new path) · move TARGET ITEM…
//   · copy TARGET ITEM… · duplicate ITEM…
//   · settings KEY=NUMBER… (one write of the settings) · restore BACKUP (a settings backup restored)
//   start: settles what runs before left, as the program's start does, and prints what it tells.
// It raises SIGURG (ignored unless traced) right before the operation, so that the tracer counts only the
// operation's calls. Exit status: 0 when the operation reported no error, 1 otherwise, 2 for bad usage.
#include "core/app/SettingsBackup.h"
#include "core/base/Defaults.h"
#include "core/fileops/DuplicateAlias.h"
#include "core/fileops/FileOps.h"
#include "core/model/FileItem.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

namespace {

void startCounting() {
    ::raise(SIGURG);
}

// What it said, for the tests that look at it.
int said(const QStringList &errors) {
    if (const QString said = qEnvironmentVariable("KESTRIN_TRACED_SAID"); !said.isEmpty()) {
        QFile out(said);
        if (out.open(QIODevice::WriteOnly)) out.write(errors.join(u'\n').toUtf8());
    }
    return errors.isEmpty() ? 0 : 1;
}

int transfer(const QString &op, const QStringList &args);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args == QStringList{"start"}) {
        const FileOps::Leftovers left = FileOps::recoverTransfers();
        if (!left.isEmpty()) std::fputs(FileOps::leftoversText(left).toUtf8().constData(), stdout);
        return 0;
    }
    if (args == QStringList{"settings"}) { // a start: the settings read, as the program's start does
        Defaults::contains(QString());
        return 0;
    }
    if (args.size() < 2) return 2;
    const QString &op = args[0];
    if (op == "settings" || op == "restore") {
        // Written here alone, not by the writer's thread on its own; the file read before counting.
        Defaults::setTimingForTests(3'600'000, 1000);
        Defaults::contains(QString());
        if (op == "restore") {
            QFile file(args[1]);
            const auto backup =
                file.open(QIODevice::ReadOnly) ? SettingsBackup::decode(file.readAll()) : std::nullopt;
            if (!backup) return 2;
            startCounting();
            return SettingsBackup::apply(*backup, 2000) == 0 ? 0 : 1;
        }
        for (const QString &pair : args.mid(1))
            Defaults::setValue(pair.section(u'=', 0, 0), pair.section(u'=', 1).toDouble());
        startCounting();
        return Defaults::flush(2000).isEmpty() ? 0 : 1;
    }
    // What the operation remembers in the settings (where trashed items came from) is written once it
    // ended, as at a quit, not by the writer's thread in between: the harness counts on the same calls in
    // the same order in every run.
    Defaults::setTimingForTests(3'600'000, 1000);
    const int rc = transfer(op, args);
    Defaults::flush(2000);
    return rc;
}

namespace {

int transfer(const QString &op, const QStringList &args) {
    TransferProgress progress;
    if ((op == "mirror" || op == "twoway") && args.size() == 3) {
        const SyncMode mode = op == "mirror" ? SyncMode::leftToRight : SyncMode::both;
        // The mirror in groups of four, each flushed and finished while the next one is copied.
        if (op == "mirror") FolderSync::setGroupStepsForTests(4);
        QList<SyncStep> steps;
        for (const CompareRow &row : FolderCompare::scan(args[1], args[2], [] { return false; }).rows)
            if (const SyncAction a = FolderCompare::action(row, mode, true); a != SyncAction::none)
                steps << SyncStep{row, a};
        startCounting();
        return said(FolderSync::run(args[1], args[2], steps, progress).errors);
    }
    if (op == "rename" && args.size() == 2) {
        QFile list(args[1]);
        if (!list.open(QIODevice::ReadOnly)) return 2;
        const QStringList lines = QString::fromUtf8(list.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QList<TransferPair> pairs;
        for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
            pairs << TransferPair{lines[i], lines[i + 1]};
        startCounting();
        return FileOps::renameInTwoPhases(pairs).errors.isEmpty() ? 0 : 1;
    }
    if (op == "duplicate") {
        QList<ShownItem> items;
        for (const QString &path : args.mid(1))
            items << ShownItem{path, {}, {}};
        startCounting();
        return said(FileActions::duplicateItems(items, progress).errors);
    }
    if ((op == "move" || op == "copy") && args.size() >= 3) {
        startCounting();
        return said(FileOps::runWithProgress(args.mid(2), args[1], op == "move", progress).errors);
    }
    return 2;
}

} // namespace
