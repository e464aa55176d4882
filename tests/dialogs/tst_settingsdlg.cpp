#include "app/appglobals.h"
#include "app/files.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/tst_norvalis_fakes.h"
#include "common/modal.h"
#include "common/testutil.h"
#include "commondlg/commondlg.h"
#include "commondlg/helpwindow.h"
#include "session/sessionsettings.h"
#include "dialogs/settingsdlg.h"
#include "dialogs/settingsfields.h"
#include "emulator/emusettings.h"
#include "interfaces/appiface.h"
#include "registry/registry.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaProperty>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

namespace {

// The session's own settings, recording every write.
class FakeSessionSettings : public SessionSettings
{
public:
    QString menu, caption, icon, mouseTable;
    rt::Int showErrs = rt::False, autoClose = rt::False;
    QStringList writes;
    // Raised by the mouse-table setter while set, as a session raises a table it cannot load.
    std::optional<rt::Error> mouseTableError;

    QString Menu() const override { return menu; }
    void setMenu(const QString &v) override { record(u"Menu"_qs, v, menu); }
    QString Caption() const override { return caption; }
    void setCaption(const QString &v) override { record(u"Caption"_qs, v, caption); }
    QString Icon() const override { return icon; }
    void setIcon(const QString &v) override { record(u"Icon"_qs, v, icon); }
    rt::Int ShowErrs() const override { return showErrs; }
    void setShowErrs(rt::Int v) override { record(u"ShowErrs"_qs, v, showErrs); }
    rt::Int AutoClose() const override { return autoClose; }
    void setAutoClose(rt::Int v) override { record(u"AutoClose"_qs, v, autoClose); }
    QString MouseTable() const override { return mouseTable; }
    void setMouseTable(const QString &v) override
    {
        if (mouseTableError)
            throw *mouseTableError;
        record(u"MouseTable"_qs, v, mouseTable);
    }

private:
    template<class T> void record(const QString &name, const T &value, T &field)
    {
        writes << name + u'=' + QVariant::fromValue(value).toString();
        field = value;
    }
};

using Snapshot = QMap<QString, QString>;

// Every value of the emulator's settings, by key ("Palette3").
Snapshot snapshot(const emu::Settings &settings)
{
    Snapshot values;
    for (const emu::SettingDef &def : emu::settingTable()) {
        if (def.id == emu::Setting::Changed)
            continue;
        for (int i = 0; i < std::max(1, def.count); ++i)
            values[def.count ? def.name + QString::number(i) : def.name]
                = settings.value(def.id, i).toString();
    }
    return values;
}

// Every property of the program's settings interface.
Snapshot snapshot(const GlobalSettingsIface &global)
{
    Snapshot values;
    const QMetaObject *meta = global.metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        values[QString::fromLatin1(meta->property(i).name())]
            = meta->property(i).read(&global).toString();
    return values;
}

QStringList changedKeys(const Snapshot &before, const Snapshot &after)
{
    QStringList keys;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            keys << it.key();
    }
    return keys;
}

} // namespace

