#include "ui/inspector/InspectorView.h"

#include "core/app/FileInfoState.h"
#include "core/app/ItemCommands.h"
#include "core/app/Sides.h"
#include "core/localisation/FileFmt.h"
#include "core/model/MultiSummary.h"
#include "core/model/PaneModel.h"
#include "core/model/SelectionOrder.h"
#include "core/model/SizeWalk.h"
#include "ui/inspector/FileInfoForm.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/inspector/MultiInspector.h"
#include "ui/style/EnvironmentValues.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

InspectorView::InspectorView(Sides &sides, ItemCommands &items, Toasts &toasts, QWidget *parent)
    : QScrollArea(parent), m_sides(&sides), m_items(items), m_toasts(toasts) {
    setObjectName(QStringLiteral("inspector"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Base);
    // A click on the column's text or background leaves the keys with the files; its fields and buttons
    // take the focus themselves.
    setFocusPolicy(Qt::NoFocus);
    m_walk = new SizeWalk(this);
    connect(m_walk, &SizeWalk::finished, this, [this](const FileOps::SelectionSize &r) {
        if (MultiInspector *m = multi()) m->setTotal(FileFmt::size(r.bytes));
    });
    connect(&sides, &Sides::activePaneChanged, this, &InspectorView::sync);
    // Where the keys were before a click on a value's text took them.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (now && isAncestorOf(now) && !(old && isAncestorOf(old))) m_keysBefore = old;
    });
    qApp->installEventFilter(this);
    // The form's sizes are set as it is made: a new text size makes it anew.
    EnvironmentValues::follow(this, [this] {
        const UIScale ui = EnvironmentValues::ui(this);
        if (ui == m_builtFor) return;
        m_builtFor = ui;
        if (!widget()) return;
        QWidget *old = takeWidget();
        if (FileInfoForm *f = old->findChild<FileInfoForm *>(); f && isVisible()) f->state()->tellUnapplied();
        delete old;
        m_selection.clear();
        sync();
    });
    sync();
}

InspectorView::~InspectorView() {
    // Its parts go after this: a focus change as they go finds nothing of it.
    disconnect(qApp, nullptr, this, nullptr);
    qApp->removeEventFilter(this);
    if (m_summaryFlag) m_summaryFlag->setCancelled();
}

bool InspectorView::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    // A value's text takes the keys for selecting and copying it; a click that selected nothing leaves
    // them where they were, since the text shows no sign of having them.
    auto *label = qobject_cast<QLabel *>(watched);
    if (!label || !isAncestorOf(label)) return false;
    QTimer::singleShot(0, label, [this, label] {
        if (!label->hasFocus() || label->hasSelectedText()) return;
        if (m_keysBefore && m_keysBefore->window() == window())
            m_keysBefore->setFocus(Qt::MouseFocusReason);
        else
            label->clearFocus();
    });
    return false;
}

void InspectorView::showEvent(QShowEvent *event) {
    QScrollArea::showEvent(event);
    if (m_stale) sync();
}

