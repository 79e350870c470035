#pragma once

#include <QFutureWatcher>
#include <QObject>

// Runs done(result) on owner's thread once the future has finished; nothing when owner is gone by then.
// (A watcher owned by owner, unlike QFuture::then with a context, copes with the owner going first.)
template <typename T, typename Done> void whenDone(QObject *owner, const QFuture<T> &future, Done done) {
    auto *watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->result());
                     });
    watcher->setFuture(future);
}
