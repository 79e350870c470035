#include "core/app/ListedSelection.h"

#include "core/model/PaneModel.h"

#include <QPointer>
#include <QTimer>

namespace ListedSelection {

void select(PaneModel *pane, const QSet<QString> &paths, const QString &cursorAt) {
    if (!pane || paths.isEmpty()) return;
    const QString folder = pane->currentPath();
    auto apply = [pane, paths, cursorAt] {
        pane->setSelection(paths);
        if (!cursorAt.isEmpty()) pane->setCursor(cursorAt);
    };
    apply();
    // One watcher per call, ended by the listing that shows every path, by a change of folder or by time.
    auto *watch = new QObject(pane);
    QObject::connect(pane, &PaneModel::listed, watch, [pane, paths, folder, apply, watch] {
        // A listing that left a path out only took it from the selection; anything else selected was
        // chosen since, and stays.
        if (pane->currentPath() != folder || !paths.contains(pane->selection())) {
            watch->deleteLater();
            return;
        }
        for (const QString &path : paths)
            if (pane->visibleRow(path) < 0) return; // not listed yet; a later listing brings it
        apply();
        watch->deleteLater();
    });
    QTimer::singleShot(5000, watch, [watch] { watch->deleteLater(); });
}

} // namespace ListedSelection
