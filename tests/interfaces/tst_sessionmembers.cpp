// Every member of a session's three interfaces, reached through D-Bus from a second connection:
// the published contract (name, D-Bus type, access, order) and, one row a member, what a value
// of the wrong type or out of range answers and that it changes nothing. Then what the members
// do: verbs reach the control, settings the Settings object, the Session interface answers what
// the default interface answers, SessionSettings keeps the session's own keys.

#include "app/tst_startup_env.h"
#include "automation/members.h"
#include "emulator/emulator.h"
#include "emulator/settingsiface.h"
#include "common/busclient.h"
#include "common/testutil.h"
#include "interfaces/sessioniface.h"
#include "menus/mnuband.h"
#include "session/mdichild.h"
#include "menus/mnutool.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QXmlStreamReader>
#include <QtTest>

using namespace busclient;

namespace {

const QString DefaultIfc = u"NVWin32._clsSession"_qs;
const QString SessionIfc = u"NVWin32.Session"_qs;
const QString SettingsIfc = u"NVWin32.SessionSettings"_qs;
const QString Path = u"/Sessions/1"_qs;

// The published contract, in order. A property is Name:type:r or Name:type:rw; a method is
// Name(argument types)result types. Integers are n (16-bit) and i (32-bit), texts s, objects o,
// Variants v.
const char *const DefaultContract
    = "Show() Hide() Resize(ii) Move(iiii) Server()o Delete() Terminate(n) Paste(s) Activate() "
      "Save(s) SaveAs()n MouseTableLoad(s) "
      "Upload(snnnn)n Download(snnnn)n Dial(sn)n HangUp(n)n PrinterOn(n) PrinterOff() "
      "PrinterClose() PrintScreen() NormMode() ExtMode() Capture(snn) CaptureEnd() "
      "CaptureMode:n:r CaptureSource:n:r CaptureFileName:s:r Copy(nnnn) CopyHistory(nnnn) "
      "ResetComm() ResetTerm() Reset(n) Emulate(s) SetText(snnn) SetBlock(onnn)o Abort() Break() "
      "Clear(nnnnn) SetSelection(nnnn) ClearSelection() Deselect() Locate(nnn) "
      "LoadImage(snnnnnn) UnloadImage(s) PlayMIDI(s) PlayWave(s) MouseTableReset() "
      "MouseTableAdd(nsss) SetExtension(ss)ss GetText(nnnn)s GetBlock(nnnnn)o ReadText(nnn)s "
      "WriteText(s) Output(s) WaitFor(nnvvvvvvvvvv)n AttachAlternateSink(onn) "
      "DetachAlternateSink() "
      "ID:s:r Visible:n:rw Left:i:rw Top:i:rw Width:i:rw Height:i:rw ServerMode:n:r "
      "ServerName:s:r Caption:s:rw Icon:s:rw AutoClose:n:rw ShowErrs:n:rw WindowState:n:rw "
      "Changed:n:rw DialedNumber:s:rw DialedName:s:rw PhoneBookName:s:rw FileName:s:rw "
      "DDEResult:s:rw hWnd:i:r Settings:o:r "
      "FKeys(n)s SetFKeys(ns) Palette(n)i SetPalette(ni) Colors(n)n SetColors(nn) "
      "PrinterName:s:rw PrinterTimeout:n:rw PrinterMode:n:rw Device:n:rw Port:n:rw Baud:n:rw "
      "Parity:n:rw DataBits:n:rw StopBits:n:rw Handshake:n:rw Duplex:n:rw Strip8th:n:rw "
      "HostName:s:rw HostPort:s:rw HostTermType:s:rw TelnetBinary:n:rw TelnetEcho:n:rw "
      "TelnetBypass:n:rw TelnetAltBreak:n:rw ConnectTimeout:n:rw AutoAnswer:n:rw "
      "LockBaudRate:n:rw OverrideModemConfig:n:rw TermType:n:rw AnswerBack:s:rw FontName:s:rw "
      "FontSize:n:rw ScaleFont:n:rw BoldFont:n:rw LegibleFont:n:rw NormCols:n:rw NormRows:n:rw "
      "ExtCols:n:rw ExtRows:n:rw Pages:n:rw GmodeEnable:n:rw MouseEnable:n:rw ScrAutoFwd:n:rw "
      "ProtectAttr:n:rw CursorType:n:rw ScrMode:n:rw HistoryRows:n:rw PrintJobEject:n:rw "
      "PrintScreenEject:n:rw ScreenPrintMode:n:rw SlavePrintMode:n:rw PrinterFontName:s:rw "
      "PrinterFontSize:n:rw PrinterFontBold:n:rw PrinterFontItalic:n:rw PrinterPaperSize:n:rw "
      "PrinterPaperSource:n:rw PrinterOrientation:n:rw PrinterColorMode:n:rw "
      "PrintScreenBackground:n:rw PasteEOLMode:n:rw PasteEOFMode:n:rw PasteEOLChar:n:rw "
      "PasteEOFChar:n:rw color:n:rw Page:n:rw Col:n:rw Row:n:rw Cols:n:r Rows:n:r "
      "LockKeyboard:n:rw LockHistory:n:rw InputMode:n:rw HistoryVisible:n:rw "
      "MapUpperFKeys:n:rw XferStatus:n:r XferFiles:n:r XferBytes:i:r DialStatus:n:r "
      "Connected:n:r Selection:s:r AttachState:n:r BytesIn:i:r BytesOut:i:r ScrollMode:n:rw "
      "Sound:s:rw Ansi8Bit:n:rw AnsiAppKeypad:n:rw AnsiAppCursor:n:rw NoAutoWrap:n:rw "
      "BkspSendsDel:n:rw TelnetKeepalive:n:rw TelnetNoDelay:n:rw SSHKeepAlive:n:rw "
      "SSHNoDelay:n:rw SSHCipher:n:rw SSHBreakCharacter:n:rw LockFKeys:n:rw "
      "U2DeviceLicensing:n:rw";

const char *const SessionContract
    = "Show() Hide() Resize(ii) Move(iiii) Server()o Delete() Close(n) Paste(s) Activate() "
      "Save(s) SaveAs()n MouseTableLoad(s) Upload(snnnn)n Download(snnnn)n Dial(sn)n HangUp(n)n "
      "PrinterOn(n) PrinterOff() PrinterClose() PrintScreen() NormMode() ExtMode() Capture(snn) "
      "CaptureEnd() CaptureMode:n:r CaptureSource:n:r CaptureFileName:s:r Copy(nnnn) "
      "CopyHistory(nnnn) ResetComm() ResetTerm() Reset(n) Emulate(s) SetText(snnn) "
      "SetBlock(onnn)o Abort() Break() Clear(nnnnn) Select(nnnn) Deselect() Locate(nnn) "
      "LoadImage(snnnnnn) UnloadImage(s) PlayMIDI(s) PlayWave(s) MouseTableReset() "
      "MouseTableAdd(nsss) SetExtension(ss)ss GetText(nnnn)s GetBlock(nnnnn)o Input(nnn)s "
      "Output(s) WaitFor(nnvvvvvvvvvv)n Terminate(n) SetSelection(nnnn) ClearSelection() "
      "ReadText(nnn)s WriteText(s) AttachAlternateSink(onn) DetachAlternateSink() "
      "AttachState:n:r BytesOut:i:r BytesIn:i:r DDEResult:s:rw Menu:o:r MenuFileName:s:rw "
      "ID:s:r Visible:n:rw Left:i:rw Top:i:rw Width:i:rw Height:i:rw ServerMode:n:r "
      "ServerName:s:r Caption:s:rw Icon:s:rw AutoClose:n:rw WindowState:n:rw Changed:n:rw "
      "DialedNumber:s:rw DialedName:s:rw PhoneBookName:s:rw FileName:s:rw hwnd:i:r "
      "Settings:o:r FKeys(n)s SetFKeys(ns) Palette(n)i SetPalette(ni) Colors(n)n SetColors(nn) "
      "PrinterName:s:rw PrinterTimeout:n:rw PrinterMode:n:rw Device:n:rw Port:n:rw Baud:n:rw "
      "Parity:n:rw DataBits:n:rw StopBits:n:rw Handshake:n:rw Duplex:n:rw Strip8th:n:rw "
      "ShowErrs:n:rw HostName:s:rw HostPort:s:rw HostTermType:s:rw TelnetBinary:n:rw "
      "TelnetEcho:n:rw TelnetBypass:n:rw TelnetAltBreak:n:rw ConnectTimeout:n:rw "
      "AutoAnswer:n:rw TermType:n:rw AnswerBack:s:rw FontName:s:rw FontSize:n:rw "
      "ScaleFont:n:rw BoldFont:n:rw LegibleFont:n:rw NormCols:n:rw NormRows:n:rw ExtCols:n:rw "
      "ExtRows:n:rw Pages:n:rw GmodeEnable:n:rw MouseEnable:n:rw ScrAutoFwd:n:rw "
      "ProtectAttr:n:rw CursorType:n:rw ScrMode:n:rw HistoryRows:n:rw PrintJobEject:n:rw "
      "PrintScreenEject:n:rw PasteEOLMode:n:rw PasteEOFMode:n:rw PasteEOLChar:n:rw "
      "PasteEOFChar:n:rw Color:n:rw Page:n:rw Col:n:rw Row:n:rw Cols:n:r Rows:n:r "
      "LockKeyboard:n:rw LockHistory:n:rw InputMode:n:rw HistoryVisible:n:rw "
      "MapUpperFKeys:n:rw XferStatus:n:r XferFiles:n:r XferBytes:i:r DialStatus:n:r "
      "Connected:n:r Selection:s:r ScrollMode:n:rw LockBaudRate:n:rw OverrideModemConfig:n:rw "
      "Sound:s:rw ScreenPrintMode:n:rw SlavePrintMode:n:rw PrinterFontName:s:rw "
      "PrinterFontSize:n:rw PrinterFontItalic:n:rw PrinterFontBold:n:rw PrinterPaperSize:n:rw "
      "PrinterPaperSource:n:rw PrinterOrientation:n:rw PrinterColorMode:n:rw "
      "PrintScreenBackground:n:rw Ansi8Bit:n:rw AnsiAppKeypad:n:rw AnsiAppCursor:n:rw "
      "NoAutoWrap:n:rw BkspSendsDel:n:rw TelnetKeepalive:n:rw TelnetNoDelay:n:rw "
      "SSHKeepalive:n:rw SSHNoDelay:n:rw SSHCipher:n:rw SSHBreakCharacter:n:rw LockFKeys:n:rw "
      "U2DeviceLicensing:n:rw DefaultXferMode:n:rw DefaultXferOverwrite:n:rw AsciiEOL:n:rw "
      "AsciiDelay:n:rw XModemTimeout:n:rw YModemTimeout:n:rw ZModemTimeout:n:rw "
      "KermitTimeout:n:rw KermitInitRetry:n:rw KermitErrRetry:n:rw KermitEOL:n:rw "
      "KermitQuote:n:rw KermitRept:n:rw KermitCRC:n:rw ZModemAuto:n:rw DefaultXferDir:s:rw "
      "DefaultCaptureDir:s:rw";

const char *const SettingsContract = "Apply() Menu:s:rw Caption:s:rw Icon:s:rw ShowErrs:n:rw "
                                     "AutoClose:n:rw Script:s:rw MouseTable:s:rw "
                                     "MousePatterns:s:rw";

// The members of each interface of a path as its introspection lists them, in the contract's
// notation.
QMap<QString, QStringList> introspect(const QString &path)
{
    const QString xml = busCall(path, u"org.freedesktop.DBus.Introspectable"_qs, u"Introspect"_qs)
                            .toString();
    QMap<QString, QStringList> interfaces;
    QXmlStreamReader reader(xml);
    QString interface, method, in, out;
    while (!reader.atEnd()) {
        reader.readNext();
        const QXmlStreamAttributes a = reader.attributes();
        if (reader.isStartElement()) {
            if (reader.name() == QLatin1String("interface"))
                interface = a.value(QLatin1String("name")).toString();
            else if (reader.name() == QLatin1String("property"))
                interfaces[interface] << a.value(QLatin1String("name")).toString() + u':'
                        + a.value(QLatin1String("type")).toString()
                        + (a.value(QLatin1String("access")) == u"read" ? u":r"_qs : u":rw"_qs);
            else if (reader.name() == QLatin1String("method")) {
                method = a.value(QLatin1String("name")).toString();
                in.clear();
                out.clear();
            } else if (reader.name() == QLatin1String("arg") && !method.isEmpty())
                (a.value(QLatin1String("direction")) == u"out" ? out : in) += a.value(QLatin1String("type"));
        } else if (reader.isEndElement() && reader.name() == QLatin1String("method")) {
            interfaces[interface] << method + u'(' + in + u')' + out;
            method.clear();
        }
    }
    return interfaces;
}

// The names of a contract's members: a property with an Index (Name and SetName) counts once.
QStringList memberNames(const QStringList &members)
{
    QStringList names;
    for (const QString &member : members) {
        const QString name = member.section(QRegularExpression(u"[:(]"_qs), 0, 0);
        if (name.startsWith(u"Set"_qs) && names.contains(name.mid(3)))
            continue;
        names << name;
    }
    return names;
}

// A bad value for a property of a D-Bus type, and the error it answers.
struct BadValue
{
    QVariant value;
    QString error;
};
QList<BadValue> badValues(const QString &type)
{
    const QString typeMismatch = u"NVWin32.Error.E13"_qs;
    if (type == u"n")
        return { { u"abc"_qs, typeMismatch }, { 70000, u"NVWin32.Error.E6"_qs } };
    if (type == u"i")
        return { { u"abc"_qs, typeMismatch }, { 3e10, u"NVWin32.Error.E6"_qs } };
    if (type == u"s")
        return { { objectPath(u"/Norvalis"_qs), typeMismatch } };
    return {};
}

} // namespace

