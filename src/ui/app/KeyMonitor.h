#pragma once

#include <QObject>
#include <QPointer>
#include <optional>

class AppState;

// The application-wide key-down monitor: every key press reaches AppState::keyDown first.
class KeyMonitor : public QObject {
    Q_OBJECT
public:
    explicit KeyMonitor(AppState *app, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<AppState> m_app;
    std::optional<int> m_taken; // the key taken at its ShortcutOverride, whose KeyPress follows
};
