#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>
#include <optional>

class Favorites;
class QHBoxLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class SheetPresenter;
struct UIScale;

// The sheet that arranges the star favourites: move up and down or by dragging, remove, add through the
// open panel or by dropping files on it. Every change goes straight to the stored list.
class FavoritesEditorSheet : public QDialog {
    Q_OBJECT
public:
    static void registerWith(SheetPresenter *sheets, Favorites &favorites);
    explicit FavoritesEditorSheet(Favorites &favorites, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }
    bool showsEmptyBox() const;
    // A row's controls, for tests and the screenshots: "up", "down", "remove" and the second line "where".
    QWidget *rowWidget(int row) const;
    // Tests: stands in for the look at an item (nothing: gone; else whether a folder). Empty: stat.
    static void setItemLook(std::function<std::optional<bool>(const QString &path)> look);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The title and the explanation; returns the dimmed palette of secondary text.
    QPalette addHeader(QVBoxLayout *column, const UIScale &ui);
    QWidget *buildList(const QPalette &dimmed);
    QHBoxLayout *buildButtons();
    void reload();
    QWidget *makeRow(const QString &path, const UIScale &ui);
    // Up, down and remove for the favourite at index i of count.
    void addRowButtons(QHBoxLayout *line, const QString &path, int i, int count);
    void rowsDragged();
    // Whether each favourite is there and a folder, asked in a worker; the rows follow its answer.
    void lookAtItems(const QStringList &paths);
    // folder: nothing when the item is gone (or not looked at yet: looked false).
    void showLook(int row, const QString &path, std::optional<bool> folder, bool looked = false);
    QPointer<Favorites> m_favorites;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_empty = nullptr;
    QListWidget *m_list = nullptr;
    QStringList m_shown;
    int m_lookGeneration = 0;
};