FileInfoForm *InspectorView::form() const {
    return widget() ? widget()->findChild<FileInfoForm *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

MultiInspector *InspectorView::multi() const {
    return qobject_cast<MultiInspector *>(widget());
}

QWidget *InspectorView::firstField() const {
    if (!isVisible() || !widget()) return nullptr;
    if (FileInfoForm *f = form()) return f->nameField();
    QWidget *shown = widget();
    for (QWidget *w = shown->nextInFocusChain(); w && w != shown; w = w->nextInFocusChain())
        if (shown->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled())
            return w;
    return nullptr;
}

void InspectorView::watchPane() {
    PaneModel *pane = m_sides->activePane();
    if (pane == m_pane) return;
    for (const auto &c : m_paneConnections)
        disconnect(c);
    m_paneConnections.clear();
    m_pane = pane;
    if (!pane) return;
    m_paneConnections << connect(pane, &PaneModel::selectionChanged, this, &InspectorView::sync)
                      << connect(pane, &PaneModel::currentPathChanged, this, &InspectorView::sync)
                      << connect(pane, &PaneModel::refreshTokenChanged, this, &InspectorView::sync);
}

void InspectorView::sync() {
    if (!m_sides) return;
    watchPane();
    if (!m_pane) return;
    // While the column is switched off nothing is read; showing it catches up.
    if (testAttribute(Qt::WA_WState_ExplicitShowHide) && isHidden()) {
        m_stale = true;
        return;
    }
    m_stale = false;
    const QSet<QString> &selection = m_pane->selection();
    if (selection.size() >= 2) {
        // A pane refresh keeps the selection: the summary of this selection stays as it is.
        if (multi() && selection == m_selection) return;
        m_selection = selection;
        showMulti(selection);
        return;
    }
    m_selection.clear();
    const QString path = selection.isEmpty() ? m_pane->currentPath() : *selection.begin();
    if (FileInfoForm *f = form(); f && f->state()->path() == path) {
        f->setRefresh(m_pane->refreshToken());
        return;
    }
    ++m_generation;
    if (m_summaryFlag) m_summaryFlag->setCancelled();
    m_walk->cancel();
    // Made in place, so the form finds the window's text size as it is built.
    auto *host = new QWidget(viewport());
    auto *layout = new QVBoxLayout(host);
    layout->setContentsMargins(12, 12, 12, 12);
    auto *made = new FileInfoForm(*m_sides, m_items, m_toasts, path, m_pane->refreshToken(), host);
    connect(made, &FileInfoForm::editEnded, this, &InspectorView::editEnded);
    layout->addWidget(made);
    replaceWidget(host);
}

// The form shown may be what runs now (an edit of its own field that the panes follow): it goes once
// that is done.
void InspectorView::replaceWidget(QWidget *next) {
    if (QWidget *old = takeWidget()) {
        if (FileInfoForm *f = old->findChild<FileInfoForm *>()) {
            // Said while the column is on the screen; never as the window goes.
            if (isVisible()) f->state()->tellUnapplied();
            f->state()->retire();
        }
        old->hide();
        old->deleteLater();
    }
    setWidget(next);
}

// The selection is put in order in the worker that reads its summary: ordering a hundred thousand paths
// takes longer than a frame.
void InspectorView::showMulti(const QSet<QString> &selection) {
    const quint64 generation = ++m_generation;
    if (m_summaryFlag) m_summaryFlag->setCancelled();
    m_walk->cancel();
    auto *view = new MultiInspector(selection.size(), viewport());
    replaceWidget(view);
    connect(view->tagPicker(), &TagPicker::toggled, this, [this, view, selection](const QString &tag) {
        const QStringList paths =
            view->paths().isEmpty() ? QStringList(selection.begin(), selection.end()) : view->paths();
        if (m_sides) m_items.toggleTag(tag, paths);
        readTags(paths);
    });
    m_summaryFlag = std::make_shared<CancelFlag>();
    CancelFlagPtr flag = m_summaryFlag;
    QPointer<InspectorView> self(this);
    (void)QtConcurrent::run([self, flag, selection, generation] {
        const QStringList paths = SelectionOrder::sorted(selection);
        if (flag->cancelled()) return;
        const MultiSummary summary = MultiSummary::make(paths, flag.get());
        if (flag->cancelled()) return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, summary, paths, generation] {
                if (!self || generation != self->m_generation || !self->multi()) return;
                self->multi()->setSummary(summary, paths);
                self->m_walk->start(paths);
            },
            Qt::QueuedConnection);
    });
}

void InspectorView::readTags(const QStringList &paths) {
    const quint64 generation = m_generation;
    QPointer<InspectorView> self(this);
    (void)QtConcurrent::run([self, paths, generation] {
        const QSet<QString> tags = tagsOnAllOf(paths);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, tags, generation] {
                if (self && generation == self->m_generation && self->multi())
                    self->multi()->setTagsOnAll(tags);
            },
            Qt::QueuedConnection);
    });
}
