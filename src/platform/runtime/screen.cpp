#include "runtime/screen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
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

namespace {

// How much of a window must lie in its room for the user to take hold of it.
constexpr int reachablePixels = 48;
// Wider than any desktop when there is none to ask.
constexpr int fallbackVisibleChars = 16384;

int visibleChars()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return fallbackVisibleChars;
    int width = 0;
    for (const QScreen *screen : QGuiApplication::screens())
        width += screen->geometry().width();
    return width > 0 ? width : fallbackVisibleChars;
}

QRect roomOf(const QRect &rect, const QWidget *window)
{
    if (window && !window->isWindow() && window->parentWidget())
        return window->parentWidget()->rect();
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return rect;
    const QScreen *screen = QGuiApplication::screenAt(rect.center());
    if (!screen) {
        // The nearest screen to the rectangle's centre.
        qint64 best = -1;
        for (const QScreen *each : QGuiApplication::screens()) {
            const QPoint d = each->geometry().center() - rect.center();
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (best < 0 || distance < best) {
                best = distance;
                screen = each;
            }
        }
    }
    return screen ? screen->availableGeometry() : rect;
}

} // namespace

QString visibleText(const QString &text)
{
    const int limit = visibleChars();
    if (text.size() <= limit)
        return text;
    qsizetype cut = limit;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

namespace {

// The virtual desktop; a screen's worth of the fallback size without one.
QRect virtualDesktop()
{
    const QScreen *screen = primaryScreen();
    const QRect desktop = screen ? screen->virtualGeometry() : QRect();
    return desktop.isEmpty() ? QRect(0, 0, 1920, 1080) : desktop;
}

} // namespace

Long boundedPosition(Long pixels, Axis axis)
{
    const QRect desktop = virtualDesktop();
    const qint64 start = axis == Axis::X ? desktop.left() : desktop.top();
    const qint64 size = axis == Axis::X ? desktop.width() : desktop.height();
    return Long(std::clamp<qint64>(
        pixels, start - DesktopMultiple * size, start + size + DesktopMultiple * size));
}

Long boundedSize(Long pixels, Axis axis)
{
    const QRect desktop = virtualDesktop();
    const qint64 size = axis == Axis::X ? desktop.width() : desktop.height();
    return Long(std::clamp<qint64>(pixels, 0, DesktopMultiple * size));
}

QRect keptOnScreen(const QRect &rect, const QWidget *window)
{
    const QRect room = roomOf(rect, window);
    if (room.isEmpty())
        return rect;
    // Along one axis: the start moves when the window starts before the room, or when less than
    // a grip of it would lie in the room.
    const auto kept = [](int start, int size, int roomStart, int roomEnd) {
        const int grip = std::min(size, reachablePixels);
        if (start >= roomStart && start <= roomEnd - grip)
            return start;
        return start < roomStart ? roomStart : std::max(roomStart, roomEnd - size);
    };
    return QRect(QPoint(kept(rect.left(), rect.width(), room.left(), room.right() + 1),
                     kept(rect.top(), rect.height(), room.top(), room.bottom() + 1)),
        rect.size());
}

} // namespace rt
