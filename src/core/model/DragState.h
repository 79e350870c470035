#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

// The set of paths a pane is dragging, kept inside the program so that a drop learns the whole set and
// the hover proposal and the drop agree on copy or move. Main thread only; not observable.
class DragState {
public:
    // The private format of our own drags; its data is the drag's id.
    static const QString mimeType;

    static DragState &shared();

    // The paths of the drag a pane started most recently (standardised); empty when none is running.
    QStringList paths;

    // Records a new drag and returns its data: the file URLs of every path and our drag id. The caller
    // (the drag) owns the result.
    QMimeData *beginDrag(const QStringList &dragged);
    // The drag that carried this data ended, with or without a drop.
    void endDrag(const QMimeData *data);
    // The id of the running drag; empty when none.
    const QString &dragId() const { return m_dragId; }

    // The paths a drop of this data transfers: its local file URLs, standardised, or the recorded set
    // when the data is this process's running drag and carries one of the recorded paths first.
    QStringList dropPaths(const QMimeData *data) const;
    // Move only when every source lies on the destination's volume and the copy key is not held.
    static bool movesOnDrop(const QStringList &sources, const QString &destination, bool copyHeld);
    // The operation to propose while this data hovers over a folder; the drop does the same.
    bool proposesMove(const QMimeData *data, const QString &destination, bool copyHeld) const;

    // Forgets the recorded drag (a drop used it).
    void clear();

private:
    QString m_dragId;
};
