// The menu as one text: a two-level delimited table (rows of cells). Row 1 is the header; then
// for each band a band row followed by one row per tool, separators included.
//
//   Band row: "Band", Name, BandType, Caption, DockingArea, Visible
//   Tool row: "Tool", ToolID, Caption, Checked, ControlType, Enabled, ImageNo, Action, Style,
//             SubBand, ToolTipText, Visible, Height, Width

#include "menus/menu.h"

#include "bar/delimitedtable.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

namespace {

const QString Header = QStringLiteral("Norvalis 2000 Menu");
const QString BandKeyword = QStringLiteral("Band");
const QString ToolKeyword = QStringLiteral("Tool");
const QString InvalidMenuText = QStringLiteral("Invalid menu format!");

QString number(qint64 value)
{
    return QString::number(value);
}

rt::Int cellInt(const bar::DelimitedTable &table, int row, int cell)
{
    return rt::CInt(QVariant(table.getItem(row, cell)));
}

rt::Long cellLong(const bar::DelimitedTable &table, int row, int cell)
{
    return rt::CLng(QVariant(table.getItem(row, cell)));
}

} // namespace

QString clsMenu::MenuText() const
{
    QString text;
    rt::Proc h("menu", "Get MenuText");
    h([&] {
        bar::DelimitedTable table;
        table.init(QString(), bar::DelimitedTableGlobal::Delimiters());
        int row = 1;
        table.setItem(row, 1, Header);
        for (const MnuBandPtr &band : m_bands.items()) {
            ++row;
            const QStringList bandCells { BandKeyword, band->Name(), number(band->BandType()),
                band->Caption(), number(band->DockingArea()), number(band->Visible()) };
            for (int cell = 0; cell < bandCells.size(); ++cell)
                table.setItem(row, cell + 1, bandCells[cell]);
            for (const MnuToolPtr &tool : band->NewEnum()) {
                ++row;
                const QStringList toolCells { ToolKeyword, number(tool->ToolID()), tool->Caption(),
                    number(tool->Checked()), number(tool->ControlType()), number(tool->Enabled()),
                    number(tool->ImageNo()), tool->Action(), number(tool->Style()), tool->SubBand(),
                    tool->ToolTipText(), number(tool->Visible()), number(tool->Height()),
                    number(tool->Width()) };
                for (int cell = 0; cell < toolCells.size(); ++cell)
                    table.setItem(row, cell + 1, toolCells[cell]);
            }
        }
        text = table.getItem();
    });
    return text;
}

void clsMenu::setMenuText(const QString &text)
{
    bar::DelimitedTable table;
    table.init(text, bar::DelimitedTableGlobal::Delimiters());
    if (table.getItem(1) != Header)
        rt::raise(rt::err::InvalidMenu, InvalidMenuText);

    RemoveAllBands();
    rt::Proc h("menu", "Let MenuText");
    MnuBandPtr band;
    for (int row = 2; row <= table.count(); ++row) {
        const QString keyword = table.getItem(row, 1);
        if (keyword == BandKeyword) {
            h([&] {
                band = AddNew(table.getItem(row, 2));
                if (!band)
                    return;
                band->setBandType(cellInt(table, row, 3));
                band->setCaption(table.getItem(row, 4));
                band->setDockingArea(cellInt(table, row, 5));
                band->setVisible(cellInt(table, row, 6));
            });
        } else if (keyword == ToolKeyword) {
            if (!band)
                continue;
            // A number that is not one reaches the reporter; one that is too large for this
            // menu's tool IDs makes the text not a menu text.
            bool numbered = false;
            rt::Long toolId = 0;
            h([&] {
                toolId = cellLong(table, row, 2);
                numbered = true;
            });
            if (!numbered)
                continue;
            if (!ToolIdFits(m_menuNo, toolId))
                rt::raise(rt::err::InvalidMenu, InvalidMenuText);
            h([&] {
                const MnuToolPtr tool = band->AddNew(toolId);
                if (!tool)
                    return;
                tool->setCaption(table.getItem(row, 3));
                tool->setChecked(cellInt(table, row, 4));
                tool->setControlType(cellInt(table, row, 5));
                tool->setEnabled(cellInt(table, row, 6));
                tool->setImageNo(cellInt(table, row, 7));
                tool->setAction(table.getItem(row, 8));
                tool->setStyle(cellInt(table, row, 9));
                tool->setSubBand(table.getItem(row, 10));
                tool->setToolTipText(table.getItem(row, 11));
                tool->setVisible(cellInt(table, row, 12));
                tool->setHeight(cellLong(table, row, 13));
                tool->setWidth(cellLong(table, row, 14));
            });
        } else {
            rt::raise(rt::err::InvalidMenu, InvalidMenuText);
        }
    }
}
