#pragma once
// The stable automation interfaces of a menu, a band and a tool. Each member forwards to the
// class's own member of the same name and hands back its result and its error unchanged; a band
// or tool comes back through its own interface. An interface on no object (Nothing) raises 91.

#include "menus/menu.h"

#include <vector>

class MnuTool
{
public:
    MnuTool() = default;
    explicit MnuTool(MnuToolPtr tool)
        : m_tool(std::move(tool))
    { }
    bool isNothing() const { return !m_tool; }
    const MnuToolPtr &object() const { return m_tool; }

    rt::Long ToolID() const;
    QString Name() const;
    QString Caption() const;
    void setCaption(const QString &value);
    QString ToolTipText() const;
    void setToolTipText(const QString &value);
    rt::Int ControlType() const;
    void setControlType(rt::Int value);
    rt::Int Style() const;
    void setStyle(rt::Int value);
    rt::Int Enabled() const;
    void setEnabled(rt::Int value);
    rt::Int Visible() const;
    void setVisible(rt::Int value);
    rt::Int Checked() const;
    void setChecked(rt::Int value);
    rt::Int BeginGroup() const;
    void setBeginGroup(rt::Int value);
    rt::Int ImageNo() const;
    void setImageNo(rt::Int value);
    QString Action() const;
    void setAction(const QString &value);
    QString SubBand() const;
    void setSubBand(const QString &value);
    rt::Long Height() const;
    void setHeight(rt::Long value);
    rt::Long Width() const;
    void setWidth(rt::Long value);
    QString ParentBandName() const;
    void setParentBandName(const QString &value);

private:
    clsMnuTool &tool() const;
    MnuToolPtr m_tool;
};

class MnuBand
{
public:
    MnuBand() = default;
    explicit MnuBand(MnuBandPtr band)
        : m_band(std::move(band))
    { }
    bool isNothing() const { return !m_band; }
    const MnuBandPtr &object() const { return m_band; }

    QString Name() const;
    void setCaption(const QString &value);
    QString Caption() const;
    void setDockingArea(rt::Int value);
    rt::Int DockingArea() const;
    void setBandType(rt::Int value);
    rt::Int BandType() const;
    void setVisible(rt::Int value);
    rt::Int Visible() const;
    void Activate();
    void Deactivate();
    MnuTool AddNew(rt::Long toolId);
    rt::Int Count() const;
    MnuTool MnuTools(const QVariant &index) const;
    void Remove(rt::Long toolId);
    void Insert(const MnuTool &tool, rt::Long afterToolId);
    std::vector<MnuTool> NewEnum() const;

private:
    clsMnuBand &band() const;
    MnuBandPtr m_band;
};

class Menu
{
public:
    Menu() = default;
    explicit Menu(MenuPtr menu)
        : m_menu(std::move(menu))
    { }
    bool isNothing() const { return !m_menu; }
    const MenuPtr &object() const { return m_menu; }

    void Activate();
    void Deactivate();
    void RecalcLayout();
    std::vector<MnuBand> NewEnum() const;
    rt::Long Count() const;
    void RemoveAll();
    void Remove(const QVariant &key);
    MnuBand MnuBands(const QVariant &key) const;
    MnuBand AddNew(const QString &name);
    void Load(const QString &fileName);
    void Save(const QString &fileName);
    QString MenuText() const;
    void setMenuText(const QString &text);

private:
    clsMenu &menu() const;
    MenuPtr m_menu;
};
