#pragma once

#include "core/model/PaneModel.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

// What the pane model's files share: its file-system work and how it runs in workers.
namespace PaneWork {

// The backend set for tests, with FileLoader for what it leaves empty.
PaneModel::Backend backend();
// Absolute, with dot segments resolved and no trailing slash.
QString standardised(const QString &path);

// Runs work on the thread pool and hands its result to done on context's thread. Deleting context
// deletes the watcher, so a late result never reaches a destroyed model.
template <typename T, typename Work, typename Done> void inWorker(QObject *context, Work work, Done done) {
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done = std::move(done)]() {
        T result = watcher->result();
        watcher->deleteLater();
        done(std::move(result));
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

} // namespace PaneWork
