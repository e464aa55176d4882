#include "app/norvalis.h"

#include "app/appglobals.h"
#include "app/common.h"
#include "app/errhndlr.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/msgbox.h"
#include "app/nvmain.h"
#include "app/profile.h"
#include "app/rotapi.h"
#include "automation/bridge.h"
#include "automation/runningobject.h"
#include "interfaces/appiface.h"
#include "interfaces/commoniface.h"
#include "interfaces/sessioniface.h"
#include "menus/menus.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"
#include "runtime/screen.h"
#include "runtime/values.h"
#include "runtime/wholefile.h"
#include "session/sessions.h"

#include <QIcon>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

QPointer<Norvalis> gApp;

const QIcon &programIcon()
{
    static const QIcon icon(QStringLiteral(":/pictures/norvalis.png"));
    return icon;
}

namespace {

constexpr const char *kModule = "norvalis";
constexpr rt::Int InitialRecentListSize = 4;
const QString kClassName = QStringLiteral("NVWin32.Norvalis");
const QString kDefaultMainMenu = QStringLiteral("dfltmain.mnu");

QString regValue(const QString &name, const QString &dflt)
{
    return Profile::GetRegString(Profile::HKCU, SettingsKey(name), dflt);
}

void putReg(const QString &name, const QString &text)
{
    Profile::PutRegString(Profile::HKCU, SettingsKey(name), text, QString());
}

QString regFlag(rt::Int flag)
{
    return flag ? u"1"_qs : u"0"_qs;
}

QString recentFileKey(int number)
{
    return QStringLiteral("RecentFiles\\File_%1").arg(number);
}

// The numeric value of a stored text is not 0.
rt::Int numberIsTrue(const QString &text)
{
    return rt::BoolToInt(rt::Val(text) != 0);
}

// A stored Boolean text ("1", "0", "True", "False"); any other text raises 13.
rt::Int boolText(const QString &text)
{
    return rt::BoolToInt(rt::CBool(QVariant(text)));
}

rt::Long twipsX(rt::Long pixels)
{
    return rt::CLng(pixels * rt::TwipsPerPixelX());
}

rt::Long twipsY(rt::Long pixels)
{
    return rt::CLng(pixels * rt::TwipsPerPixelY());
}

// The main window's place and size as a client gives them, in twips: a number beyond the twips'
// range is an overflow (6); within it, bounded by the desktop (screen.h).
rt::Long boundedTwips(rt::Long pixels, rt::Long (*bound)(rt::Long, rt::Axis), rt::Axis axis)
{
    const auto twips = axis == rt::Axis::X ? twipsX : twipsY;
    twips(pixels);
    return twips(bound(pixels, axis));
}

rt::Long leftTwips(rt::Long pixels)
{
    return boundedTwips(pixels, rt::boundedPosition, rt::Axis::X);
}

rt::Long topTwips(rt::Long pixels)
{
    return boundedTwips(pixels, rt::boundedPosition, rt::Axis::Y);
}

rt::Long widthTwips(rt::Long pixels)
{
    return boundedTwips(pixels, rt::boundedSize, rt::Axis::X);
}

rt::Long heightTwips(rt::Long pixels)
{
    return boundedTwips(pixels, rt::boundedSize, rt::Axis::Y);
}

// An icon file is read whole before it is decoded; a larger one is refused.
constexpr qint64 kMaxIconBytes = 8 * 1024 * 1024;

QIcon iconFromFile(const QString &file)
{
    if (!file.isEmpty()) {
        // Read as any file a user names: a FIFO or a device must not hold the program up.
        QPixmap picture;
        try {
            picture.loadFromData(rt::readNamedFile(file, kMaxIconBytes));
        } catch (...) {
            rt::debugSwallowed(lcApp(), rt::currentError(), "icon not applied", file);
        }
        if (!picture.isNull())
            return QIcon(picture);
    }
    return programIcon();
}

// The band of that name in a menu (names compare without case), or null.
MnuBandPtr bandNamed(const clsMenu &menu, const QString &name)
{
    for (const MnuBandPtr &band : menu.NewEnum()) {
        if (band && band->Name().compare(name, Qt::CaseInsensitive) == 0)
            return band;
    }
    return nullptr;
}

// The main window's form (rt::err::ObjectNotSet when there is none).
rt::MdiForm &mainForm()
{
    MainWindow *main = TheMainWindow();
    if (!main)
        rt::raise(rt::err::ObjectNotSet);
    return main->form();
}

// A setting that NVWIN.INI keeps is one line: the file could not hold another value.
void requireOneLine(const QString &value)
{
    if (value.contains(u'\r') || value.contains(u'\n'))
        rt::raise(rt::err::InvalidPropertyValue,
            QStringLiteral("Invalid property value: a setting cannot hold a line break"));
}

// Tells the user that the main menu file cannot be loaded. The message waits for the event loop,
// so that it holds neither the caller (an automation client's call) nor the start-up (which
// registers the application object only after the settings are read).
void reportMissingMainMenu(const QString &fileName)
{
    const auto show = [fileName] {
        rt::ResumeNext quiet;
        quiet([&] {
            Nvmain::MessageBox(QStringLiteral("The main menu file (") + fileName
                    + QStringLiteral(") is missing or corrupt. To restore the menu file to its "
                                     "original state, copy the stdmain.mnu file over "
                                     "dfltmain.mnu and remove the MenuFileName item from the "
                                     "nvwin.ini file."),
                MsgBox::Exclamation);
        });
    };
    if (!QCoreApplication::instance()) {
        show();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), show, Qt::QueuedConnection);
}

