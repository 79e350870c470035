#include "ui/settings/SettingsWindow.h"

#include "core/app/AppState.h"
#include "core/app/SettingsCommands.h"
#include "core/localisation/Lang.h"
#include "ui/settings/SettingsParts.h"
#include "ui/settings/SettingsView.h"
#include "ui/style/OwnWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

SettingsWindow::SettingsWindow(AppState *app)
    : QWidget(nullptr, Qt::Window), m_app(app), m_commands(new SettingsCommands(app, this)) {
    OwnWindow::followLooks(this, app ? &app->settings() : nullptr);
    rebuild();
    qApp->installEventFilter(this);
    if (!app) return;
    connect(&app->settings(), &Settings::changed, this, [this](Settings::Key key) {
        // On the next turn: the language chip that was clicked is still running its click.
        if (key == Settings::Key::language)
            QMetaObject::invokeMethod(this, &SettingsWindow::rebuild, Qt::QueuedConnection);
    });
    // The pages work on the state's parts: they go with it.
    connect(app, &QObject::destroyed, this, [this] { OwnWindow::clearLayout(this); });
}

SettingsWindow::~SettingsWindow() {
    qApp->removeEventFilter(this);
}

bool SettingsWindow::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType()) return false;
    auto *clicked = static_cast<QWidget *>(watched);
    if (clicked->window() != this || static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    // The controls here take the focus by Tab only, as in the main window; but here no files wait for
    // the keys: a click gives the focus to what was clicked.
    for (QWidget *w = clicked; w && w != this; w = w->parentWidget()) {
        if (!w->isEnabled()) continue;
        if (w->focusPolicy() & Qt::ClickFocus) return false; // Qt gives it the focus
        if (w->focusPolicy() & Qt::TabFocus) {
            w->setFocus(Qt::MouseFocusReason);
            return false;
        }
    }
    // A click on text or the background: no control keeps a ring that the next key would act on.
    if (QWidget *focus = focusWidget()) focus->clearFocus();
    return false;
}

SettingsWindow *SettingsWindow::open(AppState *app) {
    static QPointer<SettingsWindow> one;
    const bool fresh = !one;
    SettingsWindow *w = OwnWindow::openOne(one, [app] { return new SettingsWindow(app); });
    if (fresh) w->focusPage();
    return w;
}

void SettingsWindow::keyPressEvent(QKeyEvent *event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key();
    if (key == Qt::Key_Escape && mods == Qt::NoModifier) {
        close();
        return;
    }
    const bool ctrl = mods == Qt::ControlModifier,
               ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    if ((key == Qt::Key_Tab && ctrl) || (key == Qt::Key_PageDown && ctrl)) {
        turnPage(1);
        return;
    }
    // Shift turns Tab into Backtab on most window systems.
    if (((key == Qt::Key_Tab || key == Qt::Key_Backtab) && ctrlShift) || (key == Qt::Key_PageUp && ctrl)) {
        turnPage(-1);
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::turnPage(int step) {
    if (!m_view || m_view->count() == 0) return;
    const int n = m_view->count();
    m_view->setCurrentIndex((m_view->currentIndex() + step + n) % n);
    focusPage();
}

void SettingsWindow::focusPage() {
    SettingsPage *page = m_view ? m_view->page(m_view->currentIndex()) : nullptr;
    if (!page) return;
    // The focus shows from the start, as after a Tab, whether or not the window is active yet.
    setAttribute(Qt::WA_KeyboardFocusChange);
    // The control at the top: the page's foot (help, reset) is made before its blocks.
    QWidget *first = nullptr;
    auto above = [page](QWidget *a, QWidget *b) {
        const QPoint pa = a->mapTo(page, QPoint()), pb = b->mapTo(page, QPoint());
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    };
    for (QWidget *w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain())
        if (page->isAncestorOf(w) && w->isVisibleTo(page) && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) && (!first || above(w, first)))
            first = w;
    // A row of choices is entered at its chosen one, as a group of radio buttons is: the ring on the
    // first of them would point at a choice that was not made.
    if (qobject_cast<ChoiceChip *>(first))
        for (auto *chip : first->parentWidget()->findChildren<ChoiceChip *>(Qt::FindDirectChildrenOnly))
            if (chip->selected() && chip->isVisibleTo(page) && chip->isEnabled()) {
                first = chip;
                break;
            }
    if (first) first->setFocus(Qt::TabFocusReason);
}

void SettingsWindow::rebuild() {
    setWindowTitle(L("Einstellungen"));
    const int tab = m_view ? m_view->currentIndex() : 0;
    // The chip that had the focus (the language just chosen) has it again in the new language.
    const auto *chip = qobject_cast<const ChoiceChip *>(focusWidget());
    const QString chipKey = chip ? chip->key() : QString();
    auto *box = qobject_cast<QVBoxLayout *>(layout());
    if (!m_app || !box || !m_view) {
        OwnWindow::clearLayout(this);
        if (!m_app) return;
        box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSizeConstraint(QLayout::SetFixedSize);
    }
    // The new view is made while the old one still holds the window's size: a window emptied for a moment
    // is unmapped, and loses the keyboard.
    auto *view = new SettingsView(m_app->settings(), m_app->requests(), *m_commands, this);
    view->setCurrentIndex(tab);
    QPointer<SettingsView> old = m_view;
    m_view = view;
    if (!old) {
        box->addWidget(view);
        return;
    }
    box->replaceWidget(old, view);
    view->show();
    delete old;
    if (SettingsPage *page = view->page(tab); page && !chipKey.isEmpty())
        for (ChoiceChip *c : page->findChildren<ChoiceChip *>())
            if (c->key() == chipKey) {
                c->setFocus(Qt::OtherFocusReason);
                return;
            }
    focusPage();
}
