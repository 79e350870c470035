#include "ui/panecontent/FolderDropTarget.h"

#include "core/model/DragState.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

bool FolderDropTarget::accepts(const QMimeData *data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return true;
    return false;
}

Qt::DropAction FolderDropTarget::proposal(const QMimeData *data, const QString &destination, bool copyHeld) {
    return DragState::shared().proposesMove(data, destination, copyHeld) ? Qt::MoveAction : Qt::CopyAction;
}

bool FolderDropTarget::dragMove(QDragMoveEvent *event) const {
    if (!accepts(event->mimeData())) {
        event->ignore();
        return false;
    }
    const Qt::DropAction action = proposal(event->mimeData(), destination, copyHeld(event->modifiers()));
    // Another program may offer only some actions; then take what it proposes.
    if (event->possibleActions() & action)
        event->setDropAction(action);
    else
        event->setDropAction(event->proposedAction());
    event->accept();
    if (targeted) targeted(true);
    return true;
}

void FolderDropTarget::dragLeave() const {
    if (targeted) targeted(false);
}

bool FolderDropTarget::drop(QDropEvent *event) const {
    if (targeted) targeted(false);
    if (!accepts(event->mimeData()) || !perform) {
        event->ignore();
        return false;
    }
    // A source that offers no move (a toolbar application, say) keeps its item whatever the volumes.
    const bool done = perform(event->mimeData(),
                              copyHeld(event->modifiers()) || !(event->possibleActions() & Qt::MoveAction));
    if (!done) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}