class TestSessionMembers : public QObject
{
    Q_OBJECT

    StartupEnvironment m_env;
    QStringList m_errors;

    clsSession &session(const QString &id = u"1"_qs)
    {
        return *std::static_pointer_cast<clsSession>(gApp->ClsSessions().clsItem(id));
    }
    // Whether a tool of the session's menu is enabled.
    bool toolEnabled(rt::Long id)
    {
        for (const MnuBandPtr &band : session().Menu()->NewEnum()) {
            for (const MnuToolPtr &tool : band->NewEnum()) {
                if (tool->ToolID() % 100000 == id)
                    return tool->Enabled() != 0;
            }
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        m_env.setUp();
        installTestHooks(m_errors);
        gSessionCounter = 0;
        startProgram({});
        QVERIFY(gApp);
        QCOMPARE(busCall(u"/Norvalis/Sessions"_qs, u"NVWin32.Sessions"_qs, u"Add"_qs), Path);
    }
    void cleanupTestCase() { endProgram(); }

    void contract_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("contract");
        QTest::addColumn<int>("members");
        QTest::newRow("_clsSession") << DefaultIfc << DefaultContract << 175;
        QTest::newRow("Session") << SessionIfc << SessionContract << 197;
        QTest::newRow("SessionSettings") << SettingsIfc << SettingsContract << 9;
    }
    void contract()
    {
        QFETCH(QString, interface);
        QFETCH(QString, contract);
        QFETCH(int, members);
        const QStringList published = introspect(Path).value(interface);
        const QStringList expected = contract.split(u' ');
        QCOMPARE(memberNames(expected).size(), members);
        QCOMPARE(published, expected);
    }

