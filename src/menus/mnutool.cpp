#include "menus/mnutool.h"

#include "app/strfunc.h"
#include "menus/menuslog.h"
#include "runtime/errnum.h"
#include "runtime/screen.h"
#include "runtime/values.h"

#include <limits>

namespace {

// Runs a control-backed accessor under its handler.
template<class R, class F> R reported(const char *procedure, F &&body)
{
    R result {};
    rt::Proc h("mnutool", procedure);
    h([&] { result = body(); });
    return result;
}
template<class F> void reportedLet(const char *procedure, F &&body)
{
    rt::Proc h("mnutool", procedure);
    h([&] { body(); });
}

} // namespace

QString BandControlName(rt::Long menuNo, const QString &bandName)
{
    return QString::number(menuNo) + ControlNameDelimiter + bandName;
}

QString ToolControlName(const QString &bandControlName, rt::Long toolId)
{
    return bandControlName + ControlNameDelimiter + QString::number(toolId);
}

rt::Long ControlToolId(rt::Long menuNo, rt::Long toolId)
{
    return rt::AddLong(rt::MulLong(menuNo, MenuIdFactor), toolId);
}

bool ToolIdFits(rt::Long menuNo, rt::Long toolId)
{
    const qint64 id = qint64(menuNo) * MenuIdFactor + toolId;
    return id >= std::numeric_limits<rt::Long>::min() && id <= std::numeric_limits<rt::Long>::max();
}

bar::Tool &clsMnuTool::barTool() const
{
    if (!m_barTool)
        rt::raise(rt::err::ObjectNotSet);
    return *m_barTool;
}

rt::Long clsMnuTool::ToolID() const
{
    return reported<rt::Long>("Get ToolID",
        [&] { return rt::SubLong(barTool().toolId(), rt::MulLong(m_menuNo, MenuIdFactor)); });
}

void clsMnuTool::setToolID(rt::Long value)
{
    reportedLet("Let ToolID", [&] { barTool().setToolId(ControlToolId(m_menuNo, value)); });
}

QString clsMnuTool::Name() const
{
    return Strfunc::Field(barTool().name(), ControlNameDelimiter, 3);
}

QString clsMnuTool::Caption() const
{
    return reported<QString>("Get Caption", [&] { return barTool().caption(); });
}

void clsMnuTool::setCaption(const QString &value)
{
    reportedLet("Let Caption", [&] { barTool().setCaption(value); });
}

QString clsMnuTool::ToolTipText() const
{
    return reported<QString>("Get ToolTipText", [&] { return barTool().toolTipText(); });
}

void clsMnuTool::setToolTipText(const QString &value)
{
    reportedLet("Let ToolTipText", [&] { barTool().setToolTipText(value); });
}

rt::Int clsMnuTool::ControlType() const
{
    return reported<rt::Int>("Get ControlType", [&] { return barTool().controlType(); });
}

void clsMnuTool::setControlType(rt::Int value)
{
    reportedLet("Let ControlType", [&] { barTool().setControlType(value); });
}

rt::Int clsMnuTool::Style() const
{
    return reported<rt::Int>("Get Style", [&] { return barTool().style(); });
}

void clsMnuTool::setStyle(rt::Int value)
{
    reportedLet("Let Style", [&] { barTool().setStyle(value); });
}

rt::Int clsMnuTool::Enabled() const
{
    return reported<rt::Int>("Get Enabled", [&] { return rt::BoolToInt(barTool().isEnabled()); });
}

void clsMnuTool::setEnabled(rt::Int value)
{
    reportedLet("Let Enabled", [&] { barTool().setEnabled(value != 0); });
}

rt::Int clsMnuTool::Visible() const
{
    return reported<rt::Int>("Get Visible", [&] { return rt::BoolToInt(barTool().isVisible()); });
}

void clsMnuTool::setVisible(rt::Int value)
{
    reportedLet("Let Visible", [&] { barTool().setVisible(value != 0); });
}

rt::Int clsMnuTool::Checked() const
{
    return reported<rt::Int>("Get Checked", [&] { return rt::BoolToInt(barTool().isChecked()); });
}

void clsMnuTool::setChecked(rt::Int value)
{
    reportedLet("Let Checked", [&] { barTool().setChecked(value != 0); });
}

rt::Int clsMnuTool::BeginGroup() const
{
    return rt::False;
}

void clsMnuTool::setBeginGroup(rt::Int value)
{
    Q_UNUSED(value);
}

void clsMnuTool::setImageNo(rt::Int value)
{
    m_imageNo = value;
    if (value == 0)
        return;
    // A number without a picture leaves the control tool's picture as it was.
    rt::ResumeNext quiet;
    quiet([&] {
        if (bar::hasPicture(value))
            barTool().setImageNo(value);
    });
    rt::debugSwallowed(lcMenus(), quiet, "tool: picture not set");
}

QString clsMnuTool::SubBand() const
{
    return reported<QString>("Get SubBand",
        [&] { return Strfunc::Field(barTool().subBand(), ControlNameDelimiter, 2); });
}

void clsMnuTool::setSubBand(const QString &bandName)
{
    reportedLet("Let SubBand", [&] {
        barTool().setSubBand(bandName.isEmpty() ? QString() : BandControlName(m_menuNo, bandName));
    });
}

void clsMnuTool::setHeight(rt::Long pixels)
{
    rt::ResumeNext quiet;
    quiet([&] {
        m_height = pixels;
        if (pixels > 0)
            barTool().setHeight(rt::CLng(pixels * rt::TwipsPerPixelY()));
    });
    rt::debugSwallowed(lcMenus(), quiet, "tool: height not set");
}

void clsMnuTool::setWidth(rt::Long pixels)
{
    rt::ResumeNext quiet;
    quiet([&] {
        m_width = pixels;
        if (pixels > 0)
            barTool().setWidth(rt::CLng(pixels * rt::TwipsPerPixelX()));
    });
    rt::debugSwallowed(lcMenus(), quiet, "tool: width not set");
}
