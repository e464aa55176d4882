#pragma once
// The drawing of a graphics terminal, kept beside its character screen and drawn over it:
// lines, points and text in the terminal's own addressing space (4096 x 3120 points, the origin
// at the bottom left, y upwards), in drawing order. A storage tube keeps everything drawn until
// the screen is cleared; the layer keeps at most maxItems items and drops what comes after them
// (a host can plot without end).

#include <QPoint>
#include <QString>

#include <vector>

namespace emu {

struct GraphicsItem
{
    enum class Kind : quint8 { Line, Point, Text };
    Kind kind = Kind::Line;
    quint8 color = 0; // colour index: 0 the default, 1-15 the basic colours
    quint8 style = 0; // line style: 0 solid, 1-4 dotted, dot-dashed, short and long dashes
    quint8 size = 0; // text: character size 0 (largest) - 3
    QPoint from;
    QPoint to;
    QString text;

    bool operator==(const GraphicsItem &) const = default;
};

class GraphicsLayer
{
public:
    static constexpr int width = 4096;
    static constexpr int height = 3120;
    static constexpr size_t maxItems = 1000000;

    const std::vector<GraphicsItem> &items() const { return m_items; }
    bool isEmpty() const { return m_items.empty(); }
    GraphicsItem *last() { return m_items.empty() ? nullptr : &m_items.back(); }
    void clear() { m_items.clear(); }
    // False when the layer is full.
    bool add(GraphicsItem item)
    {
        if (m_items.size() >= maxItems)
            return false;
        m_items.push_back(std::move(item));
        return true;
    }

private:
    std::vector<GraphicsItem> m_items;
};

} // namespace emu
