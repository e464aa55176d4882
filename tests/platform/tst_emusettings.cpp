#include "emulator/emusettings.h"

#include "common/testutil.h"
#include "inifile/inifile.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using emu::Setting;
using emu::SettingDef;
using emu::Settings;
using emu::SettingType;

namespace {

// Texts that a careless INI writer would lose or change.
const QStringList kAwkwardTexts = {
    QStringLiteral("  padded both  "),
    QStringLiteral("\"quoted\""),
    QStringLiteral("semi;colon = eq # hash [x]"),
    QStringLiteral("Grüße € 日本"),
    QStringLiteral("\\\\server\\share\\dir"),
    QStringLiteral("\ttab first"),
    QStringLiteral("\""),
    QStringLiteral("\x1b[0m answer"),
};

// A value different from the default for every slot of every saved setting.
QVariant otherValue(const SettingDef &def, int index)
{
    const int row = int(def.id);
    switch (def.type) {
    case SettingType::Int:
        return QVariant::fromValue(emu::Int(def.defaults.at(0).toInt() + 1000 + row));
    case SettingType::Long:
        return QVariant::fromValue(emu::Long(0x123456 + 0x10000 * index + row));
    case SettingType::Boolean:
        return QVariant(true);
    case SettingType::String:
        return QVariant(kAwkwardTexts.at(row % kAwkwardTexts.size()));
    }
    return {};
}

int slotCount(const SettingDef &def)
{
    return def.count == 0 ? 1 : def.count;
}

// Every value of every setting, in table order.
QList<QVariant> snapshot(const Settings &s)
{
    QList<QVariant> values;
    for (const SettingDef &def : emu::settingTable()) {
        for (int i = 0; i < slotCount(def); ++i)
            values.append(s.value(def.id, i));
    }
    return values;
}

} // namespace

class tst_EmuSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void tableIsConsistent();
    void roundTripEverySetting();
    void readReturnsLastWrite();
    void namesIgnoreCase();
    void refusedWrites_data();
    void refusedWrites();
    void changedFlag();
    void loadDefaultsRestores();
    void saveKeepsForeignKeys();
    void saveFailureKeepsChanged();
    void loadBadValuesKeepDefaults();
    void loadMissingFile();
    void hostTerminalName();
    void baudRates_data();
    void baudRates();

private:
    QTemporaryDir m_dir;
    QString m_file;
};

void tst_EmuSettings::init()
{
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("%1.nvcf").arg(QTest::currentTestFunction()));
    QFile::remove(m_file);
}

void tst_EmuSettings::tableIsConsistent()
{
    QSet<QString> names;
    for (const SettingDef &def : emu::settingTable()) {
        QVERIFY2(!names.contains(def.name.toLower()), qPrintable(def.name));
        names.insert(def.name.toLower());
        QCOMPARE(def.defaults.size(), slotCount(def));
        QCOMPARE(emu::findSetting(def.name), &def);
        if (def.type == SettingType::String)
            QVERIFY2(def.defaults.at(0).isEmpty(), qPrintable(def.name)); // see the table's note
    }
    QCOMPARE(emu::settingDef(Setting::TermType).section, QStringLiteral("Norvalis"));
    QCOMPARE(emu::settingDef(Setting::Palette).count, 16);

    QSet<emu::Int> codes;
    for (const emu::TerminalType &type : emu::terminalTypes()) {
        QVERIFY(!type.name.isEmpty() && !type.hostName.isEmpty());
        codes.insert(type.code);
    }
    QCOMPARE(codes.size(), 18);
    QVERIFY(emu::findTerminalType(12)->vtFamily);
    QVERIFY(!emu::findTerminalType(5)->vtFamily);
    QCOMPARE(emu::findTerminalType(18), nullptr);
}

void tst_EmuSettings::roundTripEverySetting()
{
    Settings written;
    for (const SettingDef &def : emu::settingTable()) {
        for (int i = 0; i < slotCount(def); ++i)
            written.setValue(def.name, otherValue(def, i), i);
    }
    written.Save(m_file);
    QVERIFY(!written.Changed());

    Settings read;
    QSignalSpy reloaded(&read, &Settings::reloaded);
    read.Load(m_file);
    QCOMPARE(reloaded.count(), 1); // one reload, not the defaults and then the file
    for (const SettingDef &def : emu::settingTable()) {
        if (def.section.isEmpty())
            continue;
        for (int i = 0; i < slotCount(def); ++i) {
            QCOMPARE(read.value(def.name, i), otherValue(def, i));
        }
    }
    QVERIFY(!read.Changed());
    QVERIFY(inifile::readString(m_file, QStringLiteral("Norvalis"), QStringLiteral("TermType")));
}

