#include "core/app/WindowRequests.h"

void WindowRequests::openManual(std::optional<int> section) {
    setManualSection(section);
    setManualRequest(m_manualRequest + 1);
    emit manualRequested(section);
}

std::optional<WindowRequests::Sheet> WindowRequests::wanted() const {
    if (m_infoTarget) return Sheet::info;
    if (m_showFeedback) return Sheet::feedback;
    if (m_showFavoritesEditor) return Sheet::favoritesEditor;
    if (m_showToolbarEditor) return Sheet::toolbarEditor;
    if (m_showShortcuts) return Sheet::shortcuts;
    if (m_showTerminalHelp) return Sheet::terminalHelp;
    if (m_showRules) return Sheet::rules;
    if (m_compareRequest) return Sheet::compare;
    if (m_storageRequest) return Sheet::storage;
    if (m_batchRenameTarget) return Sheet::batchRename;
    return std::nullopt;
}

QString WindowRequests::requestId(Sheet sheet) const {
    switch (sheet) {
    case Sheet::info:
        return m_infoTarget->id.toString();
    case Sheet::compare:
        return m_compareRequest->id.toString();
    case Sheet::storage:
        return m_storageRequest->id.toString();
    case Sheet::batchRename:
        return m_batchRenameTarget->id.toString();
    default:
        return {};
    }
}

void WindowRequests::reset(Sheet sheet) {
    switch (sheet) {
    case Sheet::info:
        setInfoTarget(std::nullopt);
        break;
    case Sheet::feedback:
        setShowFeedback(false);
        break;
    case Sheet::favoritesEditor:
        setShowFavoritesEditor(false);
        break;
    case Sheet::toolbarEditor:
        setShowToolbarEditor(false);
        break;
    case Sheet::shortcuts:
        setShowShortcuts(false);
        break;
    case Sheet::terminalHelp:
        setShowTerminalHelp(false);
        break;
    case Sheet::rules:
        setShowRules(false);
        break;
    case Sheet::compare:
        setCompareRequest(std::nullopt);
        break;
    case Sheet::storage:
        setStorageRequest(std::nullopt);
        break;
    case Sheet::batchRename:
        setBatchRenameTarget(std::nullopt);
        break;
    }
}