// Runs action on the main window's form as the procedure's one statement.
template<class F> void onMainForm(const char *procedure, F &&action)
{
    rt::Proc h(kModule, procedure);
    h([&] { action(mainForm()); });
}

// The same, but only while the main window is there and its unload has not begun.
template<class F> void whileNotUnloading(const char *procedure, F &&action)
{
    rt::Proc h(kModule, procedure);
    h([&] {
        if (MainWindow *main = TheMainWindow(); main && !main->isUnloading())
            action(main->form());
    });
}

// A main-window dimension in pixels: its twips over the axis' twips per pixel, both rounded,
// the quotient truncated.
rt::Long inPixels(
    const char *procedure, rt::Long (rt::Form::*twips)() const, double (*twipsPerPixel)())
{
    rt::Long pixels = 0;
    onMainForm(procedure,
        [&](rt::MdiForm &form) { pixels = rt::IntDiv((form.*twips)(), twipsPerPixel()); });
    return pixels;
}

} // namespace

Norvalis::Norvalis(QObject *parent)
    : QObject(parent)
{
    rt::Proc h(kModule, "Class_Initialize");
    m_norvalisIface = new NorvalisIface(this, this);
    m_globalSettingsIface = new GlobalSettingsIface(this, this);
    m_defaultIface = new NorvalisDefaultIface(this, this);
    h([&] {
        m_recentListSize = InitialRecentListSize;
        m_recent = QList<QString>(InitialRecentListSize);
    });
    h([&] {
        const QString programDir = gAppDir.isEmpty() ? Files::ProgramDir() : gAppDir;
        m_iniFile = Files::FindProgramFile(programDir, QStringLiteral("NVWIN.INI"));
    });
    h([&] {
        m_sessions = new clsSessions(this);
        m_sessionsDefault = new SessionsDefaultIface(m_sessions, this);
        m_sessionsIface = new SessionsIface(m_sessions, this);
        m_common = std::make_unique<clsCommon>();
        m_commonIface = new CommonIface(m_common.get(), this);
    });
    h([&] {
        gMenus = std::make_unique<Menus>();
        m_menu = gMenus->AddNew(0);
    });
    h([&] { gApp = this; });
    h([&] { Load(); });
    h([&] { gMenus->setActiveMenu(0); });
    h([&] { registerForAutomation(); });
    h([&] { initializeScriptHost(); });
}

Norvalis::~Norvalis()
{
    gMenus.reset();
    m_menu.reset();
    delete m_commonIface;
    m_common.reset();
    delete m_sessions;
}

