#pragma once
// Helpers any test may use: a file written whole and read back ("<missing>" for a file that is not
// there, so that a comparison says why it failed), data rows written as plain literals, the error
// a statement raises, a screen row without its trailing blanks, and the three settings stores
// moved into a test's own folder, and a watcher of the events one object gets. Header-only;
// include it as "common/testutil.h".

#include "registry/registry.h"
#include "runtime/error.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <QEvent>
#include <QObject>

#include <functional>

// Calls seen(event) for each event of one type that the object gets, while the watcher lives.
class EventWatcher : public QObject
{
public:
    EventWatcher(QObject *watched, QEvent::Type type, std::function<void(QEvent *)> seen)
        : m_type(type)
        , m_seen(std::move(seen))
    {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            m_seen(event);
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void(QEvent *)> m_seen;
};

// Writes the bytes as the whole file, making its directory when needed.
inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A data row whose text columns are given as UTF-8 literals; other cells go in as they are.
inline QString cell(const char *text)
{
    return QString::fromUtf8(text);
}
template<class T> T cell(T value)
{
    return value;
}
template<class... Cells> void dataRow(const char *tag, Cells... cells)
{
    auto &row = QTest::newRow(tag);
    ((row << cell(cells)), ...);
}

// The error a statement raises (number 0 when it raises none).
inline rt::Error raisedError(const std::function<void()> &statement)
{
    try {
        statement();
    } catch (const rt::Error &error) {
        return error;
    }
    return rt::Error();
}

// The number of the error a statement raises, 0 when it raises none.
inline rt::Long errorOf(const std::function<void()> &statement)
{
    return raisedError(statement).number;
}

// A screen row as the user reads it: without the blanks that fill it to the right.
inline QString trimmedRight(QString row)
{
    while (row.endsWith(u' '))
        row.chop(1);
    return row;
}

// The current user's, the machine's and the classes store in files of the folder (user.reg,
// machine.reg, classes.reg); resetStores puts them back where the program keeps them.
inline void useStoresIn(const QDir &folder)
{
    registry::setStoreFile(
        registry::Root::CurrentUser, folder.filePath(QStringLiteral("user.reg")));
    registry::setStoreFile(
        registry::Root::LocalMachine, folder.filePath(QStringLiteral("machine.reg")));
    registry::setStoreFile(
        registry::Root::ClassesRoot, folder.filePath(QStringLiteral("classes.reg")));
}
inline void resetStores()
{
    for (auto root :
        { registry::Root::CurrentUser, registry::Root::LocalMachine, registry::Root::ClassesRoot })
        registry::setStoreFile(root, QString());
}
