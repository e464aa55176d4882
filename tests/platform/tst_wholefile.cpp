// The one whole-file writer, the regular-file reader and the edit lock, against the real file
// system: modes, links, failures (as root too), a writer killed in the middle, stale temporaries.

#include "platform/tst_inifile_files.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyId = 65534;

mode_t modeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Our temporary files in a folder: everything but the names given.
QStringList leftovers(const QString &folder, const QStringList &expected)
{
    QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : expected)
        names.removeAll(name);
    return names;
}

// Child modes, run as a separate process of this test.
// --write PATH TEXT [--as-nobody]: one write; exit 0 when it succeeded, 1 when it failed.
// --write-large PATH MIB: one write of that many MiB.
int runChild(const QStringList &args)
{
    if (args.value(1) == u"--write") {
        if (args.value(4) == u"--as-nobody" && (::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0))
            return 2;
        const rt::WriteResult r = rt::writeWholeFile(args.value(2), args.value(3).toUtf8());
        std::fputs(qPrintable(r.reason), stdout);
        return r ? 0 : 1;
    }
    if (args.value(1) == u"--write-large") {
        const QByteArray data(qsizetype(args.value(3).toLongLong()) << 20, 'n');
        return rt::writeWholeFile(args.value(2), data) ? 0 : 1;
    }
    return -1;
}

} // namespace

