#pragma once
// Screen metrics in twips (1440 to the logical inch) and the application's mouse pointer.

#include "runtime/error.h"

#include <QPoint>
#include <QRect>

namespace rt {

constexpr int TwipsPerInch = 1440;
constexpr double PointsPerInch = 72.0;

// Twips per pixel: 1440 / logical DPI of the primary screen (15 at 96 DPI; 15 without a screen).
double TwipsPerPixelX();
double TwipsPerPixelY();

// Conversions between pixels and twips on the primary screen (rounded to the nearest unit).
Long pixelsToTwipsX(int pixels);
Long pixelsToTwipsY(int pixels);
int twipsToPixelsX(Long twips);
int twipsToPixelsY(Long twips);

// Size of the primary screen in twips (0 without a screen).
Long ScreenWidth();
Long ScreenHeight();

// The application-wide mouse pointer: 0 default, 11 hourglass (other values show the default
// arrow but are kept, so that a saved pointer is put back as it was).
enum MousePointer : Int { vbDefault = 0, vbArrow = 1, vbHourglass = 11 };
Int mousePointer();
void setMousePointer(Int pointer);

} // namespace rt
