#pragma once
// One window's menu: an ordered, named set of bands, each an ordered set of tools, mirrored at
// once in the toolbar control. The main window's menu is number 0; each session's menu carries
// the session's number.

#include "bar/bar.h"
#include "menus/mnuband.h"
#include "runtime/collection.h"

#include <QPointer>
#include <QString>
#include <QVariant>
#include <memory>

class QIODevice;

// Property codes of clsMenu::SetTool.
enum MenuToolProperty : rt::Long {
    PropBeginGroup = 1,
    PropCaption = 2,
    PropChecked = 3,
    PropControlType = 4,
    PropEnabled = 5,
    PropImageNo = 6,
    PropAction = 7,
    PropStyle = 8,
    PropSubBand = 9,
    PropToolTipText = 10,
    PropVisible = 11,
};

class clsMenu
{
public:
    // The menu's bands go into control (the toolbar control that shows every menu).
    explicit clsMenu(bar::ActiveBar *control);
    ~clsMenu();
    clsMenu(const clsMenu &) = delete;
    clsMenu &operator=(const clsMenu &) = delete;

    void Activate();
    void Deactivate();
    // Lays the control out again, only while this menu is the active one.
    void RecalcLayout();
    // Sets one property (MenuToolProperty) of every tool with that command number in every
    // band. Never fails; an unknown code or ID does nothing.
    void SetTool(rt::Long toolId, rt::Long property, const QVariant &value);
    std::vector<MnuBandPtr> NewEnum() const;
    rt::Long Count() const;
    void RemoveAll();
    // By band name or 1-based position; 5 when there is none.
    void Remove(const QVariant &key);
    MnuBandPtr MnuBands(const QVariant &key) const;
    // A new, hidden band; null (and no error) when the name is taken or the control refuses it.
    MnuBandPtr AddNew(const QString &name);

    // The menu file (binary). Load: 53 when the file is missing or not a regular file, 3182 when
    // it is not a menu file (the bands read up to the fault stay), also for a command number
    // that does not fit this menu's tool IDs. Save: whole or not at all (rt::writeWholeFile:
    // the file keeps its mode, a link is written through); a read-only target is left alone
    // without an error; a failed write raises 75 "Error writing temporary menu file!" and
    // shows nothing, so the caller reports it once.
    void Load(const QString &fileName);
    void Save(const QString &fileName);
    // Reads a menu file's content (what Load does once the file is open).
    void ReadMenu(QIODevice &device);

    // The menu as text and back (3182 "Invalid menu format!" for a text that is not a menu, also
    // for a command number that does not fit this menu's tool IDs).
    QString MenuText() const;
    void setMenuText(const QString &text);

    // Program only.
    rt::Long MenuNo() const { return m_menuNo; }
    void setMenuNo(rt::Long menuNo) { m_menuNo = menuNo; }
    rt::Int Active() const { return m_active; }
    bar::ActiveBar *Control() const { return m_control; }
    // Moves a tool given by its control name onto another tool or a band.
    void Move(const QString &source, const QString &target);
    // directory/WorkN.tmp for the first N from 1 to 999 that is free; "" when none is.
    QString CreateTempFileName(const QString &directory) const;
    // Drops every band from the collection; each band takes its tools and control band along
    // when it ends.
    void RemoveAllBands();

private:
    // The band and tool that a tool's control name stands for.
    struct ToolPlace
    {
        MnuBandPtr band;
        MnuToolPtr tool;
        rt::Long toolId = 0;
    };
    ToolPlace toolAt(const QString &path) const;
    void moveToolToTool(const QString &source, const QString &target);
    void moveToolToBand(const QString &source, const QString &target);
    QByteArray menuFileBytes();

    QPointer<bar::ActiveBar> m_control;
    rt::Collection<MnuBandPtr> m_bands; // keyed by band name
    rt::Long m_menuNo = 0;
    rt::Int m_active = rt::False;
};

using MenuPtr = std::shared_ptr<clsMenu>;