    // The Session interface by slot: verbs from 0, Menu at 65, the transfer settings' let
    // accessors before their get accessors, 317 entries.
    void sessionSlots()
    {
        const QList<SessionIface::Slot> layout = SessionIface::slotLayout();
        QCOMPARE(layout.size(), 317);
        auto at = [&](int slot) {
            const SessionIface::Slot &s = layout.at(slot);
            return QString::fromLatin1(s.name + u' ' + s.member + u' ' + s.accessor);
        };
        QCOMPARE(at(0), u"Show Show Call"_qs);
        QCOMPARE(at(6), u"Close Terminate Call"_qs);
        QCOMPARE(at(38), u"Select SetSelection Call"_qs);
        QCOMPARE(at(50), u"Input ReadText Call"_qs);
        QCOMPARE(at(59), u"DetachAlternateSink DetachAlternateSink Call"_qs);
        QCOMPARE(at(65), u"Menu Menu Get"_qs);
        QCOMPARE(at(66), u"MenuFileName MenuFileName Get"_qs);
        QCOMPARE(at(67), u"MenuFileName MenuFileName Let"_qs);
        QCOMPARE(at(283), u"DefaultXferMode DefaultXferMode Let"_qs);
        QCOMPARE(at(284), u"DefaultXferMode DefaultXferMode Get"_qs);
        QCOMPARE(at(316), u"DefaultCaptureDir DefaultCaptureDir Get"_qs);
    }

