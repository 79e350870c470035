// Copy, cut and paste of files through the desktop clipboard.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

void AppState::clearCut() {
    setCutPaths({});
    m_cutChangeCount.reset();
}

// A cut counts only while nothing has written to the clipboard since and the same items come back.
bool AppState::cutInForce(const QStringList &paths) const {
    if (!m_cutChangeCount || *m_cutChangeCount != m_services.pasteboard.count()) return false;
    return !m_cutPaths.isEmpty() && QSet<QString>(paths.cbegin(), paths.cend()) == m_cutPaths;
}

void AppState::copyToClipboard(const QStringList &paths) {
    if (paths.isEmpty()) return;
    m_services.pasteboard.setFiles(paths, false);
    clearCut();
    show(LF("%@ kopiert. Im Zielordner mit „Einsetzen“ (⌘V) ablegen.", FileFmt::count(paths.size())));
}

void AppState::cutToClipboard(const QStringList &paths) {
    if (paths.isEmpty()) {
        show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    m_services.pasteboard.setFiles(paths, true);
    setCutPaths(QSet<QString>(paths.cbegin(), paths.cend()));
    m_cutChangeCount = m_services.pasteboard.count();
    show(LF("%@ ausgeschnitten. Im Zielordner mit „Einsetzen“ (⌘V) verschieben.",
            FileFmt::count(paths.size())));
}

void AppState::paste(const QString &folder) {
    // The one-job rule first: nothing is read, asked or prepared for a paste that can't run.
    if (!m_jobs->admits()) return;
    const std::optional<QStringList> urls = m_services.pasteboard.files();
    if (!urls || urls->isEmpty()) {
        show(K("In der Zwischenablage liegen keine Dateien."), ToastKind::warning);
        return;
    }
    QStringList paths;
    for (const QString &path : *urls)
        paths << FileLoader::norm(path);

    // A copied folder that is still the one selected item is the pane's target folder: paste next to it,
    // into the folder a pane shows, instead of into the folder itself.
    QString destination = folder;
    if (paths.contains(destination)) {
        QString parent = destination.section(u'/', 0, -2);
        if (parent.isEmpty()) parent = QStringLiteral("/");
        if (left()->currentPath() == parent)
            destination = left()->currentPath();
        else if (right()->currentPath() == parent)
            destination = right()->currentPath();
    }

    // The cut is used up only by a move that runs: refused as busy or cancelled at a question, it stays.
    const bool move = cutInForce(paths);
    std::function<void()> admitted;
    if (move)
        admitted = [this, count = m_cutChangeCount] {
            if (m_cutChangeCount == count) clearCut();
        };
    transfer(paths, destination, move, admitted);
}
