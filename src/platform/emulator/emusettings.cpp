#include "emulator/emusettings.h"

#include "emulator/emulog.h"
#include "inifile/inifile.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QFileInfo>
#include <limits>

namespace emu {

namespace {

QList<SettingDef> buildTable()
{
    QList<SettingDef> table;
#define EMU_SETTING_ROW(name, type, count, section, deflt)                                         \
    table.append(SettingDef { Setting::name, QStringLiteral(#name), SettingType::type, count,      \
        QStringLiteral(section), QString::fromLatin1(deflt).split(u' ', Qt::SkipEmptyParts) });
    EMU_SETTINGS(EMU_SETTING_ROW)
#undef EMU_SETTING_ROW
    for (SettingDef &def : table) {
        if (def.defaults.isEmpty())
            def.defaults.append(QString());
        Q_ASSERT(def.count == 0 ? def.defaults.size() == 1 : def.defaults.size() == def.count);
    }
    return table;
}

int slotCount(const SettingDef &def)
{
    return def.count == 0 ? 1 : def.count;
}

// A value as the setting's type, or raises the conversion's error.
QVariant convert(const SettingDef &def, const QVariant &value)
{
    switch (def.type) {
    case SettingType::Int:
        return QVariant::fromValue(rt::CInt(value));
    case SettingType::Long:
        return QVariant::fromValue(rt::CLng(value));
    case SettingType::Boolean:
        return QVariant(rt::CBool(value));
    case SettingType::String: {
        QString text = rt::CStr(value);
        // The session file is a line-oriented text file: these could never be read back.
        if (text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0)))
            rt::raise(rt::err::InvalidPropertyValue);
        return QVariant(text);
    }
    }
    return {};
}

// A value read from the file or the table's default text; nullopt when it is not of the type.
std::optional<QVariant> parse(const SettingDef &def, const QString &text)
{
    bool ok = false;
    switch (def.type) {
    case SettingType::Int: {
        const int v = text.trimmed().toInt(&ok);
        if (!ok || v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max())
            return std::nullopt;
        return QVariant::fromValue(Int(v));
    }
    case SettingType::Long: {
        const Long v = text.trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
        return QVariant::fromValue(v);
    }
    case SettingType::Boolean: {
        const QString t = text.trimmed();
        return QVariant(t.startsWith(u'T', Qt::CaseInsensitive) || rt::Val(t) != 0);
    }
    case SettingType::String:
        return QVariant(text);
    }
    return std::nullopt;
}

// The text a value is saved as (the INI writer itself quotes a text that reading would change).
QString format(const SettingDef &def, const QVariant &value)
{
    switch (def.type) {
    case SettingType::Int:
    case SettingType::Long:
        return QString::number(value.toLongLong());
    case SettingType::Boolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case SettingType::String:
        return value.toString();
    }
    return {};
}

QString iniKey(const SettingDef &def, int index)
{
    return def.count == 0 ? def.name : def.name + QString::number(index);
}

// Calls f(def, index, key) for every value the session file holds.
template<class F> void forEachSavedValue(F &&f)
{
    for (const SettingDef &def : settingTable()) {
        if (def.section.isEmpty())
            continue;
        for (int i = 0; i < slotCount(def); ++i)
            f(def, i, iniKey(def, i));
    }
}

} // namespace

const QList<SettingDef> &settingTable()
{
    static const QList<SettingDef> table = buildTable();
    return table;
}

const SettingDef *findSetting(const QString &name)
{
    for (const SettingDef &def : settingTable()) {
        if (def.name.compare(name, Qt::CaseInsensitive) == 0)
            return &def;
    }
    return nullptr;
}

const SettingDef &settingDef(Setting id)
{
    return settingTable().at(int(id));
}

const QList<TerminalType> &terminalTypes()
{
    static const QList<TerminalType> types = {
        { 0, QStringLiteral("TTY Emulation"), QStringLiteral("dumb"), false },
        { 1, QStringLiteral("ADDS Viewpoint A2"), QStringLiteral("viewpoint"), false },
        { 2, QStringLiteral("ADDS Viewpoint 60"), QStringLiteral("vp60"), false },
        { 3, QStringLiteral("Procomm VP60"), QStringLiteral("vp60"), false },
        { 4, QStringLiteral("Viewpoint A2 Enhanced"), QStringLiteral("wyse-vp"), false },
        { 5, QStringLiteral("Wyse 50"), QStringLiteral("wy50"), false },
        { 6, QStringLiteral("Wyse 60"), QStringLiteral("wy60"), false },
        { 7, QStringLiteral("DEC VT52"), QStringLiteral("vt52"), false },
        { 8, QStringLiteral("DEC VT220"), QStringLiteral("vt220"), true },
        { 9, QStringLiteral("ANSI"), QStringLiteral("ansi"), true },
        { 10, QStringLiteral("Pick PC Monitor"), QStringLiteral("pcmon"), false },
        { 11, QStringLiteral("Tektronix 4014"), QStringLiteral("tek4014"), false },
        { 12, QStringLiteral("DEC VT100"), QStringLiteral("vt100"), true },
        { 13, QStringLiteral("DEC VT320"), QStringLiteral("vt320"), true },
        { 14, QStringLiteral("DEC VT420"), QStringLiteral("vt420"), true },
        { 15, QStringLiteral("SCO Console"), QStringLiteral("scoansi"), true },
        { 16, QStringLiteral("Linux Console"), QStringLiteral("linux"), true },
        { 17, QStringLiteral("Tektronix 4100"), QStringLiteral("tek4105"), false },
    };
    return types;
}

