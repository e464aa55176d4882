#pragma once
// One band of a menu: a menu bar, tool bar, status line, drop-down or context menu. It keeps its
// tools in order and mirrors itself and them in the toolbar control. The control band is drawn
// exactly when the band is both visible (its own wish) and active (its menu is the shown one).

#include "bar/bar.h"
#include "menus/mnutool.h"
#include "runtime/collection.h"

#include <QPointer>
#include <memory>

class clsMnuBand
{
public:
    clsMnuBand() = default;
    // Takes the control band out of the control.
    ~clsMnuBand();
    clsMnuBand(const clsMnuBand &) = delete;
    clsMnuBand &operator=(const clsMnuBand &) = delete;

    // The band-name field of the control band's name.
    QString Name() const;
    void setCaption(const QString &value);
    QString Caption() const;
    // Single-bit docking areas 1, 2, 4, 8, 16, 32 (the control's 0 to 5).
    void setDockingArea(rt::Int value);
    rt::Int DockingArea() const;
    void setBandType(rt::Int value);
    rt::Int BandType() const;
    void setVisible(rt::Int value);
    rt::Int Visible() const { return m_visible; }
    void Activate();
    void Deactivate();
    // A new separator after the first tool with that command number; null when there is none.
    MnuToolPtr InsertSeparator(rt::Long afterToolId);
    // A new tool at the end; null when the band already holds that command number.
    MnuToolPtr AddNew(rt::Long toolId);
    // Tools, separators included.
    rt::Int Count() const;
    // By the decimal text of a command number, or by 1-based position.
    MnuToolPtr MnuTools(const QVariant &index) const;
    // Tools other than separators.
    rt::Int ToolCount() const;
    void Remove(rt::Long toolId);
    // Places an existing tool after the first tool with that command number (0 = at the start).
    void Insert(const MnuToolPtr &tool, rt::Long afterToolId);
    std::vector<MnuToolPtr> NewEnum() const;

    // Program only.
    rt::Long MenuNo() const { return m_menuNo; }
    void setMenuNo(rt::Long menuNo) { m_menuNo = menuNo; }
    const bar::BandPtr &BarBand() const { return m_barBand; }
    void setBarBand(bar::BandPtr band) { m_barBand = std::move(band); }
    rt::Int Active() const { return m_active; }
    // Shows the band as a context menu at the mouse.
    void MousePopup();
    void RemoveAllTools();
    // Takes the control band (with its tools) out of the control: the band has left its menu.
    // Someone may still hold the band; it is no longer drawn, and its name is free again.
    void Detach();
    // Adds tool after the 1-based position (0 = before the first tool), in the model and the
    // control.
    void InsertAfter(const MnuToolPtr &tool, int position);

    // Whether the band holds a tool with that command number.
    bool Holds(rt::Long toolId) const;

    // The program-wide separator counter: starts at 0, shared by all menus, never reset. The next
    // number skips the numbers of the dynamic menu lists (113-149, 514-599, 1200-9999).
    static rt::Long NextSeparatorNumber();
    static rt::Long SeparatorCounter();

private:
    bar::Band &barBand() const;
    void showBarBand(bool shown);

    bar::BandPtr m_barBand;
    rt::Collection<MnuToolPtr> m_tools; // keyed by the decimal command number
    rt::Int m_visible = rt::False;
    rt::Int m_active = rt::False;
    rt::Long m_menuNo = 0;
};

using MnuBandPtr = std::shared_ptr<clsMnuBand>;
