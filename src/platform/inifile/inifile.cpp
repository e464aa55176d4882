#include "inifile/inifile.h"

#include "inifile/inidocument.h"
#include "inifile/storedfile.h"

#include <QFileInfo>
#include <memory>

namespace inifile {

namespace {

using SharedDocument = std::shared_ptr<IniDocument>;

// Parsed files keyed by absolute path (a relative name must not follow the current directory).
StampedCache<IniDocument> &cache()
{
    static StampedCache<IniDocument> instance;
    return instance;
}

QString cacheKey(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// The file's document (an empty one for a missing file); nullptr when it cannot be read.
SharedDocument loadDocument(const QString &path)
{
    return cache().get(cacheKey(path), &IniDocument::parse);
}

} // namespace

struct IniFile::Data
{
    QString path;
    // Shared with the cache until the first change; then our own copy.
    SharedDocument document = std::make_shared<IniDocument>();
    bool shared = false;
    bool modified = false;
    bool unreadable = false;

    IniDocument &editable()
    {
        if (shared) {
            document = std::make_shared<IniDocument>(*document);
            shared = false;
        }
        return *document;
    }
    void apply(IniDocument::Edit edit)
    {
        if (edit == IniDocument::Edit::Changed)
            modified = true;
    }
};

IniFile::IniFile(QString path)
    : d(new Data)
{
    d->path = std::move(path);
}

IniFile::~IniFile()
{
    delete d;
}

const QString &IniFile::path() const
{
    return d->path;
}

bool IniFile::load()
{
    d->modified = false;
    SharedDocument document = d->path.isEmpty() ? nullptr : loadDocument(d->path);
    d->unreadable = !document;
    if (!document) {
        d->document = std::make_shared<IniDocument>();
        d->shared = false;
        return false;
    }
    d->document = std::move(document);
    d->shared = true;
    return true;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    return d->document->value(section, key);
}

bool IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    // Refusal is decided before anything is copied.
    if (value.contains(u'\r') || value.contains(u'\n'))
        return false;
    const IniDocument::Edit edit = d->editable().setValue(section, key, value);
    d->apply(edit);
    return edit != IniDocument::Edit::Refused;
}

void IniFile::removeKey(const QString &section, const QString &key)
{
    if (d->document->hasKey(section, key))
        d->apply(d->editable().removeKey(section, key));
}

void IniFile::removeSection(const QString &section)
{
    if (d->document->hasSection(section))
        d->apply(d->editable().removeSection(section));
}

QStringList IniFile::sections() const
{
    return d->document->sections();
}

QStringList IniFile::keys(const QString &section) const
{
    return d->document->keys(section);
}

bool IniFile::isModified() const
{
    return d->modified;
}

bool IniFile::save()
{
    // A file we could not read is never replaced by what little we know of it.
    if (d->unreadable || d->path.isEmpty())
        return false;
    FileStamp stamp;
    if (!writeWhole(d->path, d->document->serialize(), &stamp))
        return false;
    d->modified = false;
    d->shared = true;
    cache().put(cacheKey(d->path), stamp, d->document);
    return true;
}

std::optional<QString> readString(const QString &path, const QString &section, const QString &key)
{
    if (path.isEmpty())
        return std::nullopt;
    const SharedDocument document = loadDocument(path);
    return document ? document->value(section, key) : std::nullopt;
}

bool writeString(const QString &path, const QString &section, const QString &key,
    const std::optional<QString> &value)
{
    IniFile file(path);
    if (!file.load())
        return false;
    if (value) {
        if (!file.setValue(section, key, *value))
            return false;
    } else {
        file.removeKey(section, key);
    }
    return !file.isModified() || file.save();
}

bool deleteSection(const QString &path, const QString &section)
{
    IniFile file(path);
    if (!file.load())
        return false;
    file.removeSection(section);
    return !file.isModified() || file.save();
}

} // namespace inifile
