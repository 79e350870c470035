#include "core/model/DragState.h"

#include "core/model/FileLoader.h"
#include "platform/Volumes.h"

#include <QMimeData>
#include <QUrl>
#include <QUuid>

const QString DragState::mimeType = QStringLiteral("application/x-kestrin-drag");

DragState &DragState::shared() {
    static DragState state;
    return state;
}

QMimeData *DragState::beginDrag(const QStringList &dragged) {
    paths = dragged;
    m_dragId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    auto *data = new QMimeData;
    QList<QUrl> urls;
    urls.reserve(dragged.size());
    for (const QString &p : dragged)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    data->setData(mimeType, m_dragId.toUtf8());
    return data;
}

void DragState::endDrag(const QMimeData *data) {
    // Only the drag that is still recorded may clear it; a late end of an older drag leaves a newer one.
    if (!data || m_dragId.isEmpty() || data->data(mimeType) != m_dragId.toUtf8()) return;
    clear();
}

void DragState::clear() {
    paths.clear();
    m_dragId.clear();
}

QStringList DragState::dropPaths(const QMimeData *data) const {
    QStringList received;
    if (!data) return received;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            received << FileLoader::norm(url.toLocalFile());
    if (received.isEmpty()) return received;
    // Another program's drop may name one of our files; only our own running drag stands for the set.
    const bool ours =
        !m_dragId.isEmpty() && data->hasFormat(mimeType) && data->data(mimeType) == m_dragId.toUtf8();
    if (ours && paths.contains(received.first())) return paths;
    return received;
}

bool DragState::movesOnDrop(const QStringList &sources, const QString &destination, bool copyHeld) {
    if (copyHeld) return false;
    for (const QString &s : sources)
        if (!Volumes::sameVolume(s, destination)) return false;
    return true;
}

bool DragState::proposesMove(const QMimeData *data, const QString &destination, bool copyHeld) const {
    return movesOnDrop(dropPaths(data), destination, copyHeld);
}
