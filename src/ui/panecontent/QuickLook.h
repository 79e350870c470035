#pragma once

#include "ui/panecontent/PreviewContent.h"

#include <QPointer>
#include <atomic>
#include <memory>
#include <QStringList>
#include <QWidget>

class Sides;
class Toasts;
class WindowRequests;
class FitImage;
class FitPages;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QVBoxLayout;

// The preview window: one non-modal window of our own that shows one of a list of files at a time.
// Arrows move through the list; Space, Ctrl+Y and Escape close it. It reads files only through
// PreviewContent (never a program, never anything remote), in the background, newest request wins.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget *parent = nullptr);
    ~PreviewWindow() override;

    void setPaths(const QStringList &paths);
    const QStringList &paths() const { return m_paths; }
    int index() const { return m_index; }
    // Shows the item at index; nothing when there is no such item.
    void showItem(int index);
    // The viewer shown for the current item once it is read (facts until then).
    PreviewContent::Kind shownKind() const { return m_kind; }
    bool loading() const { return m_loading; }
    QString shownText() const;
    QLabel *nameLabel() const { return m_name; }

signals:
    // Space, Ctrl+Y or Escape.
    void closeRequested();
    // The current item is read and shown.
    void shown();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Tells the reading of the current item, if any, that its result is no longer wanted.
    void stopReading();

    void showFacts(const QString &path);
    void showResult(const PreviewContent::Result &result);

    QStringList m_paths;
    int m_index = -1;
    int m_generation = 0;
    std::shared_ptr<std::atomic<bool>> m_stopReading;
    bool m_loading = false;
    PreviewContent::Kind m_kind = PreviewContent::Kind::facts;
    QLabel *m_name;
    QLabel *m_position;
    QStackedWidget *m_stack;
    FitImage *m_image;
    FitPages *m_pages;
    QPlainTextEdit *m_text;
    QWidget *m_facts;
    QLabel *m_icon;
    QLabel *m_factsText;
    QLabel *m_note;
};

// The Quick Look command of one window: it fills the window requests' quickLook with command() and owns
// the preview window.
class QuickLook : public QObject {
    Q_OBJECT
public:
    QuickLook(Sides &sides, WindowRequests &requests, Toasts &toasts, QWidget *window = nullptr);
    ~QuickLook() override;

    // Closes the window when it is up, whatever the paths; otherwise opens it on the paths.
    void toggle(const QStringList &paths);
    bool isVisible() const;
    // Closes when up; with nothing selected says how to use it; otherwise opens on the active pane's
    // selection, in the order of its paths.
    void command();
    PreviewWindow *window() const { return m_preview; }

private:
    QPointer<Sides> m_sides;
    QPointer<WindowRequests> m_requests;
    QPointer<Toasts> m_toasts;
    QPointer<QWidget> m_window;
    QPointer<PreviewWindow> m_preview;
};
