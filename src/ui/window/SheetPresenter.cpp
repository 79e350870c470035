#include "ui/window/SheetPresenter.h"

#include <QAction>
#include <QDialog>

SheetPresenter::SheetPresenter(WindowRequests &requests, QWidget *window)
    : QObject(window), m_requests(&requests), m_window(window) {
    connect(&requests, &WindowRequests::changed, this, &SheetPresenter::sync);
}

void SheetPresenter::setFactory(Sheet sheet, Factory factory) {
    m_factories[sheet] = std::move(factory);
    emit sheetsChanged();
}

void SheetPresenter::sync() {
    if (!m_requests || !m_window) return;
    const auto sheet = m_requests->wanted();
    const QString id = sheet ? m_requests->requestId(*sheet) : QString();
    if (sheet == m_shown && id == m_shownId && (m_dialog || !sheet)) return;

    // Close what is shown; its finished() must not reset the new request.
    if (m_dialog) {
        QDialog *old = m_dialog;
        m_dialog = nullptr;
        old->disconnect(this);
        old->close();
        old->deleteLater();
    }
    m_shown = sheet;
    m_shownId = id;
    if (!sheet) return;
    const auto factory = m_factories.find(*sheet);
    if (factory == m_factories.end()) {
        m_shown.reset();
        m_requests->reset(*sheet);
        return;
    }
    QDialog *dialog = factory->second(m_window);
    m_dialog = dialog;
    dialog->setWindowModality(Qt::WindowModal);
    // A sheet takes the window's text size (and follows its changes) like a widget inside it.
    dialog->setAttribute(Qt::WA_WindowPropagation);
    // The window is blocked while its sheet is up; the keys meant for every window (Ctrl+W, Ctrl+Q) are
    // the sheet's as well.
    const auto actions = m_window->actions();
    for (QAction *a : actions)
        if (a->shortcutContext() == Qt::ApplicationShortcut) dialog->addAction(a);
    const Sheet shown = *sheet;
    connect(dialog, &QDialog::finished, this, [this, dialog, shown] {
        if (m_dialog != dialog) return;
        m_dialog = nullptr;
        m_shown.reset();
        dialog->deleteLater();
        // The keys go back to the window, also where no window manager hands them back.
        if (m_window->isVisible()) m_window->activateWindow();
        if (m_requests) m_requests->reset(shown);
    });
    dialog->open();
}
