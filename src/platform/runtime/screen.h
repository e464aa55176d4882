#pragma once
// Screen metrics in twips (1440 to the logical inch), the application's mouse pointer, and what
// a window or a text may take of the screen.

#include "runtime/error.h"

#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

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

// A text for a caption, a status field or a list entry, cut to what the screens could show at
// all (no character is narrower than a pixel), so that measuring it for display is quick
// whatever its length. Whoever owns the text keeps it whole; only what is shown is cut.
QString visibleText(const QString &text);

// The rectangle a window is given, moved where the user could not reach it: its top left corner
// must lie in the room it may take, with some of the window beside and below it. The room is the
// work area of the screen it is on (the nearest one when it is on none) for a top-level window,
// its parent's area for a window inside another. A window moved comes to lie wholly in the room
// where it fits, else at the room's top or left edge; one that is reachable keeps its place and
// size, even where it reaches past the room's far edges.
QRect keptOnScreen(const QRect &rect, const QWidget *window);

// How far beyond the virtual desktop (all screens together) a window given its place from outside
// (an automation client, a layout) may lie and how large it may be, in desktop sizes: a width is
// at most DesktopMultiple desktop widths, a left edge at most that far before or after the
// desktop. So no number makes the program paint or allocate without end.
constexpr int DesktopMultiple = 4;
// Pixels clamped along one axis: a position (x or y) or a size (width or height, never below 0).
enum class Axis { X, Y };
Long boundedPosition(Long pixels, Axis axis);
Long boundedSize(Long pixels, Axis axis);

} // namespace rt
