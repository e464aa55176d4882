#include "app/profile.h"

#include "inifile/inifile.h"
#include "registry/registry.h"
#include "runtime/errnum.h"
#include "runtime/storeslog.h"
#include "runtime/values.h"

#include <optional>

namespace Profile {

namespace {

// The leading number rounded half to even; a number beyond the 32-bit range is 0.
rt::Long toLong(const QString &text)
{
    try {
        return rt::CLng(rt::Val(text));
    } catch (const rt::Error &error) {
        rt::debugSwallowed(lcStores(), error, "Profile: number out of range, read as 0", text);
        return 0;
    }
}

// The key's text in the file, else in the defaults file, converted; dflt when neither has a
// non-empty one.
template<class T, class Convert>
T readIni(const QString &section, const QString &key, T dflt, const QString &file,
    const QString &defaultsFile, Convert convert)
{
    rt::ResumeNext silent;
    T result = dflt;
    silent([&] {
        std::optional<QString> text = inifile::readString(file, section, key);
        if (!text && !defaultsFile.isEmpty())
            text = inifile::readString(defaultsFile, section, key);
        if (text)
            result = convert(*text);
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: INI value not read");
    return result;
}

// Writes text, or deletes the key when it is not to be kept. The writer refuses a value holding
// CR or LF, and the key then keeps what it had.
void writeOrDelete(
    const QString &section, const QString &key, bool keep, const QString &text, const QString &file)
{
    if (!inifile::writeString(file, section, key, keep ? std::optional(text) : std::nullopt))
        qCDebug(lcStores) << "Profile: not written (ignored):" << file << section << key;
}

[[noreturn]] void notStored(const QString &where, const QString &reason)
{
    throw rt::Error(rt::err::PathFileAccess,
        rt::errorText(rt::err::PathFileAccess) + QStringLiteral(": ") + where
            + QStringLiteral(" (") + reason + u')');
}

} // namespace

QString GetIniString(const QString &section, const QString &key, const QString &dflt,
    const QString &file, const QString &defaultsFile)
{
    return readIni(
        section, key, dflt, file, defaultsFile, [](const QString &text) { return text; });
}

rt::Long GetIniLong(const QString &section, const QString &key, rt::Long dflt, const QString &file,
    const QString &defaultsFile)
{
    return readIni(section, key, dflt, file, defaultsFile, toLong);
}

bool GetIniBool(const QString &section, const QString &key, bool dflt, const QString &file,
    const QString &defaultsFile)
{
    return readIni(section, key, dflt, file, defaultsFile, StrToBool);
}

void PutIniString(const QString &section, const QString &key, const QString &value,
    const QString &dflt, const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const QString reference = defaultsFile.isEmpty()
            ? dflt
            : inifile::readString(defaultsFile, section, key).value_or(QString());
        writeOrDelete(section, key, !value.isEmpty() && value != reference, value, file);
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: INI string not written");
}

void StoreIniString(const QString &section, const QString &key, const QString &value,
    const QString &dflt, const QString &file)
{
    const bool keep = !value.isEmpty() && value != dflt;
    QString reason;
    if (!inifile::writeString(file, section, key, keep ? std::optional(value) : std::nullopt,
            &reason))
        notStored(file, reason);
}

void PutIniLong(const QString &section, const QString &key, rt::Long value, rt::Long dflt,
    const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const bool keep = defaultsFile.isEmpty()
            ? dflt != 0 || value != 0
            : value != GetIniLong(section, key, dflt, defaultsFile);
        writeOrDelete(section, key, keep, QString::number(value), file);
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: INI number not written");
}

void PutIniBool(const QString &section, const QString &key, bool value, bool dflt,
    const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const bool keep = defaultsFile.isEmpty()
            ? dflt || value
            : value != GetIniBool(section, key, dflt, defaultsFile);
        writeOrDelete(section, key, keep, BoolToStr(value), file);
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: INI Boolean not written");
}

QString GetRegString(rt::Int root, const QString &keyPath, const QString &dflt)
{
    rt::ResumeNext silent;
    QString result = dflt;
    silent([&] {
        const std::optional<QString> text = registry::value(RegRootKey(root), keyPath);
        if (text && !text->isEmpty())
            result = *text;
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: registry value not read");
    return result;
}

void PutRegString(rt::Int root, const QString &keyPath, const QString &value, const QString &dflt)
{
    Q_UNUSED(dflt) // the value is stored whatever its default
    rt::ResumeNext silent;
    silent([&] {
        if (!registry::setValue(RegRootKey(root), keyPath, value))
            qCDebug(lcStores) << "Profile: registry value not written (ignored):" << keyPath;
    });
    rt::debugSwallowed(lcStores(), silent, "Profile: registry value not written");
}

void StoreRegString(rt::Int root, const QString &keyPath, const QString &value)
{
    QString reason;
    if (!registry::setValue(RegRootKey(root), keyPath, value, QString(), &reason))
        notStored(keyPath, reason);
}

void DeleteRegKey(rt::Int root, const QString &keyPath)
{
    rt::ResumeNext silent;
    silent([&] { registry::deleteKey(RegRootKey(root), keyPath); });
    rt::debugSwallowed(lcStores(), silent, "Profile: registry key not deleted");
}

registry::Root RegRootKey(rt::Int root)
{
    switch (root) {
    case HKCU:
        return registry::Root::CurrentUser;
    case HKLM:
        return registry::Root::LocalMachine;
    default:
        return registry::Root::ClassesRoot;
    }
}

QString BoolToStr(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool StrToBool(const QString &text)
{
    rt::ResumeNext silent;
    bool result = false;
    silent([&] { result = rt::Val(text) != 0 || text.startsWith(u'T', Qt::CaseInsensitive); });
    rt::debugSwallowed(lcStores(), silent, "Profile: text not read as a Boolean");
    return result;
}

} // namespace Profile
