#include "menus/menu.h"

#include "app/strfunc.h"
#include "menus/menuslog.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QFileInfo>

namespace {

// The settings every control band of a menu gets when it is made.
constexpr rt::Long NewBandFlags = 512;
constexpr rt::Int NoGrabHandle = 0;
constexpr rt::Int NoToolWrap = 0;
constexpr rt::Int NoMoreToolsButton = 0;

// The last Chr(1)-field of a control name, and the one before it.
QString lastField(const QString &path)
{
    return Strfunc::Field(path, ControlNameDelimiter, Strfunc::Dcount(path, ControlNameDelimiter));
}

QString fieldBeforeLast(const QString &path)
{
    return Strfunc::Field(
        path, ControlNameDelimiter, rt::Int(Strfunc::Dcount(path, ControlNameDelimiter) - 1));
}

bool isToolPath(const QString &path)
{
    return rt::IsNumeric(lastField(path));
}

} // namespace

clsMenu::clsMenu(bar::ActiveBar *control)
    : m_control(control)
{ }

clsMenu::~clsMenu()
{
    rt::ResumeNext quiet;
    quiet([&] { RemoveAllBands(); });
    rt::debugSwallowed(lcMenus(), quiet, "menu: bands not removed at the end");
}

void clsMenu::Activate()
{
    rt::Proc h("menu", "Activate");
    for (const MnuBandPtr &band : m_bands.items())
        h([&] { band->Activate(); });
    h([&] { m_active = rt::True; });
}

void clsMenu::Deactivate()
{
    rt::Proc h("menu", "Deactivate");
    for (const MnuBandPtr &band : m_bands.items())
        h([&] { band->Deactivate(); });
    h([&] { m_active = rt::False; });
}

void clsMenu::RecalcLayout()
{
    rt::Proc h("menu", "RecalcLayout");
    h([&] {
        if (m_active == rt::False)
            return;
        if (!m_control)
            rt::raise(rt::err::ObjectNotSet);
        m_control->recalcLayout();
    });
}

void clsMenu::SetTool(rt::Long toolId, rt::Long property, const QVariant &value)
{
    rt::ResumeNext quiet;
    for (const MnuBandPtr &band : m_bands.items()) {
        for (const MnuToolPtr &tool : band->NewEnum()) {
            quiet([&] {
                if (tool->ToolID() != toolId)
                    return;
                switch (property) {
                case PropBeginGroup:
                    tool->setBeginGroup(rt::CInt(value));
                    break;
                case PropCaption:
                    tool->setCaption(rt::CStr(value));
                    break;
                case PropChecked:
                    tool->setChecked(rt::CInt(value));
                    break;
                case PropControlType:
                    tool->setControlType(rt::CInt(value));
                    break;
                case PropEnabled:
                    tool->setEnabled(rt::CInt(value));
                    break;
                case PropImageNo:
                    tool->setImageNo(rt::CInt(value));
                    break;
                case PropAction:
                    tool->setAction(rt::CStr(value));
                    break;
                case PropStyle:
                    tool->setStyle(rt::CInt(value));
                    break;
                case PropSubBand:
                    tool->setSubBand(rt::CStr(value));
                    break;
                case PropToolTipText:
                    tool->setToolTipText(rt::CStr(value));
                    break;
                case PropVisible:
                    tool->setVisible(rt::CInt(value));
                    break;
                default:
                    break;
                }
            });
        }
    }
    rt::debugSwallowed(lcMenus(), quiet, "menu: SetTool");
}

std::vector<MnuBandPtr> clsMenu::NewEnum() const
{
    std::vector<MnuBandPtr> bands;
    rt::Proc h("menu", "NewEnum");
    h([&] { bands = m_bands.items(); });
    return bands;
}

rt::Long clsMenu::Count() const
{
    rt::Long count = 0;
    rt::Proc h("menu", "Get Count");
    h([&] { count = m_bands.Count(); });
    return count;
}

