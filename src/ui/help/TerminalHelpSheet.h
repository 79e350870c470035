#pragma once

#include "core/help/KbLayout.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QUuid>
#include <optional>

class Pasteboard;
class KeyboardGraphic;
class QAbstractButton;
class QBoxLayout;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;
class SheetPresenter;
class Settings;
class WindowRequests;
struct ShortcutItem;
struct TermEntry;

// Help for the other system's Terminal: a searchable list of commands that open into explanation, example
// lines and warning, and a table of brackets and symbols whose keys light up on a drawn keyboard. It only
// shows and copies text; nothing here runs a command.
class TerminalHelpSheet : public QDialog {
    Q_OBJECT
public:
    TerminalHelpSheet(Settings &settings, WindowRequests &requests, Pasteboard &pasteboard,
                      QWidget *parent = nullptr);
    static void registerWith(SheetPresenter *sheets, Settings &settings, WindowRequests &requests,
                             Pasteboard &pasteboard);

    // The search of each page: trimmed, lower-cased substring; commands look only at the label, summary,
    // explanation and example lines in the interface language, characters also at the German text and keys.
    static bool matches(const TermEntry &entry, const QString &query);
    static bool charMatches(const ShortcutItem &row, const QString &query);

    int tab() const { return m_tab; }
    void setTab(int tab);
    QString query() const;
    void setQuery(const QString &query);
    // Expands or collapses one command entry.
    void toggle(const QUuid &id);
    QSet<QUuid> openEntries() const { return m_open; }
    // The copy key of the button used last, until its mark is cleared 1.3 s later.
    std::optional<QString> copied() const { return m_copied; }
    void copy(const QString &text, const QString &key);
    QToolButton *copyButton(const QString &key) const { return m_copyButtons.value(key); }

    std::optional<QUuid> selectedChar() const { return m_selectedChar; }
    // A click on a character row: selects it, or clears the selection when it was selected.
    void clickChar(const QUuid &id);
    KbLayout resolvedLayout() const;
    QSet<QString> litKeys() const;

    // What the current page shows now, "group title" lines followed by their rows' labels (tests, screens).
    QStringList shown() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct EntryWidgets;
    struct CharWidgets;
    void buildHeader(QVBoxLayout *layout);
    void buildBody(QVBoxLayout *layout);
    void wire();
    void showStoredLayout();
    QWidget *buildCommandsPage();
    QWidget *buildCharsPage();
    QWidget *buildEntry(const TermEntry &entry);
    QWidget *commandChip(const QString &cmd, QWidget *parent);
    void buildDetail(const TermEntry &entry, QWidget *into);
    QToolButton *makeCopyButton(const QString &text, const QString &key, QWidget *parent);
    void fillChars();
    void clearChars();
    CharWidgets *buildCharRow(const ShortcutItem &item, QWidget *block);
    void applyFilter();
    void refreshMarks();
    void refreshLit();
    void fitColumns();

    Settings &m_settings;
    WindowRequests &m_requests;
    Pasteboard &m_pasteboard;
    int m_tab = 0;
    QSet<QUuid> m_open;
    std::optional<QString> m_copied;
    std::optional<QUuid> m_selectedChar;
    QHash<QString, QToolButton *> m_copyButtons;

    QComboBox *m_layoutPicker = nullptr;
    QButtonGroup *m_pages = nullptr;
    QLineEdit *m_search = nullptr;
    QStackedWidget *m_stack = nullptr;
    QList<EntryWidgets *> m_entries;
    QList<QPair<QWidget *, QList<EntryWidgets *>>> m_commandGroups;
    QBoxLayout *m_charsTop = nullptr;
    KeyboardGraphic *m_keyboard = nullptr;
    QVBoxLayout *m_charList = nullptr;
    QList<QPair<QWidget *, QList<CharWidgets *>>> m_charGroups;
    QList<CharWidgets *> m_chars;
    QList<QWidget *> m_chipColumns;
    KbLayout m_charsLayout = KbLayout::automatic;
};
