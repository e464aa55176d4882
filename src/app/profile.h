#pragma once
// Settings access: strings, integers and Booleans in INI files (with an optional defaults file)
// and strings in the registry, stored as the default value of one key per setting. These
// routines never report a failure: readers fall back to their default, writers do nothing;
// except the Store writers, for a setting whose caller must know it is kept: a value that cannot
// be stored raises 75 (Path/File access error) with the file and the reason.

#include "runtime/error.h"

#include <QString>

namespace registry {
enum class Root;
}

namespace Profile {

QString GetIniString(const QString &section, const QString &key, const QString &dflt,
    const QString &file, const QString &defaultsFile = QString());
rt::Long GetIniLong(const QString &section, const QString &key, rt::Long dflt, const QString &file,
    const QString &defaultsFile = QString());
bool GetIniBool(const QString &section, const QString &key, bool dflt, const QString &file,
    const QString &defaultsFile = QString());

void PutIniString(const QString &section, const QString &key, const QString &value,
    const QString &dflt, const QString &file, const QString &defaultsFile = QString());
void StoreIniString(const QString &section, const QString &key, const QString &value,
    const QString &dflt, const QString &file);
void PutIniLong(const QString &section, const QString &key, rt::Long value, rt::Long dflt,
    const QString &file, const QString &defaultsFile = QString());
void PutIniBool(const QString &section, const QString &key, bool value, bool dflt,
    const QString &file, const QString &defaultsFile = QString());

// Root selectors of the registry routines; any other value is the classes root.
constexpr rt::Int HKCU = 1; // the current user
constexpr rt::Int HKLM = 2; // the local machine (read-only to the program)
constexpr rt::Int HKCR = 0; // the classes root

QString GetRegString(rt::Int root, const QString &keyPath, const QString &dflt);
void PutRegString(rt::Int root, const QString &keyPath, const QString &value, const QString &dflt);
void StoreRegString(rt::Int root, const QString &keyPath, const QString &value);
void DeleteRegKey(rt::Int root, const QString &keyPath);
registry::Root RegRootKey(rt::Int root);

QString BoolToStr(bool value);
bool StrToBool(const QString &text);

} // namespace Profile
