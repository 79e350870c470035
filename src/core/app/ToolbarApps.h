#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

class AppState;

// The applications of the toolbar strip (the "toolbarApps" setting): .desktop entries of the application
// folders, at most five, and what the strip and its editor do with them. Main thread only; lives as a
// child of the application state.
class ToolbarApps : public QObject {
    Q_OBJECT
public:
    static constexpr int maxToolbarApps = 5;

    // The one of the application state, made on first use.
    static ToolbarApps *of(AppState *app);

    QStringList apps() const;

    // The open panel for applications; the window fills it, tests script it. Answers with the chosen
    // files, or an empty list when cancelled.
    struct Choice {
        QString title; // already translated
        QString directory;
        bool many = false;
    };
    using Chosen = std::function<void(const QStringList &)>;
    std::function<void(const Choice &, Chosen)> choose;
    // Starts an application with files; nothing on success, else the sentence to show (tests replace it).
    std::function<std::optional<QString>(const QString &app, const QStringList &paths)> launcher;

    void addToolbarApp();
    void replaceToolbarApp(const QString &path);
    void removeToolbarApp(const QString &path);
    void moveToolbarApp(const QString &path, int index);
    // Adds the application entries among the paths before index (appends without one); the number added.
    int addToolbarApps(const QStringList &paths, std::optional<int> index = std::nullopt);
    // Opens the active pane's selection with the application, or only starts it.
    void launchToolbarApp(const QString &path);
    void openFiles(const QStringList &paths, const QString &app);

private:
    explicit ToolbarApps(AppState *app);
    void setApps(const QStringList &apps);
    bool full() const { return apps().size() >= maxToolbarApps; }

    QPointer<AppState> m_app;
};

// Name= of the entry in the interface language; the file's name without ".desktop" when it can't be read.
QString toolbarAppName(const QString &path);
