#include "registry/registry.h"

#include "inifile/storedfile.h"
#include "registry/regstore.h"
#include "runtime/storeslog.h"
#include "runtime/wholefile.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <array>
#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry {

namespace {

using inifile::FileStamp;
using SharedStore = std::shared_ptr<RegStore>;

struct State
{
    QMutex mutex; // guards chosenFile
    std::array<QString, 3> chosenFile; // set by setStoreFile; empty: the default place
    inifile::StampedCache<RegStore> cache; // shared copies are never changed
};

State &state()
{
    static State instance;
    return instance;
}

QString configHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.config");
}

QString firstConfigDir()
{
    const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':');
    for (const QString &dir : dirs) {
        if (QDir::isAbsolutePath(dir))
            return dir;
    }
    return QStringLiteral("/etc/xdg");
}

QString defaultFile(Root root)
{
    switch (root) {
    case Root::CurrentUser:
        return configHome() + QStringLiteral("/norvalis/user.registry");
    case Root::LocalMachine:
        return firstConfigDir() + QStringLiteral("/norvalis/machine.registry");
    case Root::ClassesRoot:
        break;
    }
    return configHome() + QStringLiteral("/norvalis/classes.registry");
}

QString chosenFile(Root root)
{
    QMutexLocker lock(&state().mutex);
    return state().chosenFile[size_t(root)];
}

// The store as the file holds it now; an unreadable file reads as an empty store.
std::shared_ptr<const RegStore> snapshot(Root root)
{
    const QString path = storeFile(root);
    SharedStore store = state().cache.get(path, &RegStore::parse);
    if (store)
        return store;
    qCDebug(lcStores) << "registry file cannot be read, taken as empty:" << path;
    return std::make_shared<RegStore>();
}

// The user's own stores hold the hosts allowed to run scripts and every setting: like ssh's
// files they are the user's alone. A folder made for them is 0700; the store and its lock are
// 0600, and a store that an earlier version left readable to others is made private.
constexpr mode_t PrivateFolderMode = 0700;
constexpr mode_t PrivateFileMode = 0600;

bool makeFolder(const QString &folder, bool isPrivate)
{
    if (!isPrivate || QFileInfo::exists(folder))
        return QDir().mkpath(folder);
    const QString parent = QFileInfo(folder).absolutePath();
    return QDir().mkpath(parent)
        && (::mkdir(QFile::encodeName(folder).constData(), PrivateFolderMode) == 0
            || errno == EEXIST);
}

// Called under the lock: the writer keeps the mode it finds.
bool makePrivate(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        // An empty store reads as no keys at all, so the file may come before its content.
        const int fd
            = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, PrivateFileMode);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0 || errno == EEXIST; // a link to nowhere: the writer decides
    }
    if ((st.st_mode & 077) == 0)
        return true;
    qCDebug(lcStores) << "registry file readable by others, made private:" << path;
    return ::chmod(name.constData(), st.st_mode & 0700) == 0;
}

// Runs one change on the file's current content under the write lock and writes the result.
// The change answers whether it applies; nothing is written when it does not.
template<class Change> bool modify(Root root, Change &&change, QString *reason = nullptr)
{
    const auto failed = [reason](const QString &why) {
        if (reason && reason->isEmpty())
            *reason = why;
        return false;
    };
    // The machine's own store is the installer's; the program reads it only.
    const QString chosen = chosenFile(root);
    if (root == Root::LocalMachine && chosen.isEmpty())
        return failed(QStringLiteral("the machine's settings are read-only"));
    const QString path = chosen.isEmpty() ? defaultFile(root) : chosen;
    const bool isPrivate = root != Root::LocalMachine;
    if (!makeFolder(QFileInfo(path).absolutePath(), isPrivate))
        return failed(path + QStringLiteral(": its folder cannot be made"));
    const rt::FileEditLock lock(
        path, rt::FileEditLock::DefaultTimeoutMs, isPrivate ? PrivateFileMode : 0666);
    if (!lock.locked())
        return failed(path + QStringLiteral(": cannot be locked for writing"));
    if (isPrivate && !makePrivate(path))
        return failed(path + QStringLiteral(": cannot be made private"));
    QByteArray bytes;
    FileStamp stamp;
    QString why;
    if (inifile::readWhole(path, bytes, stamp, &why) == inifile::ReadStatus::Failed)
        return failed(path + QStringLiteral(": ") + why);
    auto store = std::make_shared<RegStore>(RegStore::parse(bytes));
    if (!change(*store))
        return false;
    if (!inifile::writeWhole(path, store->serialize(), &stamp, reason))
        return false;
    state().cache.put(path, stamp, std::move(store));
    return true;
}

bool isRoot(const QString &key)
{
    return RegStore::splitPath(key).isEmpty();
}

} // namespace

std::optional<QString> value(Root root, const QString &key, const QString &name)
{
    const auto store = snapshot(root);
    const RegStore::Key *k = store->find(key);
    const QString *text = k ? k->value(name) : nullptr;
    return text ? std::optional<QString>(*text) : std::nullopt;
}

bool setValue(
    Root root, const QString &key, const QString &value, const QString &name, QString *reason)
{
    return modify(
        root,
        [&](RegStore &store) {
            store.create(key).setValue(name, value);
            return true;
        },
        reason);
}

bool deleteValue(Root root, const QString &key, const QString &name)
{
    return modify(root, [&](RegStore &store) {
        RegStore::Key *k = store.find(key);
        return k && k->removeValue(name);
    });
}

bool deleteKey(Root root, const QString &key)
{
    return modify(root, [&](RegStore &store) { return store.remove(key); });
}

bool keyExists(Root root, const QString &key)
{
    return isRoot(key) || snapshot(root)->find(key);
}

QStringList subKeys(Root root, const QString &key)
{
    return snapshot(root)->children(key);
}

QStringList valueNames(Root root, const QString &key)
{
    QStringList names;
    if (const RegStore::Key *k = snapshot(root)->find(key)) {
        for (const auto &entry : k->values)
            names.append(entry.first);
    }
    return names;
}

QString storeFile(Root root)
{
    const QString chosen = chosenFile(root);
    return chosen.isEmpty() ? defaultFile(root) : chosen;
}

void setStoreFile(Root root, const QString &path)
{
    QMutexLocker lock(&state().mutex);
    state().chosenFile[size_t(root)] = path;
}

} // namespace registry
