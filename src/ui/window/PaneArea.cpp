#include "ui/window/PaneArea.h"

#include "core/app/AppState.h"
#include "core/model/TabGroup.h"
#include "ui/window/PaneSplit.h"
#include "ui/window/SplitHandles.h"

PaneArea::PaneArea(AppState *app, ViewFactory factory, QWidget *parent)
    : QWidget(parent), m_app(app), m_factory(std::move(factory)) {
    m_handle = new SplitHandle([this] { return m_app ? m_app->settings().splitFraction() : 0.5; },
                               [this](double v) {
                                   if (m_app) m_app->settings().setSplitFraction(v);
                               },
                               this);
    connect(&app->sides(), &Sides::activeChanged, this, &PaneArea::sync);
    connect(&app->settings(), &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::dualPane || key == Settings::Key::splitFraction) sync();
    });
    sync();
}

void PaneArea::sync() {
    if (!m_app) return;
    const bool dual = m_app->settings().dualPane();
    TabGroup *left = dual ? m_app->sides().leftTabs() : m_app->sides().tabs(m_app->sides().active());
    TabGroup *right = dual ? m_app->sides().rightTabs() : nullptr;
    auto place = [this](QPointer<TabGroup> &model, QPointer<QWidget> &view, TabGroup *wanted) {
        if (model == wanted && (view || !wanted)) return;
        delete view.data();
        model = wanted;
        view = wanted ? m_factory(wanted, this) : nullptr;
        if (view) view->show();
    };
    place(m_leftGroup, m_leftView, left);
    place(m_rightGroup, m_rightView, right);
    m_handle->setVisible(dual);
    layoutViews();
}

void PaneArea::resizeEvent(QResizeEvent *) {
    layoutViews();
}

void PaneArea::layoutViews() {
    if (!m_app) return;
    const int h = height();
    if (!m_app->settings().dualPane()) {
        if (m_leftView) m_leftView->setGeometry(0, 0, width(), h);
        return;
    }
    const PaneWidths w =
        PaneSplit::widths(width(), m_app->settings().splitFraction(), m_app->sides().active());
    m_handle->setTotal(std::max(width() - PaneSplit::handleWidth, 0));
    if (m_leftView) m_leftView->setGeometry(0, 0, w.left, h);
    m_handle->setGeometry(w.left, 0, PaneSplit::handleWidth, h);
    if (m_rightView) {
        m_rightView->setGeometry(w.left + PaneSplit::handleWidth, 0, w.right, h);
        m_rightView->setVisible(w.right > 0);
    }
    if (m_leftView) m_leftView->setVisible(w.left > 0);
}
