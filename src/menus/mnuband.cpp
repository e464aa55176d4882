#include "menus/mnuband.h"

#include "app/strfunc.h"
#include "menus/menuslog.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

namespace {

rt::Long gSeparatorCounter = 0;

// Docking areas as the menu model numbers them (bits) and as the control does (0 to 5).
rt::Int dockingToControl(rt::Int area)
{
    switch (area) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    case 8:
        return 3;
    case 16:
        return 4;
    case 32:
        return 5;
    default:
        return 0;
    }
}

rt::Int dockingFromControl(rt::Int value)
{
    if (value < 0 || value > 5)
        value = 0;
    return rt::Int(1 << value);
}

// Command numbers that mark or fill the dynamic lists of the menus (recent files, session
// windows, bands). A separator with such a number would be taken for a placeholder or removed
// with the list entries when its band opens.
bool isListNumber(rt::Long number)
{
    return (number >= 113 && number < 150) || (number >= 514 && number < 600)
        || (number >= 1200 && number < 10000);
}

} // namespace

rt::Long clsMnuBand::NextSeparatorNumber()
{
    do {
        gSeparatorCounter = rt::AddLong(gSeparatorCounter, 1);
    } while (isListNumber(gSeparatorCounter));
    return gSeparatorCounter;
}

rt::Long clsMnuBand::SeparatorCounter()
{
    return gSeparatorCounter;
}

clsMnuBand::~clsMnuBand()
{
    m_tools.Clear();
    Detach();
    m_barBand.reset();
}

void clsMnuBand::Detach()
{
    if (!m_barBand)
        return;
    rt::ResumeNext quiet;
    quiet([&] {
        if (bar::ActiveBar *control = m_barBand->activeBar())
            control->bands().remove(m_barBand->name());
    });
    rt::debugSwallowed(lcMenus(), quiet, "band: control band not removed");
}

bar::Band &clsMnuBand::barBand() const
{
    if (!m_barBand)
        rt::raise(rt::err::ObjectNotSet);
    return *m_barBand;
}

void clsMnuBand::showBarBand(bool shown)
{
    barBand().setVisible(shown);
}

QString clsMnuBand::Name() const
{
    QString name;
    rt::Proc h("mnuband", "Get Name");
    h([&] { name = Strfunc::Field(barBand().name(), ControlNameDelimiter, 2); });
    return name;
}

void clsMnuBand::setCaption(const QString &value)
{
    rt::Proc h("mnuband", "Let Caption");
    h([&] { barBand().setCaption(value); });
}

QString clsMnuBand::Caption() const
{
    QString caption;
    rt::Proc h("mnuband", "Get Caption");
    h([&] { caption = barBand().caption(); });
    return caption;
}

void clsMnuBand::setDockingArea(rt::Int value)
{
    rt::Proc h("mnuband", "Let DockingArea");
    h([&] { barBand().setDockingArea(dockingToControl(value)); });
}

rt::Int clsMnuBand::DockingArea() const
{
    rt::Int area = 0;
    rt::Proc h("mnuband", "Get DockingArea");
    h([&] { area = dockingFromControl(barBand().dockingArea()); });
    return area;
}

void clsMnuBand::setBandType(rt::Int value)
{
    rt::Proc h("mnuband", "Let BandType");
    h([&] { barBand().setBandType(value); });
}

rt::Int clsMnuBand::BandType() const
{
    rt::Int type = 0;
    rt::Proc h("mnuband", "Get BandType");
    h([&] { type = barBand().bandType(); });
    return type;
}

void clsMnuBand::setVisible(rt::Int value)
{
    rt::Proc h("mnuband", "Let Visible");
    h([&] { m_visible = value; });
    h([&] { showBarBand((m_active & m_visible) != 0); });
}

void clsMnuBand::Activate()
{
    rt::Proc h("mnuband", "Activate");
    h([&] { m_active = rt::True; });
    h([&] {
        if (m_visible == rt::True)
            showBarBand(true);
    });
}

void clsMnuBand::Deactivate()
{
    rt::Proc h("mnuband", "Deactivate");
    h([&] { m_active = rt::False; });
    h([&] {
        if (m_visible == rt::True)
            showBarBand(false);
    });
}

