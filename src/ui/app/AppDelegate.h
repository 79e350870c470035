#pragma once

#include <QObject>
#include <QHash>
#include <QSet>

class QWidget;

// What the application does around its windows. It starts the menu re-titling, re-applies the menu
// titles whenever the application becomes active, and fits each main window ("Kestrin") into its screen
// once, when it is first shown, and lets it settle unseen before it fades in (where the window system can
// fade a window). Every other window is kept inside its screen. Activation never raises windows: the
// window manager decides the order.
// Linux has no automatic window tabs to switch off, and the window manager draws the title bar, so the
// title text stays as it is.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    static bool isMainWindow(const QWidget *window);
    // A main window shows after settleMs, fading in over fadeMs; for placingMs after a window is shown,
    // the window manager's moves count as its placing (tests shorten them).
    struct Timings {
        int settleMs = 900;
        int fadeMs = 150;
        int placingMs = 2000;
    };
    static Timings &timings();
    // Whether the window system can change a window's opacity (X11 can; Wayland has no such request).
    static bool canFade();
    // The application became active.
    void activated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The windows besides the main ones that are kept inside their screen: windows and dialogs, not menus
    // or tooltips.
    static bool keptOnScreen(const QWidget *window);

private:
    void fitSoon(QWidget *window);
    QSet<const QWidget *> m_settled; // main windows fitted already; a window is fitted once
    QSet<const QWidget *> m_fitting;
    QHash<const QWidget *, qint64> m_shownAt;
};
