#pragma once

#include "core/app/Settings.h"

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;
class SettingsCommands;
class WindowRequests;

// What the settings pages work on.
struct SettingsPageParts {
    Settings &settings;
    WindowRequests &requests;
    SettingsCommands &commands;
};

// A capsule for one of several choices. It keeps no state: whether it is chosen is asked again whenever
// its page refreshes, so the highlight follows the setting however it changes.
class ChoiceChip : public QAbstractButton {
    Q_OBJECT
public:
    ChoiceChip(const QString &key, std::function<bool()> selected, std::function<void()> action,
               QWidget *parent = nullptr);
    QString key() const { return m_key; }
    bool selected() const { return m_selected; }
    void refresh();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_key;
    std::function<bool()> m_isSelected;
    bool m_selected = false;
};

// A titled group of controls with an optional hint under them.
class SettingsBlock : public QWidget {
    Q_OBJECT
public:
    // title and hint are German keys; a null hint shows no hint line.
    SettingsBlock(const char *title, const char *hint, QWidget *parent = nullptr);
    QVBoxLayout *content() const { return m_content; }
    QLabel *hintLabel() const { return m_hint; }

private:
    QVBoxLayout *m_content;
    QLabel *m_hint = nullptr;
};

// One page: its blocks, a divider, then the manual's help button and, where the page has one, its reset.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    struct ResetText {
        const char *title; // German keys of the question
        const char *detail;
        Settings::Reset group;
    };
    SettingsPage(const SettingsPageParts &parts, std::optional<ResetText> reset, QWidget *parent = nullptr);
    SettingsBlock *addBlock(const char *title, const char *hint = nullptr);
    // Run now and after every change of a setting.
    void onRefresh(std::function<void()> f);
    void refresh();
    QPushButton *resetButton() const { return m_reset; }
    const SettingsPageParts &parts() const { return m_parts; }

private:
    SettingsPageParts m_parts;
    QVBoxLayout *m_blocks;
    QPushButton *m_reset = nullptr;
    QList<std::function<void()>> m_refreshers;
};

// The colour themes as a grid of gradient circles with their names; the current one wears a ring.
class ThemeGrid : public QWidget {
    Q_OBJECT
public:
    explicit ThemeGrid(Settings &settings, QWidget *parent = nullptr);
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    void refresh();
    int columns(int width) const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();
    Settings &m_settings;
    QList<QAbstractButton *> m_cells;
};
