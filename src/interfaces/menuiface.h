#pragma once
// The stable automation interfaces of a menu, a band and a tool. Each member forwards to the
// class's own member of the same name and hands back its result and its error unchanged; a band
// or tool comes back through its own interface. An interface on no object (Nothing) raises 91.
//
// Each interface has two forms that share their members:
// - Menu, MnuBand and MnuTool, values for the program's own code, which keep their object;
// - MenuIface, MnuBandIface and MnuToolIface, the interfaces as automation clients (NVWin32.Menu,
//   NVWin32.MnuBand, NVWin32.MnuTool) and scripts see them, members in their published order:
//   the properties that take no arguments are properties, everything else is a method.
//
// Each model object has one published adapter while it lives, so a client reaches the same object
// at the same path every time (/Menus/<n>, /MnuBands/<n>, /MnuTools/<n>); of() hands it out. An
// adapter does not keep its object alive: when the menu, band or tool has gone (a band removed
// from its menu, a menu file loaded again, a session closed), every member raises 91 until the
// adapter is dropped and leaves the bus, in a later clean-up once many adapters have been made.

#include "automation/guard.h"
#include "menus/menu.h"
#include "runtime/errnum.h"

#include <QObject>
#include <QVariantList>
#include <memory>
#include <type_traits>
#include <vector>

namespace menuiface {

// How a let accessor takes its value: numbers by value, texts by reference.
template<class T> using In = std::conditional_t<std::is_arithmetic_v<T>, T, const T &>;

// Runs body on the object that holder holds, as the caller needs it (automation/guard.h); the
// holder keeps the object alive for the call. rt::err::ObjectNotSet when there is no object.
template<class Ptr, class F> auto forward(const Ptr &holder, F &&body)
{
    return automation::guard([&] {
        if (!holder)
            rt::raise(rt::err::ObjectNotSet);
        return body(*holder);
    });
}

} // namespace menuiface

// The members both forms share, over the object that Derived::object() gives.
#define NV_FORWARD_GET(Type, Name)                                                                 \
    Type Name() const                                                                              \
    {                                                                                              \
        return menuiface::forward(self().object(), [](auto &o) { return o.Name(); });              \
    }
