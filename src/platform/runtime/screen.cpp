#include "runtime/screen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace rt {

namespace {

constexpr double fallbackTwipsPerPixel = 15.0;

QScreen *primaryScreen()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        ? QGuiApplication::primaryScreen()
        : nullptr;
}

double twipsPerPixel(double dpi)
{
    return dpi > 0 ? TwipsPerInch / dpi : fallbackTwipsPerPixel;
}

Int gMousePointer = vbDefault;
bool gOverridePushed = false;

} // namespace

double TwipsPerPixelX()
{
    QScreen *screen = primaryScreen();
    return screen ? twipsPerPixel(screen->logicalDotsPerInchX()) : fallbackTwipsPerPixel;
}

double TwipsPerPixelY()
{
    QScreen *screen = primaryScreen();
    return screen ? twipsPerPixel(screen->logicalDotsPerInchY()) : fallbackTwipsPerPixel;
}

Long pixelsToTwipsX(int pixels)
{
    return Long(std::lround(pixels * TwipsPerPixelX()));
}

Long pixelsToTwipsY(int pixels)
{
    return Long(std::lround(pixels * TwipsPerPixelY()));
}

int twipsToPixelsX(Long twips)
{
    return int(std::lround(twips / TwipsPerPixelX()));
}

int twipsToPixelsY(Long twips)
{
    return int(std::lround(twips / TwipsPerPixelY()));
}

Long ScreenWidth()
{
    QScreen *screen = primaryScreen();
    return screen ? pixelsToTwipsX(screen->geometry().width()) : 0;
}

Long ScreenHeight()
{
    QScreen *screen = primaryScreen();
    return screen ? pixelsToTwipsY(screen->geometry().height()) : 0;
}

Int mousePointer()
{
    return gMousePointer;
}

// One override cursor stands for the application's pointer: it is pushed when the pointer leaves
// the default and popped when it comes back, so the override stack never grows.
void setMousePointer(Int pointer)
{
    gMousePointer = pointer;
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    if (pointer == vbDefault) {
        if (gOverridePushed)
            QGuiApplication::restoreOverrideCursor();
        gOverridePushed = false;
        return;
    }
    const QCursor cursor(pointer == vbHourglass ? Qt::WaitCursor : Qt::ArrowCursor);
    if (gOverridePushed)
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
    gOverridePushed = true;
}

} // namespace rt
