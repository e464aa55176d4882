#include "app/appglobals.h"
#include "app/files.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/tst_norvalis_fakes.h"
#include "automation/members.h"
#include "common/busclient.h"
#include "common/testutil.h"
#include "interfaces/appiface.h"
#include "menus/menus.h"
#include "registry/registry.h"
#include "runtime/errnum.h"
#include "runtime/screen.h"
#include "session/sessions.h"
#include "session/tst_sessions_fakes.h"

#include <QDBusVariant>
#include <QProcess>
#include <QtTest>
#include <functional>

namespace {

// Access to the application object's settings by name, as the tables below name them.
struct Accessor
{
    std::function<QVariant(const Norvalis &)> get;
    std::function<void(Norvalis &, const QVariant &)> set;
};

template<class T> Accessor accessor(T (Norvalis::*get)() const, void (Norvalis::*set)(T))
{
    return { [get](const Norvalis &app) { return QVariant::fromValue((app.*get)()); },
        [set](Norvalis &app, const QVariant &v) { (app.*set)(v.value<T>()); } };
}

Accessor accessor(QString (Norvalis::*get)() const, void (Norvalis::*set)(const QString &))
{
    return { [get](const Norvalis &app) { return QVariant((app.*get)()); },
        [set](Norvalis &app, const QVariant &v) { (app.*set)(v.toString()); } };
}

const QHash<QString, Accessor> &accessors()
{
    static const QHash<QString, Accessor> table = {
        { u"PhoneBookName"_qs, accessor(&Norvalis::PhoneBookName, &Norvalis::setPhoneBookName) },
        { u"DefaultCaptureDir"_qs,
            accessor(&Norvalis::DefaultCaptureDir, &Norvalis::setDefaultCaptureDir) },
        { u"DefaultXferDir"_qs, accessor(&Norvalis::DefaultXferDir, &Norvalis::setDefaultXferDir) },
        { u"ToolbarVisible"_qs, accessor(&Norvalis::ToolbarVisible, &Norvalis::setToolbarVisible) },
        { u"StatusLineVisible"_qs,
            accessor(&Norvalis::StatusLineVisible, &Norvalis::setStatusLineVisible) },
        { u"SingleInstance"_qs, accessor(&Norvalis::SingleInstance, &Norvalis::setSingleInstance) },
        { u"AutoClose"_qs, accessor(&Norvalis::AutoClose, &Norvalis::setAutoClose) },
        { u"NoCloseWarning"_qs, accessor(&Norvalis::NoCloseWarning, &Norvalis::setNoCloseWarning) },
        { u"RecentListSize"_qs, accessor(&Norvalis::RecentListSize, &Norvalis::setRecentListSize) },
        { u"TelnetHostsFile"_qs,
            accessor(&Norvalis::TelnetHostsFile, &Norvalis::setTelnetHostsFile) },
        { u"CustomMouseTable"_qs,
            accessor(&Norvalis::CustomMouseTable, &Norvalis::setCustomMouseTable) },
        { u"MenuFileName"_qs, accessor(&Norvalis::MenuFileName, &Norvalis::setMenuFileName) },
        { u"Icon"_qs, accessor(&Norvalis::Icon, &Norvalis::setIcon) },
        { u"Caption"_qs, accessor(&Norvalis::Caption, &Norvalis::setCaption) },
        { u"DialedNumber"_qs, accessor(&Norvalis::DialedNumber, &Norvalis::setDialedNumber) },
        { u"DialedName"_qs, accessor(&Norvalis::DialedName, &Norvalis::setDialedName) },
        { u"InitChildWindowState"_qs,
            accessor(&Norvalis::InitChildWindowState, &Norvalis::setInitChildWindowState) },
        { u"WindowState"_qs, accessor(&Norvalis::WindowState, &Norvalis::setWindowState) },
        { u"CustomMode"_qs, accessor(&Norvalis::CustomMode, &Norvalis::setCustomMode) },
        { u"BlockedHotKeys"_qs, accessor(&Norvalis::BlockedHotKeys, &Norvalis::setBlockedHotKeys) },
    };
    return table;
}

const Accessor &setting(const QString &name)
{
    const auto it = accessors().constFind(name);
    if (it == accessors().constEnd())
        qFatal("no accessor for %s", qPrintable(name));
    return *it;
}

// A store location: "reg:<name>" (a per-user registry setting) or "ini:<section>/<key>".
std::optional<QString> stored(const QString &location, const QString &iniFile)
{
    const QString where = location.section(u':', 1);
    if (location.startsWith(u"reg:"))
        return registryValue(where);
    const QString section = where.section(u'/', 0, 0);
    const QString key = where.section(u'/', 1);
    QSettings ini(iniFile, QSettings::IniFormat); // plain keys only: enough to read back
    if (!ini.contains(section + u'/' + key))
        return std::nullopt;
    return ini.value(section + u'/' + key).toString();
}

// A menu file holding empty bands of these names.
void writeMenuFile(const QString &path, const QStringList &bands)
{
    clsMenu menu(&TheActiveBar());
    menu.setMenuNo(99);
    for (const QString &band : bands)
        menu.AddNew(band);
    menu.Save(path);
}

} // namespace

class tst_norvalis : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestMainWindow> m_main;
    std::unique_ptr<rt::Timer> m_cleanupTimer;
    QString m_ini;
    QString m_userStore;
    QStringList m_messages; // the program message boxes shown: flags, "|", prompt

    QString path(const QString &name) const { return m_dir->filePath(name); }

    Norvalis &start()
    {
        new Norvalis;
        return *gApp;
    }

    MnuBandPtr mainBand(const QString &name) const { return gApp->Menu()->MnuBands(name); }

