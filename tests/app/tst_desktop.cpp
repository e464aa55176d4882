// The program on a desktop of its own (xvfb-run), driven the way a user drives it: keys and typing
// through xdotool, the program's answers read over D-Bus. File, New makes a session; its settings
// dialog points it at a loopback host and Tools, Reset Connection connects it; File, Save As writes
// a.nvcf and Save Layout As writes l.nvly; started again as "norvalis l.nvly" the session comes
// back at its place and in its state, the File menu's first recent entry is l.nvly with its
// spelling (choosing it opens the layout again); Help, Contents shows the guide. Under a window
// manager (openbox), keys typed after each dialog of a session, after a start with a session file,
// after Ctrl+Tab and after Window > n reach the active session's host; a word selected with the
// mouse is pasted by the middle button, Ctrl+Insert copies it and Shift+Insert pastes it.
//
// NORVALIS_DESKTOP_SHOTS names a folder for a picture of the screen after each step.

#include "app/tst_startup_env.h"

#include "app/profile.h"
#include "automation/remote.h"
#include "session/hostfile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QString kBusName = QStringLiteral("NVWin32.Norvalis");

bool nameHasOwner(const QString &name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

// An X display of the test's own: xvfb-run runs a shell that reports the display and its
// authority file and then waits for its input to end; closing that input ends the display.
class VirtualDisplay
{
public:
    ~VirtualDisplay() { stop(); }

    bool start(const QString &reportFile)
    {
        m_xvfb.setProgram(QStringLiteral("xvfb-run"));
        m_xvfb.setArguments(
            { u"-a"_qs, u"-s"_qs, u"-screen 0 1280x1024x24 -dpi 96"_qs, u"sh"_qs, u"-c"_qs,
                u"printf '%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" > \"$0.part\"; "
                "mv \"$0.part\" \"$0\"; read line"_qs,
                reportFile });
        m_xvfb.start();
        if (!m_xvfb.waitForStarted(10000))
            return false;
        if (!QTest::qWaitFor([&] { return QFile::exists(reportFile); }, 30000))
            return false;
        QFile report(reportFile);
        if (!report.open(QIODevice::ReadOnly))
            return false;
        const QStringList lines = QString::fromUtf8(report.readAll()).split(u'\n');
        m_display = lines.value(0);
        m_authority = lines.value(1);
        return !m_display.isEmpty();
    }

    // Starts openbox on the display and waits until it manages windows; false when it is not
    // installed or did not come up.
    bool startWindowManager()
    {
        if (QStandardPaths::findExecutable(u"openbox"_qs).isEmpty())
            return false;
        if (m_wm.state() != QProcess::NotRunning)
            return true;
        m_wm.setProcessEnvironment(environment());
        m_wm.setProgram(u"openbox"_qs);
        m_wm.setStandardOutputFile(QProcess::nullDevice());
        m_wm.setStandardErrorFile(QProcess::nullDevice());
        m_wm.start();
        if (!m_wm.waitForStarted(10000))
            return false;
        // A running window manager names the active window on the root window.
        return QTest::qWaitFor(
            [&] {
                QProcess probe;
                probe.setProcessEnvironment(environment());
                probe.start(u"xdotool"_qs, { u"getactivewindow"_qs });
                probe.waitForFinished(10000);
                return !probe.readAllStandardError().contains("claims not to support");
            },
            60000);
    }

    void stop()
    {
        if (m_wm.state() != QProcess::NotRunning) {
            m_wm.terminate();
            m_wm.waitForFinished(10000);
        }
        if (m_xvfb.state() == QProcess::NotRunning)
            return;
        m_xvfb.closeWriteChannel();
        m_xvfb.waitForFinished(20000);
    }

    // The environment of a program on this display.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_qs, m_display);
        env.insert(u"XAUTHORITY"_qs, m_authority);
        env.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
        env.remove(u"WAYLAND_DISPLAY"_qs);
        return env;
    }

private:
    QProcess m_xvfb;
    QProcess m_wm;
    QString m_display;
    QString m_authority;
};

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void doneWhen();
    void keysReachTheHost();
    void selectionAndClipboardKeys();
    void highDpiSettingsFit();

