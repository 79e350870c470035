#include "ui/help/HelpButton.h"

#include "core/app/WindowRequests.h"
#include "core/localisation/Lang.h"

HelpButton::HelpButton(WindowRequests *requests, int section, QWidget *parent)
    : IconButton(QStringLiteral("questionmark.circle"), false, 16, parent), m_requests(requests),
      m_section(section) {
    setHelpKey(K("Hilfe zu diesem Fenster im Handbuch öffnen"));
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_requests) m_requests->openManual(m_section);
    });
}

// Drawn in the secondary text colour: it sits beside the sheet's own buttons without competing with them.
ButtonLook HelpButton::look() const {
    ButtonLook l = IconButton::look();
    l.foreground.setAlphaF(l.foreground.alphaF() * 0.6f);
    return l;
}
