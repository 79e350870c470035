#include "ui/window/SplitHandles.h"

#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

ColumnHandle::ColumnHandle(std::function<double()> read, std::function<void(double)> write, QWidget *parent)
    : QWidget(parent), m_read(std::move(read)), m_write(std::move(write)) {
    setFixedWidth(7);
    setCursor(Qt::SplitHCursor);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
}

void ColumnHandle::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const bool active = isActive();
    const int line = active ? 3 : 1;
    QColor color;
    if (active) {
        color = EnvironmentValues::appTheme(this).a;
        color.setAlphaF(0.7);
    } else {
        color = palette().color(QPalette::WindowText);
        color.setAlphaF(0.12);
    }
    p.fillRect(QRect((width() - line) / 2, 0, line, height()), color);
}

void ColumnHandle::enterEvent(QEnterEvent *) {
    m_hover = true;
    update();
}

void ColumnHandle::leaveEvent(QEvent *) {
    m_hover = false;
    update();
}

void ColumnHandle::mousePressEvent(QMouseEvent *e) {
    if (e->button() == Qt::LeftButton) m_pressX = int(e->globalPosition().x());
}

void ColumnHandle::mouseMoveEvent(QMouseEvent *e) {
    if (!m_pressX) return;
    const int dx = int(e->globalPosition().x()) - *m_pressX;
    // A click without movement is no drag.
    if (!m_start && dx == 0) return;
    if (!m_start) m_start = m_read();
    if (auto v = dragged(*m_start, dx); v && v != m_value) {
        m_value = v;
        emit dragging(*v);
    }
    update();
}

void ColumnHandle::mouseReleaseEvent(QMouseEvent *) {
    const std::optional<double> value = m_value;
    m_pressX.reset();
    m_start.reset();
    m_value.reset();
    if (value) m_write(*value);
    update();
}

void ColumnHandle::mouseDoubleClickEvent(QMouseEvent *) {
    m_write(resetValue());
}

SplitHandle::SplitHandle(std::function<double()> read, std::function<void(double)> write, QWidget *parent)
    : ColumnHandle(std::move(read), std::move(write), parent) {
    setToolTip(L("Ziehen: Breite der Fenster ändern. Doppelklick: wieder 50/50."));
    setAccessibleName(toolTip());
}

std::optional<double> SplitHandle::dragged(double start, int dx) const {
    if (m_total <= 0) return std::nullopt;
    return std::clamp(start + double(dx) / m_total, 0.2, 0.8);
}

InspectorResizeHandle::InspectorResizeHandle(std::function<double()> read, std::function<void(double)> write,
                                             QWidget *parent)
    : ColumnHandle(std::move(read), std::move(write), parent) {
    setToolTip(L("Ziehen: Breite der Info-Leiste ändern. Doppelklick: Standardbreite."));
    setAccessibleName(toolTip());
}

std::optional<double> InspectorResizeHandle::dragged(double start, int dx) const {
    return std::clamp(start - dx, 220.0, 520.0);
}
