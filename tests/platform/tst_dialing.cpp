// Dialing properties: their stored form, the dial command a modem is sent (checked against a
// fake Hayes modem on a pseudo-terminal), and the dialing-properties dialog driven through its
// widgets.

#include "dialing/dialingdialog.h"
#include "emulator/emulator.h"
#include "platform/hayesmodem.h"
#include "registry/registry.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using dialing::Location;
using dialing::Properties;

Q_DECLARE_METATYPE(Properties)

class TestDialing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static Properties two()
    {
        return { { { u"Home"_qs, QString(), false }, { u"Office"_qs, u"9,"_qs, true } }, 1 };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        registry::setStoreFile(registry::Root::CurrentUser, m_dir.filePath(u"user.registry"_qs));
    }
    void init() { registry::deleteKey(registry::Root::CurrentUser, u"Software\\Telephony"_qs); }

    void storedForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Properties>("expected");
        QTest::newRow("nothing stored: the default location") << QString() << dialing::defaults();
        QTest::newRow("two locations, the second in use")
            << "Home\t\tTone\t\r\nOffice\t9,\tPulse\t*\r\n" << two();
        QTest::newRow("none marked: the first") << "Home\t\tTone\t\r\nOffice\t9,\tPulse\t\r\n"
                                                << Properties { two().locations, 0 };
        QTest::newRow("rows that make no location are passed over")
            << "\t1\tTone\t*\r\nHome\t\tTone\t\r\nhome\t2\tTone\t\r\nX\t9;ATH\tTone\t\r\n"
               "Office\t9,\tPulse\t*\r\n"
            << two();
        QTest::newRow("escaped characters in a name")
            << "A\\tB\t\tTone\t*\r\n" << Properties { { { u"A\tB"_qs, QString(), false } }, 0 };
    }
    void storedForm()
    {
        QFETCH(QString, text);
        QFETCH(Properties, expected);
        QCOMPARE(dialing::fromText(text), expected);
        QCOMPARE(dialing::fromText(dialing::toText(expected)), expected);
    }

    // The modem is sent the command of the location in use, stored by an earlier run.
    void modemDialsWithTheProperties_data()
    {
        QTest::addColumn<int>("location");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("home, tone") << 0 << QByteArray("ATDT5551234");
        QTest::newRow("office, pulse, 9,") << 1 << QByteArray("ATDP9,5551234");
    }
    void modemDialsWithTheProperties()
    {
        QFETCH(int, location);
        HayesModem modem;
        if (!modem.isValid())
            QSKIP("no pseudo-terminal");
        Properties properties = two();
        properties.current = location;
        QVERIFY(dialing::save(properties));
        emu::nvEmulator control;
        control.Settings()->setDevice(emu::device::Modem);
        control.Settings()->setPort(modem.port());
        QCOMPARE(control.Dial(u"5551234"_qs, 1), rt::Int(0));
        QCOMPARE(control.Connected(), rt::True);
        QTEST(modem.commands().value(1), "sent"); // after the "AT" that finds the modem
    }

    // The dialog: a new location copies the one in use, is renamed and given a prefix; a bad
    // prefix disables OK and says why; OK stores the locations and the one in use.
    void dialogEditsLocations()
    {
        QVERIFY(dialing::save(two()));
        dialing::DialingPropertiesDialog dialog(u"modem-host"_qs, u"5551234"_qs);
        QCOMPARE(dialog.windowTitle(), u"Dialing Properties - modem-host"_qs);
        QCOMPARE(dialog.cboLocation->currentText(), u"Office"_qs);
        QCOMPARE(dialog.txPrefix->text(), u"9,"_qs);
        QVERIFY(dialog.optPulse->isChecked());
        QCOMPARE(dialog.lbDialString->text(), u"The modem is sent: ATDP9,5551234"_qs);
        QPushButton *ok = dialog.buttons->button(QDialogButtonBox::Ok);

        dialog.cmdNew->click();
        QCOMPARE(dialog.cboLocation->count(), 3);
        QCOMPARE(dialog.txName->text(), u"New Location"_qs);
        QTest::keyClicks(dialog.txName, u"Lab"_qs); // the name was selected: typing replaces it
        QCOMPARE(dialog.cboLocation->currentText(), u"Lab"_qs);
        dialog.txPrefix->clear();
        QTest::keyClicks(dialog.txPrefix, u"8;H"_qs);
        QVERIFY(!ok->isEnabled());
        QVERIFY(dialog.lbProblem->text().contains(u"\"Lab\""));
        QTest::keyClick(dialog.txPrefix, Qt::Key_Backspace);
        QTest::keyClick(dialog.txPrefix, Qt::Key_Backspace);
        QTest::keyClicks(dialog.txPrefix, u","_qs);
        dialog.optTone->click();
        QVERIFY(ok->isEnabled());
        QCOMPARE(dialog.lbDialString->text(), u"The modem is sent: ATDT8,5551234"_qs);
        ok->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        Properties expected = two();
        expected.locations.append({ u"Lab"_qs, u"8,"_qs, false });
        expected.current = 2;
        QCOMPARE(dialing::load(), expected);
    }

    // tests/screenshot.sh platform_tst_dialing screenshot out.png
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        QVERIFY(dialing::save(two()));
        dialing::DialingPropertiesDialog dialog(u"dial-up"_qs, u"555 1234"_qs);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(out));
    }
};

QTEST_MAIN(TestDialing)
#include "tst_dialing.moc"