// Another instance took the class name first (both started at once, or it would not take this
// start's file): this one runs without it, and says so where the user and the log see it.
void Norvalis::sayRunningAlone()
{
    const QString owner = automation::busNameOwner(kClassName);
    const QString own = automation::Bridge::instance().connection().baseService();
    if (owner.isEmpty() || owner == own)
        return;
    const QString text = QStringLiteral(
        "Another Norvalis (%1) owns the bus name %2: this one runs alone, and automation "
        "clients reach the other")
                             .arg(owner, kClassName);
    std::fprintf(stderr, "norvalis: %s\n", qPrintable(text));
    std::fflush(stderr);
    ErrHndlr::WriteErrorLog(text);
}

// The running-object registration puts the Norvalis interface on the bus under the class name;
// the default interface and GlobalSettings share its object path, and the shared store is at
// /Common. No bus: no registration.
void Norvalis::registerForAutomation()
{
    rt::ResumeNext quiet;
    quiet([&] { gROTCookie = ROTAPI::RegisterRunningObject(kClassName, m_norvalisIface); });
    if (gROTCookie == 0)
        quiet([&] { sayRunningAlone(); });
    quiet([&] {
        const QString path = automation::objectPathOf(kClassName);
        automation::Bridge &bridge = automation::Bridge::instance();
        if (bridge.exportedPath(m_norvalisIface) == path) {
            bridge.exportObject(m_defaultIface, path);
            bridge.exportObject(m_globalSettingsIface, path);
            bridge.pathOf(m_commonIface);
            bridge.pathOf(m_sessionsDefault);
            bridge.pathOf(m_sessionsIface);
        }
    });
}

void Norvalis::initializeScriptHost()
{
    if (!gScriptHost)
        return; // started without one (tests)
    MainWindow *main = TheMainWindow();
    QWidget *window = main ? main->form().widget() : nullptr;
    gScriptHost->Initialize(gAppDir, gLastDir, Nvmain::CommandLine(), window, m_norvalisIface);
}

// Settings

void Norvalis::writeRegistry(const QString &name, const QString &text) const
{
    if (!m_loading)
        Profile::StoreRegString(Profile::HKCU, SettingsKey(name), text);
}

void Norvalis::writeIni(const QString &section, const QString &key, const QString &text) const
{
    if (!m_loading)
        Profile::StoreIniString(section, key, text, QString(), m_iniFile);
}

bool Norvalis::changeFlag(rt::Int &flag, rt::Int value)
{
    const rt::Int normalized = rt::BoolToInt(value != 0);
    if (normalized == flag)
        return false;
    flag = normalized;
    return true;
}

bool Norvalis::changeText(QString &text, const QString &value)
{
    if (value == text)
        return false;
    text = value;
    return true;
}

void Norvalis::setMenuFileName(const QString &name)
{
    requireOneLine(name);
    rt::ResumeNext quiet;
    if (name == m_menuFileName && m_mainMenuLoaded)
        return;
    m_menuFileName = name;
    quiet([&] { writeIni(u"Options"_qs, u"MenuFileName"_qs, name); });
    quiet([&] { loadMainMenu(name.isEmpty() ? kDefaultMainMenu : name); });
    m_mainMenuLoaded = true;
}

// A file that is not found is tried once more by its name alone (the menu loader looks for such
// a name in the program directory); only when that fails too does the user hear of it.
void Norvalis::loadMainMenu(const QString &fileName)
{
    const auto load = [&](const QString &file) {
        if (!m_menu)
            rt::raise(rt::err::ObjectNotSet);
        m_menu->Load(file);
    };
    try {
        load(fileName);
        return;
    } catch (const rt::Error &error) {
        if (error.number != rt::err::FileNotFound)
            return;
    }
    try {
        load(Files::GetFileName(fileName));
    } catch (...) {
        reportMissingMainMenu(fileName);
    }
}

void Norvalis::setInitChildWindowState(rt::Int state)
{
    if (state >= rt::vbNormal && state <= rt::vbMaximized)
        m_initChildWindowState = state;
}

void Norvalis::setPhoneBookName(const QString &name)
{
    if (changeText(m_phoneBookName, name))
        writeRegistry(u"PhoneBook"_qs, name);
}

