#pragma once

#include <QObject>
#include <QStringList>
#include <optional>

class PaneModel;
class RenameCommands;
class Sides;
class Toasts;
class WindowRequests;
struct FileItem;
struct Services;

// Small commands on the selection or the active pane: open, share, tags, information, go to a folder,
// the Terminal and the text editor, showing items in a file manager, the compare and storage sheets,
// and eject. Main thread only; sheets are asked for through the window requests.
class ItemCommands : public QObject {
    Q_OBJECT
public:
    // renames: where the Get Info form's rename goes, the same as F2's.
    ItemCommands(Sides &sides, Toasts &toasts, WindowRequests &requests, RenameCommands &renames,
                 const Services &services, QObject *parent = nullptr);

    RenameCommands &renames() const { return m_renames; }

    void openSelection();
    // Opens a file with its application; says so in a toast when none opens it.
    void openWithApplication(const QString &path);
    void share(const QStringList &paths);
    void toggleTag(const QString &tag, const QStringList &paths);
    void clearTags(const QStringList &paths);
    void showInfo(const QStringList &paths);
    void goToFolder(PaneModel *pane = nullptr);
    void openFolderInTerminal();
    void openInTextEdit();
    // Shows the items selected in the desktop's file manager, else in the active pane.
    void showInFileManager(const QStringList &paths);
    // The sheets of the folder compare (both panes' folders) and of the storage analysis (the active
    // pane's folder when no path is given).
    void openCompare();
    void openStorageAnalysis(const std::optional<QString> &path = std::nullopt);
    QStringList contextPaths(PaneModel *pane, const FileItem &item);
    // Tabs on the volume go home first; the eject runs in the background. pathBytes: the mount point as
    // the system has it when its name is not UTF-8 (path is then only its shown text).
    void eject(const QString &path, const QString &name, const QByteArray &pathBytes = {});

signals:
    // These items' icons (with their tag colours) must be drawn anew.
    void iconsChanged(const QStringList &paths);
    // The mounted volumes changed (after an eject): the sidebar lists its devices anew.
    void devicesChanged();

private:
    void goToTypedFolder(PaneModel *pane, const QString &answer);

    Sides &m_sides;
    Toasts &m_toasts;
    WindowRequests &m_requests;
    RenameCommands &m_renames;
    const Services &m_services;
};
