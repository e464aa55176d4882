#pragma once
// Helpers shared by the settings and file tests: whole-file reads and writes, data rows written
// as plain literals, and a way to make writes fail on purpose that also binds root (whom
// permissions do not stop).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// Writes the bytes as the whole file, making its directory when needed.
inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
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

// While it lives, no file may grow beyond the given size: larger writes fail.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};
