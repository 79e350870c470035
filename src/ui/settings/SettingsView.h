#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

class QButtonGroup;
class QScrollArea;
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

// The settings window's content: seven pages under a row of tabs, 600 wide, or wider where large text leaves
// the tabs' longest words no room; the height follows the page shown, up to what the screen has room for: a
// taller page scrolls.
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
    QScrollArea *scrollArea() const { return m_scroll; }

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    // The current page's height at a width; 0 without one.
    int pageHeight(int width) const;
    int tabHeight() const;
    QList<int> tabWidths() const;
    QList<int> leastTabWidths() const;
    // kWidth, or what the tabs need at the least.
    int contentWidth() const;
    SettingsCommands *m_commands;
    QList<SettingsPage *> m_pages;
    QList<SettingsTab *> m_tabs;
    QButtonGroup *m_group;
    QScrollArea *m_scroll;
    QWidget *m_body; // inside the scroll area: holds the pages
    int m_current = 0;
};
