#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

class AppState;
#include <QDialog>
class QWidget;

// Shows the main window's sheets from AppState's flags and request records: one window-modal dialog at a
// time, opened with open() (never a nested event loop); closing it resets its flag or request.
class SheetPresenter : public QObject {
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
    using Factory = std::function<QDialog *(QWidget *parent)>;

    SheetPresenter(AppState *app, QWidget *window);
    // Registers the dialog that shows a sheet; a sheet without one is closed again at once.
    void setFactory(Sheet sheet, Factory factory);
    // Whether a request for the sheet would show something (its dialog exists).
    bool canShow(Sheet sheet) const { return m_factories.count(sheet) > 0; }
    QDialog *current() const { return m_dialog; }

    // Looks at AppState and opens, replaces or closes the sheet it asks for.
    void sync();

signals:
    // A sheet got its dialog.
    void sheetsChanged();

private:
    std::optional<Sheet> wanted() const;
    QString requestId(Sheet sheet) const;
    void reset(Sheet sheet);

    QPointer<AppState> m_app;
    QPointer<QWidget> m_window;
    std::map<Sheet, Factory> m_factories;
    QPointer<QDialog> m_dialog;
    std::optional<Sheet> m_shown;
    QString m_shownId;
};