void Norvalis::setDefaultDirectory(const DirectorySetting &setting, const QString &directory)
{
    rt::Proc h(kModule, setting.procedure);
    QString &held = this->*setting.field;
    if (directory == held)
        return;
    const QString previous = held;
    held = directory;
    h([&] { writeRegistry(QLatin1String(setting.registryName), directory); });
    // Each open session that still had the application's directory follows it.
    h([&] {
        for (const SessionPtr &session : m_sessions->NewEnum()) {
            if (((*session).*setting.get)() == previous)
                ((*session).*setting.set)(directory);
        }
    });
}

void Norvalis::setDefaultCaptureDir(const QString &directory)
{
    static const DirectorySetting capture { "Let DefaultCaptureDir", "CapturePath",
        &Norvalis::m_defaultCaptureDir, &SessionBase::DefaultCaptureDir,
        &SessionBase::setDefaultCaptureDir };
    setDefaultDirectory(capture, directory);
}

void Norvalis::setDefaultXferDir(const QString &directory)
{
    static const DirectorySetting transfer { "Let DefaultXferDir", "XferPath",
        &Norvalis::m_defaultXferDir, &SessionBase::DefaultXferDir,
        &SessionBase::setDefaultXferDir };
    setDefaultDirectory(transfer, directory);
}

void Norvalis::showBands(const QString &bandName, rt::Int visible)
{
    if (!gMenus)
        return;
    for (const MenuPtr &menu : gMenus->NewEnum()) {
        if (const MnuBandPtr band = menu ? bandNamed(*menu, bandName) : nullptr)
            band->setVisible(visible);
    }
}

void Norvalis::setToolbarVisible(rt::Int visible)
{
    if (!changeFlag(m_toolbarVisible, visible))
        return;
    writeRegistry(u"ToolBar"_qs, regFlag(m_toolbarVisible));
    showBands(u"ToolBar"_qs, m_toolbarVisible);
}

void Norvalis::setStatusLineVisible(rt::Int visible)
{
    if (!changeFlag(m_statusLineVisible, visible))
        return;
    writeRegistry(u"StatusLine"_qs, regFlag(m_statusLineVisible));
    showBands(u"Status Line"_qs, m_statusLineVisible);
}

void Norvalis::setSingleInstance(rt::Int on)
{
    if (changeFlag(m_singleInstance, on))
        writeRegistry(u"SingleInstance"_qs, regFlag(m_singleInstance));
}

void Norvalis::setAutoClose(rt::Int on)
{
    if (changeFlag(m_autoClose, on))
        writeRegistry(u"AutoClose"_qs, regFlag(m_autoClose));
}

void Norvalis::setNoCloseWarning(rt::Int on)
{
    if (changeFlag(m_noCloseWarning, on))
        writeRegistry(u"NoCloseWarning"_qs, regFlag(m_noCloseWarning));
}

void Norvalis::setTelnetHostsFile(const QString &file)
{
    requireOneLine(file);
    if (changeText(m_telnetHostsFile, file))
        writeIni(u"Hosts"_qs, u"Path"_qs, file);
}

void Norvalis::setCustomMouseTable(const QString &file)
{
    requireOneLine(file);
    if (changeText(m_customMouseTable, file))
        writeIni(u"Custom"_qs, u"MouseTable"_qs, file);
}

void Norvalis::setRecentListSize(rt::Int size)
{
    if (size == m_recentListSize)
        return;
    if (size < 0 || size > MaxRecentListSize)
        throw rt::Error(
            rt::err::InvalidRecentListSize, QStringLiteral("Invalid RecentListSize setting"));
    m_recentListSize = size;
    if (size > 0)
        m_recent.resize(size);
    writeRegistry(u"RecentListSize"_qs, QString::number(size));
}

void Norvalis::setIcon(const QString &file)
{
    requireOneLine(file);
    rt::ResumeNext quiet;
    if (!changeText(m_icon, file))
        return;
    quiet([&] { writeIni(u"Custom"_qs, u"Icon"_qs, file); });
    quiet([&] {
        QWidget *window = mainForm().widget();
        if (!window)
            rt::raise(rt::err::ObjectNotSet);
        window->setWindowIcon(iconFromFile(file));
    });
}

