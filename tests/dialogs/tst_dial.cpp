// The dialer inside the running program, driven through its widgets: the phone book it shows and
// edits, the button table, dialing and hanging up through a session whose device is a fake Hayes
// modem on a pseudo-terminal, and the failures it reports.

#include "app/tst_startup_env.h"

#include "commondlg/commondlg.h"
#include "dialing/dialing.h"
#include "dialogs/dial.h"
#include "emulator/emulator.h"
#include "menus/menus.h"
#include "runtime/interaction.h"
#include "platform/hayesmodem.h"
#include "session/session.h"
#include "session/sessions.h"
#include "vplist/vplistbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <functional>

namespace {

using Step = std::function<void(frmDial &)>;

std::shared_ptr<clsSession> asSession(const SessionPtr &session)
{
    return std::static_pointer_cast<clsSession>(session);
}

QStringList listLines(const frmDial &form)
{
    QStringList lines;
    for (int i = 0; i < form.phonebk->ListCount(); ++i)
        lines << form.phonebk->List(i);
    return lines;
}

// The default button and the enabled state of Dial, Add, Delete and Update, as one text:
// "Dial: dial add delete -" (a disabled button shows as "-").
QString buttons(const frmDial &form)
{
    QString text = form.cmdDial->isDefault() ? u"Dial:"_qs
        : form.cmdDisc->isDefault()          ? u"HangUp:"_qs
                                             : u"Close:"_qs;
    const std::pair<QPushButton *, const char *> row[] = { { form.cmdDial, "dial" },
        { form.cmdAdd, "add" }, { form.cmdDelete, "delete" }, { form.cmdUpdate, "update" } };
    for (const auto &[button, name] : row)
        text += u' ' + (button->isEnabled() ? QLatin1String(name) : QLatin1String("-"));
    return text;
}

// Types into a text box as a user does.
void type(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Notes whether the dialer's window is ever shown while it lives.
class DialerShown : public QObject
{
public:
    DialerShown() { qApp->installEventFilter(this); }
    bool shown = false;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show && frmDial::instance().isLoaded()
            && object == frmDial::instance().widget())
            shown = true;
        return false;
    }
};

} // namespace

// Runs the dialer and drives it: whenever it is on screen and active, the next step gets it; a
// message window that opens meanwhile is noted and closed (OK). When the steps are done and the
// dialer is still shown, or after 20 seconds, the dialer is hidden, so that a failing test ends.
class DialerDriver : public QObject
{
public:
    QList<Step> steps;
    QStringList windows; // the texts of the message windows closed
    bool unfinished = false; // the dialer had to be closed for the test

    void run(const std::function<void()> &open)
    {
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [this] { tick(); });
        timer.start(5);
        m_deadline.start();
        open();
    }

private:
    void tick()
    {
        if (m_busy)
            return;
        m_busy = true;
        closeMessageWindows();
        frmDial &form = frmDial::instance();
        if (form.isVisible() && QApplication::activeWindow() == form.widget()) {
            if (!steps.isEmpty())
                steps.takeFirst()(form);
            else
                finish(form);
        } else if (m_deadline.hasExpired(20000) && form.isLoaded()) {
            finish(form);
        }
        m_busy = false;
    }
    void closeMessageWindows()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(window);
            if (box && box->isVisible()) {
                windows << box->text();
                box->done(QMessageBox::Ok);
            }
        }
    }
    void finish(frmDial &form)
    {
        unfinished = !steps.isEmpty() || form.isVisible();
        if (form.isLoaded())
            form.hide();
    }

    bool m_busy = false;
    QElapsedTimer m_deadline;
};

