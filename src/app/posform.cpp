#include "app/posform.h"

#include "app/appglobals.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/profile.h"
#include "app/strfunc.h"
#include "runtime/screen.h"
#include "runtime/values.h"

#include <QWidget>

namespace Nvmain {

namespace {

constexpr const char *kModule = "nvmain";

QString reg(const QString &name, const QString &dflt)
{
    return Profile::GetRegString(Profile::HKCU, SettingsKey(name), dflt);
}

void putReg(const QString &name, const QString &value)
{
    Profile::PutRegString(Profile::HKCU, SettingsKey(name), value, QString());
}

// A stored edge (left or top) in twips, kept on a screen side of extent twips.
rt::Long storedEdge(const QString &name, rt::Long extent)
{
    const rt::Long eighth = rt::IntDiv(extent, 8);
    const rt::Long edge = rt::CLng(rt::Val(reg(name, rt::CStr(double(eighth)))));
    if (edge < 0)
        return 0;
    if (edge >= extent * 0.9)
        return eighth;
    return edge;
}

// The far edge (right or bottom) in twips for a stored size from edge: three quarters of the
// screen when the stored size would reach past it or is no size at all.
rt::Long storedFarEdge(const QString &name, rt::Long edge, rt::Long extent)
{
    const double threeQuarters = extent * 0.75;
    const double size = rt::Val(reg(name, rt::CStr(threeQuarters)));
    const rt::Long far = size > 0 ? rt::CLng(edge + size) : rt::CLng(edge + threeQuarters);
    return far > extent ? rt::CLng(edge + threeQuarters) : far;
}

rt::Long storedState()
{
    const rt::Long state = rt::CLng(rt::Val(reg(QStringLiteral("MainWindowState"), u"0"_qs)));
    return state < 0 || state > 2 ? 0 : state;
}

} // namespace

bool GetWindowPlacement(const rt::Form &form, WindowPlacement &placement)
{
    const QWidget *window = form.windowWidget();
    if (!window)
        return false;
    // A top-level window's rectangle is its client area: the frame belongs to the window manager
    // and is not known before the window is shown, so a rectangle that included it would not come
    // back the same.
    const QRect normal = form.normalGeometry();
    placement.length = 44;
    placement.showCmd = form.windowState() + 1;
    placement.left = normal.x();
    placement.top = normal.y();
    placement.right = normal.x() + normal.width();
    placement.bottom = normal.y() + normal.height();
    return true;
}

bool SetWindowPlacement(rt::Form &form, const WindowPlacement &placement)
{
    QWidget *window = form.windowWidget();
    if (!window)
        return false;
    const QRect normal(QPoint(placement.left, placement.top),
        QSize(placement.right - placement.left, placement.bottom - placement.top));
    // Sizing applies to the normal window, so the state comes last.
    form.setWindowState(rt::vbNormal);
    window->setGeometry(normal);
    form.setWindowState(rt::Int(placement.showCmd - 1));
    return true;
}

WindowPlacement StoredPlacement(const WindowPlacement &current, rt::Long screenWidth,
    rt::Long screenHeight, double twipsPerPixelX, double twipsPerPixelY)
{
    const rt::Long left = storedEdge(QStringLiteral("MainLeft"), screenWidth);
    const rt::Long top = storedEdge(QStringLiteral("MainTop"), screenHeight);
    const rt::Long right = storedFarEdge(QStringLiteral("MainWidth"), left, screenWidth);
    const rt::Long bottom = storedFarEdge(QStringLiteral("MainHeight"), top, screenHeight);
    WindowPlacement placement = current;
    placement.left = rt::IntDiv(left, twipsPerPixelX);
    placement.top = rt::IntDiv(top, twipsPerPixelY);
    placement.right = rt::IntDiv(right, twipsPerPixelX);
    placement.bottom = rt::IntDiv(bottom, twipsPerPixelY);
    placement.showCmd = storedState() + 1;
    return placement;
}

void PosFormGet(rt::Form &form)
{
    rt::Proc h(kModule, "PosFormGet");
    WindowPlacement placement;
    bool read = false;
    h([&] { read = GetWindowPlacement(form, placement); });
    if (!read)
        return;
    h([&] {
        placement = StoredPlacement(placement, rt::ScreenWidth(), rt::ScreenHeight(),
            rt::TwipsPerPixelX(), rt::TwipsPerPixelY());
    });
    h([&] { SetWindowPlacement(form, placement); });
}

void PosFormSave()
{
    rt::Proc h(kModule, "PosFormSave");
    MainWindow *main = TheMainWindow();
    if (!main || !main->form().isVisible())
        return;
    WindowPlacement placement;
    bool read = false;
    h([&] { read = GetWindowPlacement(main->form(), placement); });
    if (!read)
        return;
    const double x = rt::TwipsPerPixelX();
    const double y = rt::TwipsPerPixelY();
    h([&] { putReg(QStringLiteral("MainLeft"), rt::CStr(placement.left * x)); });
    h([&] { putReg(QStringLiteral("MainTop"), rt::CStr(placement.top * y)); });
    h([&] {
        putReg(QStringLiteral("MainWidth"), rt::CStr((placement.right - placement.left) * x));
    });
    h([&] {
        putReg(QStringLiteral("MainHeight"), rt::CStr((placement.bottom - placement.top) * y));
    });
    h([&] { putReg(QStringLiteral("MainWindowState"), rt::CStr(double(placement.showCmd - 1))); });
}

namespace {

QString regBool(bool value)
{
    return value ? u"1"_qs : u"0"_qs;
}

// The main window's old position: left, top, width, height and state, comma-separated, in twips.
void migratePosition(const QString &pos)
{
    if (pos.isEmpty())
        return;
    const QString comma = QStringLiteral(",");
    putReg(QStringLiteral("MainLeft"), Strfunc::Field(pos, comma, 1));
    putReg(QStringLiteral("MainTop"), Strfunc::Field(pos, comma, 2));
    putReg(QStringLiteral("MainWidth"), Strfunc::Field(pos, comma, 3));
    putReg(QStringLiteral("MainHeight"), Strfunc::Field(pos, comma, 4));
    putReg(QStringLiteral("MainWindowState"), rt::CStr(rt::Val(Strfunc::Field(pos, comma, 5))));
}

// The old list's non-empty entries, renumbered from 1 without gaps.
void migrateRecentFiles(const QString &oldIni)
{
    int next = 0;
    for (int i = 1; i <= 4; ++i) {
        const QString file = Profile::GetIniString(
            QStringLiteral("RecentFile"), QStringLiteral("File_%1").arg(i), QString(), oldIni);
        if (!file.isEmpty())
            putReg(QStringLiteral("RecentFiles\\File_%1").arg(++next), file);
    }
}

} // namespace

void MigrateIniSettings()
{
    if (rt::Val(reg(QStringLiteral("X34"), QString())) != 0)
        return;
    const QString oldIni = Files::FindProgramFile(gAppDir, QStringLiteral("nvwin.ini"));
    const auto ini = [&](const char *section, const char *key, const QString &dflt = QString()) {
        return Profile::GetIniString(QLatin1String(section), QLatin1String(key), dflt, oldIni);
    };
    const auto iniBool = [&](const char *section, const char *key, bool dflt) {
        return regBool(
            Profile::GetIniBool(QLatin1String(section), QLatin1String(key), dflt, oldIni));
    };

    migratePosition(ini("Settings", "Pos"));
    putReg(QStringLiteral("ChildWindowState"),
        QString::number(Profile::GetIniLong(u"Settings"_qs, u"InitSessionState"_qs, 0, oldIni)));
    putReg(QStringLiteral("ScriptEditor\\FontName"), ini("Settings", "ScriptEditorFontName"));
    putReg(QStringLiteral("ScriptEditor\\FontSize"), ini("Settings", "ScriptEditorFontSize"));
    putReg(QStringLiteral("ToolBar"), iniBool("Options", "ToolBar", true));
    putReg(QStringLiteral("StatusLine"), iniBool("Options", "StatusLine", true));
    putReg(QStringLiteral("SingleInstance"), iniBool("Options", "SingleInstance", true));
    putReg(QStringLiteral("AutoClose"), iniBool("Options", "AutoClose", false));
    putReg(QStringLiteral("NoCloseWarning"), iniBool("Options", "NoCloseWarning", false));
    // A phone book named without a directory lies in the program directory.
    QString phoneBook = ini("Path", "Phone");
    if (!phoneBook.isEmpty() && !phoneBook.contains(u'/'))
        phoneBook = gAppDir + phoneBook;
    putReg(QStringLiteral("PhoneBook"), phoneBook);
    putReg(QStringLiteral("RecentListSize"), ini("Options", "RecentListSize", u"4"_qs));
    putReg(QStringLiteral("CapturePath"), ini("Path", "Capture"));
    putReg(QStringLiteral("XferPath"), ini("Xfer", "DefaultDir"));
    migrateRecentFiles(oldIni);
    putReg(QStringLiteral("X34"), u"1"_qs);
}

} // namespace Nvmain
