#pragma once

#include <QPointer>
#include <QWidget>

#include "core/localisation/AppLanguage.h"

class QButtonGroup;
class QTextBrowser;
class Settings;
class WindowRequests;

// The manual window "Kestrin-Handbuch" (at most one): the manual in a language of its own choosing,
// scrolled to the chapter a help entry point asks for.
class ManualWindow : public QWidget {
    Q_OBJECT
public:
    ManualWindow(Settings &settings, WindowRequests &requests);
    // Opens the one manual window, or brings the open one forward.
    static ManualWindow *open(Settings &settings, WindowRequests &requests);

    AppLanguage language() const { return m_lang; }
    void setLanguage(AppLanguage lang);
    // The document, or nullptr while the not-found line stands in its place.
    QTextBrowser *document() const { return m_document; }

private:
    void rebuild();
    void showDocument();
    // Takes a pending chapter request and scrolls there on the next turn of the event loop.
    void jump();
    QPointer<WindowRequests> m_requests;
    AppLanguage m_lang;
    QButtonGroup *m_languages = nullptr;
    QWidget *m_body = nullptr;
    QTextBrowser *m_document = nullptr;
};
