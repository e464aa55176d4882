#pragma once
// Pictures over the terminal's screen: a transparent layer over the live view that draws each
// picture over a rectangle of cells. A picture is tied to the line of text it was put on, so it
// moves up with that line when the screen scrolls and leaves the view with it; pictures are
// removed by their file or all at once, never by the text under them.

#include <QImage>
#include <QList>
#include <QWidget>

namespace emu {

class Screen;
class ScreenView;

class PictureLayer : public QWidget
{
    Q_OBJECT

public:
    struct Picture
    {
        QString file; // as given, absolute
        QImage image;
        qint64 line = 0; // the text line of its top row (Screen::Pos::line)
        int col = 0;
        int rows = 1;
        int cols = 1;
        bool preserveAspect = false;
        bool border = false;
    };

    // The layer over a live view (made on first use).
    static PictureLayer *of(ScreenView *view, Screen *screen);

    void add(const Picture &picture);
    // Removes the pictures of a file ("" every picture); answers how many went.
    int remove(const QString &file);
    const QList<Picture> &pictures() const { return m_pictures; }
    // Where a picture is drawn now, in the view's pixels (outside the view when its line has
    // scrolled away).
    QRect placeOf(const Picture &picture) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PictureLayer(ScreenView *view, Screen *screen);

    ScreenView *m_view;
    Screen *m_screen;
    QList<Picture> m_pictures;
};

} // namespace emu
