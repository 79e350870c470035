#pragma once

#include "ui/style/AppTheme.h"

#include <QColor>
#include <QRectF>

class QPainter;
class QPalette;

// The rounded highlight behind a row or cell: selection, hover and a folder under a file drag.
namespace SelectionBackground {

inline constexpr double radius = 5;

// What is drawn, kept apart from painting so it can be checked.
struct Look {
    enum class Fill { none, primary, gradient };
    Fill fill = Fill::none;
    double fillOpacity = 0;   // of the primary colour or of both gradient colours
    double borderOpacity = 0; // of the gradient; 0: no border
    double borderWidth = 1.0;
    bool operator==(const Look &) const = default;
};

Look look(bool selected, bool hovering, bool strong, bool targeted);

void paint(QPainter *painter, const QRectF &rect, const AppTheme &theme, const QPalette &palette,
           bool selected, bool hovering, bool strong = true, bool targeted = false);

} // namespace SelectionBackground