#define NV_FORWARD_LET(Type, Name)                                                                 \
    void set##Name(menuiface::In<Type> value)                                                      \
    {                                                                                              \
        menuiface::forward(self().object(), [&](auto &o) { o.set##Name(value); });                 \
    }
#define NV_FORWARD_PROPERTY(Type, Name)                                                            \
    NV_FORWARD_GET(Type, Name)                                                                     \
    NV_FORWARD_LET(Type, Name)
#define NV_FORWARD_DO(Name)                                                                        \
    void Name()                                                                                    \
    {                                                                                              \
        menuiface::forward(self().object(), [](auto &o) { o.Name(); });                            \
    }
#define NV_FORWARD_CALL(Name, Type, argument)                                                      \
    void Name(menuiface::In<Type> argument)                                                        \
    {                                                                                              \
        menuiface::forward(self().object(), [&](auto &o) { o.Name(argument); });                   \
    }
#define NV_FORWARD_SELF                                                                            \
protected:                                                                                         \
    const Derived &self() const                                                                    \
    {                                                                                              \
        return static_cast<const Derived &>(*this);                                                \
    }

template<class Derived> class MnuToolMembers
{
public:
    NV_FORWARD_GET(rt::Long, ToolID)
    NV_FORWARD_GET(QString, Name)
    NV_FORWARD_PROPERTY(QString, Caption)
    NV_FORWARD_PROPERTY(QString, ToolTipText)
    NV_FORWARD_PROPERTY(rt::Int, ControlType)
    NV_FORWARD_PROPERTY(rt::Int, Style)
    NV_FORWARD_PROPERTY(rt::Int, Enabled)
    NV_FORWARD_PROPERTY(rt::Int, Visible)
    NV_FORWARD_PROPERTY(rt::Int, Checked)
    NV_FORWARD_PROPERTY(rt::Int, BeginGroup)
    NV_FORWARD_PROPERTY(rt::Int, ImageNo)
    NV_FORWARD_PROPERTY(QString, Action)
    NV_FORWARD_PROPERTY(QString, SubBand)
    NV_FORWARD_PROPERTY(rt::Long, Height)
    NV_FORWARD_PROPERTY(rt::Long, Width)
    NV_FORWARD_PROPERTY(QString, ParentBandName)
    NV_FORWARD_SELF
};

template<class Derived> class MnuBandMembers
{
public:
    NV_FORWARD_GET(QString, Name)
    NV_FORWARD_PROPERTY(QString, Caption)
    NV_FORWARD_PROPERTY(rt::Int, DockingArea)
    NV_FORWARD_PROPERTY(rt::Int, BandType)
    NV_FORWARD_PROPERTY(rt::Int, Visible)
    NV_FORWARD_DO(Activate)
    NV_FORWARD_DO(Deactivate)
    NV_FORWARD_GET(rt::Int, Count)
    NV_FORWARD_CALL(Remove, rt::Long, lngToolID)
    NV_FORWARD_SELF
};

template<class Derived> class MenuMembers
{
public:
    NV_FORWARD_DO(Activate)
    NV_FORWARD_DO(Deactivate)
    NV_FORWARD_DO(RecalcLayout)
    NV_FORWARD_GET(rt::Long, Count)
    NV_FORWARD_DO(RemoveAll)
    NV_FORWARD_CALL(Remove, QVariant, vntKey)
    NV_FORWARD_CALL(Load, QString, FileName)
    NV_FORWARD_CALL(Save, QString, FileName)
    NV_FORWARD_PROPERTY(QString, MenuText)
    NV_FORWARD_SELF
};

#undef NV_FORWARD_SELF
#undef NV_FORWARD_CALL
#undef NV_FORWARD_DO
#undef NV_FORWARD_PROPERTY
#undef NV_FORWARD_LET
#undef NV_FORWARD_GET

// The values.

class MnuTool : public MnuToolMembers<MnuTool>
{
public:
    MnuTool() = default;
    explicit MnuTool(MnuToolPtr tool)
        : m_tool(std::move(tool))
    { }
    bool isNothing() const { return !m_tool; }
    const MnuToolPtr &object() const { return m_tool; }

private:
    MnuToolPtr m_tool;
};

class MnuBand : public MnuBandMembers<MnuBand>
{
public:
    MnuBand() = default;
    explicit MnuBand(MnuBandPtr band)
        : m_band(std::move(band))
    { }
    bool isNothing() const { return !m_band; }
    const MnuBandPtr &object() const { return m_band; }

    MnuTool AddNew(rt::Long toolId);
    MnuTool MnuTools(const QVariant &index) const;
    void Insert(const MnuTool &tool, rt::Long afterToolId);
    std::vector<MnuTool> NewEnum() const;

private:
    MnuBandPtr m_band;
};

class Menu : public MenuMembers<Menu>
{
public:
    Menu() = default;
    explicit Menu(MenuPtr menu)
        : m_menu(std::move(menu))
    { }
    bool isNothing() const { return !m_menu; }
    const MenuPtr &object() const { return m_menu; }

    std::vector<MnuBand> NewEnum() const;
    MnuBand MnuBands(const QVariant &key) const;
    MnuBand AddNew(const QString &name);

private:
    MenuPtr m_menu;
};

// The published adapters.

class MenuIface : public QObject, public MenuMembers<MenuIface>
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Menu")
    Q_CLASSINFO("D-Bus Path Prefix", "/Menus")
    Q_PROPERTY(QString MenuText READ MenuText WRITE setMenuText)
    using Members = MenuMembers<MenuIface>;

public:
    // The adapter of a menu; nullptr for none.
    static MenuIface *of(const MenuPtr &menu);
    // The menu an automation object stands for: Nothing for nullptr, 13 for an object that is
    // not a menu, 91 for a menu that has gone.
    static Menu menuOf(QObject *object);

    MenuIface(const MenuPtr &menu, QObject *parent);
    // The menu, or null when it has gone.
    MenuPtr object() const { return m_menu.lock(); }

public slots:
    void Activate() { Members::Activate(); }
    void Deactivate() { Members::Deactivate(); }
    void RecalcLayout() { Members::RecalcLayout(); }
    // The bands in order.
    QVariantList NewEnum() const;
    rt::Long Count() const { return Members::Count(); }
    void RemoveAll() { Members::RemoveAll(); }
    void Remove(const QVariant &vntKey) { Members::Remove(vntKey); }
    QObject *MnuBands(const QVariant &vntKey) const;
    QObject *AddNew(const QString &strName);
    void Load(const QString &FileName) { Members::Load(FileName); }
    void Save(const QString &FileName) { Members::Save(FileName); }

private:
    std::weak_ptr<clsMenu> m_menu;
};

class MnuBandIface : public QObject, public MnuBandMembers<MnuBandIface>
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.MnuBand")
    Q_CLASSINFO("D-Bus Path Prefix", "/MnuBands")
    Q_PROPERTY(QString Name READ Name)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(rt::Int DockingArea READ DockingArea WRITE setDockingArea)
    Q_PROPERTY(rt::Int BandType READ BandType WRITE setBandType)
    Q_PROPERTY(rt::Int Visible READ Visible WRITE setVisible)
    using Members = MnuBandMembers<MnuBandIface>;

public:
    // The adapter of a band; nullptr for none.
    static MnuBandIface *of(const MnuBandPtr &band);

    MnuBandIface(const MnuBandPtr &band, QObject *parent);
    // The band, or null when it has gone.
    MnuBandPtr object() const { return m_band.lock(); }

public slots:
    void Activate() { Members::Activate(); }
    void Deactivate() { Members::Deactivate(); }
    QObject *AddNew(rt::Long lngToolID);
    rt::Int Count() const { return Members::Count(); }
    QObject *MnuTools(const QVariant &Index) const;
    void Remove(rt::Long lngToolID) { Members::Remove(lngToolID); }
    // mnuTool: a tool's automation object (13 for any other object).
    void Insert(QObject *mnuTool, rt::Long lngAfterToolID);
    // The tools in order.
    QVariantList NewEnum() const;

private:
    std::weak_ptr<clsMnuBand> m_band;
};

