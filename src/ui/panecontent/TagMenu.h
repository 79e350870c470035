#pragma once

#include "core/model/FileItem.h"

#include <QFuture>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ItemCommands;

// The "Tags" submenu: one entry per offered colour tag, checked when every path carries it, and "Tags
// entfernen". The paths are asked for when the menu opens, and their tags are read in the background:
// a selection of many thousands never holds the menu up, and the reading stops as soon as no mark is
// possible any more. Tags a listing already holds are taken from its items instead of read again.
// Choosing an entry runs pick first (the item menu selects the clicked item).
class TagMenu : public QMenu {
    Q_OBJECT
public:
    using Paths = std::function<QStringList()>;
    TagMenu(ItemCommands &items, Paths paths, std::function<void()> pick = {}, QWidget *parent = nullptr);
    ~TagMenu() override;

    // Reads the tag names of one path (FileOps::tags unless a test says otherwise); runs off the main thread.
    using Reader = std::function<QStringList(const QString &path)>;
    // The names of choices that every path carries; none for no paths. The tags of paths among the listed
    // items are theirs; the others are read. Stops when no choice is left, or when cancel is set.
    static QSet<QString> marks(const QStringList &paths, const std::atomic_bool *cancel = nullptr,
                               const Reader &read = {}, const QList<FileItem> &listed = {});
    void setReader(Reader read) { m_read = std::move(read); }
    // The items whose tags are known (the pane's listing), asked for when the menu opens.
    using Listed = std::function<QList<FileItem>()>;
    void setListed(Listed listed) { m_listed = std::move(listed); }

    // The marks of the current opening once read.
    const std::optional<QSet<QString>> &readMarks() const { return m_marks; }
    // The entry of a tag choice (its German name).
    QAction *entry(const QString &name) const;

signals:
    void marksRead();

private:
    void opening();
    void showMarks();

    QPointer<ItemCommands> m_items;
    Paths m_paths;
    std::function<void()> m_pick;
    Reader m_read;
    Listed m_listed;
    QList<QAction *> m_entries;
    std::optional<QSet<QString>> m_marks;
    std::shared_ptr<std::atomic_bool> m_cancel;
    int m_generation = 0;
};
