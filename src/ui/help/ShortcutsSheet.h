#pragma once

#include "core/help/KbLayout.h"
#include "core/help/ShortcutData.h"

#include <QDialog>
#include <QSet>
#include <QUuid>

class KeyboardGraphic;
class QBoxLayout;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QScrollArea;
class QVBoxLayout;
class SheetPresenter;
class Settings;
class ShortcutRow;
class WindowRequests;
struct UIScale;

// The reference of the other system's standard keyboard shortcuts: a drawn keyboard that lights the keys
// of the clicked shortcut and of the modifiers held right now, and the grouped, searchable list, which
// the held modifiers filter.
class ShortcutsSheet : public QDialog {
    Q_OBJECT
public:
    ShortcutsSheet(Settings &settings, WindowRequests &requests, QWidget *parent = nullptr);
    ~ShortcutsSheet() override;
    static void registerWith(SheetPresenter *sheets, Settings &settings, WindowRequests &requests);

    // The layout drawn: the stored setting, resolved.
    KbLayout keyboardLayout() const;
    QSet<QString> litKeys() const;
    bool matches(const ShortcutItem &item) const;

    QSet<QString> held() const { return m_held; }
    void setHeld(const QSet<QString> &held);
    std::optional<QUuid> selected() const { return m_selected; }
    // A click on a row: selects it, or clears the selection when it is the selected one.
    void clickRow(const QUuid &id);
    void setQuery(const QString &query);

    // What the list shows now: group titles (German keys) and their listed items.
    QList<std::pair<QString, QList<QUuid>>> listed() const;
    // The layout notes shown under the list (translated).
    QStringList layoutNotes() const;
    KeyboardGraphic *keyboard() const { return m_keyboard; }

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildHeader(QVBoxLayout *outer, const UIScale &ui);
    void buildKeyboard(QVBoxLayout *outer, const UIScale &ui);
    void buildList(QVBoxLayout *outer, const UIScale &ui);
    void buildNotes(QVBoxLayout *outer, const UIScale &ui);
    void wire();
    // The picker's row of the stored layout.
    int layoutIndex() const;
    void refresh();
    void refreshFilterRow();
    void fitToWidth(int width);

    Settings &m_settings;
    WindowRequests &m_requests;
    QString m_query;
    std::optional<QUuid> m_selected;
    QSet<QString> m_held;
    bool m_monitoring = false;

    KeyboardGraphic *m_keyboard = nullptr;
    QComboBox *m_picker = nullptr;
    QBoxLayout *m_keyboardRow = nullptr;
    QHBoxLayout *m_pickerRow = nullptr;
    QHBoxLayout *m_header = nullptr;
    QWidget *m_pickerBox = nullptr;
    QWidget *m_filterRow = nullptr;
    QHBoxLayout *m_filterCaps = nullptr;
    QLineEdit *m_search = nullptr;
    QScrollArea *m_scroll = nullptr;
    QList<std::pair<QWidget *, QList<ShortcutRow *>>> m_groups;
    QLabel *m_notes = nullptr;
    bool m_narrow = false;
};
