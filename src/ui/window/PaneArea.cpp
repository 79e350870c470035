#include "ui/window/PaneArea.h"

#include "core/app/Settings.h"
#include "core/app/Sides.h"
#include "core/model/TabGroup.h"
#include "ui/window/PaneSplit.h"
#include "ui/window/SplitHandles.h"

PaneArea::PaneArea(Sides &sides, Settings &settings, ViewFactory factory, QWidget *parent)
    : QWidget(parent), m_sides(&sides), m_settings(&settings), m_factory(std::move(factory)) {
    m_handle = new SplitHandle([this] { return m_settings ? m_settings->splitFraction() : 0.5; },
                               [this](double v) {
                                   if (m_settings) m_settings->setSplitFraction(v);
                               },
                               this);
    connect(m_handle, &ColumnHandle::dragging, this, &PaneArea::layoutViews);
    connect(&sides, &Sides::activeChanged, this, &PaneArea::sync);
    connect(&settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::dualPane || key == Settings::Key::splitFraction) sync();
    });
    sync();
}

void PaneArea::sync() {
    if (!m_sides || !m_settings) return;
    const bool dual = m_settings->dualPane();
    TabGroup *left = dual ? m_sides->leftTabs() : m_sides->tabs(m_sides->active());
    TabGroup *right = dual ? m_sides->rightTabs() : nullptr;
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
    if (!m_sides || !m_settings) return;
    const int h = height();
    if (!m_settings->dualPane()) {
        if (m_leftView) m_leftView->setGeometry(0, 0, width(), h);
        return;
    }
    const double fraction = m_handle->dragValue().value_or(m_settings->splitFraction());
    const PaneWidths w = PaneSplit::widths(width(), fraction, m_sides->active());
    m_handle->setTotal(std::max(width() - PaneSplit::handleWidth, 0));
    if (m_leftView) m_leftView->setGeometry(0, 0, w.left, h);
    m_handle->setGeometry(w.left, 0, PaneSplit::handleWidth, h);
    if (m_rightView) {
        m_rightView->setGeometry(w.left + PaneSplit::handleWidth, 0, w.right, h);
        m_rightView->setVisible(w.right > 0);
    }
    if (m_leftView) m_leftView->setVisible(w.left > 0);
}
