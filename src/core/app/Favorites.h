#pragma once

#include <QObject>
#include <QStringList>
#include <optional>

class AppState;

// The star favourites: the user's ordered list of folders, files and programs behind the toolbar's star
// menu, stored whole under "quickFavorites" after every change. Main thread only.
class Favorites : public QObject {
    Q_OBJECT
public:
    explicit Favorites(AppState &app, QObject *parent = nullptr);

    QStringList list() const;
    bool contains(const QString &path) const { return list().contains(path); }
    // Assigns the whole list (the editor's drag reorder); stored at once.
    void setList(const QStringList &paths);

    // Adds the paths that exist and are not listed yet, in order, starting at `at` (clamped to the list;
    // none: at the end); says what happened in a toast and returns how many were added.
    int addFavorites(const QStringList &paths, std::optional<int> at = std::nullopt);
    // The open panel for files, folders and programs; what is chosen goes to the end.
    void addFavoritesDialog();
    // Removes every entry equal to the path (stores the list even when nothing went).
    void removeFavorite(const QString &path);
    // Moves the first entry equal to the path to the index (clamped), counted after its removal.
    void moveFavorite(const QString &path, int index);
    // The item menu's entry: adds the paths, or removes them all when every one is listed already.
    void toggle(const QStringList &paths);

    // What the star button acts on: the active pane's selected folder, else its folder.
    QString favoriteTarget() const;
    bool favoriteTargetIsSelection() const;
    void toggleFavoriteCurrent();
    // A folder opens in the active pane; an application entry starts its program; anything else opens with
    // its application, never by running it.
    void openFavorite(const QString &path);

signals:
    void changed();

private:
    AppState &m_app;
};
