#pragma once

#include <QDialog>
#include <QPointer>

class AppState;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SheetPresenter;

// The sheet that arranges the star favourites: move up and down or by dragging, remove, add through the
// open panel or by dropping files on it. Every change goes straight to the stored list.
class FavoritesEditorSheet : public QDialog {
    Q_OBJECT
public:
    static void registerWith(SheetPresenter *sheets, AppState *app);
    explicit FavoritesEditorSheet(AppState *app, QWidget *parent = nullptr);

    QListWidget *list() const { return m_list; }
    bool showsEmptyBox() const;
    // A row's controls, for tests and the screenshots: "up", "down", "remove" and the second line "where".
    QWidget *rowWidget(int row) const;

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void reload();
    void rowsDragged();
    QPointer<AppState> m_app;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_empty = nullptr;
    QListWidget *m_list = nullptr;
    QStringList m_shown;
};
