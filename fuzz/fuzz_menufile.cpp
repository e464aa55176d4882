// Fuzz target: menu file contents. Any input either loads or raises 3182 ("Invalid menu file
// format!"), for a session menu too; a menu that loaded reads back through its text form
// unchanged, into a menu of the same number.

#include "menus/menu.h"
#include "runtime/errnum.h"

#include <QBuffer>
#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

namespace {

bool namesHoldDelimiter(const clsMenu &menu)
{
    // Control names separate their fields with Chr(1): such a band name reads back cut.
    for (const MnuBandPtr &band : menu.NewEnum()) {
        if (band->BarBand()->name().count(QChar(1)) != 1)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_menufile";
    static char *argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
    static bar::ActiveBar control;
    static bar::ActiveBar copyControl;
    // A session's menu: its tool IDs carry the menu number.
    constexpr rt::Long MenuNo = 7;

    clsMenu menu(&control);
    menu.setMenuNo(MenuNo);
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    try {
        menu.ReadMenu(buffer);
    } catch (const rt::Error &e) {
        if (e.number != rt::err::InvalidMenu)
            std::abort();
    }

    if (!namesHoldDelimiter(menu)) {
        const QString text = menu.MenuText();
        clsMenu copy(&copyControl);
        copy.setMenuNo(MenuNo);
        copy.setMenuText(text);
        if (copy.MenuText() != text)
            std::abort();
    }
    return 0;
}
