#include "inifile/inifile.h"

#include "inifile/inidocument.h"
#include "inifile/storedfile.h"
#include "runtime/storeslog.h"
#include "runtime/wholefile.h"

#include <QFileInfo>
#include <functional>
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

// A change to a file's content: made at once on the copy in memory, and again on the file as
// save() finds it.
using Change = std::function<IniDocument::Edit(IniDocument &)>;

// The file's content, read now (never from the cache: another instance may have replaced it a
// moment ago), with the changes made on it; nullptr when it cannot be read or must not be
// written. changed tells whether the changes made a difference.
SharedDocument editedDocument(
    const QString &path, const QList<Change> &changes, bool &changed, QString *reason)
{
    QByteArray bytes;
    FileStamp stamp;
    if (readWhole(path, bytes, stamp, reason) == ReadStatus::Failed)
        return nullptr;
    auto document = std::make_shared<IniDocument>(IniDocument::parse(bytes));
    if (!document->isText()) {
        qCWarning(lcStores).noquote() << "Not written, not UTF-8 text:" << path;
        *reason = QStringLiteral("not UTF-8 text");
        return nullptr;
    }
    changed = false;
    for (const Change &change : changes)
        changed = change(*document) == IniDocument::Edit::Changed || changed;
    if (!changed)
        cache().put(cacheKey(path), stamp, document);
    return document;
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
    // Every change since the last load or save, made again on the file as save() finds it.
    QList<Change> changes;

    IniDocument &editable()
    {
        if (shared) {
            document = std::make_shared<IniDocument>(*document);
            shared = false;
        }
        return *document;
    }
    IniDocument::Edit apply(Change change)
    {
        const IniDocument::Edit edit = change(editable());
        if (edit == IniDocument::Edit::Changed)
            modified = true;
        if (edit != IniDocument::Edit::Refused)
            changes.append(std::move(change));
        return edit;
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
    d->changes.clear();
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
    return d->apply([=](IniDocument &document) { return document.setValue(section, key, value); })
        != IniDocument::Edit::Refused;
}

void IniFile::removeKey(const QString &section, const QString &key)
{
    Change change = [=](IniDocument &document) { return document.removeKey(section, key); };
    if (d->document->hasKey(section, key))
        d->apply(std::move(change));
    else
        d->changes.append(std::move(change)); // the copy in memory stays as it is
}

void IniFile::removeSection(const QString &section)
{
    Change change = [=](IniDocument &document) { return document.removeSection(section); };
    if (d->document->hasSection(section))
        d->apply(std::move(change));
    else
        d->changes.append(std::move(change));
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

bool IniFile::save(QString *reason)
{
    QString why;
    const auto failed = [&why, reason](const QString &text) {
        if (reason)
            *reason = text.isEmpty() ? why : text;
        return false;
    };
    // A file we could not read is never replaced by what little we know of it, and something
    // that is not a file (a FIFO, a device) gets no lock file beside it.
    const QFileInfo info(d->path);
    if (d->path.isEmpty())
        return failed(QStringLiteral("no file name"));
    if (info.exists() && !info.isFile())
        return failed(QStringLiteral("not a regular file"));
    if (d->unreadable)
        return failed(QStringLiteral("cannot be read"));
    // Lock, read again, change, replace: two instances writing one file lose nothing.
    const rt::FileEditLock lock(d->path);
    bool changed = false;
    SharedDocument document = editedDocument(d->path, d->changes, changed, &why);
    if (!document)
        return failed(QString());
    if (!lock.locked() && changed)
        return failed(QStringLiteral("held by another writer"));
    FileStamp stamp;
    if (changed) {
        if (!writeWhole(d->path, document->serialize(), &stamp, &why))
            return failed(QString());
        cache().put(cacheKey(d->path), stamp, document);
    }
    d->document = std::move(document);
    d->shared = true;
    d->modified = false;
    d->changes.clear();
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
    const std::optional<QString> &value, QString *reason)
{
    IniFile file(path);
    if (value) {
        if (!file.setValue(section, key, *value)) {
            if (reason)
                *reason = QStringLiteral("the value holds a line break");
            return false;
        }
    } else {
        file.removeKey(section, key);
    }
    return file.save(reason);
}

bool deleteSection(const QString &path, const QString &section)
{
    IniFile file(path);
    file.removeSection(section);
    return file.save();
}

} // namespace inifile
