#pragma once

#include <QPointer>
#include <QToolButton>
#include <QVariantAnimation>
#include <QWidget>

class Settings;
class ToolbarApps;
class WindowRequests;
class QHBoxLayout;
class QMimeData;
class ToolbarMenuButton;

// The quick-launch applications in the toolbar: one button per entry of the "toolbarApps" setting (five
// at most; a longer stored list puts the rest in an overflow menu), on a lightly tinted rounded
// background. The owner adds its own items (the customise menu) at the end of row().
class ToolbarAppsStrip : public QWidget {
    Q_OBJECT
public:
    // The private type of a button being dragged: its entry's path, for reordering. Besides it the drag
    // carries the file URL, offered for copying and linking only, so a drop elsewhere never moves or
    // deletes the application entry.
    static QString dragType();

    ToolbarAppsStrip(Settings &settings, WindowRequests &requests, ToolbarApps &apps,
                     QWidget *parent = nullptr);
    QHBoxLayout *row() const { return m_row; }
    // Builds the buttons for the list of now (done on every change of the list or the look).
    void rebuild();
    // Handles a drop on the strip or on the button of `target` (empty: the strip's background).
    bool handleDrop(const QMimeData *data, const QString &target);

protected:
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPointer<Settings> m_settings;
    WindowRequests *m_requests;
    QPointer<ToolbarApps> m_apps;
    QHBoxLayout *m_row = nullptr;
    QList<QWidget *> m_items;
    QStringList m_shownApps;
    bool m_shownCompact = false;
    bool m_built = false;
};

// One application of the strip: its icon (and name unless the strip is compact); a click launches it.
class ToolbarAppButton : public QToolButton {
    Q_OBJECT
public:
    ToolbarAppButton(WindowRequests &requests, ToolbarApps &apps, const QString &path, bool showName,
                     ToolbarAppsStrip *strip);
    QString path() const { return m_path; }
    // The icon's scale: 1.12 under the pointer, 1 otherwise, eased out over 0.1 s.
    double zoom() const { return m_zoom; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPointer<ToolbarApps> m_apps;
    QPointer<ToolbarAppsStrip> m_strip;
    QString m_path;
    QPoint m_pressAt;
    bool m_pressed = false;
    double m_zoom = 1.0;
    QVariantAnimation *m_zoomAnimation = nullptr;
    void zoomTo(double scale);
};