void Norvalis::setCaption(const QString &caption)
{
    requireOneLine(caption);
    rt::ResumeNext quiet;
    if (!changeText(m_caption, caption))
        return;
    quiet([&] { writeIni(u"Custom"_qs, u"Title"_qs, caption); });
    quiet([&] { mainForm().setCaption(caption.isEmpty() ? ProductTitle() : caption); });
}

// The dialled number and name are written on every change, while loading too.
void Norvalis::setDialedNumber(const QString &number)
{
    if (changeText(m_dialedNumber, number))
        putReg(u"DialedNumber"_qs, number);
}

void Norvalis::setDialedName(const QString &name)
{
    if (changeText(m_dialedName, name))
        putReg(u"DialedName"_qs, name);
}

QString Norvalis::Recent(rt::Int index) const
{
    QString file;
    rt::Proc h(kModule, "Get Recent");
    h([&] {
        if (m_recentListSize >= 1 && index >= 0 && index < m_recent.size())
            file = m_recent.at(index);
    });
    return file;
}

void Norvalis::setRecent(rt::Int index, const QString &file)
{
    rt::Proc h(kModule, "Let Recent");
    h([&] {
        if (index >= 0 && index < m_recent.size())
            m_recent[index] = file;
    });
}

rt::Long Norvalis::HotKeysFromText(const QString &text)
{
    rt::Long keys = 0;
    for (const QChar c : text) {
        if (c >= u'A' && c <= u'Z')
            keys |= rt::Long(1) << (c.unicode() - u'A');
    }
    return keys;
}

QString Norvalis::HotKeysToText(rt::Long keys)
{
    QString text;
    for (int bit = 0; bit < 26; ++bit) {
        if (keys & (rt::Long(1) << bit))
            text += QChar(u'A' + bit);
    }
    return text;
}

// Load and save

void Norvalis::Load()
{
    rt::ResumeNext quiet;
    quiet([&] { LoadGlobalSettings(m_iniFile); });
    quiet([&] {
        setInitChildWindowState(rt::CInt(rt::Val(regValue(u"ChildWindowState"_qs, u"2"_qs))));
    });
    quiet([&] { m_dialedNumber = regValue(u"DialedNumber"_qs, QString()); });
    quiet([&] { m_dialedName = regValue(u"DialedName"_qs, QString()); });
    quiet([&] { loadRecentFiles(); });
}

// The stored entries in order; gaps in the stored numbering close up.
void Norvalis::loadRecentFiles()
{
    rt::Int used = 0;
    for (int number = 1; number <= m_recentListSize; ++number) {
        const QString file = regValue(recentFileKey(number), QString());
        if (!file.isEmpty())
            m_recent[used++] = file;
    }
    for (rt::Int i = used; i < m_recentListSize; ++i)
        m_recent[i].clear();
}

// Every value goes through the GlobalSettings interface, so each setter's side effects happen
// (menu, bands, icon, title, sessions) while Loading keeps the setters from writing back.
void Norvalis::LoadGlobalSettings(const QString &iniFile)
{
    GlobalSettingsIface &settings = *m_globalSettingsIface;
    const auto ini = [&](const char *section, const char *key) {
        return Profile::GetIniString(
            QLatin1String(section), QLatin1String(key), QString(), iniFile);
    };
    m_loading = true;
    rt::ResumeNext quiet;
    quiet([&] { settings.setMenu(ini("Options", "MenuFileName")); });
    quiet(
        [&] { settings.setSingleInstance(numberIsTrue(regValue(u"SingleInstance"_qs, u"1"_qs))); });
    quiet([&] { settings.setAutoClose(numberIsTrue(regValue(u"AutoClose"_qs, u"0"_qs))); });
    quiet(
        [&] { settings.setNoCloseWarning(numberIsTrue(regValue(u"NoCloseWarning"_qs, u"0"_qs))); });
    quiet([&] { settings.setDefaultCaptureDir(regValue(u"CapturePath"_qs, QString())); });
    quiet([&] { settings.setDefaultXferDir(regValue(u"XferPath"_qs, QString())); });
    quiet([&] { settings.setPhoneBook(regValue(u"PhoneBook"_qs, u"PHONE.DAT"_qs)); });
    quiet([&] {
        settings.setRecentListSize(rt::CInt(rt::Val(regValue(u"RecentListSize"_qs, u"4"_qs))));
    });
    quiet([&] { settings.setToolbarVisible(boolText(regValue(u"ToolBar"_qs, u"1"_qs))); });
    quiet([&] { settings.setStatusLineVisible(boolText(regValue(u"StatusLine"_qs, u"1"_qs))); });
    quiet([&] { settings.setHostFile(ini("Hosts", "Path")); });
    quiet([&] { settings.setMenu(ini("Options", "MenuFileName")); });
    quiet([&] {
        const bool torvik = Profile::GetIniBool(u"Custom"_qs, u"Torvik"_qs, false, iniFile);
        settings.setCustomMode(settings.CustomMode() | (torvik ? 1 : 0));
    });
    quiet([&] { settings.setMouseTable(ini("Custom", "MouseTable")); });
    quiet([&] { settings.setIcon(ini("Custom", "Icon")); });
    quiet([&] { settings.setCaption(ini("Custom", "Title")); });
    quiet([&] { settings.setBlockedHotKeys(HotKeysFromText(ini("Custom", "BlockedHotKeys"))); });
    m_loading = false;
}

