#include "emulator/picturelayer.h"

#include "emulator/screen.h"
#include "emulator/screenview.h"

#include <QEvent>
#include <QPainter>

namespace emu {

PictureLayer *PictureLayer::of(ScreenView *view, Screen *screen)
{
    if (auto *layer = view->findChild<PictureLayer *>(QString(), Qt::FindDirectChildrenOnly))
        return layer;
    return new PictureLayer(view, screen);
}

PictureLayer::PictureLayer(ScreenView *view, Screen *screen)
    : QWidget(view)
    , m_view(view)
    , m_screen(screen)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(view->rect());
    view->installEventFilter(this);
    // The view repaints the rows that change, scrolled ones included; the layer follows.
    connect(screen, &Screen::damaged, this, [this] { update(); });
    show();
}

void PictureLayer::add(const Picture &picture)
{
    m_pictures.append(picture);
    update();
}

int PictureLayer::remove(const QString &file)
{
    const qsizetype before = m_pictures.size();
    m_pictures.removeIf([&](const Picture &p) { return file.isEmpty() || p.file == file; });
    update();
    return int(before - m_pictures.size());
}

QRect PictureLayer::placeOf(const Picture &picture) const
{
    const QSize cell = m_view->cellSize();
    const qint64 row = picture.line - m_screen->screenLine(0);
    return QRect(picture.col * cell.width(), int(row * cell.height()),
        picture.cols * cell.width(), picture.rows * cell.height());
}

void PictureLayer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Picture &picture : std::as_const(m_pictures)) {
        const QRect box = placeOf(picture);
        if (!box.intersects(rect()))
            continue;
        QRect target = box;
        if (picture.preserveAspect) {
            const QSize fitted = picture.image.size().scaled(box.size(), Qt::KeepAspectRatio);
            target = QRect(QPoint(), fitted);
            target.moveCenter(box.center());
        }
        painter.drawImage(target, picture.image);
        if (picture.border) {
            painter.setPen(m_view->color(7));
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        }
    }
}

bool PictureLayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::Resize) {
        setGeometry(m_view->rect());
        raise();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace emu
