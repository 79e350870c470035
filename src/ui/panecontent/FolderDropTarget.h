#pragma once

#include "core/model/Side.h"

#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>

class QDragMoveEvent;
class QWidget;
class Sides;
class QDropEvent;
class QMimeData;

// The one drop rule for files dropped onto a folder (a row, a whole pane, a sidebar row). It accepts local
// file URLs only (web links alone are refused), does only what the source offers, proposes copy or move
// while the drag hovers and hands the drop to `perform`, which as a rule calls PaneModel::handleDrop. The
// source is answered with what was done. The copy key is Ctrl, as in every Linux file manager.
struct FolderDropTarget {
    QString destination;                // only used for the proposal
    bool trashes = false;               // the Trash: a drop trashes, which needs a source that offers a move
    std::function<void(bool)> targeted; // optional highlight
    // copy: whether to copy (else move where the volumes allow); true when it did something.
    std::function<bool(const QMimeData *data, bool copy)> perform;

    // At least one local file URL.
    static bool accepts(const QMimeData *data);
    // Move when the copy key is not held, the sources lie on the destination's volume and the source offers a
    // move; else copy when offered; else nothing (Qt::IgnoreAction). Whether the volumes are the same is
    // asked off the window's thread: until it answers (briefly waited for, never long), a copy is proposed.
    static Qt::DropAction action(const QMimeData *data, const QString &destination, bool copyHeld,
                                 Qt::DropActions offered);
    // Tests: stands in for the look at the volumes (empty: the real one).
    static void
    setVolumeCheck(std::function<bool(const QStringList &paths, const QString &destination)> check);
    static bool copyHeld(Qt::KeyboardModifiers modifiers) { return modifiers & Qt::ControlModifier; }

    // Drag enter and move: accepts with the proposal (and lights the target up), or ignores.
    bool dragMove(QDragMoveEvent *event) const;
    void dragLeave() const;
    // Clears the highlight and performs; answers the source with the action done.
    bool drop(QDropEvent *event) const;
    // After a drop on a pane: its side becomes the active one and the keys go to it, as after a click
    // there, so that the next key acts on what was dropped (the transfer selects it once done).
    static void activatePane(QWidget *in, Sides &sides, Side side);

private:
    Qt::DropAction actionFor(const QMimeData *data, Qt::KeyboardModifiers modifiers,
                             Qt::DropActions offered) const;
};
