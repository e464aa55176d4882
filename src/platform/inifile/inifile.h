#pragma once
// Private-profile (INI) files with the classic rules: section and key names compare without case,
// blanks around names and values are trimmed, a matching pair of quotes around a value is removed
// on read, a key present with an empty value reads as missing, a missing key is appended at the
// end of its section and a missing section at the end of the file, every other line is kept as it
// was. LF, CR LF and CR are read; a file keeps its own line endings, new files use LF. UTF-8.
// Values holding CR or LF are refused. Every write is atomic (the runtime's whole-file writer)
// and made under the file's edit lock on the file as it is then, so that two instances writing
// one file lose nothing. A file that is not 8-bit text (UTF-16 or UTF-32) is never written.
//
// Lines starting with ";" are comments and never keys; a line without "=" inside a section is a
// key without a value; lines before the first section belong to no section. A repeated section
// reads as one (the first key of a name wins). A new key goes after the last key of its section;
// a value that would not read back whole (blanks or a pair of quotes at its ends) is written in
// double quotes. Reads are served from parsed copies checked against the file's stamp, so reading
// one key of a large file costs a stat.

#include <QString>
#include <QStringList>
#include <optional>

namespace inifile {

// One file held in memory: read once, changed, written back whole with save(). The changes are
// remembered and made again, under the lock, on the file as save() finds it.
class IniFile
{
public:
    explicit IniFile(QString path);
    ~IniFile();
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    const QString &path() const;
    // Reads the file; a missing file is an empty one. False when it exists but cannot be read.
    bool load();
    // The value, or nullopt when the key is missing or its value is empty.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // False (and nothing changes) when the value holds CR or LF.
    bool setValue(const QString &section, const QString &key, const QString &value);
    void removeKey(const QString &section, const QString &key);
    void removeSection(const QString &section);
    QStringList sections() const;
    QStringList keys(const QString &section) const;
    bool isModified() const;
    // Writes the changes into the file; false (old file kept) when it cannot be read or written,
    // or is not 8-bit text, and reason (when asked for) says which.
    bool save(QString *reason = nullptr);

private:
    struct Data;
    Data *d;
};

// One-shot helpers, each reading the file and (for writes) saving it at once.
std::optional<QString> readString(const QString &path, const QString &section, const QString &key);
// nullopt deletes the key. False when refused (CR/LF) or when the file cannot be written, and
// reason (when asked for) says why.
bool writeString(const QString &path, const QString &section, const QString &key,
    const std::optional<QString> &value, QString *reason = nullptr);
bool deleteSection(const QString &path, const QString &section);

} // namespace inifile
