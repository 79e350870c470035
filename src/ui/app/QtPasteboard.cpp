#include "ui/app/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

namespace {

qint64 g_changes = 0;
// What we last put on the clipboard; its own change signal is counted once, at the write.
QPointer<QMimeData> g_ours;

void watchClipboard() {
    static bool connected = false;
    if (connected) return;
    connected = true;
    QClipboard *clipboard = QGuiApplication::clipboard();
    QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [clipboard] {
        if (g_ours && clipboard->mimeData() == g_ours.data()) return;
        ++g_changes;
    });
}

void put(QMimeData *data) {
    watchClipboard();
    g_ours = data;
    ++g_changes;
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace

QByteArray copiedFilesMarker(const QStringList &paths, bool cut) {
    QByteArray bytes = cut ? QByteArrayLiteral("cut") : QByteArrayLiteral("copy");
    for (const QString &path : paths)
        bytes += '\n' + QUrl::fromLocalFile(path).toEncoded();
    return bytes;
}

Pasteboard makeQtPasteboard() {
    Pasteboard p;
    p.writeFiles = [](const QStringList &paths, bool cut) {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        data->setData(QStringLiteral("x-special/gnome-copied-files"), copiedFilesMarker(paths, cut));
        put(data);
    };
    p.writeText = [](const QString &text) {
        auto *data = new QMimeData;
        data->setText(text);
        put(data);
    };
    p.readFiles = []() -> std::optional<QStringList> {
        watchClipboard();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasUrls()) return std::nullopt;
        QStringList paths;
        for (const QUrl &url : data->urls())
            if (url.isLocalFile()) paths << url.toLocalFile();
        if (paths.isEmpty()) return std::nullopt;
        return paths;
    };
    p.changeCount = [] {
        watchClipboard();
        return g_changes;
    };
    return p;
}
