#include "ui/panecontent/FolderDropTarget.h"

#include "core/app/Sides.h"
#include "core/base/OpenQuestions.h"
#include "core/model/DragState.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

// The first look at a drag over a folder waits this long for the volumes to answer; a dead mount then
// only makes the proposal a copy.
constexpr int kFirstWaitMs = 100;

using VolumeCheck = std::function<bool(const QStringList &, const QString &)>;

VolumeCheck &volumeCheck() {
    static VolumeCheck check;
    return check;
}

QString &lastKey() {
    static QString key;
    return key;
}

// Whether a drop of paths on destination stays on one volume, asked in a thread of its own. The last answer
// is kept: a drag asks the same on every move of the mouse.
std::optional<bool> sameVolume(const QStringList &paths, const QString &destination) {
    static auto *questions = new OpenQuestions<QString, bool>; // left to the end: threads may outlive it
    static bool lastAnswer = false;
    const QString key = destination + u'\n' + paths.join(u'\n');
    if (key == lastKey()) return lastAnswer;
    auto ask = [paths, destination, check = volumeCheck()] {
        return check ? check(paths, destination) : DragState::movesOnDrop(paths, destination, false);
    };
    bool started = false;
    std::optional<bool> answer = questions->ask(key, ask, std::chrono::steady_clock::now(), &started);
    if (!answer && started)
        answer = questions->ask(key, ask,
                                std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstWaitMs));
    if (answer) {
        lastKey() = key;
        lastAnswer = *answer;
    }
    return answer;
}

} // namespace

void FolderDropTarget::setVolumeCheck(std::function<bool(const QStringList &, const QString &)> check) {
    volumeCheck() = std::move(check);
    lastKey().clear();
}

bool FolderDropTarget::accepts(const QMimeData *data) {
    if (!data || !data->hasUrls()) return false;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return true;
    return false;
}

Qt::DropAction FolderDropTarget::action(const QMimeData *data, const QString &destination, bool copyHeld,
                                        Qt::DropActions offered) {
    if (!accepts(data)) return Qt::IgnoreAction;
    const bool move = !copyHeld && (offered & Qt::MoveAction) &&
                      sameVolume(DragState::shared().dropPaths(data), destination).value_or(false);
    if (move) return Qt::MoveAction;
    return (offered & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
}

Qt::DropAction FolderDropTarget::actionFor(const QMimeData *data, Qt::KeyboardModifiers modifiers,
                                           Qt::DropActions offered) const {
    if (trashes) return accepts(data) && (offered & Qt::MoveAction) ? Qt::MoveAction : Qt::IgnoreAction;
    return action(data, destination, copyHeld(modifiers), offered);
}

bool FolderDropTarget::dragMove(QDragMoveEvent *event) const {
    const Qt::DropAction a = actionFor(event->mimeData(), event->modifiers(), event->possibleActions());
    if (a == Qt::IgnoreAction) {
        event->ignore();
        return false;
    }
    event->setDropAction(a);
    event->accept();
    if (targeted) targeted(true);
    return true;
}

void FolderDropTarget::dragLeave() const {
    if (targeted) targeted(false);
    lastKey().clear(); // the next drag looks at the volumes anew
}

bool FolderDropTarget::drop(QDropEvent *event) const {
    if (targeted) targeted(false);
    const Qt::DropAction a = actionFor(event->mimeData(), event->modifiers(), event->possibleActions());
    lastKey().clear();
    if (a == Qt::IgnoreAction || !perform || !perform(event->mimeData(), a == Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    // What was done: a move only where the volumes allowed one and the source offered it.
    event->setDropAction(a);
    event->accept();
    return true;
}

void FolderDropTarget::activatePane(QWidget *in, Sides &sides, Side side) {
    sides.setActive(side);
    // The keys go where a click on the pane would send them.
    for (QWidget *w = in; w && !w->isWindow(); w = w->parentWidget())
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
            w->setFocus(Qt::MouseFocusReason);
            return;
        }
}
