#pragma once

#include <QString>
#include <Qt>
#include <functional>

class QDragMoveEvent;
class QDropEvent;
class QMimeData;

// The one drop handler for files dropped onto a folder (a row, a whole pane). It accepts local file
// URLs only, proposes copy or move while the drag hovers and hands the drop to `perform`, which as a
// rule calls PaneModel::handleDrop. The copy key is Ctrl, as in every Linux file manager.
struct FolderDropTarget {
    QString destination;                // only used for the proposal
    std::function<void(bool)> targeted; // optional highlight
    std::function<bool(const QMimeData *data, bool copyHeld)> perform;

    // At least one local file URL.
    static bool accepts(const QMimeData *data);
    // Copy when the copy key is held or a source lies on another volume, else move.
    static Qt::DropAction proposal(const QMimeData *data, const QString &destination, bool copyHeld);
    static bool copyHeld(Qt::KeyboardModifiers modifiers) { return modifiers & Qt::ControlModifier; }

    // Drag enter and move: accepts with the proposal (and lights the target up), or ignores.
    bool dragMove(QDragMoveEvent *event) const;
    void dragLeave() const;
    // Clears the highlight and performs. A drop from another program is answered as a copy: when we
    // move, we move the files ourselves and the source must not delete anything.
    bool drop(QDropEvent *event) const;
};