class TestDial : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;
    QStringList m_messages; // the program's message boxes
    QList<rt::Int> m_answers; // answers to give them, in turn (OK / No when none is left)
    std::optional<QString> m_fileAnswer; // what the file dialog answers; nothing cancels
    QList<commondlg::Request> m_fileDialogs;
    std::unique_ptr<HayesModem> m_modem;
    std::shared_ptr<clsSession> m_session;

    QString book() const { return m_env.homeDir() + u"/PHONE.DAT"_qs; }

    // Opens the dialer as the Tools menu's Dial command does, and drives it.
    void runDialer(DialerDriver &driver)
    {
        const MnuToolPtr dial = m_session->Menu()->MnuBands(u"Tools"_qs)->MnuTools(u"704"_qs);
        driver.run([&] { frmMdiParent::instance().TB_ToolClick(dial->BarTool().get()); });
        QVERIFY(!driver.unfinished);
        QVERIFY(!frmDial::instance().isLoaded());
    }
    void runSteps(const QList<Step> &steps)
    {
        DialerDriver driver;
        driver.steps = steps;
        runDialer(driver);
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
            m_messages << prompt;
            if (!m_answers.isEmpty())
                return m_answers.takeFirst();
            return rt::Int((flags & 15) == 4 ? 7 : 1);
        });
        commondlg::setHook([this](const commondlg::Request &request) {
            m_fileDialogs << request;
            return m_fileAnswer;
        });
        rt::setDialogsWaitOffscreen(true);
    }
    void init()
    {
        m_errors.clear();
        m_messages.clear();
        m_answers.clear();
        m_fileAnswer.reset();
        m_fileDialogs.clear();
        QFile::remove(book());
        QFile::remove(m_env.homeDir() + u"/PHONE.bak"_qs);
        m_modem = std::make_unique<HayesModem>();
        if (!m_modem->isValid())
            QSKIP("no pseudo-terminal");
        startProgram({});
        QVERIFY(gApp);
        gApp->setPhoneBookName(book());
        gApp->setDialedNumber(QString());
        gApp->setDialedName(QString());
        QVERIFY(dialing::save({ { { u"Office"_qs, u"9,"_qs, false } }, 0 }));
        // A session whose device is the fake modem.
        m_session = asSession(gApp->ClsSessions().Add(QString()));
        m_session->EmulatorSettings().setDevice(emu::device::Modem);
        m_session->EmulatorSettings().setPort(m_modem->port());
        QTRY_COMPARE(gApp->ActiveClsSession(), SessionPtr(m_session));
    }
    void cleanup()
    {
        if (m_session && m_session->Connected())
            m_session->HangUp(0);
        m_session.reset();
        endProgram();
        m_modem.reset();
        QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    }

    // Add writes the entry with CR LF; Dial sends the number the dialing properties make of it;
    // BUSY shows its message and brings the dialer back; CONNECT ends it with the session
    // connected and the entry kept as the last dialled.
    void addThenDialBusyThenConnect()
    {
        DialerDriver driver;
        driver.steps << [&](frmDial &form) {
            QCOMPARE(form.caption(), u"Norvalis Dialer [PHONE.DAT]"_qs);
            type(form.txName, u"Office"_qs);
            type(form.txNumber, u"5551234"_qs);
            form.cmdAdd->click();
            QCOMPARE(readBytes(book()), QByteArray("Office\t5551234\r\n"));
            QCOMPARE(listLines(form), QStringList { u"Office\t5551234"_qs });
            QCOMPARE(form.phonebk->ListIndex(), 0);
            QCOMPARE(buttons(form), u"Dial: dial - delete -"_qs);
            m_modem->setDialResult("BUSY");
            form.cmdDial->click();
        };
        driver.steps << [&](frmDial &form) {
            QCOMPARE(driver.windows.size(), 1);
            QVERIFY2(driver.windows.constFirst().contains(u"Busy"), qPrintable(driver.windows.constFirst()));
            QCOMPARE(form.txName->text(), u"Office"_qs);
            QCOMPARE(form.txNumber->text(), u"5551234"_qs);
            QCOMPARE(form.phonebk->ListIndex(), 0);
            QCOMPARE(m_session->Connected(), rt::Int(0));
            m_modem->setDialResult("CONNECT 9600");
            form.cmdDial->click();
        };
        runDialer(driver);
        QCOMPARE(m_modem->commands(),
            (QList<QByteArray> { "AT", "ATDT9,5551234", "AT", "ATDT9,5551234" }));
        QVERIFY(m_session->Connected() != 0);
        QCOMPARE(gApp->DialedNumber(), u"5551234"_qs);
        QCOMPARE(gApp->DialedName(), u"Office"_qs);
        QVERIFY(m_messages.isEmpty());
    }

    void dialOutcomes_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("book"); // the phone book named while the modem dials
        QTest::newRow("CONNECT") << QByteArray("CONNECT 14400") << true << QString() << QString();
        QTest::newRow("NO CARRIER") << QByteArray("NO CARRIER") << false << "No carrier" << QString();
        QTest::newRow("NO DIALTONE") << QByteArray("NO DIALTONE") << false << "No dial tone"
                                     << QString();
        QTest::newRow("NO CARRIER, another phone book named meanwhile")
            << QByteArray("NO CARRIER") << false << "No carrier" << "other.dat";
        // A port where no modem answers "AT": said at once, the number never dialled.
        QTest::newRow("no modem") << QByteArray() << false << "no modem answers" << QString();
    }
    // The dialer hides while the modem dials; a call that fails brings it back after its
    // message, ready for another try, with the phone book named then.
    void dialOutcomes()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, connected);
        QFETCH(QString, message);
        QFETCH(QString, book);
        m_modem->setDialResult(answer);
        m_modem->setSilent(answer.isEmpty());
        gApp->setDialedNumber(u"555 0101"_qs);
        bool hiddenWhileDialling = false;
        DialerDriver driver;
        driver.steps << [&](frmDial &form) {
            QCOMPARE(form.txNumber->text(), u"555 0101"_qs);
            QCOMPARE(buttons(form), u"Dial: dial add - -"_qs);
            connect(m_session->Emulator(), &emu::nvEmulator::StatusChange, &form,
                [&] { hiddenWhileDialling = !form.isVisible(); }, Qt::SingleShotConnection);
            if (!book.isEmpty()) {
                writeBytes(m_env.homeDir() + u'/' + book, "Other\t1\r\n");
                gApp->setPhoneBookName(m_env.homeDir() + u'/' + book);
            }
            QTest::keyClick(form.widget(), Qt::Key_Return); // the default button
        };
        if (!connected)
            driver.steps << [&](frmDial &form) {
                if (!book.isEmpty()) {
                    QCOMPARE(form.caption(), u"Norvalis Dialer ["_qs + book + u']');
                    QCOMPARE(listLines(form), QStringList { u"Other\t1"_qs });
                }
                form.cmdClose->click();
            };
        runDialer(driver);
        QVERIFY(hiddenWhileDialling);
        QCOMPARE(m_session->Connected() != 0, connected);
        QCOMPARE(driver.windows.size(), connected ? 0 : 1);
        if (!connected)
            QVERIFY2(driver.windows.constFirst().contains(message), qPrintable(driver.windows.constFirst()));
        // The modem is asked first whether it is there.
        const QList<QByteArray> dialled { "AT", "ATDT9,555 0101" };
        QCOMPARE(m_modem->commands(), answer.isEmpty() ? dialled.first(1) : dialled);
    }

    void buttonTable_data()
    {
        QTest::addColumn<QString>("line"); // the phone book's one line, selected when not empty
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("expected");
        const QString none;
        const QString entry = u"Office\t555"_qs;
        QTest::newRow("0") << none << "" << "" << false << "Close: - - - -";
        QTest::newRow("2") << none << "" << "555" << false << "Dial: dial add - -";
        QTest::newRow("4") << entry << "" << "" << false << "Close: - - delete -";
        QTest::newRow("5") << entry << "Office" << "" << false << "Close: - add delete update";
        QTest::newRow("12") << "\t" << "" << "" << false << "Close: - - delete -";
        QTest::newRow("13") << "Office\t" << "Office" << "" << false << "Close: - - delete -";
        QTest::newRow("14") << "\t555" << "" << "555" << false << "Dial: dial - delete -";
        QTest::newRow("15") << entry << "Office" << "555" << false << "Dial: dial - delete -";
        QTest::newRow("17") << none << "Office" << "" << true << "HangUp: - - - -";
        QTest::newRow("18") << none << "" << "555" << true << "HangUp: dial add - -";
        QTest::newRow("21") << entry << "Office" << "" << true << "HangUp: - add delete update";
        QTest::newRow("29") << "Office\t" << "Office" << "" << true << "HangUp: - add delete update";
        QTest::newRow("31") << entry << "Office" << "555" << true << "HangUp: dial - delete -";
    }
    // The buttons follow the fields, the selection and the link, state by state.
    void buttonTable()
    {
        QFETCH(QString, line);
        QFETCH(QString, name);
        QFETCH(QString, number);
        QFETCH(bool, connected);
        if (!line.isNull())
            writeBytes(book(), line.toUtf8() + "\r\n");
        if (connected)
            QCOMPARE(m_session->Dial(u"1"_qs, 1), rt::Int(0));
        QString shown;
        runSteps({ [&](frmDial &form) {
            if (!line.isNull())
                form.phonebk->setListIndex(0);
            type(form.txName, name);
            type(form.txNumber, number);
            shown = buttons(form);
            form.cmdClose->click();
        } });
        QTEST(shown, "expected");
    }

    // Deleting one of two equal lines takes the first out of the file and the selected one out
    // of the list, then selects the other; Update of a line gone from the file adds it again; a
    // line without TAB is all description.
    void editEntries()
    {
        writeBytes(book(), "Twin\t1\r\nplain\r\nTwin\t1\r\n");
        runSteps({ [&](frmDial &form) {
            form.phonebk->setListIndex(2);
            form.cmdDelete->click();
            QCOMPARE(readBytes(book()), QByteArray("plain\r\nTwin\t1\r\n"));
            QCOMPARE(readBytes(m_env.homeDir() + u"/PHONE.bak"_qs),
                QByteArray("Twin\t1\r\nplain\r\nTwin\t1\r\n"));
            QCOMPARE(form.phonebk->ListIndex(), 0);
            writeBytes(book(), "plain\r\n"); // another program took it out
            type(form.txNumber, u"2"_qs);
            form.cmdUpdate->click();
            QCOMPARE(readBytes(book()), QByteArray("plain\r\nTwin\t2\r\n"));
            QCOMPARE(listLines(form), (QStringList { u"Twin\t1"_qs, u"plain"_qs, u"Twin\t2"_qs }));
            form.phonebk->setListIndex(1);
            QCOMPARE(form.txName->text() + u'|' + form.txNumber->text(), u"plain|"_qs);
            form.cmdClose->click();
        } });
    }

    void refusedChanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("message");
        QTest::newRow("TAB in the description")
            << "Off\tice" << false << "The description cannot hold a tab or a line break.";
        QTest::newRow("CR in the description")
            << "Off\rice" << false << "The description cannot hold a tab or a line break.";
        QTest::newRow("read-only phone book") << "Office" << true << "Error updating phone directory file!";
    }
    // A change the phone book cannot take is refused with a message; file, list and the user's
    // fields stay as they were.
    void refusedChanges()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnly);
        const QByteArray before("Home\t1\r\n");
        writeBytes(book(), before);
        if (readOnly)
            QVERIFY(QFile::setPermissions(book(), QFile::ReadOwner));
        runSteps({ [&](frmDial &form) {
                      form.txName->setText(name);
                      form.txNumber->setText(u"5551234"_qs);
                      form.cmdAdd->click();
                      form.phonebk->setListIndex(0);
                      form.txName->setText(name);
                      form.txNumber->setText(u"5551234"_qs);
                      form.cmdUpdate->click();
                  },
            [&](frmDial &form) {
                // Back in front after the message: the fields are the user's still.
                QCOMPARE(form.txName->text(), name);
                QCOMPARE(listLines(form), QStringList { u"Home\t1"_qs });
                form.cmdClose->click();
            } });
        QTEST(m_messages.value(0), "message");
        QCOMPARE(m_messages.size(), 2);
        QCOMPARE(readBytes(book()), before);
        QVERIFY(!QFile::exists(m_env.homeDir() + u"/PHONE.bak"_qs));
        QFile::setPermissions(book(), QFile::ReadOwner | QFile::WriteOwner);
    }

    // Hang Up stores the fields, closes the dialer and ends the call.
    void hangUp()
    {
        QCOMPARE(m_session->Dial(u"777"_qs, 1), rt::Int(0));
        runSteps({ [&](frmDial &form) {
            QCOMPARE(buttons(form), u"HangUp: - - - -"_qs);
            type(form.txNumber, u"777"_qs);
            form.cmdDisc->click();
        } });
        QCOMPARE(m_session->Connected(), rt::Int(0));
        QVERIFY(m_modem->commands().contains("+++"));
        QVERIFY(m_modem->commands().contains("ATH0"));
        QCOMPARE(gApp->DialedNumber(), u"777"_qs);
    }

    void changeDirectory_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<rt::Int>("answer");
        QTest::addColumn<bool>("madeDefault");
        QTest::newRow("new file, made the default") << "new.dat" << rt::Int(6) << true;
        QTest::newRow("existing file, not the default") << "other.dat" << rt::Int(7) << false;
    }
    // Change Directory opens (or makes, empty) the chosen file and asks whether it becomes the
    // default phone book; the book chosen stays shown after the question either way.
    void changeDirectory()
    {
        QFETCH(QString, file);
        QFETCH(rt::Int, answer);
        QFETCH(bool, madeDefault);
        const QString path = m_env.homeDir() + u'/' + file;
        QFile::remove(path);
        if (file == u"other.dat")
            writeBytes(path, "A\t1\r\nB\t2\r\n");
        writeBytes(book(), "Home\t1\r\n");
        m_fileAnswer = path;
        m_answers << answer;
        runSteps({ [&](frmDial &form) { form.cmdChangeDir->click(); },
            [&](frmDial &form) {
                QCOMPARE(form.caption(), u"Norvalis Dialer ["_qs + file + u']');
                QCOMPARE(form.phonebk->ListCount(), file == u"other.dat" ? 2 : 0);
                form.cmdClose->click();
            } });
        QCOMPARE(m_fileDialogs.size(), 1);
        QCOMPARE(m_fileDialogs.constFirst().directory, m_env.homeDir());
        QVERIFY(QFile::exists(path));
        QCOMPARE(m_messages, QStringList { u"Change default phone directory to \""_qs + path + u"\"?"_qs });
        QCOMPARE(gApp->PhoneBookName(), madeDefault ? path : book());
    }

    // A book picked with Change Directory (not made the default) replaces the selected entry's
    // book: the buttons follow the empty list, and after a failed dial the dialer comes back with
    // that book still in use.
    void changeDirectoryKeepsTheBook()
    {
        writeBytes(book(), "Home\t1\r\n");
        const QString other = m_env.homeDir() + u"/empty.dat"_qs;
        writeBytes(other, "");
        m_fileAnswer = other;
        m_answers << rt::Int(7);
        m_modem->setDialResult("NO CARRIER");
        runSteps({ [&](frmDial &form) {
                      form.phonebk->setListIndex(0);
                      QCOMPARE(buttons(form), u"Dial: dial - delete -"_qs);
                      form.cmdChangeDir->click();
                      QCOMPARE(form.phonebk->ListCount(), 0);
                      QCOMPARE(form.phonebk->ListIndex(), -1);
                      QCOMPARE(buttons(form), u"Dial: dial add - -"_qs);
                      form.cmdDial->click();
                  },
            [&](frmDial &form) {
                QCOMPARE(form.caption(), u"Norvalis Dialer [empty.dat]"_qs);
                QCOMPARE(form.phoneBookPath(), other);
                QCOMPARE(buttons(form), u"Dial: dial add - -"_qs);
                form.cmdClose->click();
            } });
        QCOMPARE(gApp->PhoneBookName(), book());
    }

    // tests/screenshot.sh build/test/tests/bin/dialogs_tst_dial screenshot out.png
    // (with NORVALIS_BIN_DIR naming the build's bin folder)
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        writeBytes(book(),
            "Office\t555 1234\r\nHome\t555 0000\r\nBulletin board\t1-800-555-0199\r\n"
            "M\xc3\xbcller GmbH\t+49 89 555 01\r\nno number\r\n");
        gApp->setDialedName(u"Bulletin board"_qs);
        gApp->setDialedNumber(u"1-800-555-0199"_qs);
        bool saved = false;
        runSteps({ [&](frmDial &form) {
            QVERIFY(QTest::qWaitForWindowExposed(form.widget()));
            saved = form.widget()->grab().save(out);
            form.cmdClose->click();
        } });
        QVERIFY(saved);
    }

    void notForOtherDevices_data()
    {
        QTest::addColumn<int>("device");
        QTest::newRow("Telnet") << int(emu::device::Telnet);
        QTest::newRow("none") << int(emu::device::None);
    }
    // The dialer is for modem sessions: for another device it goes away unshown.
    void notForOtherDevices()
    {
        QFETCH(int, device);
        m_session->EmulatorSettings().setDevice(rt::Int(device));
        DialerShown dialer;
        runSteps({});
        QVERIFY(!dialer.shown);
    }
};

QTEST_MAIN(TestDial)
#include "tst_dial.moc"
