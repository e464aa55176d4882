// The toolbar control's model: bands, tools and their collections.

#include "bar/bar.h"

#include "bar/renderer.h"

#include <QMainWindow>
#include <algorithm>

namespace bar {

// ---- Tools ----------------------------------------------------------------------------------

ToolPtr Tools::add(Long toolId, const QString &name)
{
    ToolPtr tool(new Tool(toolId, name));
    insert(count(), tool);
    return tool;
}

ToolPtr Tools::item(int position) const
{
    if (position < 0 || position >= count())
        rt::raise(rt::err::InvalidCall);
    return m_tools[size_t(position)];
}

void Tools::remove(const QString &key)
{
    const auto found = std::find_if(m_tools.begin(), m_tools.end(),
        [&](const ToolPtr &tool) { return QString::number(tool->toolId()) == key; });
    if (found == m_tools.end())
        rt::raise(rt::err::InvalidCall);
    const ToolPtr tool = *found;
    m_tools.erase(found);
    auto &owners = tool->m_bands;
    owners.erase(std::find(owners.begin(), owners.end(), m_band));
    m_band->toolsChanged();
}

void Tools::insert(int position, const ToolPtr &tool)
{
    if (position < 0 || !tool)
        rt::raise(rt::err::InvalidCall);
    const size_t at = std::min(size_t(position), m_tools.size());
    m_tools.insert(m_tools.begin() + qsizetype(at), tool);
    tool->m_bands.push_back(m_band);
    m_band->toolsChanged();
}

void Tools::clear()
{
    for (const ToolPtr &tool : m_tools) {
        auto &owners = tool->m_bands;
        owners.erase(std::find(owners.begin(), owners.end(), m_band));
    }
    m_tools.clear();
}

// ---- Band -----------------------------------------------------------------------------------

Band::Band(ActiveBar *bar, const QString &name)
    : m_bar(bar)
    , m_name(name)
{ }

Band::~Band()
{
    m_tools.clear();
}

void Band::popup()
{
    if (m_bar)
        m_bar->ensureRenderer()->popup(this);
}

void Band::toolChanged(Tool *tool)
{
    if (m_bar)
        m_bar->toolChanged(this, tool);
}

// ---- Tool -----------------------------------------------------------------------------------

Tool::Tool(Long toolId, const QString &name)
    : m_toolId(toolId)
    , m_name(name)
{ }

ToolPtr Tool::create(Long toolId, const QString &name)
{
    return ToolPtr(new Tool(toolId, name));
}

void Tool::changed()
{
    // A band may drop the tool while it is told (it never does today, but the copy is cheap).
    const std::vector<Band *> owners = m_bands;
    for (Band *band : owners)
        band->toolChanged(this);
}

// ---- Bands ----------------------------------------------------------------------------------

BandPtr Bands::add(const QString &name)
{
    if (find(name))
        rt::raise(rt::err::DuplicateKey);
    BandPtr band(new Band(m_bar, name));
    m_bands.push_back(band);
    m_bar->bandAdded(band.get());
    return band;
}

void Bands::remove(const QString &name)
{
    const auto found = std::find_if(m_bands.begin(), m_bands.end(),
        [&](const BandPtr &band) { return band->name().compare(name, Qt::CaseInsensitive) == 0; });
    if (found == m_bands.end())
        rt::raise(rt::err::InvalidCall);
    const BandPtr band = *found;
    m_bands.erase(found);
    m_bar->bandRemoved(band.get());
    band->m_tools.clear();
    band->m_bar = nullptr;
}

BandPtr Bands::item(int index) const
{
    if (index < 0 || index >= count())
        rt::raise(rt::err::InvalidCall);
    return m_bands[size_t(index)];
}

BandPtr Bands::item(const QString &name) const
{
    BandPtr band = find(name);
    if (!band)
        rt::raise(rt::err::InvalidCall);
    return band;
}

BandPtr Bands::find(const QString &name) const
{
    for (const BandPtr &band : m_bands) {
        if (band->name().compare(name, Qt::CaseInsensitive) == 0)
            return band;
    }
    return nullptr;
}

// ---- ActiveBar ------------------------------------------------------------------------------

ActiveBar::ActiveBar(QObject *parent)
    : QObject(parent)
{ }

ActiveBar::~ActiveBar()
{
    m_renderer.reset();
    for (const BandPtr &band : m_bands.m_bands) {
        band->m_tools.clear();
        band->m_bar = nullptr;
    }
}

Renderer *ActiveBar::ensureRenderer()
{
    if (!m_renderer)
        m_renderer = std::make_unique<Renderer>(this);
    return m_renderer.get();
}

void ActiveBar::attach(QMainWindow *window)
{
    ensureRenderer()->attach(window);
}

QMainWindow *ActiveBar::window() const
{
    return m_renderer ? m_renderer->window() : nullptr;
}

void ActiveBar::recalcLayout()
{
    if (m_renderer)
        m_renderer->recalcLayout();
}

QMenu *ActiveBar::menuFor(const Band *band)
{
    return ensureRenderer()->menuFor(band);
}

QToolBar *ActiveBar::toolBarFor(const Band *band) const
{
    return m_renderer ? m_renderer->toolBarFor(band) : nullptr;
}

QWidget *ActiveBar::statusFieldsFor(const Band *band) const
{
    return m_renderer ? m_renderer->statusFieldsFor(band) : nullptr;
}

void ActiveBar::toolChanged(Band *band, Tool *tool)
{
    if (m_renderer)
        m_renderer->toolChanged(band, tool);
}

void ActiveBar::bandAdded(Band *band)
{
    if (m_renderer)
        m_renderer->bandAdded(band);
}

void ActiveBar::bandRemoved(Band *band)
{
    if (m_renderer)
        m_renderer->bandRemoved(band);
}

} // namespace bar
