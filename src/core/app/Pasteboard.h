#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The desktop's clipboard as the core sees it. The window fills it with the system clipboard; tests fill
// it with a fake. Every member may be empty (no clipboard): writes do nothing, reads find nothing.
struct Pasteboard {
    // Replaces the contents with file URLs, one per path in order; `cut` marks them as cut for other
    // file managers.
    std::function<void(const QStringList &paths, bool cut)> writeFiles;
    // Replaces the contents with plain text.
    std::function<void(const QString &text)> writeText;
    // The local file paths on the clipboard in its order; nothing when it holds no file URLs.
    std::function<std::optional<QStringList>()> readFiles;
    // A counter that changes whenever the clipboard's contents change, in this or any other program.
    std::function<qint64()> changeCount;

    void setFiles(const QStringList &paths, bool cut) const {
        if (writeFiles) writeFiles(paths, cut);
    }
    void setText(const QString &text) const {
        if (writeText) writeText(text);
    }
    std::optional<QStringList> files() const { return readFiles ? readFiles() : std::nullopt; }
    qint64 count() const { return changeCount ? changeCount() : 0; }
};