class tst_wholefile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Runs a child mode of this test and answers its exit code.
    static int child(const QStringList &args)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QCoreApplication::applicationFilePath(), args);
        if (!p.waitForFinished(60000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        // Folders the test made read-only become writable again before they are emptied.
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            QFile::setPermissions(file(name),
                QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(QDir(m_dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir.path()));
    }

    // Where the bytes go and with which mode, for plain files and links.
    void writesThrough_data()
    {
        QTest::addColumn<QString>(
            "setup"); // "file MODE", "new UMASK", "abs", "rel", "chain", "dangling"
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("0600 stays 0600") << "file 600" << 0600;
        QTest::newRow("0640 stays 0640") << "file 640" << 0640;
        QTest::newRow("0755 stays 0755") << "file 755" << 0755;
        QTest::newRow("new file, umask 022") << "new 022" << 0644;
        QTest::newRow("new file, umask 077") << "new 077" << 0600;
        QTest::newRow("absolute link") << "abs" << 0600;
        QTest::newRow("relative link") << "rel" << 0600;
        QTest::newRow("chain of links") << "chain" << 0600;
        QTest::newRow("dangling link makes its target") << "dangling" << 0644;
    }
    void writesThrough()
    {
        QFETCH(QString, setup);
        QFETCH(int, expectedMode);
        QVERIFY(QDir().mkpath(file(u"real"_qs)));
        const QString real = file(u"real/data.ini"_qs);
        QString path = file(u"data.ini"_qs);
        const QStringList words = setup.split(u' ');
        const mode_t oldMask = ::umask(words[0] == u"new" ? words[1].toUInt(nullptr, 8) : 022);
        if (words[0] == u"file") {
            path = real;
            writeBytes(real, "old");
            QCOMPARE(::chmod(QFile::encodeName(real).constData(), words[1].toUInt(nullptr, 8)), 0);
        } else if (words[0] == u"new") {
            path = real;
        } else {
            if (words[0] != u"dangling") {
                writeBytes(real, "old");
                QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0600), 0);
            }
            const QString target = words[0] == u"rel" ? u"real/data.ini"_qs : real;
            if (words[0] == u"chain") {
                QVERIFY(QFile::link(real, file(u"middle.ini"_qs)));
                QVERIFY(QFile::link(u"middle.ini"_qs, path));
            } else {
                QCOMPARE(::symlink(QFile::encodeName(target).constData(),
                             QFile::encodeName(path).constData()),
                    0);
            }
        }
        const rt::WriteResult result = rt::writeWholeFile(path, "new content");
        ::umask(oldMask);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(readBytes(real), QByteArray("new content"));
        QCOMPARE(int(modeOf(real)), expectedMode);
        QCOMPARE(QFileInfo(path).isSymLink(), path != real);
        QCOMPARE(leftovers(file(u"real"_qs), { u"data.ini"_qs }), QStringList());
    }

    // A write that cannot be done changes nothing and leaves no temporary file behind.
    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("target is a folder") << "folder";
        QTest::newRow("target is a FIFO") << "fifo";
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("read-only file, writable folder") << "read-only file";
        QTest::newRow("folder missing") << "no folder";
        QTest::newRow("links in a loop") << "loop";
        QTest::newRow("disk full in the middle") << "full";
        QTest::newRow("empty name") << "empty";
    }
    void failures()
    {
        QFETCH(QString, kind);
        const QString folder = file(u"box"_qs);
        QVERIFY(QDir().mkpath(folder));
        QString path = folder + u"/data.ini"_qs;
        writeBytes(path, "old");
        QStringList expected { u"data.ini"_qs };
        bool ok = true;
        if (kind == u"folder") {
            path = folder + u"/sub"_qs;
            QVERIFY(QDir().mkpath(path));
            expected << u"sub"_qs;
        } else if (kind == u"fifo") {
            path = folder + u"/pipe"_qs;
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            expected << u"pipe"_qs;
        } else if (kind == u"no folder") {
            path = folder + u"/missing/data.ini"_qs;
        } else if (kind == u"loop") {
            path = folder + u"/a"_qs;
            QVERIFY(QFile::link(u"b"_qs, path));
            QVERIFY(QFile::link(u"a"_qs, folder + u"/b"_qs));
            expected << u"a"_qs << u"b"_qs;
        } else if (kind == u"empty") {
            path.clear();
        }
        if (kind.startsWith(u"read-only")) {
            // Permissions do not bind root: root's write is made by a child that is nobody.
            const bool root = ::geteuid() == 0;
            QVERIFY(QFile::setPermissions(m_dir.path(),
                QFile::permissions(m_dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther));
            if (kind == u"read-only") {
                QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
            } else {
                QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
                QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
            }
            const int code = root ? child({ u"--write"_qs, path, u"new"_qs, u"--as-nobody"_qs })
                                  : child({ u"--write"_qs, path, u"new"_qs });
            QFile::setPermissions(
                folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QCOMPARE(code, 1);
            ok = false;
        } else if (kind == u"full") {
            const FileSizeLimit limit(1024);
            const rt::WriteResult r = rt::writeWholeFile(path, QByteArray(4096, 'x'));
            ok = r.ok;
            QVERIFY(!r.reason.isEmpty());
        } else {
            const rt::WriteResult r = rt::writeWholeFile(path, "new");
            ok = r.ok;
            QVERIFY(r.errorCode != 0);
            QVERIFY(!r.reason.isEmpty());
        }
        QVERIFY(!ok);
        QCOMPARE(readBytes(folder + u"/data.ini"_qs), QByteArray("old"));
        QCOMPARE(leftovers(folder, expected), QStringList());
    }

    // kill -9 while a large file is written: the old file stays whole, and the next successful
    // write of that file removes what the killed writer left.
    void killedWriterLeavesOldFileWhole()
    {
        const QString path = file(u"big.dat"_qs);
        writeBytes(path, "old and whole");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const auto temporaries = [&] {
            return QDir(m_dir.path()).entryInfoList({ u"big.dat.nvtmp-*"_qs }, QDir::Files);
        };
        // The child must be caught inside its write: a faster disk needs a larger file.
        bool caught = false;
        for (int mib = 256; !caught && mib <= 1024; mib *= 2) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(),
                { u"--write-large"_qs, path, QString::number(mib) });
            QVERIFY(writer.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(writer.state() == QProcess::NotRunning
                    || (!temporaries().isEmpty() && temporaries().first().size() > 0),
                60000);
            writer.kill();
            QVERIFY(writer.waitForFinished(60000));
            caught = writer.exitStatus() == QProcess::CrashExit && !temporaries().isEmpty();
            if (!caught)
                writeBytes(path, "old and whole"); // it finished first: try a larger file
        }
        QVERIFY2(caught, "the writer always finished before it could be killed");
        QCOMPARE(readBytes(path), QByteArray("old and whole"));
        QCOMPARE(int(modeOf(path)), 0600);

        // A temporary of a live writer (this process) stays; the killed writer's goes.
        const QString live = QStringLiteral("%1.nvtmp-%2-0000beef").arg(path).arg(::getpid());
        writeBytes(live, "in progress");
        const QString other = file(u"other.dat.nvtmp-1-0000beef"_qs);
        writeBytes(other, "another file's");
        QVERIFY(rt::writeWholeFile(path, "new"));
        QCOMPARE(readBytes(path), QByteArray("new"));
        QCOMPARE(temporaries().size(), 1);
        QCOMPARE(temporaries().first().absoluteFilePath(), live);
        QVERIFY(QFile::exists(other));
    }

    // A file written in pieces is in place only after commit: until then, and for good after a
    // cancel or a destroyed writer, the old file stays as it was and no temporary file is left.
    void piecewise_data()
    {
        QTest::addColumn<QString>("ending"); // commit, cancel, destroy
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("committed") << u"commit"_qs << QByteArray("one two three");
        QTest::newRow("cancelled") << u"cancel"_qs << QByteArray("old");
        QTest::newRow("abandoned") << u"destroy"_qs << QByteArray("old");
    }

    void piecewise()
    {
        QFETCH(QString, ending);
        QFETCH(QByteArray, expected);
        const QString path = file(u"download.txt"_qs);
        writeBytes(path, "old");
        {
            rt::WholeFileWriter writer;
            QVERIFY(writer.begin(path));
            for (const char *piece : { "one ", "two ", "three" }) {
                QVERIFY(writer.write(piece));
                QCOMPARE(readBytes(path), QByteArray("old"));
            }
            if (ending == u"commit")
                QVERIFY(writer.commit());
            else if (ending == u"cancel")
                writer.cancel();
            QCOMPARE(writer.isOpen(), ending == u"destroy");
        }
        QCOMPARE(readBytes(path), expected);
        QCOMPARE(leftovers(m_dir.path(), { u"download.txt"_qs }), QStringList());
    }

    // A name near the file system's limit still gets a temporary file beside it.
    void longName()
    {
        const QString path = file(QString(250, u'n') + u".ini"_qs);
        QVERIFY(rt::writeWholeFile(path, "one"));
        QVERIFY(rt::writeWholeFile(path, "two"));
        QCOMPARE(readBytes(path), QByteArray("two"));
        QCOMPARE(leftovers(m_dir.path(), { QFileInfo(path).fileName() }), QStringList());
    }

    // Only regular files are opened, and nothing waits for a FIFO's writer.
    void openRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("expected");
        QTest::newRow("regular") << "regular" << int(rt::OpenStatus::Opened);
        QTest::newRow("link to regular") << "link" << int(rt::OpenStatus::Opened);
        QTest::newRow("missing") << "missing" << int(rt::OpenStatus::Missing);
        QTest::newRow("missing folder") << "missing folder" << int(rt::OpenStatus::Missing);
        QTest::newRow("folder") << "folder" << int(rt::OpenStatus::NotRegular);
        QTest::newRow("FIFO, nobody writing") << "fifo" << int(rt::OpenStatus::NotRegular);
        QTest::newRow("link to a FIFO") << "fifo link" << int(rt::OpenStatus::NotRegular);
        QTest::newRow("/dev/zero") << "/dev/zero" << int(rt::OpenStatus::NotRegular);
        QTest::newRow("empty name") << "" << int(rt::OpenStatus::Missing);
    }
    void openRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, expected);
        writeBytes(file(u"regular"_qs), "text");
        QCOMPARE(::mkfifo(QFile::encodeName(file(u"fifo"_qs)).constData(), 0600), 0);
        QVERIFY(QFile::link(file(u"regular"_qs), file(u"link"_qs)));
        QVERIFY(QFile::link(file(u"fifo"_qs), file(u"fifo link"_qs)));
        QVERIFY(QDir().mkpath(file(u"folder"_qs)));
        const QString path = kind.isEmpty() ? QString()
            : kind.startsWith(u'/')         ? kind
            : kind == u"missing folder"     ? file(u"none/x"_qs)
                                            : file(kind);
        QFile f;
        QCOMPARE(int(rt::openRegularFile(f, path)), expected);
        QCOMPARE(f.isOpen(), expected == int(rt::OpenStatus::Opened));
        if (f.isOpen())
            QCOMPARE(f.readAll(), QByteArray("text"));
    }

    void readAtMost_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty") << 0 << 10 << true;
        QTest::newRow("at the limit") << 200000 << 200000 << true;
        QTest::newRow("one byte more") << 200001 << 200000 << false;
    }
    void readAtMost()
    {
        QFETCH(int, size);
        QFETCH(int, limit);
        QFETCH(bool, ok);
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char('a' + i % 26);
        writeBytes(file(u"f"_qs), bytes);
        QFile f;
        QCOMPARE(rt::openRegularFile(f, file(u"f"_qs)), rt::OpenStatus::Opened);
        QByteArray data("stale");
        QCOMPARE(rt::readAtMost(f, limit, data), ok);
        QCOMPARE(data, ok ? bytes : QByteArray());
    }

    // A file a user names: its bytes, or the error that names it and says why.
    void readNamedFile_data()
    {
        QTest::addColumn<QString>("path"); // "f": a file of 10 bytes in the test's folder
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("why");
        QTest::newRow("at the limit") << "f" << 10 << 0 << "";
        QTest::newRow("larger") << "f" << 9 << int(rt::err::PathFileAccess)
                                << "larger than 9 bytes";
        QTest::newRow("missing") << "none" << 10 << int(rt::err::FileNotFound) << "no such file";
        QTest::newRow("folder") << "." << 10 << int(rt::err::PathFileAccess)
                                << "not a regular file";
        // A regular file whose reads fail.
        QTest::newRow("unreadable")
            << "/proc/self/mem" << 10 << int(rt::err::PathFileAccess) << "cannot be read";
    }
    void readNamedFile()
    {
        QFETCH(QString, path);
        QFETCH(int, limit);
        QFETCH(QString, why);
        writeBytes(file(u"f"_qs), "0123456789");
        if (!path.startsWith(u'/'))
            path = file(path);
        QByteArray data;
        const rt::Error error = raisedError([&] { data = rt::readNamedFile(path, limit); });
        QTEST(int(error.number), "error");
        if (why.isEmpty())
            QCOMPARE(data, QByteArray("0123456789"));
        else
            QVERIFY2(error.description.endsWith(path + u" ("_qs + why + u')'),
                qPrintable(error.description));
    }

    // The edit lock excludes a second holder until it is let go, and leaves no file behind.
    void editLock()
    {
        const QString path = file(u"shared.ini"_qs);
        {
            const rt::FileEditLock first(path);
            QVERIFY(first.locked());
            QElapsedTimer waited;
            waited.start();
            const rt::FileEditLock second(path, 200);
            QVERIFY(!second.locked());
            QVERIFY(waited.elapsed() >= 150);
        }
        const rt::FileEditLock again(path, 200);
        QVERIFY(again.locked());
        QCOMPARE(leftovers(m_dir.path(), { u"shared.ini.nvlock"_qs }), QStringList());
    }
    void editLockRemovesItsFile()
    {
        {
            const rt::FileEditLock lock(file(u"x.ini"_qs));
            QVERIFY(lock.locked());
        }
        QCOMPARE(leftovers(m_dir.path(), {}), QStringList());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int code = runChild(app.arguments());
    if (code != -1)
        return code;
    tst_wholefile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wholefile.moc"
