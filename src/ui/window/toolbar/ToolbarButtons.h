#pragma once

#include "ui/style/ButtonStyles.h"

#include <QPointer>
#include <QToolButton>

#include <functional>

class QAction;
class QKeyEvent;

// A push button of the toolbar: only its symbol shows (14 pixels in the icon button frame). It may follow
// an action of the command registry: a click triggers it and its enabled state is the action's.
class ToolbarIconButton : public IconButton {
    Q_OBJECT
public:
    explicit ToolbarIconButton(const QString &symbol, QWidget *parent = nullptr);
    // Clicks trigger the action; the button is enabled with it. Null leaves the button disabled.
    // With whileDisabled the button stays enabled and a click runs that while the action is disabled.
    void setAction(QAction *action, std::function<void()> whileDisabled = {});
    QAction *action() const { return m_action; }
    // Drawn at half opacity, still clickable.
    void setDimmed(bool dimmed);
    bool dimmed() const { return m_dimmed; }
    ButtonLook look() const override;

private:
    void updateEnabled();
    QPointer<QAction> m_action;
    std::function<void()> m_whileDisabled;
    bool m_dimmed = false;
};

// The label of a toolbar drop-down menu: a symbol at 14 pixels in a 28 by 26 frame, no arrow. The menu
// opens on press, or from the keyboard.
class ToolbarMenuButton : public QToolButton {
    Q_OBJECT
public:
    explicit ToolbarMenuButton(const QString &symbol, QWidget *parent = nullptr);
    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    // The symbol's colour; the window text colour when invalid.
    void setSymbolColor(const QColor &color);

    static constexpr QSize kFrame{28, 26};
    // Return, Enter and Down on a focused button with a menu open it; true when they did.
    static bool opensMenu(QToolButton *button, QKeyEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_symbol;
    QColor m_color;
};
