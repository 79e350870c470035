#include "ui/window/SheetPresenter.h"

#include "core/app/AppState.h"

#include <QDialog>

SheetPresenter::SheetPresenter(AppState *app, QWidget *window)
    : QObject(window), m_app(app), m_window(window) {
    connect(app, &AppState::changed, this, &SheetPresenter::sync);
}

void SheetPresenter::setFactory(Sheet sheet, Factory factory) {
    m_factories[sheet] = std::move(factory);
    emit sheetsChanged();
}

// The first sheet that AppState asks for, in the window's order.
std::optional<SheetPresenter::Sheet> SheetPresenter::wanted() const {
    const AppState &a = *m_app;
    if (a.infoTarget()) return Sheet::info;
    if (a.showFeedback()) return Sheet::feedback;
    if (a.showFavoritesEditor()) return Sheet::favoritesEditor;
    if (a.showToolbarEditor()) return Sheet::toolbarEditor;
    if (a.showShortcuts()) return Sheet::shortcuts;
    if (a.showTerminalHelp()) return Sheet::terminalHelp;
    if (a.showRules()) return Sheet::rules;
    if (a.compareRequest()) return Sheet::compare;
    if (a.storageRequest()) return Sheet::storage;
    if (a.batchRenameTarget()) return Sheet::batchRename;
    return std::nullopt;
}

// A new request record with the same paths is a new request: it re-presents its sheet.
QString SheetPresenter::requestId(Sheet sheet) const {
    const AppState &a = *m_app;
    switch (sheet) {
    case Sheet::info:
        return a.infoTarget()->id.toString();
    case Sheet::compare:
        return a.compareRequest()->id.toString();
    case Sheet::storage:
        return a.storageRequest()->id.toString();
    case Sheet::batchRename:
        return a.batchRenameTarget()->id.toString();
    default:
        return {};
    }
}

void SheetPresenter::reset(Sheet sheet) {
    AppState &a = *m_app;
    switch (sheet) {
    case Sheet::info:
        a.setInfoTarget(std::nullopt);
        break;
    case Sheet::feedback:
        a.setShowFeedback(false);
        break;
    case Sheet::favoritesEditor:
        a.setShowFavoritesEditor(false);
        break;
    case Sheet::toolbarEditor:
        a.setShowToolbarEditor(false);
        break;
    case Sheet::shortcuts:
        a.setShowShortcuts(false);
        break;
    case Sheet::terminalHelp:
        a.setShowTerminalHelp(false);
        break;
    case Sheet::rules:
        a.setShowRules(false);
        break;
    case Sheet::compare:
        a.setCompareRequest(std::nullopt);
        break;
    case Sheet::storage:
        a.setStorageRequest(std::nullopt);
        break;
    case Sheet::batchRename:
        a.setBatchRenameTarget(std::nullopt);
        break;
    }
}

void SheetPresenter::sync() {
    if (!m_app || !m_window) return;
    const auto sheet = wanted();
    const QString id = sheet ? requestId(*sheet) : QString();
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
        reset(*sheet);
        return;
    }
    QDialog *dialog = factory->second(m_window);
    m_dialog = dialog;
    dialog->setWindowModality(Qt::WindowModal);
    const Sheet shown = *sheet;
    connect(dialog, &QDialog::finished, this, [this, dialog, shown] {
        if (m_dialog != dialog) return;
        m_dialog = nullptr;
        m_shown.reset();
        dialog->deleteLater();
        reset(shown);
    });
    dialog->open();
}