private slots:
    void initTestCase()
    {
        if (rt::TwipsPerPixelX() != 15 || rt::TwipsPerPixelY() != 15)
            QSKIP("the screen is not at 96 DPI");
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) -> rt::Int {
            m_messages << QString::number(flags) + u'|' + prompt;
            return MsgBox::OK;
        });
    }
    void cleanupTestCase()
    {
        frmMsgBox::setAnswerHook({});
        resetStores();
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_userStore = path(u"user.reg"_qs);
        useProgramFolder(m_dir->path());
        m_ini = path(u"NVWIN.INI"_qs);
        writeMenuFile(
            path(u"dfltmain.mnu"_qs), { u"Menu Bar"_qs, u"ToolBar"_qs, u"Status Line"_qs });
        writeMenuFile(path(u"other.mnu"_qs), { u"Other"_qs, u"ToolBar"_qs });
        writeBytes(path(u"corrupt.mnu"_qs), "not a menu file at all");
        m_main = registeredMainWindow();
        m_cleanupTimer = std::make_unique<rt::Timer>();
        m_cleanupTimer->setEnabled(false);
        gCleanupTimer = m_cleanupTimer.get();
        gTerminating = false;
        gTerminatePrompt = 0;
        m_messages.clear();
    }
    void cleanup()
    {
        delete gApp.data();
        QVERIFY(!gMenus);
        dropMainWindow(m_main);
        m_cleanupTimer.reset();
        qunsetenv("NORVALIS_APPDIR");
        QCOMPARE(rt::gErrNest, 0);
    }

    void construction()
    {
        Norvalis &app = start();
        QCOMPARE(gApp.data(), &app);
        QCOMPARE(app.IniFile(), m_ini);
        QCOMPARE(app.RecentListSize(), rt::Int(4));
        QCOMPARE(app.PhoneBookName(), u"PHONE.DAT"_qs);
        QCOMPARE(app.SingleInstance(), rt::True);
        QCOMPARE(app.ToolbarVisible(), rt::True);
        QCOMPARE(app.InitChildWindowState(), rt::Int(2));
        QCOMPARE(app.ProductName(), u"NORVALIS/WIN32"_qs);
        QVERIFY(!app.ProductRelease().isEmpty());
        // The main menu comes from dfltmain.mnu and is the one shown.
        QVERIFY(gMenus);
        QCOMPARE(gMenus->ActiveMenu(), 0);
        QCOMPARE(app.Menu(), gMenus->item(0));
        QCOMPARE(mainBand(u"toolbar"_qs)->Visible(), rt::True);
        QVERIFY(m_messages.isEmpty());
    }

    void writeThrough_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("expected");

        QTest::newRow("PhoneBookName")
            << "PhoneBookName" << QVariant(u"/data/phone.dat"_qs) << "reg:PhoneBook"
            << "/data/phone.dat";
        QTest::newRow("DefaultCaptureDir")
            << "DefaultCaptureDir" << QVariant(u"/data/cap"_qs) << "reg:CapturePath"
            << "/data/cap";
        QTest::newRow("DefaultXferDir")
            << "DefaultXferDir" << QVariant(u"/data/xfer"_qs) << "reg:XferPath"
            << "/data/xfer";
        QTest::newRow("ToolbarVisible off")
            << "ToolbarVisible" << QVariant::fromValue(rt::False) << "reg:ToolBar"
            << "0";
        QTest::newRow("StatusLineVisible off")
            << "StatusLineVisible" << QVariant::fromValue(rt::False) << "reg:StatusLine"
            << "0";
        QTest::newRow("SingleInstance off")
            << "SingleInstance" << QVariant::fromValue(rt::False) << "reg:SingleInstance"
            << "0";
        QTest::newRow("AutoClose on")
            << "AutoClose" << QVariant::fromValue(rt::True) << "reg:AutoClose"
            << "1";
        QTest::newRow("AutoClose any non-zero")
            << "AutoClose" << QVariant::fromValue(rt::Int(5)) << "reg:AutoClose"
            << "1";
        QTest::newRow("NoCloseWarning on")
            << "NoCloseWarning" << QVariant::fromValue(rt::True) << "reg:NoCloseWarning"
            << "1";
        QTest::newRow("RecentListSize 20")
            << "RecentListSize" << QVariant::fromValue(rt::Int(20)) << "reg:RecentListSize"
            << "20";
        QTest::newRow("RecentListSize 0")
            << "RecentListSize" << QVariant::fromValue(rt::Int(0)) << "reg:RecentListSize"
            << "0";
        QTest::newRow("DialedNumber")
            << "DialedNumber" << QVariant(u"555 0100"_qs) << "reg:DialedNumber"
            << "555 0100";
        QTest::newRow("DialedName") << "DialedName" << QVariant(u"Office"_qs) << "reg:DialedName"
                                    << "Office";
        QTest::newRow("TelnetHostsFile")
            << "TelnetHostsFile" << QVariant(u"/etc/nvhosts"_qs) << "ini:Hosts/Path"
            << "/etc/nvhosts";
        QTest::newRow("CustomMouseTable")
            << "CustomMouseTable" << QVariant(u"mouse.tbl"_qs) << "ini:Custom/MouseTable"
            << "mouse.tbl";
        QTest::newRow("MenuFileName")
            << "MenuFileName" << QVariant(u"other.mnu"_qs) << "ini:Options/MenuFileName"
            << "other.mnu";
        QTest::newRow("Icon") << "Icon" << QVariant(u"/nowhere/icon.png"_qs) << "ini:Custom/Icon"
                              << "/nowhere/icon.png";
        QTest::newRow("Caption") << "Caption" << QVariant(u"My Terminal"_qs) << "ini:Custom/Title"
                                 << "My Terminal";
    }
    void writeThrough()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, location);
        QFETCH(QString, expected);
        Norvalis &app = start();
        QVERIFY(!stored(location, m_ini));
        setting(name).set(app, value);
        QCOMPARE(stored(location, m_ini), std::optional<QString>(expected));
    }

    // The same value again writes nothing: a text changed in the store behind the object's back
    // stays as it is.
    void equalValueWritesNothing_data() { writeThrough_data(); }
    void equalValueWritesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, location);
        Norvalis &app = start();
        setting(name).set(app, value);
        if (location.startsWith(u"reg:"))
            putRegistry(location.mid(4), u"sentinel"_qs);
        else
            writeBytes(m_ini,
                "[" + location.mid(4).section(u'/', 0, 0).toUtf8() + "]\n"
                    + location.section(u'/', 1).toUtf8() + "=sentinel\n");
        setting(name).set(app, setting(name).get(app));
        QCOMPARE(stored(location, m_ini), std::optional<QString>(u"sentinel"_qs));
    }

    void equalToolbarValueTouchesNoBand()
    {
        Norvalis &app = start();
        mainBand(u"ToolBar"_qs)->setVisible(rt::False);
        app.setToolbarVisible(rt::True);
        QCOMPARE(mainBand(u"ToolBar"_qs)->Visible(), rt::False);
        app.setToolbarVisible(rt::False);
        app.setToolbarVisible(rt::True);
        QCOMPARE(mainBand(u"ToolBar"_qs)->Visible(), rt::True);
    }

    void bandsFollowEveryMenu_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("band");
        QTest::newRow("toolbar") << "ToolbarVisible"
                                 << "ToolBar";
        QTest::newRow("status line") << "StatusLineVisible"
                                     << "Status Line";
    }
    void bandsFollowEveryMenu()
    {
        QFETCH(QString, name);
        QFETCH(QString, band);
        Norvalis &app = start();
        MenuPtr session = gMenus->AddNew(5);
        session->AddNew(band.toLower())->setVisible(rt::True);
        MenuPtr bare = gMenus->AddNew(6); // no such band: skipped
        setting(name).set(app, QVariant::fromValue(rt::False));
        QCOMPARE(mainBand(band)->Visible(), rt::False);
        QCOMPARE(session->MnuBands(band)->Visible(), rt::False);
        QCOMPARE(bare->Count(), 0);
    }

    // Reading the settings writes nothing back, whatever form the stored texts have.
    void loadWritesNothing_data()
    {
        QTest::addColumn<QStringList>("registryValues"); // name=text
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QVariantMap>("expected");

        QTest::newRow("defaults") << QStringList {} << QByteArray()
                                  << QVariantMap { { u"SingleInstance"_qs, rt::True },
                                         { u"AutoClose"_qs, rt::False },
                                         { u"StatusLineVisible"_qs, rt::True },
                                         { u"PhoneBookName"_qs, u"PHONE.DAT"_qs },
                                         { u"Caption"_qs, QString() } };
        QTest::newRow("every setting")
            << QStringList { u"SingleInstance=0"_qs, u"AutoClose=1"_qs, u"NoCloseWarning=1"_qs,
                   u"CapturePath=/cap"_qs, u"XferPath=/xfer"_qs, u"PhoneBook=/pb.dat"_qs,
                   u"RecentListSize=6"_qs, u"ToolBar=0"_qs, u"StatusLine=0"_qs,
                   u"ChildWindowState=1"_qs, u"DialedNumber=123"_qs, u"DialedName=Home"_qs }
            << QByteArray("; installation settings\n[Options]\nMenuFileName=other.mnu\n"
                          "[Hosts]\nPath=/etc/nvhosts\n[Custom]\nMouseTable=m.tbl\n"
                          "Icon=/nowhere.png\nTitle=Office terminal\nTorvik=True\n"
                          "BlockedHotKeys=AB\n")
            << QVariantMap { { u"SingleInstance"_qs, rt::False }, { u"AutoClose"_qs, rt::True },
                   { u"NoCloseWarning"_qs, rt::True }, { u"DefaultCaptureDir"_qs, u"/cap"_qs },
                   { u"DefaultXferDir"_qs, u"/xfer"_qs }, { u"PhoneBookName"_qs, u"/pb.dat"_qs },
                   { u"RecentListSize"_qs, rt::Int(6) }, { u"ToolbarVisible"_qs, rt::False },
                   { u"StatusLineVisible"_qs, rt::False },
                   { u"InitChildWindowState"_qs, rt::Int(1) }, { u"DialedNumber"_qs, u"123"_qs },
                   { u"DialedName"_qs, u"Home"_qs }, { u"MenuFileName"_qs, u"other.mnu"_qs },
                   { u"TelnetHostsFile"_qs, u"/etc/nvhosts"_qs },
                   { u"CustomMouseTable"_qs, u"m.tbl"_qs }, { u"Icon"_qs, u"/nowhere.png"_qs },
                   { u"Caption"_qs, u"Office terminal"_qs }, { u"CustomMode"_qs, rt::Long(1) },
                   { u"BlockedHotKeys"_qs, rt::Long(3) } };
        QTest::newRow("loose texts")
            << QStringList { u"SingleInstance=7"_qs, u"ToolBar=True"_qs, u"StatusLine=false"_qs,
                   u"RecentListSize=6.0"_qs, u"AutoClose=0.5"_qs }
            << QByteArray("[Custom]\nTorvik=1\n")
            << QVariantMap { { u"SingleInstance"_qs, rt::True }, { u"ToolbarVisible"_qs, rt::True },
                   { u"StatusLineVisible"_qs, rt::False }, { u"RecentListSize"_qs, rt::Int(6) },
                   { u"AutoClose"_qs, rt::True }, { u"CustomMode"_qs, rt::Long(1) } };
        QTest::newRow("bad values are skipped")
            << QStringList { u"RecentListSize=30"_qs, u"ToolBar=maybe"_qs,
                   u"ChildWindowState=7"_qs }
            << QByteArray()
            << QVariantMap { { u"RecentListSize"_qs, rt::Int(4) },
                   { u"ToolbarVisible"_qs, rt::False }, { u"InitChildWindowState"_qs, rt::Int(0) },
                   { u"StatusLineVisible"_qs, rt::True } };
    }
    void loadWritesNothing()
    {
        QFETCH(QStringList, registryValues);
        QFETCH(QByteArray, ini);
        QFETCH(QVariantMap, expected);
        for (const QString &entry : registryValues)
            putRegistry(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        if (!ini.isNull())
            writeBytes(m_ini, ini);
        const QByteArray userStore = readBytes(m_userStore);
        const QByteArray iniFile = readBytes(m_ini);
        Norvalis &app = start();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(setting(it.key()).get(app), it.value());
        QCOMPARE(readBytes(m_userStore), userStore);
        QCOMPARE(readBytes(m_ini), iniFile);
        app.Load();
        QCOMPARE(readBytes(m_userStore), userStore);
        QCOMPARE(readBytes(m_ini), iniFile);
    }

    void loadKeepsAValueABadTextCannotGive()
    {
        Norvalis &app = start();
        QCOMPARE(app.ToolbarVisible(), rt::True);
        putRegistry(u"ToolBar"_qs, u"maybe"_qs);
        putRegistry(u"RecentListSize"_qs, u"30"_qs);
        app.Load();
        QCOMPARE(app.ToolbarVisible(), rt::True);
        QCOMPARE(app.RecentListSize(), rt::Int(4));
    }

    void recentListSize_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("result");
        QTest::addColumn<QVariant>("stored"); // invalid: not written
        QTest::newRow("21 is refused") << 21 << rt::err::InvalidRecentListSize << 4 << QVariant();
        QTest::newRow("-1 is refused") << -1 << rt::err::InvalidRecentListSize << 4 << QVariant();
        QTest::newRow("32767 is refused")
            << 32767 << rt::err::InvalidRecentListSize << 4 << QVariant();
        QTest::newRow("20 is the most") << 20 << 0 << 20 << QVariant(u"20"_qs);
        QTest::newRow("0 is the least") << 0 << 0 << 0 << QVariant(u"0"_qs);
        QTest::newRow("the same size writes nothing") << 4 << 0 << 4 << QVariant();
    }
    void recentListSize()
    {
        QFETCH(int, size);
        QFETCH(int, error);
        QFETCH(int, result);
        QFETCH(QVariant, stored);
        Norvalis &app = start();
        // Through the class and through both interfaces: the same answer.
        const QList<std::function<void()>> setters = {
            [&] { app.setRecentListSize(rt::Int(size)); },
            [&] { app.AsNorvalis()->setRecentListSize(rt::Int(size)); },
            [&] { app.AsGlobalSettings()->setRecentListSize(rt::Int(size)); },
        };
        for (const auto &set : setters) {
            try {
                set();
                QCOMPARE(error, 0);
            } catch (const rt::Error &e) {
                QCOMPARE(e.number, rt::Long(error));
                QCOMPARE(e.number, rt::Long(-2147219503));
                QCOMPARE(e.description, u"Invalid RecentListSize setting"_qs);
            }
            QCOMPARE(app.RecentListSize(), rt::Int(result));
            const auto text = registryValue(u"RecentListSize"_qs);
            QCOMPARE(text ? QVariant(*text) : QVariant(), stored);
        }
    }

    void recentListResize_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<QStringList>("entries"); // Recent(0..3) afterwards
        QTest::newRow("smaller loses the tail")
            << QList<int> { 2, 4 } << QStringList { u"A"_qs, u"B"_qs, u""_qs, u""_qs };
        QTest::newRow("0 reads empty")
            << QList<int> { 0 } << QStringList { u""_qs, u""_qs, u""_qs, u""_qs };
        QTest::newRow("0 keeps the entries")
            << QList<int> { 0, 4 } << QStringList { u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs };
        QTest::newRow("larger adds empty entries")
            << QList<int> { 6 } << QStringList { u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs };
    }
    void recentListResize()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(QStringList, entries);
        Norvalis &app = start();
        const QStringList files { u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs };
        for (int i = 0; i < files.size(); ++i)
            app.setRecent(rt::Int(i), files.at(i));
        for (int size : sizes)
            app.setRecentListSize(rt::Int(size));
        QStringList actual;
        for (int i = 0; i < entries.size(); ++i)
            actual << app.Recent(rt::Int(i));
        QCOMPARE(actual, entries);
        QCOMPARE(app.Recent(-1), QString());
        QCOMPARE(app.Recent(25), QString());
    }

    void recentFilesLoad_data()
    {
        QTest::addColumn<QStringList>("stored"); // File_1, File_2 ... ("" stored as empty)
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("gap closes up") << QStringList { u"/a.nvcf"_qs, u""_qs,
            u"/b.nvcf"_qs } << 4 << QStringList { u"/a.nvcf"_qs, u"/b.nvcf"_qs, u""_qs, u""_qs };
        QTest::newRow("only the last") << QStringList { u""_qs, u""_qs, u""_qs, u"/d"_qs } << 4
                                       << QStringList { u"/d"_qs, u""_qs, u""_qs, u""_qs };
        QTest::newRow("entries past the size are not read") << QStringList { u"1"_qs, u"2"_qs,
            u"3"_qs, u"4"_qs, u"5"_qs } << 4 << QStringList { u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs };
        QTest::newRow("smaller size")
            << QStringList { u"1"_qs, u""_qs, u"3"_qs } << 2 << QStringList { u"1"_qs, u""_qs };
    }
    void recentFilesLoad()
    {
        QFETCH(QStringList, stored);
        QFETCH(int, size);
        QFETCH(QStringList, entries);
        putRegistry(u"RecentListSize"_qs, QString::number(size));
        for (int i = 0; i < stored.size(); ++i)
            putRegistry(u"RecentFiles\\File_%1"_qs.arg(i + 1), stored.at(i));
        Norvalis &app = start();
        QStringList actual;
        for (int i = 0; i < size; ++i)
            actual << app.Recent(rt::Int(i));
        QCOMPARE(actual, entries);
    }

    void saveRewritesTheRecentList()
    {
        putRegistry(u"RecentFiles\\File_1"_qs, u"/a"_qs);
        putRegistry(u"RecentFiles\\File_3"_qs, u"/b"_qs);
        putRegistry(u"RecentFiles\\File_5"_qs, u"/old"_qs);
        putRegistry(u"RecentFiles\\Stray"_qs, u"x"_qs);
        Norvalis &app = start();
        app.setInitChildWindowState(1);
        app.Save();
        const QString key = SettingsKey(u"RecentFiles"_qs);
        QCOMPARE(registry::subKeys(registry::Root::CurrentUser, key),
            (QStringList { u"File_1"_qs, u"File_2"_qs, u"File_3"_qs, u"File_4"_qs }));
        QStringList values;
        for (int i = 1; i <= 4; ++i)
            values << registry::value(registry::Root::CurrentUser, key + u"\\File_%1"_qs.arg(i))
                          .value_or(u"<none>"_qs);
        QCOMPARE(values, (QStringList { u"/a"_qs, u"/b"_qs, u""_qs, u""_qs }));
        QCOMPARE(stored(u"reg:ChildWindowState"_qs, m_ini), std::optional<QString>(u"1"_qs));
    }

    void saveWritesTheGlobalSettings()
    {
        Norvalis &app = start();
        app.setCustomMode(3);
        app.setCaption(u"T"_qs);
        app.setRecentListSize(7);
        writeBytes(m_ini, "[Custom]\nTitle=stale\n");
        registry::deleteKey(registry::Root::CurrentUser, u"Software"_qs);
        app.Save();
        const QList<std::pair<QString, QString>> expected = {
            { u"reg:SingleInstance"_qs, u"1"_qs },
            { u"reg:AutoClose"_qs, u"0"_qs },
            { u"reg:NoCloseWarning"_qs, u"0"_qs },
            { u"reg:CapturePath"_qs, u""_qs },
            { u"reg:PhoneBook"_qs, u"PHONE.DAT"_qs },
            { u"ini:Custom/Torvik"_qs, u"True"_qs },
            { u"ini:Custom/Title"_qs, u"T"_qs },
            { u"reg:ChildWindowState"_qs, u"2"_qs },
        };
        for (const auto &[location, text] : expected)
            QCOMPARE(stored(location, m_ini), std::optional<QString>(text));
        // The settings that only their setters write stay unwritten.
        QVERIFY(!stored(u"reg:RecentListSize"_qs, m_ini));
        QVERIFY(!stored(u"reg:ToolBar"_qs, m_ini));
        QVERIFY(!stored(u"ini:Options/MenuFileName"_qs, m_ini)); // empty: no key
        QVERIFY(!stored(u"ini:Custom/Icon"_qs, m_ini));
    }

    void blockedHotKeys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("saved"); // "" stands for no key
        QTest::newRow("C, z and G") << QByteArray("CzG") << 0x44 << "CG";
        QTest::newRow("reversed order") << QByteArray("ZA") << (1 | 1 << 25) << "AZ";
        QTest::newRow("only others") << QByteArray("az1 !") << 0 << "";
        QTest::newRow("repeated") << QByteArray("BBB") << 2 << "B";
        QTest::newRow("none") << QByteArray() << 0 << "";
    }
    void blockedHotKeys()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, bits);
        QFETCH(QString, saved);
        writeBytes(m_ini, "[Custom]\nBlockedHotKeys=" + text + "\n");
        Norvalis &app = start();
        QCOMPARE(app.BlockedHotKeys(), rt::Long(bits));
        app.Save();
        const auto value = stored(u"ini:Custom/BlockedHotKeys"_qs, m_ini);
        QCOMPARE(value.value_or(QString()), saved);
        QCOMPARE(value.has_value(), !saved.isEmpty());
    }

    void directoriesPassOnToSessions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("registryName");
        QTest::newRow("capture") << "DefaultCaptureDir"
                                 << "CapturePath";
        QTest::newRow("transfer") << "DefaultXferDir"
                                  << "XferPath";
    }
    void directoriesPassOnToSessions()
    {
        QFETCH(QString, name);
        QFETCH(QString, registryName);
        putRegistry(registryName, u"/old"_qs);
        Norvalis &app = start();
        auto following = makeSession(u"1"_qs);
        auto own = makeSession(u"2"_qs);
        following->EmulatorSettings().setValue(name, u"/old"_qs);
        own->EmulatorSettings().setValue(name, u"/own"_qs);
        app.ClsSessions().clsAdd(following, u"1"_qs);
        app.ClsSessions().clsAdd(own, u"2"_qs);
        setting(name).set(app, u"/new"_qs);
        QCOMPARE(following->EmulatorSettings().value(name).toString(), u"/new"_qs);
        QCOMPARE(own->EmulatorSettings().value(name).toString(), u"/own"_qs);
    }

    void geometryInPixels_data()
    {
        QTest::addColumn<QList<int>>("move"); // the arguments given to Move
        QTest::addColumn<QRect>("expected");
        QTest::newRow("left alone") << QList<int> { 10 } << QRect(10, 50, 400, 300);
        QTest::newRow("left and top") << QList<int> { 10, 20 } << QRect(10, 20, 400, 300);
        QTest::newRow("three") << QList<int> { 10, 20, 350 } << QRect(10, 20, 350, 300);
        QTest::newRow("all four") << QList<int> { 10, 20, 350, 250 } << QRect(10, 20, 350, 250);
    }
    void geometryInPixels()
    {
        QFETCH(QList<int>, move);
        QFETCH(QRect, expected);
        Norvalis &app = start();
        app.Show();
        app.Move(100, 50, 400, 300);
        QCOMPARE(m_main->left(), 1500);
        QCOMPARE(m_main->width(), 6000);
        switch (move.size()) {
        case 1:
            app.Move(move[0]);
            break;
        case 2:
            app.Move(move[0], move[1]);
            break;
        case 3:
            app.Move(move[0], move[1], move[2]);
            break;
        default:
            app.Move(move[0], move[1], move[2], move[3]);
        }
        QCOMPARE(QRect(app.Left(), app.Top(), app.Width(), app.Height()), expected);
        QCOMPARE(m_main->top(), expected.top() * 15);
        app.Resize(200, 100);
        app.setLeft(7);
        app.setTop(9);
        QCOMPARE(QRect(app.Left(), app.Top(), app.Width(), app.Height()), QRect(7, 9, 200, 100));
        app.setWidth(220);
        app.setHeight(110);
        QCOMPARE(QRect(app.Left(), app.Top(), app.Width(), app.Height()), QRect(7, 9, 220, 110));
    }

    // A client's numbers, however large, give the main window at most a few times the desktop's
    // size, no further than that beyond it (the window is not shown: no huge painting).
    void geometryIsBounded_data()
    {
        QTest::addColumn<QList<qint64>>("given"); // Move's arguments
        QTest::newRow("huge") << QList<qint64> { 0, 0, 32767, 32767 };
        QTest::newRow("far right and down") << QList<qint64> { 1000000, 2000000, 300, 200 };
        QTest::newRow("far left and up") << QList<qint64> { -1000000, -2000000, 300, 200 };
        // (Numbers beyond the twips' 32-bit range stay an overflow, 6.)
        QTest::newRow("largest numbers in twips")
            << QList<qint64> { 143000000, 143000000, 143000000, 143000000 };
    }
    void geometryIsBounded()
    {
        QFETCH(QList<qint64>, given);
        Norvalis &app = start();
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        const qint64 left = given[0], top = given[1], width = given[2], height = given[3];
        const qint64 k = rt::DesktopMultiple;
        const QRect bounded(
            int(std::clamp<qint64>(left, desktop.left() - k * desktop.width(),
                desktop.left() + (k + 1) * desktop.width())),
            int(std::clamp<qint64>(top, desktop.top() - k * desktop.height(),
                desktop.top() + (k + 1) * desktop.height())),
            int(std::min<qint64>(width, k * desktop.width())),
            int(std::min<qint64>(height, k * desktop.height())));
        const auto now = [&] { return QRect(app.Left(), app.Top(), app.Width(), app.Height()); };
        app.Move(rt::Long(left), rt::Long(top), rt::Long(width), rt::Long(height));
        QCOMPARE(now(), bounded);
        app.Move(0, 0, 100, 100);
        app.Resize(rt::Long(width), rt::Long(height));
        QCOMPARE(now(), QRect(0, 0, bounded.width(), bounded.height()));
        app.Move(0, 0, 100, 100);
        app.setWidth(rt::Long(width));
        app.setHeight(rt::Long(height));
        app.setLeft(rt::Long(left));
        app.setTop(rt::Long(top));
        QCOMPARE(now(), bounded);
    }

    void statesOutOfRangeAreIgnored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("WindowState 3") << "WindowState" << 3 << 0;
        QTest::newRow("WindowState -1") << "WindowState" << -1 << 0;
        QTest::newRow("WindowState 2") << "WindowState" << 2 << 2;
        QTest::newRow("InitChildWindowState -1") << "InitChildWindowState" << -1 << 2;
        QTest::newRow("InitChildWindowState 3") << "InitChildWindowState" << 3 << 2;
        QTest::newRow("InitChildWindowState 1") << "InitChildWindowState" << 1 << 1;
    }
    void statesOutOfRangeAreIgnored()
    {
        QFETCH(QString, name);
        QFETCH(int, value);
        QFETCH(int, expected);
        Norvalis &app = start();
        setting(name).set(app, QVariant::fromValue(rt::Int(value)));
        QCOMPARE(setting(name).get(app).toInt(), expected);
    }

    void caption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("title");
        QTest::newRow("own title") << "Office"
                                   << "Office";
        QTest::newRow("empty gives the product's") << ""
                                                   << "Norvalis 2000";
    }
    void caption()
    {
        QFETCH(QString, caption);
        QFETCH(QString, title);
        Norvalis &app = start();
        app.setCaption(u"before"_qs);
        app.setCaption(caption);
        QCOMPARE(m_main->caption(), title);
        QCOMPARE(stored(u"ini:Custom/Title"_qs, m_ini).value_or(QString()), caption);
    }

    void icon_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("own"); // the file's picture, else the program's icon
        QTest::newRow("a picture") << "picture.png" << true;
        QTest::newRow("no such file") << "missing.png" << false;
        QTest::newRow("not a picture") << "corrupt.mnu" << false;
        QTest::newRow("a FIFO: not waited on") << "icon.fifo" << false;
    }
    void icon()
    {
        QFETCH(QString, file);
        QFETCH(bool, own);
        QImage picture(16, 16, QImage::Format_ARGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(path(u"picture.png"_qs)));
        if (file.endsWith(u".fifo"_qs)) {
            QFile::remove(path(file));
            QVERIFY(QProcess::execute(u"mkfifo"_qs, { path(file) }) == 0);
        }
        Norvalis &app = start();
        app.setIcon(path(file));
        const QImage shown = m_main->widget()->windowIcon().pixmap(16, 16).toImage();
        const QImage expected
            = own ? picture : QIcon(u":/pictures/norvalis.png"_qs).pixmap(16, 16).toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32),
            expected.convertToFormat(QImage::Format_ARGB32));
    }

    void menuFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("message");
        QTest::addColumn<QString>("band"); // a band of the menu loaded, "" when none expected
        QTest::newRow("missing file") << "/nowhere/missing.mnu" << true << "";
        QTest::newRow("found by its name alone") << "/nowhere/other.mnu" << false << "Other";
        QTest::newRow("in the program directory") << "other.mnu" << false << "Other";
        QTest::newRow("corrupt file is not reported") << "corrupt.mnu" << false << "";
    }
    void menuFileName()
    {
        QFETCH(QString, name);
        QFETCH(bool, message);
        QFETCH(QString, band);
        Norvalis &app = start();
        app.setMenuFileName(name);
        QCOMPARE(app.MenuFileName(), name);
        // The message waits for the event loop: the caller (a client's call) has its answer first.
        QVERIFY(m_messages.isEmpty());
        QCoreApplication::processEvents();
        const QString text = u"48|The main menu file ("_qs + name
            + u") is missing or corrupt. To restore the menu file to its original state, copy "
              "the stdmain.mnu file over dfltmain.mnu and remove the MenuFileName item from the "
              "nvwin.ini file."_qs;
        QCOMPARE(m_messages, message ? QStringList { text } : QStringList {});
        if (!band.isEmpty())
            QVERIFY(app.Menu()->MnuBands(band));
        app.setMenuFileName(name); // the same name once loaded: nothing at all
        QCoreApplication::processEvents();
        QCOMPARE(m_messages.size(), message ? 1 : 0);
    }

    // A bad name stored earlier holds no start: the object is made (and registered) before the
    // message shows.
    void missingMainMenuAtStart()
    {
        writeBytes(m_ini, "[Options]\nMenuFileName=gone.mnu\n");
        start();
        QVERIFY(m_messages.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().contains(u"(gone.mnu)"_qs));
    }

    // NVWIN.INI holds one line per setting: a value with a line break is refused, and nothing
    // changes, in memory or in the file.
    void lineBreaksRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        for (const char *name :
            { "TelnetHostsFile", "CustomMouseTable", "MenuFileName", "Icon", "Caption" }) {
            QTest::addRow("%s LF", name) << QString::fromLatin1(name) << u"a\nb"_qs;
            QTest::addRow("%s CR", name) << QString::fromLatin1(name) << u"a\rb"_qs;
        }
    }
    void lineBreaksRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        Norvalis &app = start();
        const QVariant before = setting(name).get(app);
        const QByteArray ini = readBytes(m_ini);
        QCOMPARE(errorOf([&] { setting(name).set(app, value); }), rt::err::InvalidPropertyValue);
        QCOMPARE(setting(name).get(app), before);
        QCOMPARE(readBytes(m_ini), ini);
    }

    // A changed setting whose store cannot keep it raises 75 naming the file and the reason;
    // the store is left as it was.
    void unstoredSettingRaises_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("store"); // "ini" or "reg"
        QTest::addColumn<QString>("kind"); // what the store's file is: "binary" or "folder"
        QTest::addColumn<QString>("reason");
        const QVariant on = QVariant::fromValue(rt::True);
        const QVariant hosts(u"/etc/nvhosts"_qs);
        QTest::newRow("INI of binary bytes")
            << "TelnetHostsFile" << hosts << "ini" << "binary" << "not UTF-8 text";
        QTest::newRow("INI a folder")
            << "CustomMouseTable" << hosts << "ini" << "folder" << "not a regular file";
        QTest::newRow("registry a folder")
            << "NoCloseWarning" << on << "reg" << "folder" << "not a regular file";
    }
    void unstoredSettingRaises()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, store);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        Norvalis &app = start();
        const QString file = store == u"ini"_qs ? m_ini : m_userStore;
        QFile::remove(file);
        if (kind == u"folder"_qs)
            QVERIFY(QDir().mkpath(file));
        else
            writeBytes(file, QByteArray("[Hosts]\nPath=\0\xff\xfe\x01", 16));
        const QByteArray before = kind == u"folder"_qs ? QByteArray() : readBytes(file);
        const rt::Error error = raisedError([&] { setting(name).set(app, value); });
        QCOMPARE(error.number, rt::err::PathFileAccess);
        QVERIFY2(error.description.contains(reason), qPrintable(error.description));
        QVERIFY2(error.description.contains(QFileInfo(file).fileName())
                || store == u"reg"_qs, qPrintable(error.description));
        QCOMPARE(kind == u"folder"_qs ? QFileInfo(file).isDir() : readBytes(file) == before, true);
    }

    void visibility()
    {
        Norvalis &app = start();
        QCOMPARE(app.Visible(), rt::False);
        app.Show();
        QCOMPARE(app.Visible(), rt::True);
        app.setVisible(rt::False);
        QVERIFY(!m_main->isVisible());
        app.setVisible(rt::True);
        m_main->unloading = true; // once unloading: reads False, shows and hides nothing
        QCOMPARE(app.Visible(), rt::False);
        app.Hide();
        app.setVisible(rt::False);
        QVERIFY(m_main->isVisible());
        m_main->unloading = false;
        app.Hide();
        QVERIFY(!m_main->isVisible());
    }

    void withoutMainWindow()
    {
        setMainWindow(nullptr);
        Norvalis &app = start();
        QCOMPARE(app.Visible(), rt::False);
        app.Show();
        QCOMPARE(errorOf([&] { app.Left(); }), 91);
        QVERIFY(!app.ActiveClsSession());
    }

    void closeAndTerminate_data()
    {
        QTest::addColumn<bool>("close");
        QTest::addColumn<int>("prompt");
        QTest::newRow("Close 3") << true << 3;
        QTest::newRow("Terminate 3") << false << 3;
    }
    void closeAndTerminate()
    {
        QFETCH(bool, close);
        QFETCH(int, prompt);
        Norvalis &app = start();
        gTerminatePrompt = 7;
        if (close)
            app.AsNorvalis()->Close(rt::Int(prompt));
        else
            app.AsNorvalis()->Terminate(rt::Int(prompt));
        QCOMPARE(gTerminatePrompt, rt::Int(prompt));
        QVERIFY(gTerminating);
        QVERIFY(m_cleanupTimer->enabled());
    }

    // Each file-transfer setting of the Norvalis interface reads and writes the active session's.
    void transferSettings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("setting");
        const QList<std::pair<const char *, const char *>> rows = {
            { "DefaultXferMode", "DefaultXferMode" },
            { "DefaultXferOverwrite", "DefaultXferOverwrite" },
            { "AsciiEOL", "AsciiEOL" },
            { "AsciiDelay", "AsciiDelay" },
            { "XmodemTimeout", "XModemTimeout" },
            { "YmodemTimeout", "YModemTimeout" },
            { "ZmodemTimeout", "ZModemTimeout" },
            { "KermitTimeout", "KermitTimeout" },
            { "KermitInitRetry", "KermitInitRetry" },
            { "KermitErrRetry", "KermitErrRetry" },
            { "KermitEOL", "KermitEOL" },
            { "KermitQuote", "KermitQuote" },
            { "KermitRept", "KermitRept" },
            { "KermitCRC", "KermitCRC" },
            { "ZModemAuto", "ZModemAuto" },
        };
        for (const auto &[name, setting] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(setting);
    }
    void transferSettings()
    {
        QFETCH(QString, name);
        QFETCH(QString, setting);
        Norvalis &app = start();
        NorvalisIface *iface = app.AsNorvalis();
        const auto meta = automation::members::property(iface->metaObject(), name);
        QVERIFY(meta);

        // No session window active: the client gets an error, not a made-up value.
        QCOMPARE(
            errorOf([&] { automation::members::read(iface, *meta); }), rt::err::NoActiveSession);
        QCOMPARE(errorOf([&] { automation::members::write(iface, *meta, 1); }),
            rt::err::NoActiveSession);

        auto first = makeSession(u"1"_qs);
        auto second = makeSession(u"2"_qs);
        app.ClsSessions().clsAdd(first, u"1"_qs);
        app.ClsSessions().clsAdd(second, u"2"_qs);
        TestSessionWindow window1(u"1"_qs, m_main.get());
        TestSessionWindow window2(u"2"_qs, m_main.get());
        m_main->show();
        window2.show();
        window1.show();
        QCOMPARE(app.ActiveClsSession(), SessionPtr(first));
        const QVariant before = second->EmulatorSettings().value(setting);

        automation::members::write(iface, *meta, QVariant::fromValue(rt::Int(77)));
        QCOMPARE(first->EmulatorSettings().value(setting).toInt(), 77);
        QCOMPARE(second->EmulatorSettings().value(setting), before);

        window2.show();
        QCOMPARE(app.ActiveClsSession(), SessionPtr(second));
        second->EmulatorSettings().setValue(setting, 5);
        QCOMPARE(automation::members::read(iface, *meta).toInt(), 5);
        window1.unload();
        window2.unload();
    }

    // The interfaces as a client on the session bus sees them at /Norvalis.
    void busInterfaces_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("answer"); // the value's text, or the error's name and text
        const QVariant size21 = QVariant::fromValue(QDBusVariant(QVariant::fromValue(rt::Int(21))));
        QTest::newRow("Norvalis ProductName")
            << "NVWin32.Norvalis"
            << "Get" << QVariantList { u"ProductName"_qs } << "NORVALIS/WIN32";
        QTest::newRow("_Norvalis ProductName")
            << "NVWin32._Norvalis"
            << "Get" << QVariantList { u"ProductName"_qs } << "NORVALIS/WIN32";
        QTest::newRow("GlobalSettings HostFile")
            << "NVWin32.GlobalSettings"
            << "Get" << QVariantList { u"HostFile"_qs } << "/h";
        QTest::newRow("RecentListSize 21")
            << "NVWin32.Norvalis"
            << "Set" << QVariantList { u"RecentListSize"_qs, size21 }
            << "NVWin32.Error.E_2147219503 Invalid RecentListSize setting";
        QTest::newRow("transfer setting without a session")
            << "NVWin32.Norvalis"
            << "Get" << QVariantList { u"KermitTimeout"_qs }
            << "NVWin32.Error.E_2147219502 No active session";
        QTest::newRow("HostFile with a line break")
            << "NVWin32.GlobalSettings"
            << "Set"
            << QVariantList { u"HostFile"_qs, QVariant::fromValue(QDBusVariant(u"x\r\ny"_qs)) }
            << "NVWin32.Error.E380 Invalid property value: a setting cannot hold a line break";
    }
    void busInterfaces()
    {
        QFETCH(QString, interface);
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, answer);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus");
        Norvalis &app = start();
        app.setTelnetHostsFile(u"/h"_qs);
        const QDBusMessage reply = busclient::busMessage(
            u"/Norvalis"_qs, busclient::Properties, member, QVariantList { interface } + arguments);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            QCOMPARE(reply.errorName() + u' ' + reply.errorMessage(), answer);
            QCOMPARE(reply.signature(), u"s"_qs); // the text alone, as every client shows it
        } else {
            QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
            const QVariant value = reply.arguments().value(0);
            QCOMPARE(value.value<QDBusVariant>().variant().toString(), answer);
        }
        QCOMPARE(app.RecentListSize(), rt::Int(4));
        QCOMPARE(app.TelnetHostsFile(), u"/h"_qs);
    }
};

QTEST_MAIN(tst_norvalis)
#include "tst_norvalis.moc"