const TerminalType *findTerminalType(Int code)
{
    for (const TerminalType &type : terminalTypes()) {
        if (type.code == code)
            return &type;
    }
    return nullptr;
}

const QList<qint32> &baudRates()
{
    static const QList<qint32> rates = { 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400,
        57600, 115200, 230400, 460800, 921600 };
    return rates;
}

qint32 baudRate(Int baud)
{
    if (baud >= 0 && baud < baudRates().size())
        return baudRates().at(baud);
    return baud > 0 ? baud : 0;
}

struct Settings::Data
{
    QList<QList<QVariant>> values; // by table row, one per index
};

Settings::Settings(QObject *parent)
    : QObject(parent)
    , d(new Data)
{
    for (const SettingDef &def : settingTable())
        d->values.append(QList<QVariant>(slotCount(def)));
    LoadDefaults();
}

Settings::~Settings()
{
    delete d;
}

QVariant Settings::value(const QString &name, int index) const
{
    const SettingDef *def = findSetting(name);
    if (!def)
        rt::raise(rt::err::NotSupported);
    return value(def->id, index);
}

void Settings::setValue(const QString &name, const QVariant &value, int index)
{
    const SettingDef *def = findSetting(name);
    if (!def)
        rt::raise(rt::err::NotSupported);
    setValue(def->id, value, index);
}

QVariant Settings::value(Setting id, int index) const
{
    const SettingDef &def = settingDef(id);
    if (index < 0 || index >= slotCount(def))
        rt::raise(rt::err::SubscriptOutOfRange);
    return d->values.at(int(id)).at(index);
}

void Settings::setValue(Setting id, const QVariant &value, int index)
{
    const SettingDef &def = settingDef(id);
    if (index < 0 || index >= slotCount(def))
        rt::raise(rt::err::SubscriptOutOfRange);
    const QVariant converted = convert(def, value);
    QVariant &stored = d->values[int(id)][index];
    if (stored == converted)
        return;
    stored = converted;
    emit settingChanged(int(id), index);
    if (id != Setting::Changed && !Changed())
        setChanged(true);
}

Int Settings::intValue(Setting id, int index) const
{
    Q_ASSERT(settingDef(id).type == SettingType::Int);
    return value(id, index).value<Int>();
}

Long Settings::longValue(Setting id, int index) const
{
    Q_ASSERT(settingDef(id).type == SettingType::Long);
    return value(id, index).value<Long>();
}

QString Settings::stringValue(Setting id, int index) const
{
    Q_ASSERT(settingDef(id).type == SettingType::String);
    return value(id, index).toString();
}

void Settings::setDefaults()
{
    for (const SettingDef &def : settingTable()) {
        for (int i = 0; i < slotCount(def); ++i)
            d->values[int(def.id)][i] = parse(def, def.defaults.at(i)).value_or(QVariant());
    }
}

void Settings::LoadDefaults()
{
    setDefaults();
    emit reloaded();
}

void Settings::Load(const QString &fileName)
{
    // One reload for the user of the values: the defaults and the file's values together.
    setDefaults();
    inifile::IniFile file(fileName);
    const Long error = !QFileInfo(fileName).isFile() ? rt::err::FileNotFound
        : !file.load()                               ? rt::err::PathFileAccess
                                                     : 0;
    if (error == 0) {
        forEachSavedValue([&](const SettingDef &def, int index, const QString &key) {
            const std::optional<QString> text = file.value(def.section, key);
            if (!text)
                return;
            if (const std::optional<QVariant> v = parse(def, *text))
                d->values[int(def.id)][index] = *v;
            else // a value of the wrong type keeps the default, as if it were missing
                qCDebug(lcEmulator) << fileName << def.section << key << "unreadable:" << *text;
        });
    }
    emit reloaded();
    if (error != 0)
        rt::raise(error);
}

void Settings::Save(const QString &fileName)
{
    inifile::IniFile file(fileName);
    if (!file.load())
        rt::raise(rt::err::PathFileAccess);
    SaveInto(file);
    if (!file.save())
        rt::raise(rt::err::PathFileAccess);
    setChanged(false);
}

void Settings::SaveInto(inifile::IniFile &file) const
{
    forEachSavedValue([&](const SettingDef &def, int index, const QString &key) {
        if (!file.setValue(def.section, key, format(def, value(def.id, index))))
            rt::raise(rt::err::PathFileAccess);
    });
}

QString Settings::hostTerminalName() const
{
    const QString own = HostTermType().trimmed();
    if (!own.isEmpty())
        return own;
    const TerminalType *type = findTerminalType(TermType());
    return type ? type->hostName : QStringLiteral("dumb");
}

} // namespace emu
