#pragma once

#include <QPointer>
#include <QWidget>

class AppState;

// The bar along the bottom of the main window: transfers between the panes, new folder, rename,
// clipboard, share, tags and information, each a button of one registered command.
class ActionBar : public QWidget {
    Q_OBJECT
public:
    explicit ActionBar(AppState *app, QWidget *parent = nullptr);
    QSize sizeHint() const override;

    // The transfer group is there in two-pane mode only; enabled states follow the commands.
    void sync();

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QWidget *separator();
    QPointer<AppState> m_app;
    QList<QWidget *> m_transferGroup;
};