MnuToolPtr clsMnuBand::InsertSeparator(rt::Long afterToolId)
{
    MnuToolPtr separator;
    rt::Proc h("mnuband", "InsertSeparator");
    h([&] {
        int position = 0;
        for (const MnuToolPtr &tool : m_tools.items()) {
            ++position;
            if (tool->ToolID() == afterToolId) {
                auto made = std::make_shared<clsMnuTool>();
                made->setBarTool(bar::Tool::create());
                made->setMenuNo(m_menuNo);
                rt::Long number = NextSeparatorNumber();
                while (Holds(number))
                    number = NextSeparatorNumber();
                made->setToolID(number);
                made->BarTool()->setName(ToolControlName(barBand().name(), number));
                made->setControlType(bar::ControlSeparator);
                InsertAfter(made, position);
                separator = made;
                return;
            }
        }
    });
    return separator;
}

MnuToolPtr clsMnuBand::AddNew(rt::Long toolId)
{
    QString key, name;
    rt::Long controlId = 0;
    bool named = false;
    rt::Proc h("mnuband", "AddNew");
    h([&] {
        key = QString::number(toolId);
        name = ToolControlName(barBand().name(), toolId);
        controlId = ControlToolId(m_menuNo, toolId);
        named = true;
    });
    if (!named)
        return {};

    // A command number the band already holds, or a tool the control refuses, gives no tool and
    // no error: the callers skip it.
    MnuToolPtr result;
    rt::ResumeNext quiet;
    quiet([&] {
        if (m_tools.Exists(key))
            return;
        auto tool = std::make_shared<clsMnuTool>();
        tool->setMenuNo(m_menuNo);
        // The control tool is made before the model entry, so that a tool the control refuses
        // leaves nothing behind in the model.
        tool->setBarTool(barBand().tools().add(controlId, name));
        m_tools.Add(tool, key);
        result = tool;
    });
    rt::debugSwallowed(lcMenus(), quiet, "band: tool not made");
    return result;
}

bool clsMnuBand::Holds(rt::Long toolId) const
{
    return m_tools.Exists(QString::number(toolId));
}

rt::Int clsMnuBand::Count() const
{
    rt::Int count = 0;
    rt::Proc h("mnuband", "Count");
    h([&] { count = rt::CInt(double(m_tools.Count())); });
    return count;
}

MnuToolPtr clsMnuBand::MnuTools(const QVariant &index) const
{
    MnuToolPtr tool;
    rt::Proc h("mnuband", "Get MnuTools");
    h([&] { tool = m_tools.Item(index); });
    return tool;
}

rt::Int clsMnuBand::ToolCount() const
{
    int count = 0;
    for (const MnuToolPtr &tool : m_tools.items()) {
        if (tool->ControlType() != bar::ControlSeparator)
            ++count;
    }
    return rt::CInt(double(count));
}

void clsMnuBand::Remove(rt::Long toolId)
{
    m_tools.Remove(QString::number(toolId));
    barBand().tools().remove(QString::number(ControlToolId(m_menuNo, toolId)));
}

void clsMnuBand::Insert(const MnuToolPtr &tool, rt::Long afterToolId)
{
    rt::Proc h("mnuband", "Insert");
    h([&] {
        if (afterToolId == 0) {
            InsertAfter(tool, 0);
            return;
        }
        int position = 0;
        for (const MnuToolPtr &each : m_tools.items()) {
            ++position;
            if (each->ToolID() == afterToolId) {
                InsertAfter(tool, position);
                return;
            }
        }
    });
}

void clsMnuBand::InsertAfter(const MnuToolPtr &tool, int position)
{
    rt::Proc h("mnuband", "InsertAfter");
    h([&] {
        if (!tool || !tool->BarTool())
            rt::raise(rt::err::ObjectNotSet);
        // After the tool at that position; a position past the end appends.
        const QVariant before = position >= 0 && position < m_tools.Count()
            ? QVariant(rt::Long(position + 1))
            : QVariant();
        m_tools.Add(tool, QString::number(tool->ToolID()), before);
        barBand().tools().insert(position, tool->BarTool());
    });
}

std::vector<MnuToolPtr> clsMnuBand::NewEnum() const
{
    std::vector<MnuToolPtr> tools;
    rt::Proc h("mnuband", "NewEnum");
    h([&] { tools = m_tools.items(); });
    return tools;
}

void clsMnuBand::MousePopup()
{
    rt::Proc h("mnuband", "MousePopup");
    h([&] { barBand().popup(); });
}

void clsMnuBand::RemoveAllTools()
{
    rt::ResumeNext quiet;
    for (const MnuToolPtr &tool : m_tools.items()) {
        rt::Long toolId = 0;
        quiet([&] { toolId = tool->ToolID(); });
        quiet([&] { m_tools.Remove(QString::number(toolId)); });
        quiet([&] { barBand().tools().remove(QString::number(ControlToolId(m_menuNo, toolId))); });
    }
    rt::debugSwallowed(lcMenus(), quiet, "band: tools not removed");
}
