#pragma once
// One tool of a menu band: a menu item, a tool bar button, a separator or a status-line field.
// Most properties live in the toolbar control's tool; the model adds the command number without
// the menu offset, the picture number, the action text and the size in pixels.

#include "bar/bar.h"
#include "runtime/error.h"

#include <QString>
#include <memory>

// Control tool IDs carry the menu number: menu number x 100000 + command number.
constexpr rt::Long MenuIdFactor = 100000;
// Separators made by loading a menu file get this picture number, which has no picture.
constexpr rt::Int SeparatorImageNo = 9000;

// Separates the fields of a control name.
inline const QString ControlNameDelimiter = QStringLiteral("\x01");

// The control name of a band or tool: menu number, Chr(1), band name (, Chr(1), command number).
QString BandControlName(rt::Long menuNo, const QString &bandName);
QString ToolControlName(const QString &bandControlName, rt::Long toolId);
// menuNo x 100000 + toolId; 6 (overflow) when it does not fit 32 bits.
rt::Long ControlToolId(rt::Long menuNo, rt::Long toolId);
// Whether a tool with that command number can stand in that menu (ControlToolId fits).
bool ToolIdFits(rt::Long menuNo, rt::Long toolId);

class clsMnuTool
{
public:
    clsMnuTool() = default;
    clsMnuTool(const clsMnuTool &) = delete;
    clsMnuTool &operator=(const clsMnuTool &) = delete;

    // The command number (control ID less the menu offset). The let is for the program only.
    rt::Long ToolID() const;
    void setToolID(rt::Long value);
    // The command number's field of the control tool's name.
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
    // A group start is a separator tool in front of the tool, not a flag: always 0, let ignored.
    rt::Int BeginGroup() const;
    void setBeginGroup(rt::Int value);
    rt::Int ImageNo() const { return m_imageNo; }
    void setImageNo(rt::Int value);
    QString Action() const { return m_action; }
    void setAction(const QString &value) { m_action = value; }
    // The band (of this tool's own menu) that the tool opens as its drop-down; "" for none.
    QString SubBand() const;
    void setSubBand(const QString &bandName);
    // Pixels; 0 = the control's own size.
    rt::Long Height() const { return m_height; }
    void setHeight(rt::Long pixels);
    rt::Long Width() const { return m_width; }
    void setWidth(rt::Long pixels);
    QString ParentBandName() const { return m_parentBandName; }
    void setParentBandName(const QString &value) { m_parentBandName = value; }

    // Program only.
    rt::Long MenuNo() const { return m_menuNo; }
    void setMenuNo(rt::Long menuNo) { m_menuNo = menuNo; }
    const bar::ToolPtr &BarTool() const { return m_barTool; }
    void setBarTool(bar::ToolPtr tool) { m_barTool = std::move(tool); }

private:
    // The control tool; 91 while there is none.
    bar::Tool &barTool() const;

    bar::ToolPtr m_barTool;
    rt::Int m_imageNo = 0;
    QString m_action;
    rt::Long m_menuNo = 0;
    QString m_parentBandName;
    rt::Long m_height = 0;
    rt::Long m_width = 0;
};

using MnuToolPtr = std::shared_ptr<clsMnuTool>;
