#pragma once
// The toolbar control: a model of bands and tools with no user interface of its own, drawn on a
// main window by a renderer (menu bar, tool bars, status bar, pop-up menus).
//
// The control keeps IDs, names and every value exactly as it is given; it gives them no meaning
// beyond drawing. Bands and tools are shared objects: the program keeps its own references to
// them (a band or a tool may outlive its place in the control), and one tool object may stand in
// more than one band at a time.
//
// Events: toolClick(tool) when the user picks a tool; bandOpen(band, cancel) just before a band
// opens as a drop-down or pop-up menu (setting cancel keeps it closed). Both are emitted on the
// user-interface thread and must be connected directly (bandOpen passes its flag by reference).

#include "runtime/error.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

class QMainWindow;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;

namespace bar {

using rt::Int;
using rt::Long;

class ActiveBar;
class Band;
class Tool;
class Renderer;
using BandPtr = std::shared_ptr<Band>;
using ToolPtr = std::shared_ptr<Tool>;

// Band types (Band::bandType). Any other value is stored and drawn as a normal tool bar.
enum BandType : Int {
    BandNormal = 0, // a tool bar docked at its docking area (the bands users show and hide)
    BandMenuBar = 1, // the window's menu bar
    BandPopup = 2, // a drop-down or context menu: never drawn on its own, only opened
    BandStatusBar = 3, // the status line: each tool is a field showing its caption
};

// Docking areas (Band::dockingArea). Values outside 0 to 5 are kept and drawn at the top.
enum DockingArea : Int {
    DockTop = 0,
    DockBottom = 1,
    DockLeft = 2,
    DockRight = 3,
    DockFloat = 4, // a floating tool bar; drawn docked at the top (Qt cannot float one from code)
    DockPopup = 5, // not docked: shown only as a menu
};

// Tool control types (Tool::controlType). Other values are stored and drawn as buttons.
enum ControlType : Int {
    ControlButton = 0,
    ControlSeparator = 5,
};

// The tools of a band, in display order. Positions count from 0.
class Tools
{
public:
    // Adds a new tool at the end with the given ID and name.
    ToolPtr add(Long toolId, const QString &name);
    // The tool at a position; raises 5 when there is none.
    ToolPtr item(int position) const;
    int count() const { return int(m_tools.size()); }
    // Removes the first tool whose ID, as decimal text, equals key; raises 5 when none does.
    void remove(const QString &key);
    // Places an existing tool at a position (0 = first); a position past the end appends.
    // Negative positions raise 5.
    void insert(int position, const ToolPtr &tool);

    auto begin() const { return m_tools.begin(); }
    auto end() const { return m_tools.end(); }

private:
    friend class Band;
    friend class Bands;
    friend class ActiveBar;
    explicit Tools(Band *band)
        : m_band(band)
    { }
    void clear();

    Band *m_band;
    std::vector<ToolPtr> m_tools;
};

// One band: a menu bar, tool bar, status line, drop-down or context menu.
class Band : public std::enable_shared_from_this<Band>
{
public:
    ~Band();
    Band(const Band &) = delete;
    Band &operator=(const Band &) = delete;

    QString name() const { return m_name; }
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { set(m_caption, caption); }
    Int bandType() const { return m_bandType; }
    void setBandType(Int type) { set(m_bandType, type); }
    Int dockingArea() const { return m_dockingArea; }
    void setDockingArea(Int area) { set(m_dockingArea, area); }
    bool isVisible() const { return m_visible; }
    // A hidden band is not drawn; the change shows at the next ActiveBar::recalcLayout().
    void setVisible(bool visible) { m_visible = visible; }

    // Further band settings the program sets when it makes a band; kept as given.
    // grabHandleStyle 0 draws a tool bar without a handle (it cannot be dragged).
    Long flags() const { return m_flags; }
    void setFlags(Long flags) { m_flags = flags; }
    Int grabHandleStyle() const { return m_grabHandleStyle; }
    void setGrabHandleStyle(Int style) { set(m_grabHandleStyle, style); }
    Int wrapTools() const { return m_wrapTools; }
    void setWrapTools(Int wrap) { m_wrapTools = wrap; }
    Int displayMoreTools() const { return m_displayMoreTools; }
    void setDisplayMoreTools(Int display) { m_displayMoreTools = display; }

    Tools &tools() { return m_tools; }
    const Tools &tools() const { return m_tools; }

    // Shows the band as a context menu at the mouse position (bandOpen is raised first).
    void popup();

    // The control this band belongs to; null once it was removed from the control.
    ActiveBar *activeBar() const { return m_bar; }
    // Counts changes of the tool list, so that drawn copies know when to be rebuilt.
    quint64 generation() const { return m_generation; }

private:
    friend class Bands;
    friend class Tools;
    friend class Tool;
    friend class ActiveBar;
    Band(ActiveBar *bar, const QString &name);
    void toolsChanged() { ++m_generation; }
    // Drawn copies of the band are made again when one of these settings changes.
    template<class T> void set(T &field, const T &value)
    {
        if (field == value)
            return;
        field = value;
        toolsChanged();
    }
    void toolChanged(Tool *tool);

