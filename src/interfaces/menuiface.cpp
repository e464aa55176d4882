#include "interfaces/menuiface.h"

namespace {

template<class T> T &target(const std::shared_ptr<T> &object)
{
    if (!object)
        rt::raise(91);
    return *object;
}

template<class Iface, class Ptr> std::vector<Iface> wrapAll(const std::vector<Ptr> &objects)
{
    std::vector<Iface> wrapped;
    wrapped.reserve(objects.size());
    for (const Ptr &object : objects)
        wrapped.emplace_back(object);
    return wrapped;
}

} // namespace

// MnuTool

clsMnuTool &MnuTool::tool() const
{
    return target(m_tool);
}
rt::Long MnuTool::ToolID() const
{
    return tool().ToolID();
}
QString MnuTool::Name() const
{
    return tool().Name();
}
QString MnuTool::Caption() const
{
    return tool().Caption();
}
void MnuTool::setCaption(const QString &value)
{
    tool().setCaption(value);
}
QString MnuTool::ToolTipText() const
{
    return tool().ToolTipText();
}
void MnuTool::setToolTipText(const QString &value)
{
    tool().setToolTipText(value);
}
rt::Int MnuTool::ControlType() const
{
    return tool().ControlType();
}
void MnuTool::setControlType(rt::Int value)
{
    tool().setControlType(value);
}
rt::Int MnuTool::Style() const
{
    return tool().Style();
}
void MnuTool::setStyle(rt::Int value)
{
    tool().setStyle(value);
}
rt::Int MnuTool::Enabled() const
{
    return tool().Enabled();
}
void MnuTool::setEnabled(rt::Int value)
{
    tool().setEnabled(value);
}
rt::Int MnuTool::Visible() const
{
    return tool().Visible();
}
void MnuTool::setVisible(rt::Int value)
{
    tool().setVisible(value);
}
rt::Int MnuTool::Checked() const
{
    return tool().Checked();
}
void MnuTool::setChecked(rt::Int value)
{
    tool().setChecked(value);
}
rt::Int MnuTool::BeginGroup() const
{
    return tool().BeginGroup();
}
void MnuTool::setBeginGroup(rt::Int value)
{
    tool().setBeginGroup(value);
}
rt::Int MnuTool::ImageNo() const
{
    return tool().ImageNo();
}
void MnuTool::setImageNo(rt::Int value)
{
    tool().setImageNo(value);
}
QString MnuTool::Action() const
{
    return tool().Action();
}
void MnuTool::setAction(const QString &value)
{
    tool().setAction(value);
}
QString MnuTool::SubBand() const
{
    return tool().SubBand();
}
void MnuTool::setSubBand(const QString &value)
{
    tool().setSubBand(value);
}
rt::Long MnuTool::Height() const
{
    return tool().Height();
}
void MnuTool::setHeight(rt::Long value)
{
    tool().setHeight(value);
}
rt::Long MnuTool::Width() const
{
    return tool().Width();
}
void MnuTool::setWidth(rt::Long value)
{
    tool().setWidth(value);
}
QString MnuTool::ParentBandName() const
{
    return tool().ParentBandName();
}
void MnuTool::setParentBandName(const QString &value)
{
    tool().setParentBandName(value);
}

// MnuBand

clsMnuBand &MnuBand::band() const
{
    return target(m_band);
}
QString MnuBand::Name() const
{
    return band().Name();
}
void MnuBand::setCaption(const QString &value)
{
    band().setCaption(value);
}
QString MnuBand::Caption() const
{
    return band().Caption();
}
void MnuBand::setDockingArea(rt::Int value)
{
    band().setDockingArea(value);
}
rt::Int MnuBand::DockingArea() const
{
    return band().DockingArea();
}
void MnuBand::setBandType(rt::Int value)
{
    band().setBandType(value);
}
rt::Int MnuBand::BandType() const
{
    return band().BandType();
}
void MnuBand::setVisible(rt::Int value)
{
    band().setVisible(value);
}
rt::Int MnuBand::Visible() const
{
    return band().Visible();
}
void MnuBand::Activate()
{
    band().Activate();
}
void MnuBand::Deactivate()
{
    band().Deactivate();
}
MnuTool MnuBand::AddNew(rt::Long toolId)
{
    return MnuTool(band().AddNew(toolId));
}
rt::Int MnuBand::Count() const
{
    return band().Count();
}
MnuTool MnuBand::MnuTools(const QVariant &index) const
{
    return MnuTool(band().MnuTools(index));
}
void MnuBand::Remove(rt::Long toolId)
{
    band().Remove(toolId);
}
void MnuBand::Insert(const MnuTool &tool, rt::Long afterToolId)
{
    band().Insert(tool.object(), afterToolId);
}
std::vector<MnuTool> MnuBand::NewEnum() const
{
    return wrapAll<MnuTool>(band().NewEnum());
}

// Menu

clsMenu &Menu::menu() const
{
    return target(m_menu);
}
void Menu::Activate()
{
    menu().Activate();
}
void Menu::Deactivate()
{
    menu().Deactivate();
}
void Menu::RecalcLayout()
{
    menu().RecalcLayout();
}
std::vector<MnuBand> Menu::NewEnum() const
{
    return wrapAll<MnuBand>(menu().NewEnum());
}
rt::Long Menu::Count() const
{
    return menu().Count();
}
void Menu::RemoveAll()
{
    menu().RemoveAll();
}
void Menu::Remove(const QVariant &key)
{
    menu().Remove(key);
}
MnuBand Menu::MnuBands(const QVariant &key) const
{
    return MnuBand(menu().MnuBands(key));
}
MnuBand Menu::AddNew(const QString &name)
{
    return MnuBand(menu().AddNew(name));
}
void Menu::Load(const QString &fileName)
{
    menu().Load(fileName);
}
void Menu::Save(const QString &fileName)
{
    menu().Save(fileName);
}
QString Menu::MenuText() const
{
    return menu().MenuText();
}
void Menu::setMenuText(const QString &text)
{
    menu().setMenuText(text);
}
