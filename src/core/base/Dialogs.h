#pragma once

// Questions the core asks the user. The window fills these with window-modal alerts and panels that
// answer later; tests fill them with scripted answers, which may come at once. The core never opens a
// window itself, and whatever it asked about may be gone by the time the answer comes.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What a button means; the answer names it, never its place or its title.
enum class AlertRole {
    closed, // no button: the alert went away otherwise
    cancel,
    confirm,
    destructive, // drawn red
    keepBoth,
    replace,
    skip,
};

struct AlertButton {
    QString title; // already translated
    AlertRole role = AlertRole::confirm;
};

struct Alert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString message;            // already translated
    QString informative;        // already translated
    QList<AlertButton> buttons; // the first is the default
    QString checkBox;           // title of an accessory check box; empty for none

    // The button of this role starts disabled until `onShown`'s update enables it; closed: none.
    AlertRole disabled = AlertRole::closed;
    // Called once while the alert is up, with a function that replaces the informative text and enables
    // or disables the `disabled` button; the function does nothing once the alert has closed.
    std::function<void(std::function<void(const QString &informative, bool enable)>)> onShown;

    bool has(AlertRole role) const {
        for (const AlertButton &b : buttons)
            if (b.role == role) return true;
        return false;
    }
};

// An alert with one text field; the confirming button comes first, "Abbrechen" second.
struct TextQuestion {
    QString message;         // already translated
    QString informative;     // already translated
    QString text;            // the field's initial contents
    qsizetype selected = -1; // how much of it is selected, from its start; -1: all of it
    QString placeholder;
    QStringList buttons; // already translated
    int fieldWidth = 320;
};

// The folder question: folders only, one of them, new folders allowed.
struct FolderQuestion {
    QString message;        // already translated
    QString prompt;         // already translated
    QString directory = {}; // where the panel opens; empty: its own default
};

// The open panel for files and folders together, several at once.
struct FilesQuestion {
    QString title;   // already translated
    QString message; // already translated
    QString prompt;  // the confirming button, already translated
    QString directory = {};
};

// A file chooser: one existing file to open, or where to save a new one (an existing file there is
// replaced only after the chooser asked).
struct FileQuestion {
    bool save = false;
    QString title;           // already translated
    QString message;         // already translated
    QString prompt;          // already translated
    QString fileName;        // the name offered when saving
    QStringList nameFilters; // e.g. "*.plist"; empty: any file
};

struct AlertAnswer {
    AlertAnswer(AlertRole r = AlertRole::closed, bool c = false) : role(r), checked(c) {}
    AlertRole role;
    bool checked; // the accessory check box
};

struct Dialogs {
    using AlertDone = std::function<void(AlertAnswer)>;
    // The text when the confirming button was chosen, the chosen folder; nothing otherwise.
    using TextDone = std::function<void(std::optional<QString>)>;
    // The chosen paths in the panel's order; nothing when cancelled.
    using FilesDone = std::function<void(std::optional<QStringList>)>;

    // Each shows its question and calls `done` once with the answer, now or later. Unset: every question
    // counts as closed without an answer.
    std::function<void(const Alert &, AlertDone)> alert;
    std::function<void(const TextQuestion &, TextDone)> askText;
    std::function<void(const FolderQuestion &, TextDone)> askFolder;
    std::function<void(const FilesQuestion &, FilesDone)> askFiles;
    std::function<void(const FileQuestion &, TextDone)> askFile;

    void ask(const Alert &a, AlertDone done) const {
        if (alert)
            alert(a, std::move(done));
        else
            done({});
    }
    void text(const TextQuestion &q, TextDone done) const {
        if (askText)
            askText(q, std::move(done));
        else
            done(std::nullopt);
    }
    void files(const FilesQuestion &q, FilesDone done) const {
        if (askFiles)
            askFiles(q, std::move(done));
        else
            done(std::nullopt);
    }
    void folder(const FolderQuestion &q, TextDone done) const {
        if (askFolder)
            askFolder(q, std::move(done));
        else
            done(std::nullopt);
    }
    void file(const FileQuestion &q, TextDone done) const {
        if (askFile)
            askFile(q, std::move(done));
        else
            done(std::nullopt);
    }
};
