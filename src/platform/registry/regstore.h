#pragma once
// One root of the settings store in memory, and its text form. The file reads like this:
//
//   [Software\Dremo\Nvwin2k\ChildWindowState]
//   @="2"
//   "Name"="text with \"quotes\", a \\ and a line\nbreak"
//
// A header names a key by its path; "@" is the key's default value. Values and value names are
// quoted with backslash escapes (\\ \" \n \r \t and \uHHHH for other control characters and
// unpaired surrogates), so any text is stored. In a header "%HHHH" stands for a "%", a control
// character or an unpaired surrogate of a key name. Keys are written sorted, every parent key
// with its own header. Any other line that is not blank (a comment, a line written by hand that
// is not one of ours) is kept byte for byte with the key it stands under, and written back
// after that key's values; lines before the first header stay at the top.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <utility>

namespace registry {

class RegStore
{
public:
    struct Key
    {
        QString path; // with the spelling it was created with
        QList<std::pair<QString, QString>> values; // name ("" is the default value), text
        QList<QByteArray> kept; // lines under the key's header that are not values

        const QString *value(const QString &name) const;
        void setValue(const QString &name, const QString &text);
        bool removeValue(const QString &name);
    };

    static RegStore parse(const QByteArray &bytes);
    QByteArray serialize() const;

    // The key path as "\"-separated names, empty names dropped. The empty path is the root.
    static QStringList splitPath(const QString &path);

    const Key *find(const QString &path) const;
    Key *find(const QString &path) { return const_cast<Key *>(std::as_const(*this).find(path)); }
    // Finds or creates the key and every missing parent; new names keep the caller's spelling.
    Key &create(const QString &path);
    // Removes the key with its subtree; false when it does not exist (or is the root).
    bool remove(const QString &path);
    QStringList children(const QString &path) const;

    // Names compare without case.
    static QString fold(const QString &name);
    static QString fold(const QStringList &parts);

private:
    QList<QByteArray> m_leading; // kept lines before the first header
    QMap<QString, Key> m_keys; // folded path -> key; a subtree is one contiguous range
};

} // namespace registry
