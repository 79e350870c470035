#pragma once

#include "core/app/Toast.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

using CompareRequest = InfoTarget;
using StorageRequest = InfoTarget;
enum class FeedbackKind { bug, idea, question, other };

// What the main window is asked to show: its sheets (one at a time, by the rule of wanted()) and the
// manual window. Main thread only; it never opens a window itself.
class WindowRequests : public QObject {
    Q_OBJECT
public:
    enum class Sheet {
        info,
        feedback,
        favoritesEditor,
        toolbarEditor,
        shortcuts,
        terminalHelp,
        rules,
        compare,
        storage,
        batchRename
    };

    using QObject::QObject;

    const std::optional<InfoTarget> &infoTarget() const { return m_infoTarget; }
    void setInfoTarget(const std::optional<InfoTarget> &value) { publish(m_infoTarget, value); }
    const std::optional<InfoTarget> &batchRenameTarget() const { return m_batchRenameTarget; }
    void setBatchRenameTarget(const std::optional<InfoTarget> &value) { publish(m_batchRenameTarget, value); }
    const std::optional<CompareRequest> &compareRequest() const { return m_compareRequest; }
    void setCompareRequest(const std::optional<CompareRequest> &value) { publish(m_compareRequest, value); }
    const std::optional<StorageRequest> &storageRequest() const { return m_storageRequest; }
    void setStorageRequest(const std::optional<StorageRequest> &value) { publish(m_storageRequest, value); }
    bool showRules() const { return m_showRules; }
    void setShowRules(bool value) { publish(m_showRules, value); }
    bool showShortcuts() const { return m_showShortcuts; }
    void setShowShortcuts(bool value) { publish(m_showShortcuts, value); }
    bool showTerminalHelp() const { return m_showTerminalHelp; }
    void setShowTerminalHelp(bool value) { publish(m_showTerminalHelp, value); }
    bool showToolbarEditor() const { return m_showToolbarEditor; }
    void setShowToolbarEditor(bool value) { publish(m_showToolbarEditor, value); }
    bool showFavoritesEditor() const { return m_showFavoritesEditor; }
    void setShowFavoritesEditor(bool value) { publish(m_showFavoritesEditor, value); }
    bool showFeedback() const { return m_showFeedback; }
    void setShowFeedback(bool value) { publish(m_showFeedback, value); }
    const QString &feedbackText() const { return m_feedbackText; }
    void setFeedbackText(const QString &value) {
        publish(m_feedbackText, value);
        emit feedbackTextChanged();
    }
    FeedbackKind feedbackKind() const { return m_feedbackKind; }
    void setFeedbackKind(FeedbackKind value) {
        publish(m_feedbackKind, value);
        emit feedbackKindChanged();
    }
    const std::optional<int> &manualSection() const { return m_manualSection; }
    void setManualSection(const std::optional<int> &value) { publish(m_manualSection, value); }
    int manualRequest() const { return m_manualRequest; }
    void setManualRequest(int value) { publish(m_manualRequest, value); }

    // The Quick Look command: shows or hides the preview of the active pane's selection. The window that
    // owns the preview fills it; empty, Quick Look is offered nowhere.
    std::function<void()> quickLook;

    // Asks for the manual window, at a section or at its start.
    void openManual(std::optional<int> section);

    // The first sheet asked for, in the window's order.
    std::optional<Sheet> wanted() const;
    // A new request record with the same paths is a new request: its id differs.
    QString requestId(Sheet sheet) const;
    // Takes the request back (its sheet was closed).
    void reset(Sheet sheet);

signals:
    void changed();
    void manualRequested(std::optional<int> section);
    // The feedback sheet's own fields, for the open sheet.
    void feedbackTextChanged();
    void feedbackKindChanged();

private:
    template <typename T> void publish(T &field, const T &value) {
        field = value;
        emit changed();
    }

    std::optional<InfoTarget> m_infoTarget;
    std::optional<InfoTarget> m_batchRenameTarget;
    std::optional<CompareRequest> m_compareRequest;
    std::optional<StorageRequest> m_storageRequest;
    bool m_showRules = false;
    bool m_showShortcuts = false;
    bool m_showTerminalHelp = false;
    bool m_showToolbarEditor = false;
    bool m_showFavoritesEditor = false;
    bool m_showFeedback = false;
    QString m_feedbackText;
    FeedbackKind m_feedbackKind = FeedbackKind::idea;
    std::optional<int> m_manualSection;
    int m_manualRequest = 0;
};