void Norvalis::SaveGlobalSettings(const QString &iniFile)
{
    const GlobalSettingsIface &settings = *m_globalSettingsIface;
    const auto putIni = [&](const char *section, const char *key, const QString &text) {
        Profile::PutIniString(QLatin1String(section), QLatin1String(key), text, QString(), iniFile);
    };
    rt::ResumeNext quiet;
    quiet([&] { putReg(u"SingleInstance"_qs, regFlag(settings.SingleInstance())); });
    quiet([&] { putReg(u"AutoClose"_qs, regFlag(settings.AutoClose())); });
    quiet([&] { putReg(u"NoCloseWarning"_qs, regFlag(settings.NoCloseWarning())); });
    quiet([&] { putReg(u"CapturePath"_qs, settings.DefaultCaptureDir()); });
    quiet([&] { putReg(u"XferPath"_qs, settings.DefaultXferDir()); });
    quiet([&] { putReg(u"PhoneBook"_qs, settings.PhoneBook()); });
    quiet([&] { putIni("Hosts", "Path", settings.HostFile()); });
    quiet([&] { putIni("Options", "MenuFileName", settings.Menu()); });
    quiet([&] { putIni("Custom", "MouseTable", settings.MouseTable()); });
    quiet([&] {
        Profile::PutIniBool(
            u"Custom"_qs, u"Torvik"_qs, (settings.CustomMode() & 1) != 0, false, iniFile);
    });
    quiet([&] { putIni("Custom", "Title", settings.Caption()); });
    quiet([&] { putIni("Custom", "Icon", settings.Icon()); });
    quiet([&] { putIni("Custom", "BlockedHotKeys", HotKeysToText(settings.BlockedHotKeys())); });
}

void Norvalis::Save()
{
    rt::Proc h(kModule, "Save");
    h([&] { SaveGlobalSettings(m_iniFile); });
    h([&] { putReg(u"ChildWindowState"_qs, QString::number(m_initChildWindowState)); });
    h([&] { Profile::DeleteRegKey(Profile::HKCU, SettingsKey(u"RecentFiles"_qs)); });
    h([&] {
        for (rt::Int i = 0; i < m_recentListSize; ++i)
            putReg(recentFileKey(i + 1), Recent(i));
    });
}

// The main window

SessionPtr Norvalis::ActiveClsSession() const
{
    MainWindow *main = TheMainWindow();
    const rt::Form *active = main ? main->form().activeForm() : nullptr;
    if (!active)
        return nullptr;
    return m_sessions->clsItem(QVariant(active->Tag));
}

void Norvalis::Arrange(rt::Int style)
{
    onMainForm("Arrange", [&](rt::MdiForm &form) { form.arrange(style); });
}

void Norvalis::Activate()
{
    onMainForm("Activate", [](rt::MdiForm &form) { form.show(); });
}

