#pragma once

#include <QPointer>
#include <QWidget>

class AppState;

#include "core/localisation/AppLanguage.h"

class QButtonGroup;
class QTextBrowser;
#include "ui/settings/SettingsView.h"

// The manual window "Kestrin-Handbuch" (at most one): the manual in a language of its own choosing,
// scrolled to the chapter a help entry point asks for.
class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(AppState *app);
    // Opens the one manual window, or brings the open one forward.
    static ManualWindow *open(AppState *app);

    AppLanguage language() const { return m_lang; }
    void setLanguage(AppLanguage lang);
    // The document, or nullptr while the not-found line stands in its place.
    QTextBrowser *document() const { return m_document; }

private:
    void rebuild();
    void showDocument();
    // Takes a pending chapter request and scrolls there on the next turn of the event loop.
    void jump();
    QPointer<AppState> m_app;
    AppLanguage m_lang;
    QButtonGroup *m_languages = nullptr;
    QWidget *m_body = nullptr;
    QTextBrowser *m_document = nullptr;
};

// The settings window: its seven pages, rebuilt whole when the language changes.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(AppState *app);
    static SettingsWindow *open(AppState *app);
    SettingsView *view() const { return m_view; }

private:
    void rebuild();
    QPointer<AppState> m_app;
    QPointer<SettingsView> m_view;
};
