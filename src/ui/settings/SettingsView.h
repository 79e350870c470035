#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

class QButtonGroup;
class Settings;
class SettingsCommands;
class SettingsPage;
class WindowRequests;

// One tab of the settings window: its symbol over its title, which wraps rather than being cut.
class SettingsTab : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int tabPad = 6;
    SettingsTab(const QString &symbol, const QString &title, QWidget *parent = nullptr);
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // Whether the title fits the tab's width without being cut.
    bool fits() const;
    const QString &symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
};

// The settings window's content: seven pages under a row of tabs, 600 wide; the height follows the page
// shown.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    SettingsView(Settings &settings, WindowRequests &requests, SettingsCommands &commands,
                 QWidget *parent = nullptr);
    int count() const { return int(m_pages.size()); }
    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    SettingsPage *page(int index) const { return m_pages.value(index); }
    SettingsTab *tab(int index) const { return m_tabs.value(index); }
    SettingsCommands *commands() const { return m_commands; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

private:
    void place();
    int tabHeight() const;
    QList<int> tabWidths() const;
    SettingsCommands *m_commands;
    QList<SettingsPage *> m_pages;
    QList<SettingsTab *> m_tabs;
    QButtonGroup *m_group;
    int m_current = 0;
};
