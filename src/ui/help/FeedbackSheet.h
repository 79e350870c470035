#pragma once

#include "core/app/FeedbackMail.h"

#include <QDialog>
#include <functional>

class Pasteboard;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class SheetPresenter;
class Toasts;
class WindowRequests;
struct UIScale;

// The sheet in which the user writes feedback: kind, message, which technical lines to add, a live preview
// of the draft, and the draft handed to the mail program or copied. Nothing is ever sent from here.
class FeedbackSheet : public QDialog {
    Q_OBJECT
public:
    FeedbackSheet(WindowRequests &requests, Pasteboard &pasteboard, Toasts &toasts,
                  QWidget *parent = nullptr);
    // Registers the sheet with the main window's presenter, which makes "Feedback senden" available.
    static void registerWith(SheetPresenter *sheets, WindowRequests &requests, Pasteboard &pasteboard,
                             Toasts &toasts);

    // Hands the link to the desktop; true only when a mail program is there to take it. Tests replace it.
    static std::function<bool(const QUrl &)> &opener();

    bool hasText() const;
    QString previewText() const;
    FeedbackMail::Options options() const { return m_options; }
    void copy();
    void openDraft();

private:
    void buildHeader(QVBoxLayout *layout, const UIScale &ui);
    void buildBody(QVBoxLayout *layout, const UIScale &ui);
    void buildButtons(QVBoxLayout *layout);
    void wire();
    void refresh();

    WindowRequests &m_requests;
    Pasteboard &m_pasteboard;
    Toasts &m_toasts;
    FeedbackMail::Options m_options;
    QButtonGroup *m_kinds = nullptr;
    QPlainTextEdit *m_message = nullptr;
    QPlainTextEdit *m_preview = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_copy = nullptr;
    QPushButton *m_open = nullptr;
};