    ActiveBar *m_bar;
    QString m_name;
    QString m_caption;
    Int m_bandType = BandNormal;
    Int m_dockingArea = DockTop;
    bool m_visible = true;
    Long m_flags = 0;
    Int m_grabHandleStyle = 0;
    Int m_wrapTools = 0;
    Int m_displayMoreTools = 0;
    Tools m_tools { this };
    quint64 m_generation = 0;
};

// One tool: a menu item, a tool bar button, a separator or a status-line field.
class Tool : public std::enable_shared_from_this<Tool>
{
public:
    // A tool not yet in any band (insert it with Tools::insert).
    static ToolPtr create(Long toolId = 0, const QString &name = QString());
    Tool(const Tool &) = delete;
    Tool &operator=(const Tool &) = delete;

    Long toolId() const { return m_toolId; }
    void setToolId(Long id) { m_toolId = id; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption) { set(m_caption, caption); }
    QString toolTipText() const { return m_toolTipText; }
    void setToolTipText(const QString &text) { set(m_toolTipText, text); }
    // The full name of the band this tool opens as its drop-down; empty for none.
    QString subBand() const { return m_subBand; }
    void setSubBand(const QString &bandName) { set(m_subBand, bandName); }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { set(m_enabled, enabled); }
    bool isChecked() const { return m_checked; }
    void setChecked(bool checked) { set(m_checked, checked); }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { set(m_visible, visible); }
    Int style() const { return m_style; }
    void setStyle(Int style) { m_style = style; }
    Int controlType() const { return m_controlType; }
    void setControlType(Int type) { set(m_controlType, type); }
    bool isSeparator() const { return m_controlType == ControlSeparator; }
    // Size in twips; 0 = the natural size.
    Long width() const { return m_width; }
    void setWidth(Long twips) { set(m_width, twips); }
    Long height() const { return m_height; }
    void setHeight(Long twips) { set(m_height, twips); }
    // The picture: a number of the picture table (see picture()); 0 = none.
    Int imageNo() const { return m_imageNo; }
    void setImageNo(Int imageNo) { set(m_imageNo, imageNo); }
    // An opaque value the program copies from tool to tool.
    QVariant templateValue() const { return m_templateValue; }
    void setTemplateValue(const QVariant &value) { m_templateValue = value; }

    // The bands that hold this tool now.
    const std::vector<Band *> &bands() const { return m_bands; }

private:
    friend class Tools;
    Tool(Long toolId, const QString &name);
    void changed();
    // Drawn copies of the tool follow each change at once.
    template<class T> void set(T &field, const T &value)
    {
        if (field == value)
            return;
        field = value;
        changed();
    }

    Long m_toolId;
    QString m_name;
    QString m_caption;
    QString m_toolTipText;
    QString m_subBand;
    bool m_enabled = true;
    bool m_checked = false;
    bool m_visible = true;
    Int m_style = 0;
    Int m_controlType = ControlButton;
    Long m_width = 0;
    Long m_height = 0;
    Int m_imageNo = 0;
    QVariant m_templateValue;
    std::vector<Band *> m_bands;
};

// The bands of the control, in order of addition. Names compare without case.
class Bands
{
public:
    // A new band (visible, normal tool bar type, docked at the top); raises 457 when a band of
    // that name exists.
    BandPtr add(const QString &name);
    // Removes a band with its tools; raises 5 when there is none of that name.
    void remove(const QString &name);
    int count() const { return int(m_bands.size()); }
    // By position from 0, or by name; raise 5 when missing.
    BandPtr item(int index) const;
    BandPtr item(const QString &name) const;
    // By name; null when missing.
    BandPtr find(const QString &name) const;

    auto begin() const { return m_bands.begin(); }
    auto end() const { return m_bands.end(); }

private:
    friend class ActiveBar;
    explicit Bands(ActiveBar *bar)
        : m_bar(bar)
    { }
    ActiveBar *m_bar;
    std::vector<BandPtr> m_bands;
};

// The control.
class ActiveBar : public QObject
{
    Q_OBJECT
public:
    explicit ActiveBar(QObject *parent = nullptr);
    ~ActiveBar() override;

    Bands &bands() { return m_bands; }
    const Bands &bands() const { return m_bands; }

    // Draws the bands on a main window from now on (its menu bar, tool bars and status bar).
    void attach(QMainWindow *window);
    QMainWindow *window() const;

    // Lays the visible bands out again after bands were shown, hidden or changed. Drawn bands
    // that did not change are only shown or hidden, not rebuilt.
    void recalcLayout();

    // What is drawn for a band (null when the band has no such drawing now); for tests and for
    // code that needs the widgets themselves.
    QMenu *menuFor(const Band *band);
    QToolBar *toolBarFor(const Band *band) const;
    QWidget *statusFieldsFor(const Band *band) const;

signals:
    void toolClick(bar::Tool *tool);
    void bandOpen(bar::Band *band, bool &cancel);

private:
    friend class Band;
    friend class Bands;
    friend class Renderer;
    Renderer *ensureRenderer();
    void toolChanged(Band *band, Tool *tool);
    void bandAdded(Band *band);
    void bandRemoved(Band *band);

    Bands m_bands { this };
    std::unique_ptr<Renderer> m_renderer;
};

// The picture table: the icon for a picture number (null when the number has none).
QIcon picture(int imageNo);
bool hasPicture(int imageNo);

} // namespace bar