void tst_EmuSettings::readReturnsLastWrite()
{
    Settings s;
    s.setBaud(11);
    QCOMPARE(s.Baud(), emu::Int(11));
    QCOMPARE(s.value(QStringLiteral("Baud")).toInt(), 11);
    s.setValue(QStringLiteral("HostName"), QStringLiteral("pick.example"));
    QCOMPARE(s.HostName(), QStringLiteral("pick.example"));
    s.setPalette(0x00FF8040, 15);
    QCOMPARE(s.Palette(15), emu::Long(0x00FF8040));
    QCOMPARE(s.Palette(14), emu::Long(0x00FFFF00)); // its neighbour keeps its default
    // A numeric text converts as the runtime converts it.
    s.setValue(QStringLiteral("NormRows"), QStringLiteral("25"));
    QCOMPARE(s.NormRows(), emu::Int(25));
    s.setValue(QStringLiteral("NormCols"), 131.5);
    QCOMPARE(s.NormCols(), emu::Int(132));
}

void tst_EmuSettings::namesIgnoreCase()
{
    Settings s;
    s.setValue(QStringLiteral("hostport"), QStringLiteral("2323"));
    QCOMPARE(s.value(QStringLiteral("HOSTPORT")).toString(), QStringLiteral("2323"));
    QCOMPARE(s.HostPort(), QStringLiteral("2323"));
}

void tst_EmuSettings::refusedWrites_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("error");

    QTest::newRow("unknown name") << "NoSuchSetting" << QVariant(1) << 0 << 438;
    QTest::newRow("index past end") << "Palette" << QVariant(1) << 16 << 9;
    QTest::newRow("negative index") << "Palette" << QVariant(1) << -1 << 9;
    QTest::newRow("index on plain") << "Baud" << QVariant(1) << 1 << 9;
    QTest::newRow("Int overflow") << "Baud" << QVariant(40000) << 0 << 6;
    QTest::newRow("Int from text") << "Baud" << QVariant("fast") << 0 << 13;
    QTest::newRow("Long overflow") << "Palette" << QVariant(5e9) << 0 << 6;
    QTest::newRow("String with CR") << "AnswerBack" << QVariant("ok\r") << 0 << 380;
    QTest::newRow("String with LF") << "HostName" << QVariant("a\nb") << 0 << 380;
}

void tst_EmuSettings::refusedWrites()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(int, index);
    QFETCH(int, error);

    Settings s;
    QSignalSpy spy(&s, &Settings::settingChanged);
    const QList<QVariant> before = snapshot(s);
    QCOMPARE(errorOf([&] { s.setValue(name, value, index); }), error);
    QCOMPARE(spy.count(), 0);
    QVERIFY(!s.Changed());
    QCOMPARE(snapshot(s), before);
    QCOMPARE(errorOf([&] { s.value(name, index); }), error == 9 || error == 438 ? error : 0);
}

void tst_EmuSettings::changedFlag()
{
    Settings s;
    QSignalSpy spy(&s, &Settings::settingChanged);
    QVERIFY(!s.Changed());
    s.setNormCols(s.NormCols()); // the same value: no change
    QVERIFY(!s.Changed());
    QCOMPARE(spy.count(), 0);

    s.setNormCols(100);
    QVERIFY(s.Changed());
    QCOMPARE(spy.first().at(0).toInt(), int(Setting::NormCols));
    QCOMPARE(s.value(QStringLiteral("Changed")).toBool(), true);

    s.setValue(QStringLiteral("Changed"), false);
    QVERIFY(!s.Changed());
    s.setNormCols(101);
    QVERIFY(s.Changed());

    s.Save(m_file);
    QVERIFY(!s.Changed());
    s.setNormCols(102);
    s.Load(m_file);
    QVERIFY(!s.Changed());
    QCOMPARE(s.NormCols(), emu::Int(101));
    s.setNormCols(103);
    s.LoadDefaults();
    QVERIFY(!s.Changed());
}

void tst_EmuSettings::loadDefaultsRestores()
{
    Settings s;
    for (const SettingDef &def : emu::settingTable()) {
        for (int i = 0; i < slotCount(def); ++i)
            s.setValue(def.id, otherValue(def, i), i);
    }
    QSignalSpy reloaded(&s, &Settings::reloaded);
    s.LoadDefaults();
    QCOMPARE(reloaded.count(), 1);
    Settings fresh;
    for (const SettingDef &def : emu::settingTable()) {
        for (int i = 0; i < slotCount(def); ++i)
            QCOMPARE(s.value(def.id, i), fresh.value(def.id, i));
    }
}

