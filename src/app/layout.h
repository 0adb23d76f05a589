#pragma once
// Window layouts are drawn in twips (1/1440 inch) and placed in pixels at the
// screen's logical resolution, so a window has the same size in inches on every
// screen.

#include <QRect>
#include <QSize>

namespace gathrix::app {

inline constexpr double kTwipsPerInch = 1440.0;

// A control's place in its window's client area, in twips.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

// Both edges of a rectangle are rounded on their own, so controls that share an
// edge in twips share it in pixels too.
int TwipsToPixels(int twips, double dpi);
QRect TwipsToPixels(const TwipRect& rect, double dpi_x, double dpi_y);
QSize TwipsToPixels(int width, int height, double dpi_x, double dpi_y);

// Logical resolution of the primary screen (96 when there is none).
double LogicalDpiX();
double LogicalDpiY();

}  // namespace gathrix::app
