#pragma once

#include <QDialog>

class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class Settings;
class SheetPresenter;
class ToolbarApps;
class WindowRequests;
struct UIScale;

// The sheet "Leiste anpassen": the toolbar applications with their folders, to reorder, replace, remove
// and add; the compact or extended look. Every change goes to the list at once; nothing to save.
class ToolbarEditorSheet : public QDialog {
    Q_OBJECT
public:
    ToolbarEditorSheet(Settings &settings, WindowRequests &requests, ToolbarApps &apps,
                       QWidget *parent = nullptr);
    static void registerWith(SheetPresenter *presenter, Settings &settings, WindowRequests &requests,
                             ToolbarApps &apps);

    QListWidget *list() const { return m_list; }
    // Rows for the list of now (also after a drag inside the list).
    void rebuild();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildHeader(QVBoxLayout *outer, const UIScale &ui);
    void buildList(QVBoxLayout *outer);
    void buildFooter(QVBoxLayout *outer, const UIScale &ui);
    void wire();
    QWidget *appRow(const QString &path, int index, int count, const UIScale &ui);
    void addRowTools(QWidget *row, const QString &path, int index, int count);
    void takeListOrder();

    Settings &m_settings;
    WindowRequests &m_requests;
    ToolbarApps &m_apps;
    QStackedWidget *m_stack = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_counter = nullptr;
    QPushButton *m_add = nullptr;
    QButtonGroup *m_look = nullptr;
    bool m_rebuilding = false;
};
