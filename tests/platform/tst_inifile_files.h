#pragma once
// Helpers shared by the tests of the file layer and the settings stores: a way to make writes
// fail on purpose that also binds root (whom permissions do not stop), and two processes writing
// one file at once. The general helpers (whole files, data rows) are in common/testutil.h.

#include "common/testutil.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <functional>
#include <iostream>
#include <string>
#include <sys/resource.h>

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

// Two writers of one file at once: the test program runs again as a second process with
// "--writer FILE PREFIX COUNT". Each writer writes key number 0 to COUNT - 1 of its own prefix
// ("A" here, "B" there), each as a write of its own, as fast as it can.
using KeyWriter = std::function<bool(const QString &file, const QString &prefix, int i)>;

// For main(): runs the second writer when the arguments ask for it (-1 when they do not). It
// says "ready", waits for "go" on its input, then writes; it exits 1 when a write fails.
inline int runSecondWriter(int argc, char **argv, const KeyWriter &write)
{
    if (argc != 5 || qstrcmp(argv[1], "--writer") != 0)
        return -1;
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QString prefix = QString::fromLocal8Bit(argv[3]);
    const int count = QByteArray(argv[4]).toInt();
    std::cout << "ready" << std::endl;
    std::string go;
    std::getline(std::cin, go);
    for (int i = 0; i < count; ++i) {
        if (!write(file, prefix, i))
            return 1;
    }
    return 0;
}

// Writes the "A" keys here while the second writer writes the "B" keys.
inline void writeConcurrently(const QString &file, int count, const KeyWriter &write)
{
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    other.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--writer"), file, QStringLiteral("B"), QString::number(count) });
    QVERIFY(other.waitForStarted());
    while (!other.canReadLine())
        QVERIFY(other.waitForReadyRead(30000));
    QCOMPARE(other.readLine(), QByteArray("ready\n"));
    other.write("go\n");
    QVERIFY(other.waitForBytesWritten());
    for (int i = 0; i < count; ++i)
        QVERIFY(write(file, QStringLiteral("A"), i));
    QVERIFY(other.waitForFinished(240000));
    QCOMPARE(other.exitCode(), 0);
}
