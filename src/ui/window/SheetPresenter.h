#pragma once

#include "core/app/WindowRequests.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>

class QWidget;

// Shows the main window's sheets from the window requests: one window-modal dialog at a time, opened with
// open() (never a nested event loop); closing it takes its request back.
class SheetPresenter : public QObject {
    Q_OBJECT
public:
    using Sheet = WindowRequests::Sheet;
    using Factory = std::function<QDialog *(QWidget *parent)>;

    SheetPresenter(WindowRequests &requests, QWidget *window);
    // Registers the dialog that shows a sheet; a sheet without one is closed again at once.
    void setFactory(Sheet sheet, Factory factory);
    // Whether a request for the sheet would show something (its dialog exists).
    bool canShow(Sheet sheet) const { return m_factories.count(sheet) > 0; }
    QDialog *current() const { return m_dialog; }

    // Looks at the requests and opens, replaces or closes the sheet it asks for.
    void sync();

signals:
    // A sheet got its dialog.
    void sheetsChanged();

private:
    QPointer<WindowRequests> m_requests;
    QPointer<QWidget> m_window;
    std::map<Sheet, Factory> m_factories;
    QPointer<QDialog> m_dialog;
    std::optional<Sheet> m_shown;
    QString m_shownId;
};
