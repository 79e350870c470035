#pragma once

#include <QPointer>
#include <QWidget>

class Commands;
class Settings;

// The bar along the bottom of the main window: transfers between the panes, new folder, rename,
// clipboard, share, tags and information, each a button of one registered command.
class ActionBar : public QWidget {
    Q_OBJECT
public:
    ActionBar(Settings &settings, Commands &commands, QWidget *parent = nullptr);
    QSize sizeHint() const override;

    // The transfer group is there in two-pane mode only; enabled states follow the commands.
    void sync();

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *separator();
    QWidget *labelButton(const char *id, const char *label, bool trailing, bool prominent);
    QWidget *iconButton(const char *id);
    QWidget *tagsButton();
    // Where the titles do not all fit, every titled button shows its symbol alone.
    void fitTitles();

    QPointer<Settings> m_settings;
    Commands &m_commands;
    QList<QWidget *> m_transferGroup;
};
