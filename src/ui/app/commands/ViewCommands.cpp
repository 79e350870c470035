#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "ui/app/commands/GroupKit.h"
#include "core/localisation/KeyHints.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/ViewMode.h"
#include "core/model/TabGroup.h"
#include "ui/window/MainWindow.h"

#include <QAction>

using namespace CommandKeys;

// Moving between the sides, through the history and through the tabs.
void Commands::addNavigation() {
    add(ActionDef{Cmd::activateLeft, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_1)}},
        [this] { m_app->sides().setActive(Side::left); });
    QAction *activateRight =
        add(ActionDef{Cmd::activateRight, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_2)}},
            [this] { m_app->sides().setActive(Side::right); });
    // One pane shows only the left side.
    entry(activateRight).rule = [this] { return m_app->settings().dualPane(); };
    entry(activateRight).settings = {Settings::Key::dualPane};
    QAction *otherSide = add(ActionDef{Cmd::otherSide, nullptr, nullptr, {}, {keys(Qt::Key_Tab)}}, [this] {
        m_app->sides().setActive(m_app->sides().active() == Side::left ? Side::right : Side::left);
    });
    entry(otherSide).rule = [this] { return m_app->settings().dualPane(); };
    entry(otherSide).settings = {Settings::Key::dualPane};
    // Tab belongs to the panes and F6 moves files, so Ctrl+F and Ctrl+F6 lead to the other parts.
    add(ActionDef{Cmd::searchField, nullptr, nullptr, {keys(ctrl | Qt::Key_F)}}, [this] {
        if (auto *w = qobject_cast<MainWindow *>(m_window.data())) w->focusPart(MainWindow::Part::search);
    });
    add(ActionDef{Cmd::nextPart, nullptr, nullptr, {keys(ctrl | Qt::Key_F6)}}, [this] {
        if (auto *w = qobject_cast<MainWindow *>(m_window.data())) w->focusNextPart(1);
    });
    add(ActionDef{Cmd::previousPart, nullptr, nullptr, {keys(ctrl | shift | Qt::Key_F6)}}, [this] {
        if (auto *w = qobject_cast<MainWindow *>(m_window.data())) w->focusNextPart(-1);
    });
    addHistory();
    addTabs();
}

// Back, forward, up and refresh, on the toolbar as well.
void Commands::addHistory() {
    QAction *back =
        add(ActionDef{Cmd::back,
                      "chevron.left",
                      nullptr,
                      {keys(ctrl | Qt::Key_BracketLeft), keys(alt | Qt::Key_Left), keys(Qt::Key_Backspace)}},
            [this] { pane()->goBack(); });
    entry(back).rule = [this] { return pane()->canGoBack(); };
    entry(back).paneFacts = place;
    face(back, K("Zurück (⌘[)"), 2);
    QAction *forward = add(ActionDef{Cmd::forward,
                                     "chevron.right",
                                     nullptr,
                                     {keys(ctrl | Qt::Key_BracketRight), keys(alt | Qt::Key_Right)}},
                           [this] { pane()->goForward(); });
    entry(forward).rule = [this] { return pane()->canGoForward(); };
    entry(forward).paneFacts = place;
    face(forward, K("Vorwärts (⌘])"), 2);
    QAction *up =
        add(ActionDef{Cmd::up, "arrow.up", nullptr, {keys(ctrl | Qt::Key_Up), keys(alt | Qt::Key_Up)}},
            [this] { pane()->goUp(); });
    entry(up).rule = [this] { return pane()->canGoUp(); };
    entry(up).paneFacts = place;
    face(add(ActionDef{Cmd::refresh, "arrow.clockwise", nullptr, {keys(ctrl | Qt::Key_R), keys(Qt::Key_F5)}},
             [this] { m_app->sides().refreshAll(); }),
         K("Aktualisieren (⌘R)"), 2);
}

