#include "emulator/settingsiface.h"

#include "runtime/errnum.h"
#include "runtime/values.h"

namespace emu {

SettingsIface *SettingsIface::of(Settings *settings)
{
    if (!settings)
        return nullptr;
    if (auto *adapter = settings->findChild<SettingsIface *>(QString(), Qt::FindDirectChildrenOnly))
        return adapter;
    return new SettingsIface(settings);
}

SettingsIface::SettingsIface(Settings *settings)
    : QObject(settings)
    , m_settings(settings)
{ }

Settings &SettingsIface::settings() const
{
    if (!m_settings)
        rt::raise(rt::err::ObjectNotSet);
    return *m_settings;
}

void SettingsIface::LoadDefaults()
{
    call([&] { settings().LoadDefaults(); });
}

void SettingsIface::Load(const QString &FileName)
{
    call([&] { settings().Load(FileName); });
}

void SettingsIface::Save(const QString &FileName)
{
    call([&] { settings().Save(FileName); });
}

} // namespace emu
