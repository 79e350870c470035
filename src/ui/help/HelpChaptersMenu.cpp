#include "ui/help/HelpChaptersMenu.h"

#include "core/app/Settings.h"
#include "core/app/WindowRequests.h"
#include "core/help/ManualChapters.h"
#include "core/localisation/Lang.h"
#include "ui/style/Symbols.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>

HelpChapterEntries::HelpChapterEntries(QMenu *menu, WindowRequests &requests, Settings &settings)
    : QObject(menu), m_menu(menu), m_requests(&requests), m_settings(&settings) {
    m_end = new QAction(this);
    m_end->setSeparator(true);
    m_end->setVisible(false);
    menu->addAction(m_end);
    connect(menu, &QMenu::aboutToShow, this, &HelpChapterEntries::refresh);
    refresh();
}

void HelpChapterEntries::refresh() {
    if (!m_menu) return;
    for (const QPointer<QAction> &entry : std::as_const(m_entries))
        delete entry.data();
    m_entries.clear();

    const QPointer<WindowRequests> requests = m_requests;
    auto add = [this](QAction *entry) {
        m_menu->insertAction(m_end, entry);
        m_entries.append(entry);
    };
    auto *open = new QAction(L("Handbuch öffnen"), this);
    connect(open, &QAction::triggered, this, [requests] {
        if (requests) requests->openManual(std::nullopt);
    });
    add(open);

    const QList<ManualChapter> chapters =
        ManualChapters::list(m_settings ? m_settings->language() : Lang::current());
    if (chapters.isEmpty()) return;
    auto *divider = new QAction(this);
    divider->setSeparator(true);
    add(divider);
    for (const ManualChapter &chapter : chapters) {
        // Titles come from the file as they are; "&" is a character, not a mnemonic.
        QString title = QString::number(chapter.number) + QStringLiteral(". ") + chapter.title;
        auto *entry = new QAction(title.replace(u'&', QStringLiteral("&&")), this);
        const int number = chapter.number;
        connect(entry, &QAction::triggered, this, [requests, number] {
            if (requests) requests->openManual(number);
        });
        add(entry);
    }
}

QList<QAction *> HelpChapterEntries::entries() const {
    QList<QAction *> out;
    for (const QPointer<QAction> &entry : m_entries)
        if (entry) out.append(entry);
    return out;
}

HelpChapterEntries *addHelpChapters(QMenu *menu, WindowRequests &requests, Settings &settings) {
    return new HelpChapterEntries(menu, requests, settings);
}

HelpChaptersMenu::HelpChaptersMenu(WindowRequests &requests, Settings &settings, QWidget *parent)
    : QToolButton(parent) {
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setFixedSize(28, 26);
    setIconSize(QSize(14, 14));
    setFocusPolicy(Qt::TabFocus);
    // The button shows no arrow: the symbol alone says it opens the manual.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    setAccessibleName(L("Hilfekapitel"));
    auto *menu = new QMenu(this);
    setMenu(menu);
    m_entries = addHelpChapters(menu, requests, settings);
    updateIcon();
}

bool HelpChaptersMenu::event(QEvent *e) {
    // Looked up when shown, so the tooltip follows the language.
    if (e->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent *>(e)->globalPos(),
                           L("Hilfe: Handbuch öffnen oder Kapitel wählen (⌘?)"), this);
        return true;
    }
    return QToolButton::event(e);
}

void HelpChaptersMenu::changeEvent(QEvent *e) {
    QToolButton::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) updateIcon();
}

void HelpChaptersMenu::keyPressEvent(QKeyEvent *e) {
    if (!ToolbarMenuButton::opensMenu(this, e)) QToolButton::keyPressEvent(e);
}

void HelpChaptersMenu::updateIcon() {
    setIcon(QIcon(Symbols::pixmap(QStringLiteral("questionmark.circle"), 14,
                                  palette().color(QPalette::ButtonText), devicePixelRatioF())));
}
