#pragma once

#include <QColor>
#include <QRect>

class QPainter;
class QWidget;

// The style's focus frame for controls that paint themselves: drawn while the control has the focus, as
// the style draws it for its own controls (most styles only once the keyboard moved the focus).
namespace FocusFrame {
// Draws the frame around around (the whole control when empty); the painter's transform, opacity, pen and
// brush are left as they were.
// onFill: the label colour of a control filled in the accent colour (a checked button), on which the
// style's frame, drawn in that colour too, would not show; the frame is then a ring of the label colour.
void paint(const QWidget *control, QPainter &painter, const QRect &around = {}, const QColor &onFill = {});
// Whether a control that draws a ring of its own shows it now: it has the focus, and the keyboard moved
// it there.
bool shows(const QWidget *control);
} // namespace FocusFrame
