#include "ui/app/KeyMonitor.h"

#include "core/app/AppState.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

KeyMonitor::KeyMonitor(AppState *app, QObject *parent) : QObject(parent), m_app(app) {
    qApp->installEventFilter(this);
}

bool KeyMonitor::eventFilter(QObject *watched, QEvent *event) {
    // A key press passes the filter once per widget it propagates to; take it at its first receiver.
    if (event->type() != QEvent::KeyPress || !m_app) return false;
    QWidget *first = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    if (watched != first) return false;
    auto *key = static_cast<QKeyEvent *>(event);
    KeyPress press;
    press.key = key->key();
    press.modifiers = key->modifiers();
    press.text = key->text();
    QWidget *focus = QApplication::focusWidget();
    press.textHasFocus = qobject_cast<QLineEdit *>(focus) || qobject_cast<QTextEdit *>(focus) ||
                         qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QAbstractSpinBox *>(focus);
    press.modalOpen = QApplication::activeModalWidget() != nullptr;
    return m_app->keyDown(press);
}
