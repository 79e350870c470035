#pragma once

#include <QDialog>
#include <QPointer>

class AppState;
class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SheetPresenter;

// The sheet "Leiste anpassen": the toolbar applications with their folders, to reorder, replace, remove
// and add; the compact or extended look. Every change goes to the list at once; nothing to save.
class ToolbarEditorSheet : public QDialog {
    Q_OBJECT
public:
    explicit ToolbarEditorSheet(AppState *app, QWidget *parent = nullptr);
    static void registerWith(SheetPresenter *presenter, AppState *app);

    QListWidget *list() const { return m_list; }
    // Rows for the list of now (also after a drag inside the list).
    void rebuild();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void build();
    void takeListOrder();

    QPointer<AppState> m_app;
    QStackedWidget *m_stack = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_counter = nullptr;
    QPushButton *m_add = nullptr;
    QButtonGroup *m_look = nullptr;
    bool m_rebuilding = false;
};
