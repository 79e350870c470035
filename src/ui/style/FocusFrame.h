#pragma once

#include <QRect>

class QPainter;
class QWidget;

// The style's focus frame for controls that paint themselves: drawn while the control has the focus, as
// the style draws it for its own controls (most styles only once the keyboard moved the focus).
namespace FocusFrame {
// Draws the frame around around (the whole control when empty); the painter's transform, opacity, pen and
// brush are left as they were.
void paint(const QWidget *control, QPainter &painter, const QRect &around = {});
} // namespace FocusFrame