class MnuToolIface : public QObject, public MnuToolMembers<MnuToolIface>
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.MnuTool")
    Q_CLASSINFO("D-Bus Path Prefix", "/MnuTools")
    Q_PROPERTY(rt::Long ToolID READ ToolID)
    Q_PROPERTY(QString Name READ Name)
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(rt::Int ControlType READ ControlType WRITE setControlType)
    Q_PROPERTY(rt::Int Style READ Style WRITE setStyle)
    Q_PROPERTY(rt::Int Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(rt::Int Visible READ Visible WRITE setVisible)
    Q_PROPERTY(rt::Int Checked READ Checked WRITE setChecked)
    Q_PROPERTY(rt::Int BeginGroup READ BeginGroup WRITE setBeginGroup)
    Q_PROPERTY(rt::Int ImageNo READ ImageNo WRITE setImageNo)
    Q_PROPERTY(QString Action READ Action WRITE setAction)
    Q_PROPERTY(QString SubBand READ SubBand WRITE setSubBand)
    Q_PROPERTY(rt::Long Height READ Height WRITE setHeight)
    Q_PROPERTY(rt::Long Width READ Width WRITE setWidth)
    Q_PROPERTY(QString ParentBandName READ ParentBandName WRITE setParentBandName)

public:
    // The adapter of a tool; nullptr for none.
    static MnuToolIface *of(const MnuToolPtr &tool);
    // The tool an automation object stands for: Nothing for nullptr, 13 for an object that is
    // not a tool, 91 for a tool that has gone.
    static MnuTool toolOf(QObject *object);

    MnuToolIface(const MnuToolPtr &tool, QObject *parent);
    // The tool, or null when it has gone.
    MnuToolPtr object() const { return m_tool.lock(); }

private:
    std::weak_ptr<clsMnuTool> m_tool;
};