void clsMenu::RemoveAll()
{
    rt::Proc h("menu", "RemoveAll");
    for (rt::Long position = m_bands.Count(); position >= 1; --position)
        h([&] { Remove(QVariant(position)); });
}

void clsMenu::Remove(const QVariant &key)
{
    const MnuBandPtr band = m_bands.Item(key);
    m_bands.Remove(key);
    band->RemoveAllTools();
    band->Detach();
}

MnuBandPtr clsMenu::MnuBands(const QVariant &key) const
{
    return m_bands.Item(key);
}

MnuBandPtr clsMenu::AddNew(const QString &name)
{
    // A taken name or a refusing control gives no band and no error: the callers skip it.
    MnuBandPtr result;
    rt::ResumeNext quiet;
    quiet([&] {
        if (m_bands.Exists(name))
            return;
        if (!m_control)
            rt::raise(rt::err::ObjectNotSet);
        auto band = std::make_shared<clsMnuBand>();
        band->setMenuNo(m_menuNo);
        bar::BandPtr barBand = m_control->bands().add(BandControlName(m_menuNo, name));
        barBand->setFlags(NewBandFlags);
        barBand->setGrabHandleStyle(NoGrabHandle);
        barBand->setWrapTools(NoToolWrap);
        barBand->setDisplayMoreTools(NoMoreToolsButton);
        barBand->setVisible(false);
        band->setBarBand(std::move(barBand));
        m_bands.Add(band, name);
        result = band;
    });
    rt::debugSwallowed(lcMenus(), quiet, "menu: band not made");
    return result;
}

void clsMenu::RemoveAllBands()
{
    rt::Proc h("menu", "RemoveAllBands");
    // By position: a band with an empty name has no key to be removed by.
    while (m_bands.Count() > 0) {
        h([&] {
            const MnuBandPtr band = m_bands.Item(1);
            m_bands.Remove(1);
            band->Detach();
        });
    }
}

void clsMenu::Move(const QString &source, const QString &target)
{
    rt::Proc h("menu", "Move");
    h([&] {
        if (!isToolPath(source))
            return;
        if (isToolPath(target)) {
            if (source != target)
                moveToolToTool(source, target);
        } else {
            moveToolToBand(source, target);
        }
    });
}

clsMenu::ToolPlace clsMenu::toolAt(const QString &path) const
{
    ToolPlace place;
    place.band = MnuBands(fieldBeforeLast(path));
    place.toolId = rt::CLng(lastField(path));
    place.tool = place.band->MnuTools(lastField(path));
    return place;
}

void clsMenu::moveToolToTool(const QString &source, const QString &target)
{
    rt::Proc h("menu", "MoveTooltoTool");
    h([&] {
        const ToolPlace from = toolAt(source);
        from.band->Remove(from.toolId);
        const MnuBandPtr to = MnuBands(fieldBeforeLast(target));
        to->Insert(from.tool, rt::CLng(lastField(target)));
    });
}

void clsMenu::moveToolToBand(const QString &source, const QString &target)
{
    rt::Proc h("menu", "MoveTooltoBand");
    h([&] {
        const ToolPlace from = toolAt(source);
        const MnuBandPtr to = MnuBands(lastField(target));
        to->InsertAfter(from.tool, 0);
        from.band->Remove(from.toolId);
    });
}

QString clsMenu::CreateTempFileName(const QString &directory) const
{
    QString result;
    rt::Proc h("menu", "CreateTempFileName");
    h([&] {
        QString dir = directory;
        if (!dir.endsWith(u'/'))
            dir += u'/';
        for (int n = 1; n <= 999; ++n) {
            const QString candidate = dir + QStringLiteral("Work%1.tmp").arg(n);
            // A dangling link counts as taken: the file would be written through it.
            const QFileInfo info(candidate);
            if (!info.exists() && !info.isSymLink()) {
                result = candidate;
                return;
            }
        }
    });
    return result;
}
