#pragma once
// Helpers shared by the menu tests.

#include "common/testutil.h"
#include "menus/menu.h"

#include <QStringList>

// A menu's bands with their tools in order: "Toolbar:101,|,103 Status:1101" ("|" a separator).
inline QString shape(const clsMenu &menu)
{
    QStringList bands;
    for (const MnuBandPtr &band : menu.NewEnum()) {
        QStringList tools;
        for (const MnuToolPtr &tool : band->NewEnum()) {
            tools << (tool->ControlType() == 5 ? QStringLiteral("|")
                                               : QString::number(tool->ToolID()));
        }
        bands << band->Name() + u':' + tools.join(u',');
    }
    return bands.join(u' ');
}