class tst_settingsdlg : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestMainWindow> m_main;
    std::unique_ptr<emu::Settings> m_emu;
    std::unique_ptr<FakeSessionSettings> m_session;
    QStringList m_messages;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    GlobalSettingsIface *global() const { return gApp->AsGlobalSettings(); }

    // Replaces $DIR in a text by the test's folder.
    QString expand(QString text) const { return text.replace(u"$DIR"_qs, m_dir->path()); }

    std::unique_ptr<SettingsWindow> open(const QString &startPage = QString(), bool withSession = true)
    {
        auto window = std::make_unique<SettingsWindow>(withSession ? m_session.get() : nullptr,
            global(), withSession ? m_emu.get() : nullptr, startPage);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the settings window was not exposed");
        return window;
    }

    // Shows a page by clicking its entry in the list.
    static void goToPage(SettingsWindow &window, const QString &title)
    {
        const QList<QListWidgetItem *> items = window.lstPages->findItems(title, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(title));
        const QRect rect = window.lstPages->visualItemRect(items.first());
        QTest::mouseClick(window.lstPages->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(window.currentPageTitle(), title);
    }

    // Enters input into a field the way a user does: types into a text, picks a list entry by
    // its text, or clicks a check box ("toggle").
    static void enter(SettingsWindow &window, const QString &key, const QString &input)
    {
        QWidget *widget = window.findChild<QWidget *>(key);
        QVERIFY2(widget, qPrintable(key));
        for (QWidget *page = widget; page; page = page->parentWidget()) {
            if (page->objectName().startsWith(u"page:"))
                goToPage(window, page->objectName().section(u':', 1));
        }
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            QCOMPARE(input, u"toggle"_qs);
            if (box->isVisible())
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
            else
                box->toggle(); // a row the chosen device hides
        } else if (auto *combo = qobject_cast<QComboBox *>(widget); combo && !combo->isEditable()) {
            const int index = combo->findText(input);
            QVERIFY2(index >= 0, qPrintable(input));
            combo->setCurrentIndex(index);
        } else {
            QLineEdit *edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(widget);
            QVERIFY(edit);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, input);
        }
    }

    static void clickOK(SettingsWindow &window)
    {
        QTest::mouseClick(window.cmdOK, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
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
        useProgramFolder(m_dir->path());
        const QString menus = qEnvironmentVariable("NORVALIS_BIN_DIR");
        QVERIFY(QFile::copy(menus + u"/dfltmain.mnu"_qs, path(u"dfltmain.mnu"_qs)));
        m_main = registeredMainWindow();
        new Norvalis;
        QVERIFY(gApp);
        m_emu = std::make_unique<emu::Settings>();
        m_session = std::make_unique<FakeSessionSettings>();
        m_messages.clear();
        // Files the path fields can name.
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QVERIFY(picture.save(path(u"icon.png"_qs)));
        QFile table(path(u"mouse.tbl"_qs));
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.write("; a mouse table\n1\tpattern\tx\ty\n");
    }
    void cleanup()
    {
        delete gApp.data();
        dropMainWindow(m_main);
        m_emu.reset();
        m_session.reset();
        qunsetenv("NORVALIS_APPDIR");
        QVERIFY(m_messages.isEmpty());
    }

    void pages_data()
    {
        QTest::addColumn<bool>("withSession");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("shown");
        const QStringList all = { u"Connection"_qs, u"Terminal"_qs, u"Screen"_qs, u"Printer"_qs,
            u"Paste"_qs, u"Transfer"_qs, u"Mouse"_qs, u"Program"_qs };
        QTest::newRow("no start page") << true << QString() << all << u"Connection"_qs;
        QTest::newRow("X") << true << u"X"_qs << all << u"Transfer"_qs;
        QTest::newRow("x") << true << u"x"_qs << all << u"Transfer"_qs;
        QTest::newRow("M") << true << u"M"_qs << all << u"Mouse"_qs;
        QTest::newRow("P with a session") << true << u"P"_qs << all << u"Printer"_qs;
        QTest::newRow("unknown") << true << u"Q"_qs << all << u"Connection"_qs;
        QTest::newRow("P alone") << false << u"P"_qs << QStringList { u"Program"_qs }
                                 << u"Program"_qs;
        QTest::newRow("X alone") << false << u"X"_qs << QStringList { u"Program"_qs }
                                 << u"Program"_qs;
        QTest::newRow("alone") << false << QString() << QStringList { u"Program"_qs }
                               << u"Program"_qs;
    }
    // F1 and the Help button open the guide over the dialog (at the page's topic: see
    // tst_helpwindow); the dialog stays.
    void helpKey()
    {
        const auto window = open(u"X"_qs);
        QVERIFY(window->cmdHelp->isVisible());
        QTest::keyClick(window->lstPages, Qt::Key_F1);
        QTRY_VERIFY(commondlg::HelpWindow::current());
        QVERIFY(window->isVisible());
        commondlg::showHelp(nullptr, QString(), commondlg::HelpCommand::Quit);
        QTRY_VERIFY(!commondlg::HelpWindow::current());
    }

    void pages()
    {
        QFETCH(bool, withSession);
        QFETCH(QString, start);
        QFETCH(QStringList, pages);
        QFETCH(QString, shown);
        const auto window = open(start, withSession);
        QCOMPARE(window->pageTitles(), pages);
        QCOMPARE(window->currentPageTitle(), shown);
        QCOMPARE(window->pages->count(), pages.size());
        // Without a session no field of a session is there.
        QCOMPARE(window->findChild<QWidget *>(u"emu:HostName"_qs) != nullptr, withSession);
        QCOMPARE(window->findChild<QWidget *>(u"session:Caption"_qs) != nullptr, withSession);
    }

    // One field at a time: a bad input shows its message and writes nothing anywhere; a good
    // one writes that one setting and closes the window.
    void field_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message"); // "" when the input is good
        QTest::addColumn<QString>("stored"); // the value then read back
        QTest::addColumn<int>("device"); // the session's device

        constexpr int serial = emu::device::Serial;
        auto good = [](const char *name, const char *key, const char *input, const char *stored,
                        int device = emu::device::Telnet) {
            QTest::newRow(name) << QString::fromUtf8(key) << QString::fromUtf8(input) << QString()
                                << QString::fromUtf8(stored) << device;
        };
        auto bad = [](const char *name, const char *key, const char *input, const char *message,
                       int device = emu::device::Telnet) {
            QTest::newRow(name) << QString::fromUtf8(key) << QString::fromUtf8(input)
                                << QString::fromUtf8(message) << QString() << device;
        };
        const char *const rowsRange = "Rows: enter a whole number from 1 to 256.";
        // Emulator settings.
        good("host", "emu:HostName", "  host.example  ", "host.example");
        good("user at host", "emu:HostName", "me@host.example", "me@host.example");
        bad("host with a blank", "emu:HostName", "my host",
            "Host name: a host name cannot begin with \"-\" or hold blanks or control characters.");
        bad("host as an option", "emu:HostName", "-oProxyCommand=x",
            "Host name: a host name cannot begin with \"-\" or hold blanks or control characters.");
        good("port", "emu:HostPort", "2323", "2323");
        bad("port 0", "emu:HostPort", "0",
            "Port: enter a port number from 1 to 65535, or nothing for the device's own.");
        bad("port too high", "emu:HostPort", "65536",
            "Port: enter a port number from 1 to 65535, or nothing for the device's own.");
        good("device", "emu:Device", "Serial Port", "1"); // SSH needs a host: see portOfTheDevice
        good("serial port", "emu:Port", "/dev/ttyUSB2", "102", serial);
        good("pseudo-terminal", "emu:Port", "pts/7", "1007", serial);
        bad("serial port by another name", "emu:Port", "COM1",
            "Port: enter a serial device such as /dev/ttyS0, /dev/ttyUSB0, /dev/ttyACM0 or "
            "/dev/pts/3.",
            serial);
        good("baud", "emu:Baud", "115200", "11", serial);
        // A field the chosen device does not use is hidden, and neither checked nor written.
        good("serial port of telnet", "emu:Port", "COM1", "");
        good("telnet option of ssh", "emu:TelnetBinary", "toggle", "", emu::device::Ssh);
        good("connect time-out", "emu:ConnectTimeout", "0", "0");
        good("terminal type", "emu:TermType", "DEC VT220", "8");
        good("backspace", "emu:BkspSendsDel", "toggle", "1");
        good("rows", "emu:NormRows", "30", "30");
        good("rows, lowest", "emu:NormRows", "1", "1");
        good("rows, highest", "emu:NormRows", "256", "256");
        bad("rows 0", "emu:NormRows", "0", rowsRange);
        bad("rows 257", "emu:NormRows", "257", rowsRange);
        bad("rows not a number", "emu:NormRows", "thirty", rowsRange);
        bad("rows with a fraction", "emu:NormRows", "24.5", rowsRange);
        good("history", "emu:HistoryRows", "32767", "32767");
        bad("history beyond 16 bits", "emu:HistoryRows", "32768",
            "History (lines): enter a whole number from 0 to 32767.");
        good("colour", "emu:Palette1", "#00ff80", QByteArray::number(0x80FF00).constData());
        good("colour without #", "emu:Palette15", "102030", QByteArray::number(0x302010).constData());
        bad("colour of 5 digits", "emu:Palette1", "#12345",
            "Red: enter the colour as #RRGGBB (six hexadecimal digits).");
        bad("colour not hexadecimal", "emu:Palette1", "#GG0000",
            "Red: enter the colour as #RRGGBB (six hexadecimal digits).");
        bad("printer time-out", "emu:PrinterTimeout", "-1",
            "End a host print job after (idle seconds): enter a whole number from 0 to 3600.");
        good("paste line end", "emu:PasteEOLMode", "LF", "2");
        bad("paste end character", "emu:PasteEOFChar", "256",
            "End-of-text character code: enter a whole number from 0 to 255.");
        good("transfer folder", "emu:DefaultXferDir", "$DIR", "$DIR");
        bad("missing transfer folder", "emu:DefaultXferDir", "$DIR/none",
            "Transfer folder: there is no folder \"$DIR/none\".");
        bad("file as transfer folder", "emu:DefaultXferDir", "$DIR/icon.png",
            "Transfer folder: there is no folder \"$DIR/icon.png\".");
        good("kermit quote", "emu:KermitQuote", "38", "38");
        bad("kermit quote blank", "emu:KermitQuote", "32",
            "Control prefix character code: enter a whole number from 33 to 126.");
        good("zmodem auto", "emu:ZModemAuto", "toggle", "0");
        // The session's own settings.
        good("title", "session:Caption", "Build host", "Build host");
        good("icon", "session:Icon", "$DIR/icon.png", "$DIR/icon.png");
        bad("icon not a picture", "session:Icon", "$DIR/mouse.tbl",
            "Icon: \"$DIR/mouse.tbl\" is not a picture Norvalis can read.");
        good("menu by name", "session:Menu", "other.mnu", "other.mnu");
        bad("missing menu", "session:Menu", "$DIR/none.mnu",
            "Menu file: there is no file \"$DIR/none.mnu\".");
        good("mouse table", "session:MouseTable", "$DIR/mouse.tbl", "$DIR/mouse.tbl");
        bad("missing mouse table", "session:MouseTable", "$DIR/none.tbl",
            "Mouse table: there is no file \"$DIR/none.tbl\".");
        bad("folder as mouse table", "session:MouseTable", "$DIR",
            "Mouse table: \"$DIR\" is a folder, not a file.");
        good("auto close", "session:AutoClose", "toggle", "-1");
        // The program's settings.
        good("recent list", "app:RecentListSize", "7", "7");
        bad("recent list too long", "app:RecentListSize", "21",
            "Recent files listed: enter a whole number from 0 to 20.");
        good("toolbar", "app:ToolbarVisible", "toggle", "0");
        good("blocked keys", "app:BlockedHotKeys", "cG", QByteArray::number(4 | 64).constData());
        bad("blocked keys with a digit", "app:BlockedHotKeys", "C1",
            "Blocked Alt+letter shortcuts: enter letters from A to Z only.");
        good("phone book", "app:PhoneBook", "$DIR/new.dat", "$DIR/new.dat");
        bad("phone book in no folder", "app:PhoneBook", "$DIR/none/PHONE.DAT",
            "Phone book: there is no folder \"$DIR/none\".");
        good("program title", "app:Caption", "My terminals", "My terminals");
        good("capture folder", "app:DefaultCaptureDir", "$DIR", "$DIR");
    }
    void field()
    {
        QFETCH(QString, key);
        QFETCH(QString, input);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        QFETCH(int, device);
        m_emu->setDevice(rt::Int(device));
        m_emu->setChanged(false);
        input = expand(input);
        message = expand(message);
        stored = expand(stored);

        const auto window = open();
        const Snapshot emuBefore = snapshot(*m_emu);
        const Snapshot appBefore = snapshot(*global());
        enter(*window, key, input);
        goToPage(*window, u"Connection"_qs);
        clickOK(*window);

        const QStringList emuChanged = changedKeys(emuBefore, snapshot(*m_emu));
        const QStringList appChanged = changedKeys(appBefore, snapshot(*global()));
        const QString store = key.section(u':', 0, 0);
        const QString name = key.section(u':', 1);
        if (!message.isEmpty()) {
            QCOMPARE(window->errorText(), message);
            QVERIFY(window->isVisible());
            QCOMPARE(window->result(), int(QDialog::Rejected));
            QCOMPARE(emuChanged, QStringList());
            QCOMPARE(appChanged, QStringList());
            QCOMPARE(m_session->writes, QStringList());
            // The field is shown with the focus, ready to be put right.
            QCOMPARE(window->focusWidget(), window->findChild<QWidget *>(key));
            return;
        }
        QCOMPARE(window->errorText(), QString());
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QVERIFY(!window->isVisible());
        if (stored.isEmpty()) {
            QCOMPARE(emuChanged, QStringList());
        } else if (store == u"emu") {
            QCOMPARE(emuChanged, QStringList { name });
            QCOMPARE(snapshot(*m_emu).value(name), stored);
        } else {
            QCOMPARE(emuChanged, QStringList());
        }
        if (store == u"app") {
            QCOMPARE(appChanged, QStringList { name });
            QCOMPARE(snapshot(*global()).value(name), stored);
        } else {
            QCOMPARE(appChanged, QStringList());
        }
        QCOMPARE(m_session->writes,
            store == u"session" ? QStringList { name + u'=' + stored } : QStringList());
    }

    // Cancel, and the close box, write nothing of what was entered.
    void cancelWritesNothing_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void cancelWritesNothing()
    {
        QFETCH(bool, closeBox);
        const auto window = open();
        const Snapshot emuBefore = snapshot(*m_emu);
        const Snapshot appBefore = snapshot(*global());
        const QByteArray registryBefore = readBytes(path(u"user.reg"_qs));
        enter(*window, u"emu:HostName"_qs, u"elsewhere"_qs);
        enter(*window, u"emu:TermType"_qs, u"Wyse 60"_qs);
        enter(*window, u"session:Caption"_qs, u"Other"_qs);
        enter(*window, u"app:RecentListSize"_qs, u"9"_qs);
        enter(*window, u"app:SingleInstance"_qs, u"toggle"_qs);
        if (closeBox)
            window->close();
        else
            QTest::mouseClick(window->cmdCancel, Qt::LeftButton);
        QCOMPARE(window->result(), int(QDialog::Rejected));
        QVERIFY(!window->isVisible());
        QCOMPARE(changedKeys(emuBefore, snapshot(*m_emu)), QStringList());
        QCOMPARE(changedKeys(appBefore, snapshot(*global())), QStringList());
        QCOMPARE(m_session->writes, QStringList());
        QCOMPARE(readBytes(path(u"user.reg"_qs)), registryBefore);
    }

    // Several changes at once: each written once, nothing else; a bad one among them stops all.
    void severalFields()
    {
        const auto window = open();
        const Snapshot emuBefore = snapshot(*m_emu);
        enter(*window, u"emu:NormCols"_qs, u"100"_qs);
        enter(*window, u"emu:Palette0"_qs, u"#101010"_qs);
        enter(*window, u"emu:KermitTimeout"_qs, u"95"_qs);
        enter(*window, u"session:ShowErrs"_qs, u"toggle"_qs);
        clickOK(*window);
        QCOMPARE(window->errorText(), u"Time-out (seconds): enter a whole number from 1 to 94."_qs);
        QCOMPARE(window->currentPageTitle(), u"Transfer"_qs);
        QCOMPARE(changedKeys(emuBefore, snapshot(*m_emu)), QStringList());
        QCOMPARE(m_session->writes, QStringList());

        enter(*window, u"emu:KermitTimeout"_qs, u"20"_qs);
        clickOK(*window);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QCOMPARE(changedKeys(emuBefore, snapshot(*m_emu)),
            (QStringList { u"KermitTimeout"_qs, u"NormCols"_qs, u"Palette0"_qs }));
        QCOMPARE(m_session->writes, QStringList { u"ShowErrs=-1"_qs });
        QVERIFY(m_emu->Changed());
    }

    // A value typed and typed back, or a field left as it was, is not written, even when the
    // stored value is one the field would not accept or the list does not name.
    void untouchedFieldsStay()
    {
        m_emu->setNormRows(300);
        m_emu->setBaud(250); // a rate of its own, not a code of the list
        m_emu->setFontName(u"No Such Font"_qs);
        m_emu->setPrinterPaperSize(256);
        m_emu->setChanged(false);
        m_session->mouseTable = path(u"gone.tbl"_qs);
        const auto window = open();
        QCOMPARE(window->findChild<QLineEdit *>(u"emu:NormRows"_qs)->text(), u"300"_qs);
        QCOMPARE(window->findChild<QComboBox *>(u"emu:Baud"_qs)->currentText(), u"250"_qs);
        QCOMPARE(window->findChild<QComboBox *>(u"emu:FontName"_qs)->currentText(),
            u"No Such Font"_qs);
        enter(*window, u"emu:HostName"_qs, u"x"_qs);
        enter(*window, u"emu:HostName"_qs, QString());
        clickOK(*window);
        QCOMPARE(window->errorText(), QString());
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QVERIFY(!m_emu->Changed());
        QCOMPARE(m_emu->NormRows(), rt::Int(300));
        QCOMPARE(m_emu->Baud(), rt::Int(250));
        QCOMPARE(m_emu->FontName(), u"No Such Font"_qs);
        QCOMPARE(m_emu->PrinterPaperSize(), rt::Int(256));
        QCOMPARE(m_session->writes, QStringList());
    }

    // A setter that refuses its value keeps the window open with the owner's message; what
    // was written before it is not written again on the next OK.
    void refusedBySetter()
    {
        m_session->mouseTableError = rt::Error(rt::err::FileNotFound, u"File not found"_qs);
        const auto window = open();
        enter(*window, u"session:Caption"_qs, u"Title"_qs);
        enter(*window, u"session:MouseTable"_qs, path(u"mouse.tbl"_qs));
        clickOK(*window);
        QCOMPARE(window->errorText(), u"Mouse table: File not found"_qs);
        QCOMPARE(window->currentPageTitle(), u"Mouse"_qs);
        QVERIFY(window->isVisible());
        QCOMPARE(m_session->writes, QStringList { u"Caption=Title"_qs });

        m_session->mouseTableError.reset();
        clickOK(*window);
        QCOMPARE(window->result(), int(QDialog::Accepted));
        QCOMPARE(m_session->writes,
            (QStringList { u"Caption=Title"_qs, u"MouseTable="_qs + path(u"mouse.tbl"_qs) }));
    }

    // Browse asks the common dialog for a file or a folder, from what the field holds; its
    // answer replaces the text, a cancel leaves it.
    void browse_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("answer"); // "" cancels
        const int folder = int(commondlg::Kind::Folder), file = int(commondlg::Kind::OpenFile);
        QTest::newRow("folder") << u"emu:DefaultXferDir"_qs << u"$DIR"_qs << folder
                                << u"/tmp"_qs;
        QTest::newRow("folder, cancelled") << u"emu:DefaultXferDir"_qs << u"$DIR"_qs << folder
                                           << QString();
        QTest::newRow("mouse table") << u"session:MouseTable"_qs << u"$DIR/mouse.tbl"_qs << file
                                     << u"$DIR/other.tbl"_qs;
        QTest::newRow("icon, cancelled")
            << u"app:Icon"_qs << u"$DIR/icon.png"_qs << file << QString();
    }
    void browse()
    {
        QFETCH(QString, key);
        QFETCH(QString, start);
        QFETCH(int, kind);
        QFETCH(QString, answer);
        start = expand(start);
        answer = expand(answer);
        const auto window = open();
        enter(*window, key, start);
        QList<commondlg::Request> asked;
        commondlg::setHook([&](const commondlg::Request &request) -> commondlg::Answer {
            asked << request;
            if (answer.isEmpty())
                return std::nullopt;
            return answer;
        });
        QTest::mouseClick(
            window->findChild<QPushButton *>(key + u".browse"_qs), Qt::LeftButton);
        commondlg::setHook({});
        QCOMPARE(asked.size(), 1);
        QCOMPARE(int(asked.first().kind), kind);
        QCOMPARE(asked.first().directory, kind == int(commondlg::Kind::Folder)
                ? start
                : QFileInfo(start).absolutePath());
        QCOMPARE(window->findChild<QLineEdit *>(key)->text(), answer.isEmpty() ? start : answer);
    }

    // The Connection page shows the rows of the chosen device.
    void deviceRows_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("hidden");
        const QString host = u"emu:HostName"_qs, port = u"emu:Port"_qs,
                      telnet = u"emu:TelnetBinary"_qs, ssh = u"emu:SSHKeepAlive"_qs,
                      modem = u"emu:AutoAnswer"_qs, timeout = u"emu:ConnectTimeout"_qs,
                      session = u"session:ShowErrs"_qs;
        QTest::newRow("none") << u"No Device"_qs << QStringList { session }
                              << QStringList { host, port, telnet, ssh, modem, timeout };
        QTest::newRow("serial") << u"Serial Port"_qs << QStringList { port, session }
                                << QStringList { host, telnet, ssh, modem, timeout };
        QTest::newRow("tcp") << u"TCP/IP"_qs << QStringList { host, timeout, session }
                             << QStringList { port, telnet, ssh, modem };
        QTest::newRow("telnet") << u"Telnet"_qs << QStringList { host, telnet, timeout, session }
                                << QStringList { port, ssh, modem };
        QTest::newRow("modem") << u"Modem"_qs << QStringList { port, modem, timeout, session }
                               << QStringList { host, telnet, ssh };
        QTest::newRow("ssh") << u"SSH"_qs << QStringList { host, ssh, timeout, session }
                             << QStringList { port, telnet, modem };
    }
    void deviceRows()
    {
        QFETCH(QString, device);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, hidden);
        const auto window = open();
        enter(*window, u"emu:Device"_qs, device);
        for (const QString &key : shown)
            QVERIFY2(window->findChild<QWidget *>(key)->isVisible(), qPrintable(key));
        for (const QString &key : hidden)
            QVERIFY2(!window->findChild<QWidget *>(key)->isVisible(), qPrintable(key));
    }

    // The link options stand under the device's name, the port's hint says what an empty port
    // means there, and OK checks the port and host for the device chosen: an empty port only where
    // the device has a port of its own, an empty host only where it has no host.
    void portOfTheDevice_data()
    {
        QTest::addColumn<int>("from"); // the session's device
        QTest::addColumn<QString>("host"); // the session's host
        QTest::addColumn<QString>("port"); // the session's port
        QTest::addColumn<QString>("device"); // chosen in the window
        QTest::addColumn<QString>("typed"); // into the port ("-": left alone)
        QTest::addColumn<QString>("hint"); // the port's grey hint
        QTest::addColumn<QString>("message");
        const int telnet = emu::device::Telnet, tcp = emu::device::Tcp,
                  serial = emu::device::Serial;
        const QString none = u"Port: enter a port number from 1 to 65535 (the device has no port "
                             "of its own)."_qs;
        const QString noHost = u"Host name: enter the host to connect to."_qs;
        const QString host = u"127.0.0.1"_qs, tcpHint = u"required: a TCP port"_qs;
        QTest::newRow("TCP/IP chosen without a port")
            << telnet << host << "" << "TCP/IP" << "-" << tcpHint << none;
        QTest::newRow("TCP/IP chosen with a port")
            << telnet << host << "" << "TCP/IP" << "23456" << tcpHint << "";
        QTest::newRow("TCP/IP port emptied")
            << tcp << host << "7000" << "TCP/IP" << "" << tcpHint << none;
        QTest::newRow("TCP/IP port 0") << tcp << host << "7000" << "TCP/IP" << "0" << tcpHint << none;
        QTest::newRow("Telnet without a port")
            << tcp << host << "" << "Telnet" << "-" << "23 when empty" << "";
        QTest::newRow("SSH without a port")
            << tcp << host << "7000" << "SSH" << "" << "22 when empty" << "";
        QTest::newRow("Telnet chosen without a host")
            << serial << "" << "" << "Telnet" << "-" << "23 when empty" << noHost;
        QTest::newRow("SSH host emptied")
            << tcp << "" << "22" << "SSH" << "-" << "22 when empty" << noHost;
        QTest::newRow("serial line chosen without a host")
            << telnet << "" << "" << "Serial Port" << "-" << "23 when empty" << "";
    }
    void portOfTheDevice()
    {
        QFETCH(int, from);
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, device);
        QFETCH(QString, typed);
        QFETCH(QString, hint);
        QFETCH(QString, message);
        m_emu->setDevice(rt::Int(from));
        m_emu->setHostPort(port);
        m_emu->setHostName(from == emu::device::Tcp ? u"127.0.0.1"_qs : host);
        const auto window = open();
        enter(*window, u"emu:Device"_qs, device);
        if (from == emu::device::Tcp && host.isEmpty())
            enter(*window, u"emu:HostName"_qs, host);
        if (typed != u"-")
            enter(*window, u"emu:HostPort"_qs, typed);
        const auto *group
            = window->findChild<QGroupBox *>(u"group:"_qs + settingsdlg::deviceGroup());
        QVERIFY(group);
        if (device != u"SSH")
            QCOMPARE(group->title(), device);
        if (device != u"Serial Port")
            QCOMPARE(window->findChild<QLineEdit *>(u"emu:HostPort"_qs)->placeholderText(), hint);
        clickOK(*window);
        QCOMPARE(window->errorText(), message);
        QCOMPARE(window->isVisible(), !message.isEmpty());
        const QString wrong = message.startsWith(u"Host") ? u"emu:HostName"_qs : u"emu:HostPort"_qs;
        if (!message.isEmpty())
            QCOMPARE(window->focusWidget(), window->findChild<QWidget *>(wrong));
        else
            QCOMPARE(m_emu->HostPort(), typed == u"-" ? port : typed);
    }

    // The terminal types are listed by name (numbers by value), each keeping its stored code.
    void terminalTypesByName()
    {
        const auto window = open();
        const auto *list = window->findChild<QComboBox *>(u"emu:TermType"_qs);
        QVERIFY(list);
        const QList<std::pair<QString, int>> expected = { { u"ADDS Viewpoint 60"_qs, 2 },
            { u"ADDS Viewpoint A2"_qs, 1 }, { u"ANSI"_qs, 9 }, { u"DEC VT52"_qs, 7 },
            { u"DEC VT100"_qs, 12 }, { u"DEC VT220"_qs, 8 }, { u"DEC VT320"_qs, 13 },
            { u"DEC VT420"_qs, 14 }, { u"Linux Console"_qs, 16 }, { u"Pick PC Monitor"_qs, 10 },
            { u"Procomm VP60"_qs, 3 }, { u"SCO Console"_qs, 15 }, { u"Tektronix 4014"_qs, 11 },
            { u"Tektronix 4100"_qs, 17 }, { u"TTY Emulation"_qs, 0 },
            { u"Viewpoint A2 Enhanced"_qs, 4 }, { u"Wyse 50"_qs, 5 }, { u"Wyse 60"_qs, 6 } };
        QList<std::pair<QString, int>> shown;
        for (int i = 0; i < list->count(); ++i)
            shown.append({ list->itemText(i), list->itemData(i).toInt() });
        QCOMPARE(shown, expected);
    }

    // The entry point: with nobody to answer (the offscreen platform) it returns at once,
    // cancelled, and writes nothing.
    void showWithNobodyToAnswer()
    {
        if (QGuiApplication::platformName() != u"offscreen")
            QSKIP("runs on the offscreen platform");
        const Snapshot emuBefore = snapshot(*m_emu);
        QVariant result = 42;
        SettingsDialog().Show(m_session.get(), global(), m_emu.get(), QString(), QString(),
            u"X"_qs, 0, 0, nullptr, result);
        QCOMPARE(result, QVariant::fromValue(rt::False));
        QCOMPARE(changedKeys(emuBefore, snapshot(*m_emu)), QStringList());
    }

    // The entry point shows the window modally on its start page and answers how it closed:
    // OK, Cancel, or the program ending while it is open.
    void showModally_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("close");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("OK") << u"X"_qs << u"Transfer"_qs << u"OK"_qs << true;
        QTest::newRow("Cancel") << u"M"_qs << u"Mouse"_qs << u"Cancel"_qs << false;
        QTest::newRow("program ends") << u"P"_qs << u"Printer"_qs << u"end"_qs << false;
    }
    void showModally()
    {
        QFETCH(QString, start);
        QFETCH(QString, page);
        QFETCH(QString, close);
        QFETCH(bool, accepted);
        QString shownPage;
        QVariant result;
        {
            const ModalAnswer<SettingsWindow> answer([&](SettingsWindow &window) {
                shownPage = window.currentPageTitle();
                enter(window, u"emu:KermitTimeout"_qs, u"33"_qs);
                if (close == u"OK")
                    clickOK(window);
                else if (close == u"Cancel")
                    QTest::mouseClick(window.cmdCancel, Qt::LeftButton);
                else
                    rt::cancelModalWindows();
            });
            SettingsDialog().Show(m_session.get(), global(), m_emu.get(), QString(), QString(),
                start, 0, 0, m_main->widget(), result);
        }
        QCOMPARE(shownPage, page);
        QCOMPARE(result, QVariant::fromValue(accepted ? rt::True : rt::False));
        QCOMPARE(m_emu->KermitTimeout(), rt::Int(accepted ? 33 : 10));
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Every field of the table has its widget, named after it, on its own page.
    void everyFieldHasItsWidget()
    {
        const auto window = open();
        for (const settingsdlg::Field &field : settingsdlg::fields()) {
            if (field.kind == settingsdlg::Kind::Note)
                continue;
            QWidget *widget = window->findChild<QWidget *>(field.key());
            QVERIFY2(widget, qPrintable(field.key()));
            QWidget *page = window->findChild<QWidget *>(u"page:"_qs + settingsdlg::pageTitle(field.page));
            QVERIFY2(page && page->isAncestorOf(widget), qPrintable(field.key()));
        }
    }

    // tests/screenshot.sh dialogs_tst_settingsdlg screenshots out.png: the first page in
    // out.png, every page in out-<page>.png.
    void screenshots()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        m_emu->setHostName(u"host.example"_qs);
        m_session->caption = u"Accounts"_qs;
        const auto window = open();
        const QString base = out.chopped(4);
        for (const QString &title : window->pageTitles()) {
            goToPage(*window, title);
            QVERIFY(window->grab().save(base + u'-' + title.toLower() + u".png"_qs));
        }
        enter(*window, u"emu:NormRows"_qs, u"0"_qs);
        clickOK(*window);
        QVERIFY(window->grab().save(base + u"-refused.png"_qs));
        QVERIFY(QFile::copy(base + u"-connection.png"_qs, out));
        const auto alone = open(QString(), false);
        QVERIFY(alone->grab().save(base + u"-alone.png"_qs));
        // A TCP/IP link without a port: its options under its name, and OK refused.
        const auto tcp = open();
        enter(*tcp, u"emu:Device"_qs, u"TCP/IP"_qs);
        clickOK(*tcp);
        QVERIFY(tcp->grab().save(base + u"-tcp.png"_qs));
        // A serial line: the Port box shows the whole device name.
        m_emu->setDevice(emu::device::Serial);
        m_emu->setPort(100);
        const auto serial = open();
        QVERIFY(serial->grab().save(base + u"-serial.png"_qs));
    }
};

QTEST_MAIN(tst_settingsdlg)
#include "tst_settingsdlg.moc"
