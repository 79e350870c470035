#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The files on the clipboard, in its order, and whether they were cut there (by us or another program).
struct PasteboardFiles {
    QStringList paths;
    bool cut = false;
    bool operator==(const PasteboardFiles &) const = default;
};

// The desktop's clipboard as the core sees it. The window fills it with the system clipboard; tests fill
// it with a fake. Every member may be empty (no clipboard): writes do nothing, reads find nothing.
struct Pasteboard {
    // Replaces the contents with file URLs, one per path in order; `cut` marks them as cut for other
    // file managers.
    std::function<void(const QStringList &paths, bool cut)> writeFiles;
    // Replaces the contents with plain text.
    std::function<void(const QString &text)> writeText;
    // The local files on the clipboard; nothing when it holds no file URLs (or nothing readable).
    std::function<std::optional<PasteboardFiles>()> readFiles;
    // Empties the clipboard.
    std::function<void()> clearAll;
    // A counter that changes whenever the clipboard's contents change, in this or any other program.
    std::function<qint64()> changeCount;

    void setFiles(const QStringList &paths, bool cut) const {
        if (writeFiles) writeFiles(paths, cut);
    }
    void setText(const QString &text) const {
        if (writeText) writeText(text);
    }
    std::optional<PasteboardFiles> files() const { return readFiles ? readFiles() : std::nullopt; }
    void clear() const {
        if (clearAll) clearAll();
    }
    qint64 count() const { return changeCount ? changeCount() : 0; }
};
