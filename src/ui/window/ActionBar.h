#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class BarButton;
class IconButton;
class QHBoxLayout;
class QToolButton;

// The bar along the bottom of the main window: transfers between the panes, new folder, rename,
// clipboard, share, tags and information, each calling one AppState operation.
class ActionBar : public QWidget {
    Q_OBJECT
public:
    explicit ActionBar(AppState *app, QWidget *parent = nullptr);
    QSize sizeHint() const override;

    // Enabled states and the transfer group follow the panes' selections and the pane mode.
    void sync();

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QWidget *separator();
    QPointer<AppState> m_app;
    QList<QWidget *> m_transferGroup;
    BarButton *m_copyToLeft = nullptr, *m_copyToRight = nullptr, *m_moveToLeft = nullptr,
              *m_moveToRight = nullptr;
    BarButton *m_rename = nullptr;
    IconButton *m_copy = nullptr, *m_cut = nullptr, *m_share = nullptr, *m_info = nullptr;
    QToolButton *m_tags = nullptr;
};
