// Copy, cut and paste of files through the desktop clipboard.
#include "core/app/Clipboard.h"

#include "core/app/JobRunner.h"
#include "core/app/Pasteboard.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/Transfers.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

Clipboard::Clipboard(Sides &sides, Transfers &transfers, JobRunner &jobs, Toasts &toasts,
                     const Pasteboard &pasteboard, QObject *parent)
    : QObject(parent), m_sides(sides), m_transfers(transfers), m_jobs(jobs), m_toasts(toasts),
      m_pasteboard(pasteboard) {}

void Clipboard::setCutPaths(const QSet<QString> &value) {
    m_cutPaths = value;
    emit cutPathsChanged();
}

void Clipboard::clearCut() {
    setCutPaths({});
    m_cutChangeCount.reset();
}

// A cut counts only while nothing has written to the clipboard since and the same items come back.
bool Clipboard::cutInForce(const QStringList &paths) const {
    if (!m_cutChangeCount || *m_cutChangeCount != m_pasteboard.count()) return false;
    return !m_cutPaths.isEmpty() && QSet<QString>(paths.cbegin(), paths.cend()) == m_cutPaths;
}

void Clipboard::copy(const QStringList &paths) {
    if (paths.isEmpty()) return;
    m_pasteboard.setFiles(paths, false);
    clearCut();
    m_toasts.show(LP("%@ kopiert. Im Zielordner mit „Einsetzen“ (⌘V) ablegen.|%@ kopiert. Im Zielordner mit "
                     "„Einsetzen“ (⌘V) ablegen.",
                     paths.size(), FileFmt::count(paths.size())));
}

void Clipboard::cut(const QStringList &paths) {
    if (paths.isEmpty()) {
        m_toasts.show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    m_pasteboard.setFiles(paths, true);
    setCutPaths(QSet<QString>(paths.cbegin(), paths.cend()));
    m_cutChangeCount = m_pasteboard.count();
    m_toasts.show(LF("%@ ausgeschnitten. Im Zielordner mit „Einsetzen“ (⌘V) verschieben.",
                     FileFmt::count(paths.size())));
}

bool Clipboard::holdsFiles() const {
    const std::optional<PasteboardFiles> onBoard = m_pasteboard.files();
    return onBoard && !onBoard->paths.isEmpty();
}

void Clipboard::paste(const QString &folder) {
    // The one-job rule first: nothing is read, asked or prepared for a paste that can't run.
    if (!m_jobs.admits()) return;
    const std::optional<PasteboardFiles> onBoard = m_pasteboard.files();
    if (!onBoard || onBoard->paths.isEmpty()) {
        m_toasts.show(K("In der Zwischenablage liegen keine Dateien."), ToastKind::warning);
        return;
    }
    const qint64 boardCount = m_pasteboard.count();
    QStringList paths;
    for (const QString &path : onBoard->paths)
        paths << FileLoader::norm(path);

    // A copied folder that is still the one selected item is the pane's target folder: paste next to it,
    // into the folder a pane shows, instead of into the folder itself.
    QString destination = folder;
    if (paths.contains(destination)) {
        QString parent = destination.section(u'/', 0, -2);
        if (parent.isEmpty()) parent = QStringLiteral("/");
        if (m_sides.left()->currentPath() == parent)
            destination = m_sides.left()->currentPath();
        else if (m_sides.right()->currentPath() == parent)
            destination = m_sides.right()->currentPath();
    }

    // A cut moves: ours while it is in force, or one the clipboard marks as cut (another program's, or ours
    // from before a restart). It is used up only by a move that runs: refused as busy or cancelled at a
    // question, it stays. Used up, the clipboard is emptied unless written since, so nobody moves it twice.
    const bool move = onBoard->cut || cutInForce(paths);
    std::function<void()> admitted;
    if (move)
        admitted = [this, count = m_cutChangeCount, boardCount] {
            if (m_cutChangeCount == count) clearCut();
            if (m_pasteboard.count() == boardCount) m_pasteboard.clear();
        };
    m_transfers.transfer(paths, destination, move, admitted);
}

void Clipboard::copyPath(const QStringList &paths) {
    if (paths.isEmpty()) return;
    m_pasteboard.setText(paths.join(u'\n'));
    setCutPaths({});
    // Put together directly: the number and the path are not translated.
    m_toasts.show(paths.size() == 1 ? L("Pfad kopiert: ") + paths.first()
                                    : localNumber(paths.size()) + L(" Pfade kopiert."));
}
