#include "app/profile.h"

#include "inifile/inifile.h"
#include "registry/registry.h"
#include "runtime/values.h"

#include <optional>

namespace Profile {

namespace {

// A key's text in the file, else in the defaults file; nullopt when neither has a non-empty one.
std::optional<QString> readIni(
    const QString &section, const QString &key, const QString &file, const QString &defaultsFile)
{
    std::optional<QString> text = inifile::readString(file, section, key);
    if (!text && !defaultsFile.isEmpty())
        text = inifile::readString(defaultsFile, section, key);
    return text;
}

// The leading number rounded half to even; a number beyond the 32-bit range is 0.
rt::Long toLong(const QString &text)
{
    try {
        return rt::CLng(rt::Val(text));
    } catch (const rt::Error &) {
        return 0;
    }
}

// Writes the value, or deletes the key when it is not to be kept. A value holding CR or LF is
// refused by the writer, so the key keeps what it had.
void writeIni(const QString &section, const QString &key, const std::optional<QString> &value,
    const QString &file)
{
    inifile::writeString(file, section, key, value);
}

} // namespace

QString GetIniString(const QString &section, const QString &key, const QString &dflt,
    const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    QString result = dflt;
    silent([&] {
        if (const auto text = readIni(section, key, file, defaultsFile))
            result = *text;
    });
    return result;
}

rt::Long GetIniLong(const QString &section, const QString &key, rt::Long dflt, const QString &file,
    const QString &defaultsFile)
{
    rt::ResumeNext silent;
    rt::Long result = dflt;
    silent([&] {
        if (const auto text = readIni(section, key, file, defaultsFile))
            result = toLong(*text);
    });
    return result;
}

bool GetIniBool(const QString &section, const QString &key, bool dflt, const QString &file,
    const QString &defaultsFile)
{
    rt::ResumeNext silent;
    bool result = dflt;
    silent([&] {
        if (const auto text = readIni(section, key, file, defaultsFile))
            result = StrToBool(*text);
    });
    return result;
}

void PutIniString(const QString &section, const QString &key, const QString &value,
    const QString &dflt, const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const QString reference = defaultsFile.isEmpty()
            ? dflt
            : inifile::readString(defaultsFile, section, key).value_or(QString());
        const bool keep = !value.isEmpty() && value != reference;
        writeIni(section, key, keep ? std::optional<QString>(value) : std::nullopt, file);
    });
}

void PutIniLong(const QString &section, const QString &key, rt::Long value, rt::Long dflt,
    const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const bool keep = defaultsFile.isEmpty()
            ? dflt != 0 || value != 0
            : value != GetIniLong(section, key, dflt, defaultsFile);
        writeIni(section, key, keep ? std::optional<QString>(QString::number(value)) : std::nullopt,
            file);
    });
}

void PutIniBool(const QString &section, const QString &key, bool value, bool dflt,
    const QString &file, const QString &defaultsFile)
{
    rt::ResumeNext silent;
    silent([&] {
        const bool keep = defaultsFile.isEmpty()
            ? dflt || value
            : value != GetIniBool(section, key, dflt, defaultsFile);
        writeIni(
            section, key, keep ? std::optional<QString>(BoolToStr(value)) : std::nullopt, file);
    });
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
    return result;
}

void PutRegString(rt::Int root, const QString &keyPath, const QString &value, const QString &dflt)
{
    Q_UNUSED(dflt) // the value is stored whatever its default
    rt::ResumeNext silent;
    silent([&] { registry::setValue(RegRootKey(root), keyPath, value); });
}

void DeleteRegKey(rt::Int root, const QString &keyPath)
{
    rt::ResumeNext silent;
    silent([&] { registry::deleteKey(RegRootKey(root), keyPath); });
}

registry::Root RegRootKey(rt::Int root)
{
    switch (root) {
    case 1:
        return registry::Root::CurrentUser;
    case 2:
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
    return result;
}

} // namespace Profile
