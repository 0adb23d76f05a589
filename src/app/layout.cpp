#include "app/layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace gathrix::app {

namespace {
constexpr double kFallbackDpi = 96.0;
}

int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }

QRect TwipsToPixels(const TwipRect& rect, double dpi_x, double dpi_y) {
    const int x = TwipsToPixels(rect.left, dpi_x);
    const int y = TwipsToPixels(rect.top, dpi_y);
    const int right = TwipsToPixels(rect.left + rect.width, dpi_x);
    const int bottom = TwipsToPixels(rect.top + rect.height, dpi_y);
    return QRect(x, y, right - x, bottom - y);
}

QSize TwipsToPixels(int width, int height, double dpi_x, double dpi_y) {
    return QSize(TwipsToPixels(width, dpi_x), TwipsToPixels(height, dpi_y));
}

double LogicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() : kFallbackDpi;
}

double LogicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchY() : kFallbackDpi;
}

}  // namespace gathrix::app
