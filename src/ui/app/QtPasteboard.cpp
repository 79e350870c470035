#include "ui/app/QtPasteboard.h"

#include "platform/Posix.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

namespace {

const QString uriListType = QStringLiteral("text/uri-list");
const QString gnomeType = QStringLiteral("x-special/gnome-copied-files");
const QString kdeCutType = QStringLiteral("application/x-kde-cutselection");

qint64 g_changes = 0;
// What we last put on the clipboard; its own change signal is counted once, at the write.
QPointer<QMimeData> g_ours;
// Whether it was still there when we last looked.
bool g_holding = false;

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

// Not every platform tells a program in the background that another one took the clipboard: what we
// wrote and no longer find there has changed, signal or not.
void noticeTakeover() {
    if (!g_holding) return;
    if (g_ours && QGuiApplication::clipboard()->mimeData() == g_ours.data()) return;
    g_holding = false;
    ++g_changes;
}

void put(QMimeData *data) {
    watchClipboard();
    g_ours = data;
    g_holding = true;
    ++g_changes;
    QGuiApplication::clipboard()->setMimeData(data);
}

// The local path of one URI line: empty for a URI of another kind (a web link), nothing for a file URI
// that names no local path as written (another host, a query or fragment, not UTF-8, a NUL).
std::optional<QString> localPath(const QByteArray &line) {
    const QUrl url(QString::fromUtf8(line), QUrl::TolerantMode);
    if (!url.isValid()) return std::nullopt;
    if (url.scheme().compare(u"file", Qt::CaseInsensitive) != 0) return QString();
    if (!url.host().isEmpty() && url.host().compare(u"localhost", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (url.hasQuery() || url.hasFragment()) return std::nullopt;
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!bytes.startsWith('/')) return std::nullopt;
    return Posix::decode(bytes); // refuses a NUL as well
}

} // namespace

QByteArray copiedFilesMarker(const QStringList &paths, bool cut) {
    QByteArray bytes = cut ? QByteArrayLiteral("cut") : QByteArrayLiteral("copy");
    for (const QString &path : paths)
        bytes += '\n' + QUrl::fromLocalFile(path).toEncoded();
    return bytes;
}

std::optional<PasteboardFiles> filesOnClipboard(const QMimeData &data) {
    // Another program's contents: bounded, and refused whole where any part is malformed.
    auto read = [&data](const QString &type) -> std::optional<QByteArray> {
        QByteArray bytes = data.data(type);
        if (bytes.size() > maxClipboardBytes) return std::nullopt;
        return bytes;
    };
    PasteboardFiles files;
    QList<QByteArray> lines;
    // The desktop's marked list carries its own mark; a plain list may come with the other desktop's one.
    if (data.hasFormat(gnomeType)) {
        const std::optional<QByteArray> bytes = read(gnomeType);
        if (!bytes) return std::nullopt;
        lines = bytes->split('\n');
        const QByteArray mark = lines.takeFirst().trimmed();
        if (mark != "cut" && mark != "copy") return std::nullopt;
        files.cut = mark == "cut";
    } else if (data.hasFormat(uriListType)) {
        const std::optional<QByteArray> bytes = read(uriListType);
        if (!bytes) return std::nullopt;
        lines = bytes->split('\n');
        if (data.hasFormat(kdeCutType)) {
            const std::optional<QByteArray> mark = read(kdeCutType);
            if (!mark) return std::nullopt;
            files.cut = mark->trimmed() == "1";
        }
    } else {
        return std::nullopt;
    }
    qsizetype uris = 0;
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (++uris > maxClipboardUris) return std::nullopt;
        const std::optional<QString> path = localPath(line);
        if (!path) return std::nullopt;
        if (!path->isEmpty()) files.paths << *path;
    }
    if (files.paths.isEmpty()) return std::nullopt;
    return files;
}

Pasteboard makeQtPasteboard() {
    Pasteboard p;
    p.writeFiles = [](const QStringList &paths, bool cut) {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data->setUrls(urls);
        // Programs that take text get the paths, not the list's URIs.
        data->setText(paths.join(u'\n'));
        data->setData(gnomeType, copiedFilesMarker(paths, cut));
        if (cut) data->setData(kdeCutType, QByteArrayLiteral("1"));
        put(data);
    };
    p.writeText = [](const QString &text) {
        auto *data = new QMimeData;
        data->setText(text);
        put(data);
    };
    p.readFiles = []() -> std::optional<PasteboardFiles> {
        watchClipboard();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        if (!data) return std::nullopt;
        return filesOnClipboard(*data);
    };
    p.clearAll = [] {
        watchClipboard();
        QGuiApplication::clipboard()->clear();
    };
    p.changeCount = [] {
        watchClipboard();
        noticeTakeover();
        return g_changes;
    };
    return p;
}
