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

void Clipboard::paste(const QString &folder) {
    // The one-job rule first: nothing is read, asked or prepared for a paste that can't run.
    if (!m_jobs.admits()) return;
    const std::optional<QStringList> urls = m_pasteboard.files();
    if (!urls || urls->isEmpty()) {
        m_toasts.show(K("In der Zwischenablage liegen keine Dateien."), ToastKind::warning);
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
        if (m_sides.left()->currentPath() == parent)
            destination = m_sides.left()->currentPath();
        else if (m_sides.right()->currentPath() == parent)
            destination = m_sides.right()->currentPath();
    }

    // The cut is used up only by a move that runs: refused as busy or cancelled at a question, it stays.
    const bool move = cutInForce(paths);
    std::function<void()> admitted;
    if (move)
        admitted = [this, count = m_cutChangeCount] {
            if (m_cutChangeCount == count) clearCut();
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
