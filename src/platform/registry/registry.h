#pragma once
// The hierarchical settings store: three roots of keys separated by "\" and compared without
// case; each key holds named values and a default value (empty name). Kept as text files:
// the current user's in $XDG_CONFIG_HOME/norvalis/, the local machine's in the first folder of
// $XDG_CONFIG_DIRS (default /etc/xdg) under norvalis/ (read-only to a user), the classes root
// beside the user's. Every write re-reads the file under a lock and replaces it atomically, so
// two running instances lose no value. Value names compare without case too; any text can be a
// value. The program never writes the machine's own store: writes to the local machine root fail
// unless tests have pointed it at a file of their own with setStoreFile().

#include <QString>
#include <QStringList>
#include <optional>

namespace registry {

enum class Root { CurrentUser, LocalMachine, ClassesRoot };

// nullopt when the key or the value does not exist. An empty name is the default value.
std::optional<QString> value(Root root, const QString &key, const QString &name = QString());
// Creates the key (and its parents) when needed. False when the store cannot be written, and
// reason (when asked for) says why.
bool setValue(Root root, const QString &key, const QString &value, const QString &name = QString(),
    QString *reason = nullptr);
bool deleteValue(Root root, const QString &key, const QString &name = QString());
// Deletes the key with its whole subtree. False when it did not exist or cannot be written.
bool deleteKey(Root root, const QString &key);
bool keyExists(Root root, const QString &key);
QStringList subKeys(Root root, const QString &key);
QStringList valueNames(Root root, const QString &key);

// The file that holds a root (tests point the roots at temporary files).
QString storeFile(Root root);
void setStoreFile(Root root, const QString &path);

} // namespace registry
