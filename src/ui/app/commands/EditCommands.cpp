#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "ui/app/commands/GroupKit.h"
#include "core/model/PaneModel.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>

using namespace CommandKeys;

namespace {

template <class Text> void editText(Text *text, const QByteArray &c) {
    if (c == "undo") text->undo();
    if (c == "redo") text->redo();
    if (c == "cut") text->cut();
    if (c == "copy") text->copy();
    if (c == "paste") text->paste();
    if (c == "selectAll") text->selectAll();
}

// The standard editing actions of a text widget; false when the widget is none.
bool edit(QWidget *text, const char *command) {
    const QByteArray c(command);
    if (auto *line = qobject_cast<QLineEdit *>(text))
        editText(line, c);
    else if (auto *rich = qobject_cast<QTextEdit *>(text))
        editText(rich, c);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(text))
        editText(plain, c);
    else
        return false;
    return true;
}

bool textCanRedo(QWidget *text) {
    if (auto *line = qobject_cast<QLineEdit *>(text)) return line->isRedoAvailable();
    if (auto *rich = qobject_cast<QTextEdit *>(text)) return rich->document()->isRedoAvailable();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(text)) return plain->document()->isRedoAvailable();
    return false;
}

} // namespace

// Edit: a focused text field gets the standard action; otherwise the files are meant.
void Commands::addEdit() {
    QAction *editUndo = add(ActionDef{Cmd::editUndo}, [this] {
        if (!edit(focusedText(), "undo")) m_app->fileActions().undoLast();
    });
    entry(editUndo).rule = [this] { return focusedText() || !m_app->undoJournal().entries().isEmpty(); };
    QAction *editRedo = add(ActionDef{Cmd::editRedo, nullptr, nullptr, {keys(ctrl | shift | Qt::Key_Z)}},
                            [] { edit(focusedText(), "redo"); });
    // The file journal has no redo.
    entry(editRedo).rule = [] { return textCanRedo(focusedText()); };
    entry(editRedo).paneFacts = textField;
    // The file clipboard's keys are the monitor's: a text field with the focus keeps them.
    QAction *copy =
        add(ActionDef{Cmd::copy, "doc.on.doc", K("Kopieren (⌘C)"), {}, {keys(ctrl | Qt::Key_C)}}, [this] {
            if (!edit(focusedText(), "copy")) m_app->clipboard().copy(selected());
        });
    QAction *cut =
        add(ActionDef{Cmd::cut, "scissors", K("Ausschneiden (⌘X)"), {}, {keys(ctrl | Qt::Key_X)}}, [this] {
            if (!edit(focusedText(), "cut")) m_app->clipboard().cut(selected());
        });
    for (QAction *a : {copy, cut}) {
        entry(a).rule = [this] { return focusedText() || !m_app->activePane()->selection().isEmpty(); };
        entry(a).paneFacts = selection;
    }
    add(ActionDef{Cmd::paste, "doc.on.clipboard", K("Einsetzen (⌘V)"), {}, {keys(ctrl | Qt::Key_V)}}, [this] {
        if (!edit(focusedText(), "paste")) m_app->clipboard().paste(m_app->activePane()->targetFolder());
    });
    add(ActionDef{Cmd::selectAll, nullptr, nullptr, {}, {keys(ctrl | Qt::Key_A)}}, [this] {
        if (!edit(focusedText(), "selectAll")) m_app->activePane()->selectAll();
    });
    add(ActionDef{Cmd::deselect, nullptr, nullptr, {}, {keys(Qt::Key_Escape)}, When::selection},
        [this] { m_app->activePane()->setSelection({}); });
}
