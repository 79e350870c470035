#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "ui/app/commands/GroupKit.h"
#include "ui/app/AboutPanel.h"
#include "ui/settings/SettingsWindow.h"

#include <QAction>
#include <QApplication>

using namespace CommandKeys;

// The sheets of the tools and the help, the help itself and the application.
void Commands::addApp() {
    using Sheet = SheetPresenter::Sheet;
    needsSheet(add(ActionDef{Cmd::compare, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_Y)}},
                   [this] { m_app->items().openCompare(); }),
               Sheet::compare);
    needsSheet(add(ActionDef{Cmd::rules}, [this] { m_app->requests().setShowRules(true); }), Sheet::rules);
    needsSheet(add(ActionDef{Cmd::storage, "chart.pie"}, [this] { m_app->items().openStorageAnalysis(); }),
               Sheet::storage);
    needsSheet(
        add(ActionDef{Cmd::shortcuts, "keyboard"}, [this] { m_app->requests().setShowShortcuts(true); }),
        Sheet::shortcuts);
    needsSheet(add(ActionDef{Cmd::terminalHelp, "terminal"},
                   [this] { m_app->requests().setShowTerminalHelp(true); }),
               Sheet::terminalHelp);
    add(ActionDef{Cmd::trashDiagnosis}, [this] { m_app->trash().trashDiagnosis(); });
    // Ctrl+? is typed with Shift on most layouts: the monitor reads Ctrl+?, Ctrl+Shift+? and Ctrl+Shift+/ as
    // the one key (two shortcuts would both match the press and neither would fire).
    QAction *manual = add(
        ActionDef{
            Cmd::manual, "questionmark.circle", nullptr, {keys(Qt::Key_F1)}, {keys(ctrl | Qt::Key_Question)}},
        [this] { m_app->requests().openManual(std::nullopt); });
    entry(manual).inTextFields = true;
    needsSheet(add(ActionDef{Cmd::feedback}, [this] { m_app->requests().setShowFeedback(true); }),
               Sheet::feedback);
    add(ActionDef{Cmd::about, "info.circle"}, [this] { AboutPanel::openPanel(); });
    // Ctrl+Q and Ctrl+W work from every window, as Linux users expect; closing asks first while a job runs.
    add(ActionDef{Cmd::closeWindow,
                  nullptr,
                  nullptr,
                  {keys(ctrl | Qt::Key_W)},
                  {},
                  When::always,
                  Qt::ApplicationShortcut},
        [this] {
            // The window that has the focus: Ctrl+W in the settings, the manual or a sheet closes that one.
            QWidget *w = QApplication::activeWindow();
            if (!w) w = m_window.data();
            // A window under its sheet takes no keys of its own: the sheet goes.
            if (QWidget *modal = QApplication::activeModalWidget())
                for (QWidget *p = modal->parentWidget(); p; p = p->parentWidget())
                    if (p == w) w = modal;
            if (w) w->close();
        });
    add(
        ActionDef{
            Cmd::quit, nullptr, nullptr, {keys(ctrl | Qt::Key_Q)}, {}, When::always, Qt::ApplicationShortcut},
        [this] {
            if (m_window) m_window->close();
        });
    add(ActionDef{Cmd::settings, "gearshape", K("Einstellungen (⌘,)"), {keys(ctrl | Qt::Key_Comma)}},
        [this] { SettingsWindow::open(m_app); });
}