private:
    QString home(const QString &name) const { return m_env.homeDir() + u'/' + name; }
    // Runs xdotool on the display; its output.
    QString xdotool(const QStringList &arguments, bool mayFail = false);
    // The first visible window whose title matches the pattern, waiting for it; "" when none came.
    QString waitForWindow(const QString &pattern, int ms = 20000);
    bool windowShown(const QString &pattern);
    // Gives the main window the keyboard focus, then presses the keys (xdotool key names).
    void keysToMain(const QStringList &keys);
    void typeText(const QString &text);
    void startProgram(const QStringList &arguments, const QString &scale = QString());
    void endProgram();
    automation::Remote application() const;
    automation::Remote sessions() const;
    automation::Remote sessionAt(int position) const;
    rt::Long sessionCount() const;
    void shot(const QString &name);
    // Types a marker and waits until the host's connection n (from 0) has received it.
    bool typedReachesHost(int connection, const QString &marker);

    StartupEnvironment m_env;
    VirtualDisplay m_display;
    QProcess *m_program = nullptr;
    QTcpServer m_host;
    int m_connections = 0;
    QList<QByteArray> m_received; // by connection, in the order they came
    QList<QPointer<QTcpSocket>> m_sockets; // the same
};

void TestDesktop::initTestCase()
{
    if (QStandardPaths::findExecutable(u"xvfb-run"_qs).isEmpty())
        QSKIP("xvfb-run is not installed (scripts/setup installs it): no display to drive");
    if (QStandardPaths::findExecutable(u"xdotool"_qs).isEmpty())
        QSKIP("xdotool is not installed (scripts/setup installs it): no way to press keys");
    m_env.setUp();
    QVERIFY(m_display.start(m_env.path("display")));
    connect(&m_host, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_host.nextPendingConnection()) {
            const int index = m_connections++;
            m_received.append(QByteArray());
            m_sockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, this,
                [this, socket, index] { m_received[index] += socket->readAll(); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    QVERIFY(m_host.listen(QHostAddress::LocalHost, 0));
}

void TestDesktop::cleanup()
{
    endProgram();
}

QString TestDesktop::xdotool(const QStringList &arguments, bool mayFail)
{
    QProcess process;
    process.setProcessEnvironment(m_display.environment());
    process.start(u"xdotool"_qs, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
    }
    if (!mayFail && process.exitCode() != 0)
        qWarning("xdotool %s: %s", qPrintable(arguments.join(u' ')),
            process.readAllStandardError().constData());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

bool TestDesktop::windowShown(const QString &pattern)
{
    return !xdotool({ u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, pattern }, true).isEmpty();
}

QString TestDesktop::waitForWindow(const QString &pattern, int ms)
{
    QString id;
    const bool found = QTest::qWaitFor(
        [&] {
            id = xdotool({ u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, pattern }, true)
                     .section(u'\n', 0, 0);
            return !id.isEmpty();
        },
        ms);
    if (!found)
        qWarning("no window %s on the display", qPrintable(pattern));
    return id;
}

void TestDesktop::keysToMain(const QStringList &keys)
{
    // With a maximized session the title names it too.
    const QString main = waitForWindow(u"^Norvalis 2000( - .*)?$"_qs);
    QVERIFY2(!main.isEmpty(), "the main window is not on the display");
    xdotool({ u"windowfocus"_qs, u"--sync"_qs, main });
    xdotool(QStringList { u"key"_qs, u"--delay"_qs, u"150"_qs } + keys);
}

void TestDesktop::typeText(const QString &text)
{
    xdotool({ u"type"_qs, u"--delay"_qs, u"40"_qs, text });
}

void TestDesktop::startProgram(const QStringList &arguments, const QString &scale)
{
    QDBusServiceWatcher watcher(kBusName, QDBusConnection::sessionBus());
    QSignalSpy registered(&watcher, &QDBusServiceWatcher::serviceRegistered);
    m_program = new QProcess(this);
    QProcessEnvironment environment = m_display.environment();
    if (!scale.isEmpty())
        environment.insert(u"QT_SCALE_FACTOR"_qs, scale);
    m_program->setProcessEnvironment(environment);
    m_program->setWorkingDirectory(m_env.homeDir());
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(StartupEnvironment::executable(), arguments);
    QVERIFY2(registered.wait(60000), "the program did not come onto the bus");
    QVERIFY(!waitForWindow(u"^Norvalis 2000$"_qs).isEmpty());
}

void TestDesktop::endProgram()
{
    if (!m_program)
        return;
    if (m_program->state() != QProcess::NotRunning) {
        QSignalSpy finished(m_program, &QProcess::finished);
        application().call(u"Terminate"_qs, { QVariant::fromValue(rt::Int(0)) });
        QVERIFY(finished.count() > 0 || finished.wait(30000));
        QCOMPARE(m_program->exitCode(), 0);
    }
    QTRY_VERIFY(!nameHasOwner(kBusName));
    delete m_program;
    m_program = nullptr;
}

automation::Remote TestDesktop::application() const
{
    return automation::Remote(
        QDBusConnection::sessionBus(), kBusName, u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs);
}

automation::Remote TestDesktop::sessions() const
{
    const automation::Remote app = application();
    return app.object(app.get(u"Sessions"_qs), u"NVWin32.Sessions"_qs);
}

automation::Remote TestDesktop::sessionAt(int position) const
{
    const automation::Remote list = sessions();
    return list.object(list.call(u"Item"_qs, { QVariant(position) }), u"NVWin32._clsSession"_qs);
}

rt::Long TestDesktop::sessionCount() const
{
    return sessions().get(u"Count"_qs).toInt();
}

void TestDesktop::shot(const QString &name)
{
    const QString folder = qEnvironmentVariable("NORVALIS_DESKTOP_SHOTS");
    if (folder.isEmpty())
        return;
    QProcess import;
    import.setProcessEnvironment(m_display.environment());
    import.start(u"import"_qs, { u"-window"_qs, u"root"_qs, folder + u'/' + name + u".png"_qs });
    import.waitForFinished(20000);
}

void TestDesktop::doneWhen()
{
    startProgram({});
    shot(u"1-started"_qs);

    // File, New: a blank session.
    keysToMain({ u"alt+f"_qs, u"n"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(sessionCount(), rt::Long(1), 20000);
    shot(u"2-new-session"_qs);

    // Tools, Settings: on the Connection page (the page list has the focus; the device list is
    // the next stop, as on screen) the device TCP/IP, the loopback host and its port; Enter is OK.
    // Settings is the last entry of the Tools menu: one up from the first.
    keysToMain({ u"alt+t"_qs, u"Up"_qs, u"Return"_qs });
    const QString settings = waitForWindow(u"^Norvalis Settings$"_qs);
    QVERIFY2(!settings.isEmpty(), "Tools, Settings shows no settings dialog");
    xdotool({ u"windowfocus"_qs, u"--sync"_qs, settings });
    xdotool({ u"key"_qs, u"--delay"_qs, u"100"_qs, u"Tab"_qs, u"Home"_qs, u"Down"_qs, u"Down"_qs,
        u"Tab"_qs, u"ctrl+a"_qs });
    typeText(u"127.0.0.1"_qs);
    xdotool({ u"key"_qs, u"Tab"_qs, u"ctrl+a"_qs });
    typeText(QString::number(m_host.serverPort()));
    shot(u"3-settings"_qs);
    xdotool({ u"key"_qs, u"Return"_qs });
    QTRY_VERIFY_WITH_TIMEOUT(!windowShown(u"^Norvalis Settings$"_qs), 10000);
    // OK has connected the new session with its new settings, with no other step.
    QTRY_VERIFY_WITH_TIMEOUT(m_connections >= 1, 20000);
    automation::Remote session = sessionAt(0);

    // File, Save As: a.nvcf in the home folder the dialog opens in.
    keysToMain({ u"alt+f"_qs, u"a"_qs });
    QVERIFY(!waitForWindow(u"^Save As$"_qs).isEmpty());
    typeText(u"a.nvcf"_qs);
    shot(u"4-save-as"_qs);
    xdotool({ u"key"_qs, u"Return"_qs });
    QTRY_VERIFY_WITH_TIMEOUT(Files::IsConfigFile(home(u"a.nvcf"_qs)), 10000);
    QCOMPARE(Profile::GetIniLong(u"Connection"_qs, u"HostPort"_qs, 0, home(u"a.nvcf"_qs)),
        rt::Long(m_host.serverPort()));

    // The session window at a place of its own, then File, Save Layout As: l.nvly.
    session.set(u"WindowState"_qs, QVariant::fromValue(rt::Int(0)));
    session.call(u"Move"_qs,
        { QVariant::fromValue(rt::Long(60)), QVariant::fromValue(rt::Long(40)),
            QVariant::fromValue(rt::Long(520)), QVariant::fromValue(rt::Long(330)) });
    const QVariantList place { session.get(u"Left"_qs), session.get(u"Top"_qs),
        session.get(u"Width"_qs), session.get(u"Height"_qs), session.get(u"WindowState"_qs) };
    keysToMain({ u"alt+f"_qs, u"y"_qs });
    QVERIFY(!waitForWindow(u"^Save As$"_qs).isEmpty());
    typeText(u"l.nvly"_qs);
    xdotool({ u"key"_qs, u"Return"_qs });
    QTRY_VERIFY_WITH_TIMEOUT(Files::IsLayoutFile(home(u"l.nvly"_qs)), 10000);
    shot(u"5-layout-saved"_qs);
    endProgram();
    const int connections = m_connections;

    // Started again with the layout: the session at its place, in its state, connected.
    startProgram({ u"l.nvly"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(sessionCount(), rt::Long(1), 20000);
    session = sessionAt(0);
    QCOMPARE(session.get(u"FileName"_qs).toString(), home(u"a.nvcf"_qs));
    const QVariantList placeAgain { session.get(u"Left"_qs), session.get(u"Top"_qs),
        session.get(u"Width"_qs), session.get(u"Height"_qs), session.get(u"WindowState"_qs) };
    QCOMPARE(placeAgain, place);
    QTRY_VERIFY_WITH_TIMEOUT(m_connections > connections, 20000);
    shot(u"6-restored"_qs);

    // The recent-file list holds the layout with its spelling; its first entry in the File menu
    // opens it again (a second session from the same file).
    QCOMPARE(Profile::GetRegString(1, SettingsKey(u"RecentFiles\\File_1"_qs), QString()),
        home(u"l.nvly"_qs));
    keysToMain({ u"alt+f"_qs });
    shot(u"7-file-menu"_qs);
    xdotool({ u"key"_qs, u"1"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(sessionCount(), rt::Long(2), 20000);

    // Help, Contents: the guide.
    keysToMain({ u"alt+h"_qs, u"c"_qs });
    QVERIFY2(!waitForWindow(u"^Norvalis Help$"_qs).isEmpty(), "Help, Contents shows no guide");
    shot(u"8-help"_qs);
}

bool TestDesktop::typedReachesHost(int connection, const QString &marker)
{
    const qsizetype before = m_received.value(connection).size();
    typeText(marker);
    if (QTest::qWaitFor(
            [&] { return m_received.value(connection).mid(before).contains(marker.toUtf8()); },
            10000))
        return true;
    qWarning("connection %d received %s", connection,
        m_received.value(connection).mid(before).toHex(' ').constData());
    return false;
}

// Under a window manager, as a user works: the terminal of the active session has the keyboard
// focus after a start with a session file, after each dialog of a session (OK or Cancel), after
// Ctrl+Tab and Window > n. An Alt shortcut's key does not reach the host.
void TestDesktop::keysReachTheHost()
{
    if (!m_display.startWindowManager())
        QSKIP("openbox is not installed (scripts/setup installs it) or did not start: no window manager to focus windows");
    const QString first = home(u"first.nvcf"_qs);
    const QString second = home(u"second.nvcf"_qs);
    for (const QString &file : { first, second }) {
        writeBytes(file, hostSessionFile(m_host.serverPort()));
    }
    const int base = m_connections;
    startProgram({ first });
    QTRY_VERIFY_WITH_TIMEOUT(m_connections > base, 20000);
    QVERIFY2(typedReachesHost(base, u"start"_qs), "the session started with a file has no focus");

    // Each dialog of a session opened with its keys and closed with Escape or Enter.
    struct Dialog
    {
        const char *name;
        QStringList open;
        QString title;
        QString close;
    };
    const Dialog dialogs[] = {
        { "settings cancelled", { u"alt+t"_qs, u"Up"_qs, u"Return"_qs }, u"^Norvalis Settings$"_qs,
            u"Escape"_qs },
        { "settings OK", { u"alt+t"_qs, u"Up"_qs, u"Return"_qs }, u"^Norvalis Settings$"_qs,
            u"Return"_qs },
        { "save as", { u"alt+f"_qs, u"a"_qs }, u"^Save As$"_qs, u"Escape"_qs },
        { "paste file", { u"alt+e"_qs, u"f"_qs }, u"^Select File to Paste$"_qs, u"Escape"_qs },
        { "capture by Alt+C", { u"alt+c"_qs }, u"^Begin Capture$"_qs, u"Escape"_qs },
        { "capture", { u"alt+r"_qs, u"c"_qs }, u"^Begin Capture$"_qs, u"Escape"_qs },
        { "upload", { u"alt+r"_qs, u"u"_qs }, u"Upload"_qs, u"Escape"_qs },
        { "download", { u"alt+r"_qs, u"d"_qs }, u"Download"_qs, u"Escape"_qs },
        { "printer settings", { u"alt+f"_qs, u"r"_qs }, u"^Norvalis Settings$"_qs, u"Escape"_qs },
        { "mouse settings", { u"alt+e"_qs, u"m"_qs }, u"^Norvalis Settings$"_qs, u"Escape"_qs },
        { "about", { u"alt+h"_qs, u"a"_qs }, u"^About Norvalis$"_qs, u"Return"_qs },
    };
    for (const Dialog &dialog : dialogs) {
        xdotool(QStringList { u"key"_qs, u"--delay"_qs, u"150"_qs } + dialog.open);
        QVERIFY2(!waitForWindow(dialog.title).isEmpty(), dialog.name);
        shot(u"keys-"_qs + QString::fromLatin1(dialog.name).replace(u' ', u'-'));
        xdotool({ u"key"_qs, dialog.close });
        QTRY_VERIFY2_WITH_TIMEOUT(!windowShown(dialog.title), dialog.name, 10000);
        const qsizetype before = m_received.at(base).size();
        QVERIFY2(typedReachesHost(base, u"k"_qs), dialog.name);
        QCOMPARE(m_received.at(base).mid(before), QByteArray("k"));
    }

    // A second session: Ctrl+Tab goes back to the first, Window > 2 to the second again (the
    // list is in opening order).
    keysToMain({ u"alt+f"_qs, u"o"_qs });
    QVERIFY(!waitForWindow(u"^Open"_qs).isEmpty());
    typeText(second);
    xdotool({ u"key"_qs, u"Return"_qs });
    QTRY_VERIFY_WITH_TIMEOUT(m_connections > base + 1, 20000);
    QVERIFY2(typedReachesHost(base + 1, u"two"_qs), "the opened session has no focus");
    xdotool({ u"key"_qs, u"ctrl+Tab"_qs });
    QVERIFY2(typedReachesHost(base, u"tab"_qs), "Ctrl+Tab leaves the focus behind");
    xdotool({ u"key"_qs, u"--delay"_qs, u"150"_qs, u"alt+w"_qs, u"2"_qs });
    QVERIFY2(typedReachesHost(base + 1, u"win"_qs), "Window > 2 leaves the focus behind");
    shot(u"keys-window-2"_qs);
}

// Double-clicking a word selects it and makes it the primary selection: the middle button pastes
// it to the host; Ctrl+Insert copies it to the clipboard and Shift+Insert pastes that.
void TestDesktop::selectionAndClipboardKeys()
{
    if (!m_display.startWindowManager())
        QSKIP("openbox is not installed (scripts/setup installs it) or did not start: no window manager to focus windows");
    const QString file = home(u"words.nvcf"_qs);
    writeBytes(file, hostSessionFile(m_host.serverPort()));
    const int base = m_connections;
    startProgram({ file });
    QTRY_VERIFY_WITH_TIMEOUT(m_connections > base, 20000);
    // Every cell of the screen is in the one word of its row.
    const QByteArray word = QByteArray("abcdefghij").repeated(7) + "klmnopqrs";
    QByteArray rows;
    for (int row = 0; row < 24; ++row)
        rows += (row ? "\r\n" : "") + word;
    m_sockets.at(base)->write(rows);
    // The middle of the main window is on the maximized session's screen.
    const QString main = waitForWindow(u"^Norvalis 2000$"_qs);
    automation::Remote session = sessionAt(0);
    session.set(u"WindowState"_qs, QVariant::fromValue(rt::Int(2)));
    QMap<QString, int> geometry;
    for (const QString &line :
        xdotool({ u"getwindowgeometry"_qs, u"--shell"_qs, main }).split(u'\n'))
        geometry.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    const QString x = QString::number(geometry.value(u"X"_qs) + geometry.value(u"WIDTH"_qs) / 2);
    const QString y = QString::number(geometry.value(u"Y"_qs) + geometry.value(u"HEIGHT"_qs) / 2);
    QTRY_VERIFY_WITH_TIMEOUT(
        session
            .call(u"GetText"_qs,
                { QVariant::fromValue(rt::Int(1)), QVariant::fromValue(rt::Int(1)),
                    QVariant::fromValue(rt::Int(-1)), QVariant::fromValue(rt::Int(0)) })
            .toString()
            .contains(u"abcdefghij"_qs),
        10000);
    xdotool({ u"mousemove"_qs, u"--sync"_qs, x, y });
    xdotool({ u"click"_qs, u"--repeat"_qs, u"2"_qs, u"--delay"_qs, u"80"_qs, u"1"_qs });
    shot(u"selection-word"_qs);
    qsizetype before = m_received.at(base).size();
    xdotool({ u"click"_qs, u"2"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(m_received.at(base).mid(before), word, 10000);

    before = m_received.at(base).size();
    xdotool({ u"key"_qs, u"--delay"_qs, u"150"_qs, u"ctrl+Insert"_qs, u"shift+Insert"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(m_received.at(base).mid(before), word, 10000);
}

// At twice the scale on 1280 x 1024 the settings dialog fits the screen, its buttons on it
// (NORVALIS_DESKTOP_SHOTS: the status line's panels beside each other, each with its text).
void TestDesktop::highDpiSettingsFit()
{
    if (!m_display.startWindowManager())
        QSKIP("openbox is not installed (scripts/setup installs it) or did not start: no window manager to place windows");
    startProgram({}, u"2"_qs);
    keysToMain({ u"alt+f"_qs, u"n"_qs });
    QTRY_COMPARE_WITH_TIMEOUT(sessionCount(), rt::Long(1), 20000);
    shot(u"high-dpi-main"_qs);
    keysToMain({ u"alt+t"_qs, u"Up"_qs, u"Return"_qs });
    const QString settings = waitForWindow(u"^Norvalis Settings$"_qs);
    QVERIFY2(!settings.isEmpty(), "Tools, Settings shows no settings dialog");
    shot(u"high-dpi-settings"_qs);
    QMap<QString, int> geometry;
    for (const QString &line :
        xdotool({ u"getwindowgeometry"_qs, u"--shell"_qs, settings }).split(u'\n'))
        geometry.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
    const QRect dialog(geometry.value(u"X"_qs), geometry.value(u"Y"_qs), geometry.value(u"WIDTH"_qs),
        geometry.value(u"HEIGHT"_qs));
    QVERIFY2(QRect(0, 0, 1280, 1024).contains(dialog),
        qPrintable(u"%1,%2 %3x%4"_qs.arg(dialog.x()).arg(dialog.y()).arg(dialog.width()).arg(dialog.height())));
    xdotool({ u"key"_qs, u"Escape"_qs });
    QTRY_VERIFY_WITH_TIMEOUT(!windowShown(u"^Norvalis Settings$"_qs), 10000);
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