// Opening, closing and stepping through the active side's tabs.
void Commands::addTabs() {
    add(ActionDef{Cmd::newTab, "plus", K("Neuer Tab (⌘T)"), {}, {keys(ctrl | Qt::Key_T)}},
        [this] { group()->newTab(); });
    // The last tab stays. Ctrl+W is the window's; while the side has several tabs it closes the tab first.
    QAction *closeTab = add(ActionDef{Cmd::closeTab}, [this] { group()->close(group()->index()); });
    entry(closeTab).aheadKeys = {keys(ctrl | Qt::Key_W)};
    entry(closeTab).rule = [this] { return group()->tabs().size() > 1; };
    // Shift turns the bracket into a brace on most layouts, and a shortcut for each form would make one
    // press match twice, which Qt answers with nothing: the monitor reads both forms as the bracket.
    QAction *nextTab = add(ActionDef{Cmd::nextTab,
                                     nullptr,
                                     nullptr,
                                     {keys(ctrl | Qt::Key_PageDown)},
                                     {keys(ctrl | shift | Qt::Key_BracketRight)}},
                           [this] { group()->selectNext(1); });
    QAction *previousTab = add(ActionDef{Cmd::previousTab,
                                         nullptr,
                                         nullptr,
                                         {keys(ctrl | Qt::Key_PageUp)},
                                         {keys(ctrl | shift | Qt::Key_BracketLeft)}},
                               [this] { group()->selectNext(-1); });
    for (QAction *a : {nextTab, previousTab})
        entry(a).rule = [this] { return group()->tabs().size() > 1; };
}

// The view of the active pane and the window's panels.
void Commands::addViews() {
    for (const auto &[id, mode, key] : {std::tuple{Cmd::asIcons, ViewMode::icons, Qt::Key_1},
                                        std::tuple{Cmd::asList, ViewMode::list, Qt::Key_2},
                                        std::tuple{Cmd::asColumns, ViewMode::columns, Qt::Key_3}}) {
        QAction *a = add(ActionDef{id, nullptr, nullptr, {keys(ctrl | key)}},
                         [this, mode] { pane()->setViewMode(mode); });
        a->setCheckable(true);
        entry(a).checked = [this, mode] { return pane()->viewMode() == mode; };
        entry(a).paneFacts = view;
        // The number is the mode's place in the list, as in its key.
        entry(a).formedFace = [mode, number = key - Qt::Key_0] {
            return KeyHints::linuxize(title(mode) + QStringLiteral(" (⌘%1)").arg(number), Lang::current());
        };
        entry(a).chapter = 2;
    }
    QAction *hidden = add(ActionDef{Cmd::showHidden,
                                    nullptr,
                                    nullptr,
                                    {keys(ctrl | Qt::Key_H)},
                                    {keys(ctrl | shift | Qt::Key_Period)}},
                          [this] { m_app->settings().setShowHidden(!m_app->settings().showHidden()); });
    hidden->setCheckable(true);
    // Layouts put the period's shifted character on different keys; the monitor reads them all as the
    // period, whatever has the focus.
    entry(hidden).inTextFields = true;
    entry(hidden).checked = [this] { return m_app->settings().showHidden(); };
    entry(hidden).settings = {Settings::Key::showHidden};
    face(hidden, K("Unsichtbare Dateien ein- oder ausblenden (⇧⌘.)"), 2);
    QAction *sidebar = add(ActionDef{Cmd::sidebar, "sidebar.left", nullptr, {keys(ctrl | alt | Qt::Key_S)}},
                           [this] { m_app->settings().setShowSidebar(!m_app->settings().showSidebar()); });
    entry(sidebar).followedTitle = [this] {
        return QString::fromUtf8(m_app->settings().showSidebar() ? K("Seitenleiste ausblenden")
                                                                 : K("Seitenleiste einblenden"));
    };
    entry(sidebar).settings = {Settings::Key::showSidebar};
    face(sidebar, K("Seitenleiste ein- oder ausblenden"), 2);
    QAction *inspector =
        add(ActionDef{Cmd::inspector, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_I)}},
            [this] { m_app->settings().setShowInspector(!m_app->settings().showInspector()); });
    entry(inspector).followedTitle = [this] {
        return QString::fromUtf8(m_app->settings().showInspector() ? K("Info-Leiste ausblenden")
                                                                   : K("Info-Leiste einblenden"));
    };
    entry(inspector).settings = {Settings::Key::showInspector};
    face(inspector, K("Info-Leiste ein- oder ausblenden"), 8);
    QAction *dual =
        add(ActionDef{Cmd::dualPane, "rectangle.split.2x1", nullptr, {keys(ctrl | alt | Qt::Key_P)}},
            [this] { m_app->settings().setDualPane(!m_app->settings().dualPane()); });
    entry(dual).followedTitle = [this] {
        return QString::fromUtf8(m_app->settings().dualPane() ? K("Nur ein Fenster zeigen")
                                                              : K("Zwei Fenster nebeneinander zeigen"));
    };
    entry(dual).settings = {Settings::Key::dualPane};
    face(dual, nullptr, 1); // its button says what a click does, as the title does
}
