#pragma once

#include <QObject>
#include <QString>
#include <optional>

class PaneModel;
struct ShownItem;
class Sides;
class Toasts;
class UndoJournal;
class WindowRequests;
struct Services;

// Names for items: renaming the one selected item (several go to the batch rename), and new folders
// and files under a free localised name. Each is recorded for undo. Main thread only.
class RenameCommands : public QObject {
    Q_OBJECT
public:
    RenameCommands(Sides &sides, Toasts &toasts, WindowRequests &requests, UndoJournal &undo,
                   const Services &services, QObject *parent = nullptr);

    void renameSelection();
    // How much of a name F2's field selects: a file's name without its extension (up to the last dot),
    // a folder's or a dot file's whole name.
    static qsizetype stemLength(const QString &name, bool folder);
    // In the given folder, else in the active pane's.
    void newFolder(const std::optional<QString> &in = std::nullopt);
    void newFile(const std::optional<QString> &in = std::nullopt);
    // The one rename of a single item, as it was listed (F2, Get Info): never replaces, the panes follow it
    // and it is recorded for undo. Throws FileError as FileOps::rename does. `name` is the name shown.
    void rename(const ShownItem &shown, const QString &name, const QString &newName);
    // Whether a new name hides the item from panes that don't show hidden files.
    static bool hides(const QString &name, const QString &newName);
    // Says that the item is renamed, and how to see it again when its new name hides it.
    static QString renamedText(const QString &name, const QString &newName);

private:
    void renameItem(PaneModel *pane, const ShownItem &shown, const QString &answer);
    void makeNewItem(const std::optional<QString> &in, bool folder);

    Sides &m_sides;
    Toasts &m_toasts;
    WindowRequests &m_requests;
    UndoJournal &m_undo;
    const Services &m_services;
};
