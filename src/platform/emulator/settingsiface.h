#pragma once
// The Settings object as automation clients and scripts see it: NVWin32.Settings, at
// /Settings/<n>, with LoadDefaults, Load and Save and a property per setting of the settings
// table (emusettings.h), in the table's order, Changed first. An indexed setting (Palette) is
// the pair of methods Name(Index) and SetName(Index, value). Booleans are 16-bit (True -1).
// Each member reads or writes the Settings object at the moment of the call and answers its
// errors unchanged; once the Settings object has gone, every member raises 91. One adapter per
// Settings object, made on first use and gone with it.

#include "automation/guard.h"
#include "emulator/emusettings.h"
#include "runtime/values.h"

#include <QObject>
#include <QPointer>

namespace emu {

// How a row of the settings table is published: its type, and a plain or an indexed setting.
#define EMU_IFACE_TYPE_Int rt::Int
#define EMU_IFACE_TYPE_Long rt::Long
#define EMU_IFACE_TYPE_String QString
#define EMU_IFACE_TYPE_Boolean rt::Int
#define EMU_IFACE_KIND_0 Plain
#define EMU_IFACE_KIND_16 Indexed
#define EMU_IFACE_CAT(a, b) EMU_IFACE_CAT_(a, b)
#define EMU_IFACE_CAT_(a, b) a##b
#define EMU_IFACE_ROW(what, name, type, count)                                                     \
    EMU_IFACE_CAT(EMU_IFACE_##what##_, EMU_IFACE_KIND_##count)(name, EMU_IFACE_TYPE_##type)

#define EMU_IFACE_QPROPERTY(name, type, count, section, deflt) EMU_IFACE_ROW(QPROPERTY, name, type, count)
#define EMU_IFACE_QPROPERTY_Plain(name, T) Q_PROPERTY(T name READ name WRITE set##name)
#define EMU_IFACE_QPROPERTY_Indexed(name, T)

#define EMU_IFACE_ACCESSORS(name, type, count, section, deflt) EMU_IFACE_ROW(ACCESSORS, name, type, count)
#define EMU_IFACE_ACCESSORS_Plain(name, T)                                                         \
    T name() const                                                                                 \
    {                                                                                              \
        return call([&] { return published<T>(settings().value(Setting::name)); });              \
    }                                                                                              \
    void set##name(const T &value)                                                                 \
    {                                                                                              \
        call([&] { settings().setValue(Setting::name, QVariant::fromValue(value)); });             \
    }
#define EMU_IFACE_ACCESSORS_Indexed(name, T)

#define EMU_IFACE_METHODS(name, type, count, section, deflt) EMU_IFACE_ROW(METHODS, name, type, count)
#define EMU_IFACE_METHODS_Plain(name, T)
#define EMU_IFACE_METHODS_Indexed(name, T)                                                         \
    T name(rt::Int Index) const                                                                    \
    {                                                                                              \
        return call([&] { return published<T>(settings().value(Setting::name, Index)); });       \
    }                                                                                              \
    void Set##name(rt::Int Index, const T &value)                                                  \
    {                                                                                              \
        call([&] { settings().setValue(Setting::name, QVariant::fromValue(value), Index); });      \
    }

class SettingsIface : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "NVWin32.Settings")
    Q_CLASSINFO("D-Bus Path Prefix", "/Settings")
    EMU_SETTINGS(EMU_IFACE_QPROPERTY)

private:
    explicit SettingsIface(Settings *settings);

    Settings &settings() const;
    template<class F> static auto call(F &&body) { return automation::guard(std::forward<F>(body)); }
    // A setting's value as its published type (a Boolean as -1 or 0).
    template<class T> static T published(const QVariant &value)
    {
        if (value.metaType().id() == QMetaType::Bool)
            return T(rt::BoolToInt(value.toBool()));
        return value.value<T>();
    }

    QPointer<Settings> m_settings;

public:
    // The adapter of a Settings object (nullptr for none).
    static SettingsIface *of(Settings *settings);

    EMU_SETTINGS(EMU_IFACE_ACCESSORS)

public slots:
    void LoadDefaults();
    void Load(const QString &FileName);
    void Save(const QString &FileName);
    EMU_SETTINGS(EMU_IFACE_METHODS)

};

} // namespace emu
