#pragma once
// The collection of every window's menu, keyed by menu number, and the choice of the active menu:
// all menus live in one toolbar control, and only the active menu's bands are shown.

#include "bar/bar.h"
#include "menus/menu.h"
#include "runtime/collection.h"

#include <QPointer>
#include <memory>

// The toolbar control that shows every menu: one for the process, made on first use, ending with
// the Qt application object; the main window draws it (bar::ActiveBar::attach) once it loads.
bar::ActiveBar &TheActiveBar();

class Menus
{
public:
    // The menus' bands go into control (TheActiveBar() when null).
    explicit Menus(bar::ActiveBar *control = nullptr);
    ~Menus();
    Menus(const Menus &) = delete;
    Menus &operator=(const Menus &) = delete;

    std::vector<MenuPtr> NewEnum() const;
    // A new empty menu under the number's decimal text; a number already there is reported
    // (457) and the first menu of that number stays.
    MenuPtr AddNew(rt::Long menuNo);
    rt::Long Count() const;
    // The menu whose key is the text form of index (5 when there is none).
    MenuPtr item(const QVariant &index) const;
    // A text is a key, a number a 1-based position. The active number is left as it is.
    void Remove(const QVariant &index);

    // The menu whose bands are shown; -1 for none.
    rt::Long ActiveMenu() const { return m_activeMenu; }
    // Hides the old menu's bands and shows the new one's inside one window-update lock; setting
    // the number already active does nothing, -1 shows no menu.
    void setActiveMenu(rt::Long menuNo);

    bar::ActiveBar *Control() const { return m_control; }

private:
    QPointer<bar::ActiveBar> m_control;
    rt::Collection<MenuPtr> m_menus; // keyed by the decimal menu number
    rt::Long m_activeMenu = -1;
};

// The one collection of the program, from the application object's construction to its end.
extern std::unique_ptr<Menus> gMenus;
