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

// Runs one change on the file's current content under the write lock and writes the result.
// The change answers whether it applies; nothing is written when it does not.
template<class Change> bool modify(Root root, Change &&change)
{
    // The machine's own store is the installer's; the program reads it only.
    const QString chosen = chosenFile(root);
    if (root == Root::LocalMachine && chosen.isEmpty())
        return false;
    const QString path = chosen.isEmpty() ? defaultFile(root) : chosen;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const rt::FileEditLock lock(path);
    if (!lock.locked())
        return false;
    QByteArray bytes;
    FileStamp stamp;
    if (inifile::readWhole(path, bytes, stamp) == inifile::ReadStatus::Failed)
        return false;
    auto store = std::make_shared<RegStore>(RegStore::parse(bytes));
    if (!change(*store))
        return false;
    if (!inifile::writeWhole(path, store->serialize(), &stamp))
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

bool setValue(Root root, const QString &key, const QString &value, const QString &name)
{
    return modify(root, [&](RegStore &store) {
        store.create(key).setValue(name, value);
        return true;
    });
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