void tst_EmuSettings::saveKeepsForeignKeys()
{
    const QByteArray original = "; my session\r\n"
                                "[Norvalis]\r\n"
                                "AutoClose=True\r\n"
                                "SessionTitle=  Orders  \r\n"
                                "Icon=/icons/a.png\r\n"
                                "MenuFileName=my.mnu\r\n"
                                "CustomMouseTable=mouse.txt\r\n"
                                "ShowErrs=True\r\n"
                                "\r\n"
                                "[Custom]\r\n"
                                "Baud=not ours\r\n";
    writeBytes(m_file, original);

    Settings s;
    s.setTermType(0); // TTY: still written, as "0"
    s.Save(m_file);
    const QByteArray saved = readBytes(m_file);
    QVERIFY(saved.startsWith(original.left(original.indexOf("\r\n\r\n[Custom]") + 2)));
    QVERIFY(saved.contains("[Custom]\r\nBaud=not ours\r\n"));
    QCOMPARE(inifile::readString(m_file, QStringLiteral("Norvalis"), QStringLiteral("TermType")),
        std::optional<QString>(QStringLiteral("0")));
    QCOMPARE(
        inifile::readString(m_file, QStringLiteral("Norvalis"), QStringLiteral("SessionTitle")),
        std::optional<QString>(QStringLiteral("Orders")));
    QCOMPARE(inifile::readString(m_file, QStringLiteral("Connection"), QStringLiteral("Baud")),
        std::optional<QString>(QStringLiteral("6")));

    // Saving again changes nothing.
    s.Save(m_file);
    QCOMPARE(readBytes(m_file), saved);
}

void tst_EmuSettings::saveFailureKeepsChanged()
{
    Settings s;
    s.setFontSize(14);
    const QString path = m_dir.filePath(QStringLiteral("no/such/dir/x.nvcf"));
    QCOMPARE(errorOf([&] { s.Save(path); }), 75);
    QVERIFY(s.Changed());
    QVERIFY(!QFile::exists(path));
}

void tst_EmuSettings::loadBadValuesKeepDefaults()
{
    writeBytes(m_file,
        "[Norvalis]\nTermType=9\n"
        "[Connection]\nBaud=fast\nDataBits=7\nHostName=\"  spaced  \"\nPort=99999\n"
        "[Screen]\nNormCols= 100 \nNormRows=24x\n"
        "[Colors]\nPalette3=-1\nPalette4=zz\n");
    Settings s;
    s.setHostPort(QStringLiteral("9999"));
    s.Load(m_file);
    const Settings defaults;
    QCOMPARE(s.TermType(), emu::Int(9));
    QCOMPARE(s.Baud(), defaults.Baud());
    QCOMPARE(s.DataBits(), emu::Int(7));
    QCOMPARE(s.HostName(), QStringLiteral("  spaced  "));
    QCOMPARE(s.Port(), defaults.Port());
    QCOMPARE(s.NormCols(), emu::Int(100));
    QCOMPARE(s.NormRows(), defaults.NormRows());
    QCOMPARE(s.Palette(3), emu::Long(-1));
    QCOMPARE(s.Palette(4), defaults.Palette(4));
    QCOMPARE(s.HostPort(), QString()); // not in the file: the default, not the old value
}

void tst_EmuSettings::loadMissingFile()
{
    Settings s;
    s.setNormCols(90);
    QSignalSpy reloaded(&s, &Settings::reloaded);
    QCOMPARE(errorOf([&] { s.Load(m_dir.filePath(QStringLiteral("absent.nvcf"))); }), 53);
    QCOMPARE(reloaded.count(), 1);
    QCOMPARE(s.NormCols(), emu::Int(80));
    QVERIFY(!s.Changed());
}

void tst_EmuSettings::hostTerminalName()
{
    Settings s;
    s.setTermType(16);
    QCOMPARE(s.hostTerminalName(), QStringLiteral("linux"));
    s.setHostTermType(QStringLiteral(" xterm "));
    QCOMPARE(s.hostTerminalName(), QStringLiteral("xterm"));
    s.setHostTermType(QString());
    s.setTermType(99);
    QCOMPARE(s.hostTerminalName(), QStringLiteral("dumb"));
}

void tst_EmuSettings::baudRates_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("rate");

    QTest::newRow("code 0") << 0 << 110;
    QTest::newRow("code 6") << 6 << 9600;
    QTest::newRow("code 11") << 11 << 115200;
    QTest::newRow("code 14") << 14 << 921600;
    QTest::newRow("plain rate") << 2400 << 2400;
    QTest::newRow("plain 19200") << 19200 << 19200;
    QTest::newRow("negative") << -5 << 0;
}

void tst_EmuSettings::baudRates()
{
    QFETCH(int, baud);
    QFETCH(int, rate);
    QCOMPARE(emu::baudRate(emu::Int(baud)), rate);
}

QTEST_GUILESS_MAIN(tst_EmuSettings)
#include "tst_emusettings.moc"
