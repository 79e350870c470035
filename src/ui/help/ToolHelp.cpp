#include "ui/help/ToolHelp.h"

#include "core/app/WindowRequests.h"
#include "core/help/ToolHelpModifier.h"
#include "core/localisation/Lang.h"
#include "ui/help/HelpCardAnchor.h"
#include "ui/help/HelpContext.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>

ToolHelp::ToolHelp(QWidget *control, WindowRequests *requests, Text text, int section, HelpClock *clock)
    : QObject(control), m_control(control), m_requests(requests), m_text(std::move(text)),
      m_section(section) {
    m_timing = new ToolHelpModifier(clock, this);
    m_anchor = new HelpCardAnchor(control, this);
    m_anchor->onDismiss = [this] { m_timing->dismiss(); };
    connect(m_timing, &ToolHelpModifier::shownChanged, this, &ToolHelp::shownChanged);
    connect(m_anchor, &HelpCardAnchor::cardHoverChanged, m_timing, &ToolHelpModifier::setOverCard);
    connect(m_anchor, &HelpCardAnchor::linkActivated, this, &ToolHelp::followLink);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive) m_timing->resignActive();
    });
    control->installEventFilter(this);
}

ToolHelp *ToolHelp::of(const QWidget *control) {
    return control ? control->findChild<ToolHelp *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void ToolHelp::shownChanged(bool shown) {
    if (shown)
        m_anchor->show(text());
    else
        m_anchor->hide();
}

void ToolHelp::followLink() {
    m_timing->linkFollowed();
    if (m_requests) m_requests->openManual(m_section);
}

bool ToolHelp::eventFilter(QObject *watched, QEvent *event) {
    if (watched != m_control) return false;
    switch (event->type()) {
    case QEvent::Enter:
        m_timing->setOverSymbol(true);
        break;
    case QEvent::Leave:
        m_timing->setOverSymbol(false);
        break;
    case QEvent::MouseButtonPress:
        // The click still reaches the control.
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) m_timing->controlClicked();
        break;
    case QEvent::Hide:
        // A card must not point at a control that is gone.
        m_timing->setOverSymbol(false);
        m_timing->dismiss();
        break;
    case QEvent::ToolTip:
        // The card replaces the plain tooltip.
        return true;
    case QEvent::ContextMenu:
        if (!m_requests) break;
        HelpContext::popup(m_control, m_requests, m_section,
                           static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    default:
        break;
    }
    return false;
}

ToolHelp *toolHelp(QWidget *control, WindowRequests *requests, ToolHelp::Text text, int section) {
    if (ToolHelp *existing = ToolHelp::of(control)) {
        existing->setText(std::move(text));
        existing->setSection(section);
        return existing;
    }
    return new ToolHelp(control, requests, std::move(text), section);
}

ToolHelp *toolHelp(QWidget *control, WindowRequests *requests, const QString &germanKey, int section) {
    return toolHelp(control, requests, ToolHelp::Text([germanKey] { return L(germanKey); }), section);
}
