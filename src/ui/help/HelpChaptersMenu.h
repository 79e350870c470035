#pragma once

#include <QList>
#include <QPointer>
#include <QToolButton>

class QAction;
class QMenu;
class Settings;
class WindowRequests;

// The help entries of a menu: "Handbuch öffnen", then, when the manual of the application language has
// chapters, a divider and one entry "n. Title" per chapter. The entries are built afresh each time the
// menu opens, so they follow the language and the file; entries the menu holds besides them stay put.
class HelpChapterEntries : public QObject {
    Q_OBJECT
public:
    // Adds the entries at the end of menu as it stands now.
    HelpChapterEntries(QMenu *menu, WindowRequests &requests, Settings &settings);
    // Rebuilds the entries now (the menu calls it when it opens).
    void refresh();
    QList<QAction *> entries() const;

private:
    QPointer<QMenu> m_menu;
    QPointer<WindowRequests> m_requests;
    QPointer<Settings> m_settings;
    QAction *m_end; // an invisible marker after the entries
    QList<QPointer<QAction>> m_entries;
};

// Adds the help entries to a menu (the menu bar's help menu, or any other).
HelpChapterEntries *addHelpChapters(QMenu *menu, WindowRequests &requests, Settings &settings);

// The toolbar's help menu: a question-mark button whose menu holds the help entries.
class HelpChaptersMenu : public QToolButton {
    Q_OBJECT
public:
    HelpChaptersMenu(WindowRequests &requests, Settings &settings, QWidget *parent = nullptr);
    HelpChapterEntries *entries() const { return m_entries; }

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void updateIcon();
    HelpChapterEntries *m_entries;
};
