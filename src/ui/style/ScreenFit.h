#pragma once

#include <QRect>

class QWidget;

// Shrinks preferred sizes to the usable screen and keeps windows inside it.
namespace ScreenFit {

inline constexpr int defaultWidthMargin = 60;
inline constexpr int defaultHeightMargin = 110;
inline constexpr int minWidth = 480;
inline constexpr int minHeight = 380;

// Available area of the active window's screen, else of the primary screen, else 1280 x 720.
QRect visible();

int width(int preferred, int margin = defaultWidthMargin);
int height(int preferred, int margin = defaultHeightMargin);
int width(int preferred, int margin, const QRect &visible);
int height(int preferred, int margin, const QRect &visible);

// The frame moved and shrunk into the visible area; unchanged where it already fits.
QRect fitted(const QRect &frame, const QRect &visible);

// Moves and shrinks a top-level window into its screen's available area. Full-screen and
// maximised windows are left alone, and a window that already fits is not set again.
void fit(QWidget *window);

} // namespace ScreenFit
