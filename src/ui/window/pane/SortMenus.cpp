#include "ui/window/pane/SortMenus.h"

#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/SortKey.h"
#include "ui/style/Symbols.h"

#include <QMenu>
#include <QPainter>

namespace SortMenuItems {

QString label(const PaneModel &model, int keyIndex) {
    const SortKey key = SortKeys::allCases[size_t(keyIndex)];
    return key == model.sort() ? title(key) + u' ' + model.sortArrow() : title(key);
}

void fill(QMenu *menu, PaneModel *model) {
    if (!model) return;
    for (size_t i = 0; i < SortKeys::allCases.size(); ++i) {
        const SortKey key = SortKeys::allCases[i];
        // Names may hold '&'; titles never should become mnemonics.
        QString text = label(*model, int(i));
        text.replace(u'&', QStringLiteral("&&"));
        QAction *action = menu->addAction(text);
        action->setObjectName(rawValue(key));
        if (key == model->sort()) action->setIcon(Symbols::icon(QStringLiteral("checkmark")));
        QPointer<PaneModel> guard(model);
        QObject::connect(action, &QAction::triggered, menu, [guard, key] {
            if (guard) guard->chooseSort(key);
        });
    }
}

} // namespace SortMenuItems

SortMenu::SortMenu(PaneModel *model, QWidget *parent) : QToolButton(parent), m_model(model) {
    setPopupMode(QToolButton::InstantPopup);
    setAutoRaise(true);
    setFixedSize(24, 22);
    setFocusPolicy(Qt::NoFocus);
    auto *menu = new QMenu(this);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        SortMenuItems::fill(menu, m_model);
    });
    setMenu(menu);
    if (m_model) {
        connect(m_model, &PaneModel::sortChanged, this, &SortMenu::updateHelp);
        connect(m_model, &PaneModel::sortReversedChanged, this, &SortMenu::updateHelp);
    }
    updateHelp();
}

QString SortMenu::helpText(const PaneModel &model) {
    return LF("Sortieren: %@", title(model.sort()) + u' ' + model.sortArrow()) + u' ' +
           L("(erneut wählen kehrt die Richtung um)");
}

void SortMenu::updateHelp() {
    if (!m_model) return;
    const QString help = helpText(*m_model);
    setToolTip(help);
    setAccessibleName(help);
    menu()->setAccessibleName(help);
}

void SortMenu::paintEvent(QPaintEvent *) {
    // No menu indicator: only the symbol, dimmed while pressed.
    QPainter p(this);
    const QColor fg = palette().color(isDown() ? QPalette::Mid : QPalette::WindowText);
    const QPixmap pm = Symbols::pixmap(QStringLiteral("arrow.up.arrow.down"), 12, fg, devicePixelRatioF());
    const QSizeF s = QSizeF(pm.size()) / pm.devicePixelRatio();
    p.drawPixmap(QPointF((width() - s.width()) / 2, (height() - s.height()) / 2), pm);
}
