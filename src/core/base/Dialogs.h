#pragma once

// Questions the core asks the user. The window fills these with its alerts and panels;
// tests fill them with scripted answers. The core never opens a window itself.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct Alert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString message;     // already translated
    QString informative; // already translated
    QStringList buttons; // titles, already translated, first is the default
    QString checkBox;    // title of an accessory check box; empty for none

    // Destructive confirmations: this button is drawn red. -1: none.
    int destructiveButton = -1;
    // This button starts disabled until `onShown`'s update enables it. -1: none.
    int disabledButton = -1;
    // Called once while the alert is up, with a function that replaces the informative text and enables
    // or disables `disabledButton`; the function does nothing once the alert has closed.
    std::function<void(std::function<void(const QString &informative, bool enable)>)> onShown;
};

// An alert with one text field; the confirming button comes first, "Abbrechen" second.
struct TextQuestion {
    QString message;     // already translated
    QString informative; // already translated
    QString text;        // the field's initial contents
    QString placeholder;
    QStringList buttons; // already translated
    int fieldWidth = 320;
};

struct AlertAnswer {
    int button = -1; // index into Alert::buttons; -1 when the alert was closed otherwise
    bool checked = false;
};

struct Dialogs {
    // Runs a modal alert. Unset: every alert counts as closed without an answer.
    std::function<AlertAnswer(const Alert &)> alert;

    AlertAnswer ask(const Alert &a) const { return alert ? alert(a) : AlertAnswer{}; }

    // Runs a modal text question: the field's text when the first button was chosen, else nothing.
    std::function<std::optional<QString>(const TextQuestion &)> askText;

    std::optional<QString> text(const TextQuestion &q) const { return askText ? askText(q) : std::nullopt; }
};