void Norvalis::Terminate(rt::Int prompt)
{
    rt::Proc h(kModule, "Terminate");
    h([&] { gTerminatePrompt = prompt; });
    h([&] { gTerminating = true; });
    h([&] {
        if (!gCleanupTimer)
            rt::raise(rt::err::ObjectNotSet);
        gCleanupTimer->setEnabled(true);
    });
    h([&] { rt::cancelModalWindows(); });
}

rt::Int Norvalis::WindowState() const
{
    rt::Int state = 0;
    onMainForm("Get WindowState", [&](rt::MdiForm &form) { state = form.windowState(); });
    return state;
}

void Norvalis::setWindowState(rt::Int state)
{
    onMainForm("Let WindowState", [&](rt::MdiForm &form) {
        if (state >= rt::vbNormal && state <= rt::vbMaximized)
            form.setWindowState(state);
    });
}

rt::Int Norvalis::Visible() const
{
    rt::Int visible = rt::False;
    whileNotUnloading(
        "Get Visible", [&](rt::MdiForm &form) { visible = rt::BoolToInt(form.isVisible()); });
    return visible;
}

void Norvalis::setVisible(rt::Int visible)
{
    whileNotUnloading("Let Visible", [&](rt::MdiForm &form) {
        if (visible)
            form.show();
        else
            form.hide();
    });
}

void Norvalis::Show()
{
    whileNotUnloading("Show", [](rt::MdiForm &form) { form.show(); });
}

void Norvalis::Hide()
{
    whileNotUnloading("Hide", [](rt::MdiForm &form) { form.hide(); });
}

void Norvalis::Resize(rt::Long width, rt::Long height)
{
    onMainForm("Resize", [&](rt::MdiForm &form) {
        form.move(form.left(), form.top(), widthTwips(width), heightTwips(height));
    });
}

void Norvalis::Move(rt::Long left, rt::Long top, rt::Long width, rt::Long height)
{
    rt::Proc h(kModule, "Move");
    h([&] {
        if (top == rt::OmittedLong)
            top = Top();
        if (width == rt::OmittedLong)
            width = Width();
        if (height == rt::OmittedLong)
            height = Height();
    });
    h([&] {
        mainForm().move(leftTwips(left), topTwips(top), widthTwips(width), heightTwips(height));
    });
}

rt::Long Norvalis::Left() const
{
    return inPixels("Get Left", &rt::Form::left, rt::TwipsPerPixelX);
}

void Norvalis::setLeft(rt::Long left)
{
    onMainForm("Let Left", [&](rt::MdiForm &form) { form.move(leftTwips(left), form.top()); });
}

rt::Long Norvalis::Top() const
{
    return inPixels("Get Top", &rt::Form::top, rt::TwipsPerPixelY);
}

void Norvalis::setTop(rt::Long top)
{
    onMainForm("Let Top", [&](rt::MdiForm &form) { form.move(form.left(), topTwips(top)); });
}

rt::Long Norvalis::Width() const
{
    return inPixels("Get Width", &rt::Form::width, rt::TwipsPerPixelX);
}

void Norvalis::setWidth(rt::Long width)
{
    onMainForm("Let Width", [&](rt::MdiForm &form) { form.setWidth(widthTwips(width)); });
}

rt::Long Norvalis::Height() const
{
    return inPixels("Get Height", &rt::Form::height, rt::TwipsPerPixelY);
}

void Norvalis::setHeight(rt::Long height)
{
    onMainForm("Let Height", [&](rt::MdiForm &form) { form.setHeight(heightTwips(height)); });
}

QString Norvalis::DDEResult() const
{
    if (!gSystemTopic)
        rt::raise(rt::err::ObjectNotSet);
    return gSystemTopic->item(QStringLiteral("Result"));
}

void Norvalis::setDDEResult(const QString &text)
{
    if (!gSystemTopic)
        rt::raise(rt::err::ObjectNotSet);
    gSystemTopic->setItem(QStringLiteral("Result"), text);
}

QString Norvalis::ProductName() const
{
    return QStringLiteral("NORVALIS/WIN32");
}

QString Norvalis::ProductRelease() const
{
    return QStringLiteral("1.0");
}
