// The control's pictures and sounds: LoadImage and UnloadImage draw picture files over the
// screen (picturelayer.h), PlayWave and PlayMIDI play sound files (sound.h).

#include "emulator/emulator.h"

#include "emulator/emulator_internal.h"
#include "emulator/picturelayer.h"
#include "emulator/screenview.h"
#include "emulator/sound.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QFileInfo>
#include <QImageReader>

namespace emu {

namespace {

// A picture file is read whole before it is decoded; a larger one is refused.
constexpr qint64 MaxPictureFileBytes = 64 * 1024 * 1024;

// A picture file the user named: a regular file holding an image.
QImage readPicture(const QString &fileName)
{
    const QImage image = QImage::fromData(rt::readNamedFile(fileName, MaxPictureFileBytes));
    if (image.isNull())
        rt::raise(rt::err::InvalidPicture);
    return image;
}

// Cells needed for a number of pixels.
int cellsFor(int pixels, int cellPixels)
{
    return std::max(1, (pixels + cellPixels - 1) / std::max(1, cellPixels));
}

} // namespace

void nvEmulator::LoadImage(const QString &fileName, Int col, Int row, Int width, Int height,
    Int preserveAspect, Int borderStyle)
{
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    if (width < 0 || height < 0)
        detail::fail(emuerror::BadPosition);
    PictureLayer::Picture picture;
    picture.image = readPicture(fileName);
    picture.file = QFileInfo(fileName).absoluteFilePath();
    picture.line = m_screen->screenLine(r);
    picture.col = c;
    const QSize cell = m_view->cellSize();
    picture.cols = width > 0 ? width : cellsFor(picture.image.width(), cell.width());
    picture.rows = height > 0 ? height : cellsFor(picture.image.height(), cell.height());
    picture.preserveAspect = preserveAspect != 0;
    picture.border = borderStyle != 0;
    PictureLayer::of(m_view, m_screen)->add(picture);
}

void nvEmulator::UnloadImage(const QString &fileName)
{
    PictureLayer::of(m_view, m_screen)
        ->remove(fileName.isEmpty() ? QString() : QFileInfo(fileName).absoluteFilePath());
}

void nvEmulator::PlayMIDI(const QString &fileName)
{
    SoundPlayer::of(this)->playMidi(fileName);
}

void nvEmulator::PlayWave(const QString &fileName)
{
    SoundPlayer::of(this)->playWave(fileName);
}

} // namespace emu
