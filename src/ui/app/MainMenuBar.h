#pragma once

#include <QMenuBar>
#include <QPointer>

class WindowRequests;
class Commands;
class Settings;
class QAction;
class QMenu;

// The main window's menu bar: Datei, Bearbeiten, Dateien, Ansicht, Hilfe. Every entry is an action of the
// command registry, so menus, keys and buttons run the same command and share its enabled state; every
// title is a German key and follows the language; every title and entry has a mnemonic of its own within
// its menu (F10 opens the first menu). Linux has no application menu: "Beenden" stands in
// the Datei menu, "Einstellungen …" in Bearbeiten and "Über Kestrin" in Hilfe.
class MainMenuBar : public QMenuBar {
    Q_OBJECT
public:
    MainMenuBar(Commands &commands, Settings &settings, WindowRequests &requests, QWidget *parent = nullptr);

    QMenu *fileMenu() const { return m_file; }
    QMenu *editMenu() const { return m_edit; }
    QMenu *filesMenu() const { return m_files; }
    QMenu *viewMenu() const { return m_view; }
    QMenu *helpMenu() const { return m_help; }
    // The languages, a submenu of Ansicht.
    QMenu *languageMenu() const { return m_language; }
    // The manual's chapters, a submenu of Hilfe right after the manual entry.
    QMenu *chaptersMenu() const { return m_chapters; }

private:
    // Adds the registry's actions of these ids; a null id is a separator.
    void fill(QMenu *menu, std::initializer_list<const char *> ids);
    void buildFilesMenu();
    void buildViewMenu(Settings &settings);

    Commands &m_commands;
    QMenu *m_file = nullptr;
    QMenu *m_edit = nullptr;
    QMenu *m_files = nullptr;
    QMenu *m_view = nullptr;
    QMenu *m_language = nullptr;
    QMenu *m_help = nullptr;
    QMenu *m_chapters = nullptr;
};
