#pragma once

// Questions the core asks the user. The window fills these with its alerts and panels;
// tests fill them with scripted answers. The core never opens a window itself.

#include <QString>
#include <QStringList>

#include <functional>

struct Alert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString message;     // already translated
    QString informative; // already translated
    QStringList buttons; // titles, already translated, first is the default
    QString checkBox;    // title of an accessory check box; empty for none
};

struct AlertAnswer {
    int button = -1; // index into Alert::buttons; -1 when the alert was closed otherwise
    bool checked = false;
};

struct Dialogs {
    // Runs a modal alert. Unset: every alert counts as closed without an answer.
    std::function<AlertAnswer(const Alert &)> alert;

    AlertAnswer ask(const Alert &a) const { return alert ? alert(a) : AlertAnswer{}; }
};
