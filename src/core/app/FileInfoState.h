#pragma once

#include "core/model/FileItem.h"
#include "core/model/FullDetails.h"
#include "core/model/SizeWalk.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class ItemCommands;
class Sides;
class Toasts;

// The state and edits of the Get Info form for one item: loads its facts in a worker (only the newest
// load is applied), counts a folder's size (one walk at a time), and writes back the name, tags, lock and
// comment. Reloads keep what the user is editing. Main thread only.
class FileInfoState : public QObject {
    Q_OBJECT
public:
    enum class Field { name, tags, comment };

    struct Timings {
        int commentSaveMs = 600; // the comment is written this long after the last keystroke
        int folderLimit = 200000;
    };
    static Timings timings();
    static void setTimings(const Timings &t);
    // Tests: what a load reads (empty restores FullDetails::load).
    static void setLoaderForTests(std::function<FullDetails(const QString &path)> loader);

    // What it changes beyond the item: the panes (a rename follows into their tabs), the icons, the toasts.
    FileInfoState(Sides &sides, ItemCommands &items, Toasts &toasts, const QString &path, qint64 refresh,
                  QObject *parent = nullptr);
    // A pending comment is written first; nothing is said (the window may be going as well).
    ~FileInfoState() override;

    const QString &path() const { return m_path; }
    qint64 refresh() const { return m_refresh; }
    const FullDetails &details() const { return m_details; }
    bool loaded() const { return m_loaded; }
    const QString &sizeText() const { return m_sizeText; }
    // The "Größe" row: a folder's count, else the exact bytes and what they take on the volume.
    QString sizeLong() const;

    const QString &nameText() const { return m_nameText; }
    const QString &tagsText() const { return m_tagsText; }
    const QString &comment() const { return m_comment; }
    // Typing: the field then holds unsaved text that no reload replaces.
    void setNameText(const QString &text);
    void setTagsText(const QString &text);
    // Also schedules the delayed save.
    void setComment(const QString &text);
    // Keyboard focus of a field; the comment is saved when it loses focus.
    void setFocused(Field field, bool focused);
    bool commentSavePending() const { return m_commentTimer.isActive(); }

    // A new refresh token of the owner loads the facts again.
    void setRefresh(qint64 token);
    void load();
    // The form is off the screen and waits to be deleted: nothing read is applied any more.
    void retire();

    void applyTags();
    void setLocked(bool locked);
    // Enter in the name field: renames and selects the item under its new name in the active pane.
    void rename();
    // The field left with a typed name: renamed as by Enter, the selection left as it is.
    void applyName();
    // Escape in the name field: the item's name comes back; in the tags field, its tags.
    void restoreName();
    void restoreTags();
    // The tags field left with typed tags: written as by Enter.
    void applyTypedTags();
    // The form goes for another item: a name or tags typed and never applied are said.
    void tellUnapplied();
    void saveComment();
    // Whether the lock can be changed by this process at all.
    static bool canChangeLock();

    // The name shown in the form refuses these: NUL, line breaks, "." and "..", more than 255 bytes.
    static bool validName(const QString &name);

    // What a path leads to (links followed), as the file system tells items apart.
    struct ItemId {
        quint64 dev = 0, ino = 0;
        friend bool operator==(const ItemId &, const ItemId &) = default;
    };
    static std::optional<ItemId> itemId(const QString &path);
    // Runs act on the item under path only when it is still `expected`, with a path that names exactly that
    // item (pinned: a rename meanwhile can't send the change elsewhere). False, act not run, otherwise.
    static bool onSameItem(const QString &path, const ItemId &expected,
                           const std::function<void(const QString &pinned)> &act);

signals:
    // Any state changed (facts, size, path).
    void changed();
    // Texts of the fields were replaced from outside (a load, a reset after a refused rename).
    void fieldsReset();
    void pathChanged();
    // Read again for a new refresh token (a change made elsewhere, an undo).
    void refreshed();

private:
    bool keeps(Field field) const;
    void apply(const FullDetails &details);
    void startFolderCount();
    void renameTo(bool select);
    void writeComment(bool tell);

    QPointer<Sides> m_sides;
    QPointer<ItemCommands> m_items;
    QPointer<Toasts> m_toasts;
    QString m_path;
    qint64 m_refresh = 0;
    FullDetails m_details;
    bool m_loaded = false;
    ::ItemId m_loadedId; // the item at the path when its facts were read, links not followed
    QString m_sizeText;
    QString m_nameText, m_tagsText, m_comment;
    bool m_typed[3] = {false, false, false};
    bool m_focused[3] = {false, false, false};
    quint64 m_generation = 0;
    QTimer m_commentTimer;
    SizeWalk m_walk;
    QString m_countedPath; // the folder whose size sizeText shows
};
