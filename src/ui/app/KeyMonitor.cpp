#include "ui/app/KeyMonitor.h"

#include "core/app/AppState.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/ContextMenus.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

KeyMonitor::KeyMonitor(AppState &app, Commands &commands, QObject *parent)
    : QObject(parent), m_app(&app), m_commands(&commands) {
    qApp->installEventFilter(this);
}

bool KeyMonitor::eventFilter(QObject *watched, QEvent *event) {
    // Qt offers every key press first as a ShortcutOverride and only then as a KeyPress, and the window's
    // own shortcuts (Ctrl+W, Ctrl+Q) fire in between. So the key is decided at the override: a key we use
    // is accepted there, which keeps the shortcuts from firing, and its KeyPress is swallowed.
    const QEvent::Type type = event->type();
    if ((type != QEvent::ShortcutOverride && type != QEvent::KeyPress) || !m_app || !watched->isWidgetType())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // The first receiver is the focus widget, or the window itself when nothing has the focus.
    auto *receiver = static_cast<QWidget *>(watched);
    QWidget *focus = QApplication::focusWidget();
    if (focus ? receiver != focus : !receiver->isWindow()) return false;
    // While the menu bar or a menu has the focus (after F10 or a tap of Alt), every key is the menu's:
    // arrows, Return and Space open and move, Escape leaves. Taking the override keeps the window's own
    // shortcuts (Delete, Ctrl+C …) from acting on the files; the key itself goes on to the menu.
    if (qobject_cast<QMenuBar *>(focus) || qobject_cast<QMenu *>(focus)) {
        m_taken.reset();
        if (type != QEvent::ShortcutOverride || !qobject_cast<QMenuBar *>(focus)) return false;
        key->accept();
        return true;
    }
    if (type == QEvent::KeyPress) {
        const bool swallow = m_taken && *m_taken == key->key();
        m_taken.reset();
        return swallow;
    }
    KeyPress press;
    press.key = key->key();
    press.modifiers = key->modifiers();
    press.text = key->text();
    press.textHasFocus = qobject_cast<QLineEdit *>(focus) || qobject_cast<QTextEdit *>(focus) ||
                         qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus);
    press.modalOpen = QApplication::activeModalWidget() != nullptr;
    press.mainWindowActive = receiver->window()->windowTitle() == u"Kestrin";
    press.paneHasFocus = inPane(focus);
    m_taken.reset();
    if (!press.paneHasFocus && press.mainWindowActive && !press.modalOpen) {
        const Qt::KeyboardModifiers mods =
            press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        // Shift+F10 is the menu key of a sidebar row or a button, as the menu key is.
        if (press.key == Qt::Key_F10 && mods == Qt::ShiftModifier && !press.textHasFocus) {
            contextMenuByKey(focus);
            key->accept();
            m_taken = key->key();
            return true;
        }
        // Delete, F2, Ctrl+D … are plain keys of the focus widget here: kept from the window's shortcuts,
        // which would act on the files, and passed on to it.
        if (m_commands && m_commands->forFiles(monitorKey(press))) {
            key->accept();
            return true;
        }
    }
    if (!(menuKey(press, receiver->window()) || keyDown(press))) return false;
    key->accept();
    m_taken = key->key();
    return true;
}

bool KeyMonitor::inPane(const QWidget *focus) {
    for (const QWidget *w = focus; w && !w->isWindow(); w = w->parentWidget()) {
        const QVariant pane = w->property(paneProperty);
        if (pane.isValid()) return pane.toBool();
    }
    return !focus;
}

void KeyMonitor::contextMenuByKey(QWidget *focus) {
    if (!focus) return;
    // Where the menu key's request puts it: on the widget; one that has no menu leaves it to its parent.
    const QPoint at(focus->width() / 2, focus->height() / 2);
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
    QApplication::sendEvent(focus, &request);
}

QKeySequence KeyMonitor::monitorKey(const KeyPress &press) {
    Qt::KeyboardModifiers mods =
        press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    int key = press.key;
    if ((key == Qt::Key_Greater || key == Qt::Key_Colon) && mods == (Qt::ControlModifier | Qt::ShiftModifier))
        key = Qt::Key_Period;
    // Shifted characters come as themselves or as their key with Shift, by layout and window system.
    const auto ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    if ((key == Qt::Key_Question && (mods == Qt::ControlModifier || mods == ctrlShift)) ||
        (key == Qt::Key_Slash && mods == ctrlShift)) {
        key = Qt::Key_Question;
        mods = Qt::ControlModifier;
    }
    if (key == Qt::Key_BraceRight && mods == ctrlShift) key = Qt::Key_BracketRight;
    if (key == Qt::Key_BraceLeft && mods == ctrlShift) key = Qt::Key_BracketLeft;
    if (key == Qt::Key_Backtab && mods == Qt::ShiftModifier) {
        key = Qt::Key_Tab;
        mods = Qt::NoModifier;
    }
    return QKeySequence(QKeyCombination(mods, Qt::Key(key)));
}

bool KeyMonitor::menuKey(const KeyPress &press, QWidget *window) {
    if (press.modalOpen || !press.mainWindowActive || !window) return false;
    const Qt::KeyboardModifiers mods =
        press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // F10 opens the first menu of the menu bar.
    if (press.key == Qt::Key_F10 && mods == Qt::NoModifier) {
        auto *bar = window->findChild<QMenuBar *>();
        if (!bar || !bar->isVisible() || bar->actions().isEmpty()) return false;
        bar->setActiveAction(bar->actions().first());
        return true;
    }
    // Shift+F10 and the menu key open the menu of the selection at the cursor; a text field keeps its own.
    const bool menu = (press.key == Qt::Key_F10 && mods == Qt::ShiftModifier) ||
                      (press.key == Qt::Key_Menu && mods == Qt::NoModifier);
    if (!menu || press.textHasFocus || !press.paneHasFocus) return false;
    return ContextMenus::openByKey(window, m_app->activePane());
}

bool KeyMonitor::keyDown(const KeyPress &press) {
    if (!m_app) return false;
    // The registry goes with its window; the keys left then are the state's.
    if (!m_commands) return m_app->keyDown(press);
    // A space within a type-to-select run is part of the name typed, not the preview's key.
    if (press.key == Qt::Key_Space && m_app->typingName() && m_app->keyDown(press)) return true;
    if (QAction *command = m_commands->byMonitorKey(monitorKey(press))) {
        // Taken whatever has the focus; nothing happens while a modal question is up.
        if (m_commands->inTextFields(command)) {
            if (!press.modalOpen && command->isEnabled()) command->trigger();
            return true;
        }
        // A text field keeps its editing keys; a disabled command leaves the key to the window; the files
        // are meant only from a pane.
        if (press.modalOpen || press.textHasFocus || !press.mainWindowActive || !command->isEnabled() ||
            (!press.paneHasFocus && m_commands->actsOnFiles(command)))
            return false;
        command->trigger();
        return true;
    }
    if (!press.modalOpen && !press.textHasFocus && press.mainWindowActive)
        if (QAction *first = m_commands->aheadOf(monitorKey(press))) {
            first->trigger();
            return true;
        }
    return m_app->keyDown(press);
}