    // One row a property: a value of the wrong type or out of range answers the error and the
    // property keeps its value; a read-only property refuses any write.
    void badPropertyValues_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("error");
        const QMap<QString, QStringList> all = introspect(Path);
        for (const QString &interface : { DefaultIfc, SessionIfc, SettingsIfc }) {
            for (const QString &member : all.value(interface)) {
                const QStringList parts = member.split(u':');
                if (parts.size() != 3)
                    continue;
                const QString &name = parts.at(0);
                if (parts.at(2) == u"r") {
                    QTest::addRow("%s.%s read-only", qPrintable(interface), qPrintable(name))
                        << interface << name << QVariant(0)
                        << u"org.freedesktop.DBus.Error.PropertyReadOnly"_qs;
                    continue;
                }
                for (const BadValue &bad : badValues(parts.at(1)))
                    QTest::addRow("%s.%s %s", qPrintable(interface), qPrintable(name),
                        qPrintable(bad.error))
                        << interface << name << bad.value << bad.error;
            }
        }
    }
    void badPropertyValues()
    {
        QFETCH(QString, interface);
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, error);
        const QVariant before = busGet(Path, interface, name);
        const rt::Int changed = session().Changed();
        QCOMPARE(busSet(Path, interface, name, value).toString(), error);
        QCOMPARE(busGet(Path, interface, name), before);
        QCOMPARE(session().Changed(), changed);
    }

    // One row a method with arguments: an argument of the wrong type answers 13 before the
    // session is reached; a method without arguments refuses one.
    void badMethodArguments_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("error");
        const QMap<QString, QStringList> all = introspect(Path);
        for (const QString &interface : { DefaultIfc, SessionIfc, SettingsIfc }) {
            for (const QString &member : all.value(interface)) {
                if (!member.contains(u'('))
                    continue;
                const QString name = member.section(u'(', 0, 0);
                const QString in = member.section(u'(', 1).section(u')', 0, 0);
                if (in.isEmpty()) {
                    QTest::addRow("%s.%s extra argument", qPrintable(interface), qPrintable(name))
                        << interface << name << QVariantList { 1 }
                        << u"org.freedesktop.DBus.Error.UnknownMethod"_qs;
                    continue;
                }
                // Every argument of its type, the first one of a type that does not convert.
                QVariantList arguments;
                for (const QChar type : in) {
                    if (type == u'n')
                        arguments << QVariant::fromValue(rt::Int(0));
                    else if (type == u'i')
                        arguments << 0;
                    else if (type == u's')
                        arguments << QString();
                    else if (type == u'o')
                        arguments << objectPath(u"/"_qs);
                    else
                        arguments << inVariant(QString());
                }
                arguments[0] = in.at(0) == u's' ? objectPath(u"/Norvalis"_qs) : QVariant(u"abc"_qs);
                QTest::addRow("%s.%s wrong type", qPrintable(interface), qPrintable(name))
                    << interface << name << arguments << u"NVWin32.Error.E13"_qs;
            }
        }
    }
    void badMethodArguments()
    {
        QFETCH(QString, interface);
        QFETCH(QString, name);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, error);
        emu::nvEmulator *control = session().Emulator();
        control->Emulate(u"\x1b[H\x1b[2Jbefore"_qs);
        const QString screen = control->GetText(0, 0, -1);
        const QString caption = session().Caption();
        QCOMPARE(busCall(Path, interface, name, arguments).toString(), error);
        QVERIFY(gApp->ClsSessions().clsItem(u"1"_qs));
        QCOMPARE(session().Emulator()->GetText(0, 0, -1), screen);
        QCOMPARE(session().Caption(), caption);
    }

    // Every property both interfaces have answers the same through each.
    void sessionAnswersAsTheDefaultInterface()
    {
        const QMap<QString, QStringList> all = introspect(Path);
        const QMap<QString, QString> spelling { { u"hwnd"_qs, u"hWnd"_qs },
            { u"Color"_qs, u"color"_qs }, { u"SSHKeepalive"_qs, u"SSHKeepAlive"_qs } };
        int compared = 0;
        for (const QString &member : all.value(SessionIfc)) {
            const QStringList parts = member.split(u':');
            if (parts.size() != 3)
                continue;
            const QString name = spelling.value(parts.at(0), parts.at(0));
            if (!all.value(DefaultIfc).contains(name + u':' + parts.at(1) + u':' + parts.at(2)))
                continue;
            QCOMPARE(busGet(Path, SessionIfc, parts.at(0)), busGet(Path, DefaultIfc, name));
            ++compared;
        }
        QCOMPARE(compared, 118);
    }

    // A setting written through either interface is the Settings object's: read back the same,
    // seen through the Settings object on the bus, and the session is changed through it.
    void settingsGoToTheSettingsObject_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("TermType") << DefaultIfc << "TermType" << "TermType"
                                  << QVariant::fromValue(rt::Int(9));
        QTest::newRow("AnswerBack") << SessionIfc << "AnswerBack" << "AnswerBack"
                                    << QVariant(u"ID 42"_qs);
        QTest::newRow("SSHKeepalive") << SessionIfc << "SSHKeepalive" << "SSHKeepAlive"
                                      << QVariant::fromValue(rt::Int(30));
        QTest::newRow("KermitQuote") << SessionIfc << "KermitQuote" << "KermitQuote"
                                     << QVariant::fromValue(rt::Int(36));
        QTest::newRow("DefaultXferDir") << SessionIfc << "DefaultXferDir" << "DefaultXferDir"
                                        << QVariant(u"/tmp/in"_qs);
    }
    void settingsGoToTheSettingsObject()
    {
        QFETCH(QString, interface);
        QFETCH(QString, name);
        QFETCH(QString, setting);
        QFETCH(QVariant, value);
        session().setChanged(rt::False);
        QCOMPARE(busSet(Path, interface, name, value), QVariant());
        QCOMPARE(busGet(Path, interface, name), value);
        QCOMPARE(session().EmulatorSettings().value(setting).toString(), value.toString());
        const QString settings = busGet(Path, DefaultIfc, u"Settings"_qs).toString();
        QVERIFY(settings.startsWith(u"/Settings/"_qs));
        QCOMPARE(busGet(settings, u"NVWin32.Settings"_qs, setting), value);
        QCOMPARE(busGet(Path, SessionIfc, u"Changed"_qs), QVariant::fromValue(rt::True));
        // A second session keeps its own value.
        const auto other = gApp->ClsSessions().Add(QString());
        QVERIFY(other->EmulatorSettings().value(setting).toString() != value.toString()
            || setting == u"DefaultXferDir"_qs);
        other->Terminate(0);
    }

    // Run-time properties are the control's: never saved, never Changed.
    void runTimeStateIsTheControls()
    {
        session().setChanged(rt::False);
        QCOMPARE(busSet(Path, DefaultIfc, u"LockKeyboard"_qs, QVariant::fromValue(rt::Int(1))),
            QVariant());
        QCOMPARE(session().Emulator()->LockKeyboard(), rt::Int(1));
        QCOMPARE(busCall(Path, SessionIfc, u"SetColors"_qs,
                     { QVariant::fromValue(rt::Int(2)), QVariant::fromValue(rt::Int(0x1F)) }),
            QVariant());
        QCOMPARE(busCall(Path, DefaultIfc, u"Colors"_qs, { QVariant::fromValue(rt::Int(2)) }),
            QVariant::fromValue(rt::Int(0x1F)));
        QCOMPARE(busGet(Path, DefaultIfc, u"Changed"_qs), QVariant::fromValue(rt::False));
        // An index the control does not have answers the control's error.
        QCOMPARE(busCall(Path, DefaultIfc, u"Colors"_qs, { QVariant::fromValue(rt::Int(16)) }),
            u"NVWin32.Error.E381"_qs);
        QCOMPARE(busCall(Path, DefaultIfc, u"Palette"_qs, { QVariant::fromValue(rt::Int(16)) }),
            u"NVWin32.Error.E9"_qs);
        session().Emulator()->setLockKeyboard(0);
    }

    // The verbs reach the control, aliases doing what the member they name does.
    void verbs()
    {
        emu::nvEmulator *control = session().Emulator();
        QCOMPARE(busCall(Path, DefaultIfc, u"Clear"_qs), QVariant());
        QCOMPARE(busCall(Path, SessionIfc, u"Emulate"_qs, { u"hello"_qs }), QVariant());
        QCOMPARE(busCall(Path, DefaultIfc, u"GetText"_qs,
                     { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(0)),
                         QVariant::fromValue(rt::Int(5)) }),
            u"hello"_qs);
        QCOMPARE(busGet(Path, DefaultIfc, u"Col"_qs), QVariant::fromValue(rt::Int(5)));
        QCOMPARE(busCall(Path, SessionIfc, u"ExtMode"_qs), QVariant());
        QCOMPARE(control->ExtendedMode(), rt::Int(1));
        QCOMPARE(busCall(Path, SessionIfc, u"NormMode"_qs), QVariant());
        QCOMPARE(control->ExtendedMode(), rt::Int(0));
        QCOMPARE(busCall(Path, SessionIfc, u"Select"_qs,
                     { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(0)),
                         QVariant::fromValue(rt::Int(4)), QVariant::fromValue(rt::Int(0)) }),
            QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"Selection"_qs), u"hello"_qs);
        QCOMPARE(busCall(Path, SessionIfc, u"Deselect"_qs), QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"Selection"_qs), QString());
        // Input and ReadText take what has arrived (mode 2: without waiting).
        QCOMPARE(busCall(Path, SessionIfc, u"Input"_qs, { QVariant::fromValue(rt::Int(2)) }),
            QString());
        // By-reference arguments come back: SetExtension answers the previous lead-in.
        const QDBusMessage reply = busMessage(Path, DefaultIfc, u"SetExtension"_qs,
            { u"\x1b{"_qs, u"}"_qs });
        QCOMPARE(reply.arguments().size(), 2);
        QCOMPARE(busMessage(Path, DefaultIfc, u"SetExtension"_qs, { QString(), QString() })
                     .arguments()
                     .value(0)
                     .toString(),
            u"\x1b{"_qs);
        // A block comes and goes back as an object.
        const QString block = busCall(Path, SessionIfc, u"GetBlock"_qs,
            { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(0)),
                QVariant::fromValue(rt::Int(4)), QVariant::fromValue(rt::Int(0)) })
                                  .toString();
        QVERIFY(block.startsWith(u"/Objects/"_qs));
        QCOMPARE(busGet(block, u"NVWin32.Block"_qs, u"Text"_qs), u"hello"_qs);
        QCOMPARE(busCall(Path, SessionIfc, u"SetBlock"_qs,
                     { objectPath(block), QVariant::fromValue(rt::Int(10)),
                         QVariant::fromValue(rt::Int(1)) }),
            block);
        QCOMPARE(control->GetText(10, 1, 5), u"hello"_qs);
        // ResetComm is the connection's reset, ResetTerm the terminal's.
        busCall(Path, SessionIfc, u"ResetComm"_qs);
        QCOMPARE(control->GetText(10, 1, 5), u"hello"_qs);
        QCOMPARE(busCall(Path, SessionIfc, u"ResetTerm"_qs), QVariant());
        QCOMPARE(control->GetText(10, 1, 5), u"     "_qs);
    }

    // Copy enables the Paste tool when the clipboard then holds text, disables it otherwise.
    void copyUpdatesThePasteTool()
    {
        session().Emulator()->Emulate(u"\x1b[H\x1b[2Jcopied"_qs);
        QGuiApplication::clipboard()->clear();
        QCOMPARE(busCall(Path, SessionIfc, u"Copy"_qs,
                     { QVariant::fromValue(rt::Int(0)), QVariant::fromValue(rt::Int(0)),
                         QVariant::fromValue(rt::Int(5)), QVariant::fromValue(rt::Int(0)) }),
            QVariant());
        QCOMPARE(QGuiApplication::clipboard()->text(), u"copied"_qs);
        QCOMPARE(toolEnabled(305), true);
        QGuiApplication::clipboard()->clear();
        QCOMPARE(busCall(Path, DefaultIfc, u"Copy"_qs), QVariant());
        QCOMPARE(toolEnabled(305), false);
    }

    // An object that is not a session's attaches nothing and raises nothing; a session's does.
    void attachAlternateSink()
    {
        QCOMPARE(busCall(Path, SessionIfc, u"AttachAlternateSink"_qs,
                     { objectPath(u"/Norvalis"_qs), QVariant::fromValue(rt::Int(0)),
                         QVariant::fromValue(rt::Int(0)) }),
            QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"AttachState"_qs), QVariant::fromValue(rt::Int(0)));
        const auto other = gApp->ClsSessions().Add(QString());
        const QString otherPath = u"/Sessions/"_qs + other->ID();
        QCOMPARE(busCall(Path, DefaultIfc, u"AttachAlternateSink"_qs, { objectPath(otherPath) }),
            QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"AttachState"_qs), QVariant::fromValue(rt::Int(1)));
        QCOMPARE(busGet(otherPath, SessionIfc, u"AttachState"_qs), QVariant::fromValue(rt::Int(2)));
        QCOMPARE(busCall(Path, SessionIfc, u"DetachAlternateSink"_qs), QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"AttachState"_qs), QVariant::fromValue(rt::Int(0)));
        other->Terminate(0);
    }

    // The session's own settings through SessionSettings.
    void sessionSettings()
    {
        QCOMPARE(busCall(Path, SettingsIfc, u"Apply"_qs), QVariant());
        QCOMPARE(busGet(Path, SettingsIfc, u"Script"_qs), u"NVWin32.Error.E_2147467263"_qs);
        QCOMPARE(busSet(Path, SettingsIfc, u"MousePatterns"_qs, u"x"_qs),
            u"NVWin32.Error.E_2147467263"_qs);
        QCOMPARE(busSet(Path, SettingsIfc, u"Caption"_qs, u"Own"_qs), QVariant());
        QCOMPARE(busGet(Path, DefaultIfc, u"Caption"_qs), u"Own"_qs);
        QCOMPARE(session().frmSession()->caption(), u"Own (1)"_qs);

        // A mouse table becomes the session's only once it has loaded.
        const QString table = m_env.homeDir() + u"/mouse.txt"_qs;
        writeBytes(table, "1\tERR*\tshow\r\t\n");
        session().setChanged(rt::False);
        QCOMPARE(busSet(Path, SettingsIfc, u"MouseTable"_qs, table), QVariant());
        QCOMPARE(session().CustomMouseTable(), table);
        QCOMPARE(session().Changed(), rt::True);
        session().setChanged(rt::False);
        QCOMPARE(busSet(Path, SettingsIfc, u"MouseTable"_qs, table), QVariant());
        QCOMPARE(session().Changed(), rt::False);
        QCOMPARE(busSet(Path, SettingsIfc, u"MouseTable"_qs, m_env.homeDir() + u"/none.txt"_qs),
            u"NVWin32.Error.E53"_qs);
        QCOMPARE(busGet(Path, SettingsIfc, u"MouseTable"_qs), table);
        QCOMPARE(session().Changed(), rt::False);

        // An empty menu name loads the default menu and stays empty.
        QCOMPARE(busSet(Path, SettingsIfc, u"Menu"_qs, QString()), QVariant());
        QCOMPARE(busGet(Path, SessionIfc, u"MenuFileName"_qs), QString());
        QVERIFY(busGet(Path, SessionIfc, u"Menu"_qs).toString().startsWith(u"/Menus/"_qs));
    }

    // The application's transfer settings are the active session's.
    void applicationTransferSettings()
    {
        session().Show();
        session().Activate();
        QTRY_VERIFY(gApp->ActiveClsSession());
        const QString active = gApp->ActiveClsSession()->ID();
        QCOMPARE(busSet(u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs, u"KermitEOL"_qs,
                     QVariant::fromValue(rt::Int(10))),
            QVariant());
        QCOMPARE(busGet(u"/Sessions/"_qs + active, SessionIfc, u"KermitEOL"_qs),
            QVariant::fromValue(rt::Int(10)));
        QCOMPARE(busSet(u"/Sessions/"_qs + active, SessionIfc, u"XModemTimeout"_qs,
                     QVariant::fromValue(rt::Int(25))),
            QVariant());
        QCOMPARE(busGet(u"/Norvalis"_qs, u"NVWin32.Norvalis"_qs, u"XmodemTimeout"_qs),
            QVariant::fromValue(rt::Int(25)));
    }

    // Scripts see the default interface.
    void scripts()
    {
        QVariant result;
        gScriptHost->RunText(u"Session.NormCols = 100; Session.SetSelection(0, 0, 1, 0); "
                             "Session.NormCols + ':' + Session.hWnd"_qs,
            0, 1, result);
        QCOMPARE(result.toString(), u"100:0"_qs);
        QCOMPARE(session().NormCols(), rt::Int(100));
        session().setNormCols(80);
    }

    // A session that is closing answers its verbs, never crashes; once it has gone, 91.
    void closingSession()
    {
        auto closing = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(QString()));
        const QString path = u"/Sessions/"_qs + closing->ID();
        closing->Terminate(0);
        QVERIFY(closing->Closing());
        QCOMPARE(busCall(path, SessionIfc, u"Emulate"_qs, { u"late"_qs }), QVariant());
        QCOMPARE(busCall(path, SessionIfc, u"Output"_qs, { u"late"_qs }),
            u"NVWin32.Error.E30001"_qs);
        QCOMPARE(busGet(path, SessionIfc, u"TermType"_qs).toInt(), 12);
        std::weak_ptr<clsSession> gone = closing;
        closing.reset();
        QTRY_VERIFY(gone.expired());
        QCOMPARE(busCall(path, SessionIfc, u"Emulate"_qs, { u"later"_qs }),
            u"org.freedesktop.DBus.Error.UnknownObject"_qs);
    }
};

QTEST_MAIN(TestSessionMembers)
#include "tst_sessionmembers.moc"
