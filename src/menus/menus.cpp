#include "menus/menus.h"

#include "app/lockupdate.h"
#include "menus/menuslog.h"
#include "runtime/values.h"

#include <QCoreApplication>

// Debug lines only when asked for (QT_LOGGING_RULES="norvalis.menus.debug=true").
Q_LOGGING_CATEGORY(lcMenus, "norvalis.menus", QtInfoMsg)

std::unique_ptr<Menus> gMenus;

bar::ActiveBar &TheActiveBar()
{
    static QPointer<bar::ActiveBar> control;
    if (!control)
        control = new bar::ActiveBar(QCoreApplication::instance());
    return *control;
}

Menus::Menus(bar::ActiveBar *control)
{
    rt::Proc h("menus", "Class_Initialize");
    h([&] { m_control = control ? control : &TheActiveBar(); });
}

Menus::~Menus() = default;

std::vector<MenuPtr> Menus::NewEnum() const
{
    std::vector<MenuPtr> menus;
    rt::Proc h("menus", "NewEnum");
    h([&] { menus = m_menus.items(); });
    return menus;
}

MenuPtr Menus::AddNew(rt::Long menuNo)
{
    rt::Proc h("menus", "AddNew");
    auto menu = std::make_shared<clsMenu>(m_control);
    h([&] { m_menus.Add(menu, QString::number(menuNo)); });
    h([&] { menu->setMenuNo(menuNo); });
    return menu;
}

rt::Long Menus::Count() const
{
    return m_menus.Count();
}

MenuPtr Menus::item(const QVariant &index) const
{
    return m_menus.Item(QVariant(rt::CStr(index)));
}

void Menus::Remove(const QVariant &index)
{
    const MenuPtr menu = m_menus.Item(index);
    m_menus.Remove(index);
    for (rt::Long band = menu->Count(); band >= 1; --band)
        menu->Remove(QVariant(band));
}

void Menus::setActiveMenu(rt::Long menuNo)
{
    bool locked = false;
    {
        // The old menu may be gone already: the switch goes on without it.
        rt::ResumeNext quiet;
        quiet([&] {
            if (m_activeMenu != -1 && m_activeMenu != menuNo) {
                modLockUpdate::LockUpdate();
                locked = true;
                item(QVariant(m_activeMenu))->Deactivate();
            }
        });
        rt::debugSwallowed(lcMenus(), quiet, "menus: old menu not deactivated");
    }
    rt::Proc h("menus", "SetActive");
    h([&] {
        if (menuNo != -1 && menuNo != m_activeMenu) {
            if (!locked) {
                modLockUpdate::LockUpdate();
                locked = true;
            }
            item(QVariant(menuNo))->Activate();
        }
    });
    h([&] {
        if (locked) {
            if (m_control)
                m_control->recalcLayout();
            modLockUpdate::UnlockUpdate();
        }
    });
    h([&] { m_activeMenu = menuNo; });
}
