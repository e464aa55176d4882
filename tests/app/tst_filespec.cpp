#include "app/files.h"
#include "app/filespec.h"

#include <QtTest>

using namespace FileSpec;

// Paths in the tables are written with "@" for the temporary folder.
class tst_filespec : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;

    QString expand(QString text) const { return text.replace(u'@', m_tmp.path()); }

    void touch(const QString &relative) const
    {
        QFile file(m_tmp.filePath(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY(QDir(m_tmp.path()).mkpath(QStringLiteral("data")));
        touch(QStringLiteral("data/phone.dat"));
        touch(QStringLiteral("a.txt"));
        touch(QStringLiteral("back\\slash"));
        gStartDir = m_tmp.filePath(QStringLiteral("data")) + u'/';
    }

    void parseDirectory_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("fullPath");
        QTest::addColumn<QString>("directory"); // "keep": the out-argument stays as it was
        QTest::addColumn<QString>("name");
        const auto row = [](const char *tag, const char *path, const char *base, int result,
                             const char *fullPath, const char *directory, const char *name) {
            QTest::newRow(tag) << QString::fromLatin1(path) << QString::fromLatin1(base) << result
                               << QString::fromLatin1(fullPath) << QString::fromLatin1(directory)
                               << QString::fromLatin1(name);
        };
        row("directory", "@/data", "", 1, "@/data/", "@/data/", "");
        row("directory with slash", "@/data/", "", 1, "@/data/", "@/data/", "");
        row("file", "@/data/phone.dat", "", 2, "@/data/phone.dat", "@/data/", "phone.dat");
        row("new name against base", "new.txt", "@", 3, "@/new.txt", "@/", "new.txt");
        row("relative file against base", "data/phone.dat", "@/", 2, "@/data/phone.dat", "@/data/",
            "phone.dat");
        row("empty path is the base", "", "@", 1, "@/", "@/", "");
        row("start directory when no base", "phone.dat", "", 2, "@/data/phone.dat", "@/data/",
            "phone.dat");
        row("missing directory", "@/missing/x", "", 0, "@/missing/x", "keep", "keep");
        row("missing directory only", "@/missing/", "", 0, "@/missing/", "keep", "keep");
        row("file used as directory", "@/a.txt/", "", 0, "@/a.txt/", "keep", "keep");
        row("root", "/", "", 1, "/", "/", "");
        row("backslash is a name character", "@/back\\slash", "", 2, "@/back\\slash", "@/",
            "back\\slash");
        row("names are case-sensitive", "@/DATA", "", 3, "@/DATA", "@/", "DATA");
        row("parent component", "../a.txt", "@/data", 2, "@/data/../a.txt", "@/data/../", "a.txt");
    }
    void parseDirectory()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        QFETCH(int, result);
        QFETCH(QString, fullPath);
        QFETCH(QString, directory);
        QFETCH(QString, name);
        QString full = expand(path);
        QString drive = QStringLiteral("keep"), dir = drive, last = drive;
        QCOMPARE(int(ParseDirectory(full, drive, dir, last, expand(base))), result);
        QCOMPARE(full, expand(fullPath));
        QCOMPARE(dir, expand(directory));
        QCOMPARE(last, name);
        QCOMPARE(drive, result == 0 ? QStringLiteral("keep") : QString());
    }

    void parseFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("baseName");
        QTest::addColumn<QString>("extension");
        const auto row = [](const char *tag, const char *path, const char *directory,
                             const char *baseName, const char *extension) {
            QTest::newRow(tag) << QString::fromLatin1(path) << QString::fromLatin1(directory)
                               << QString::fromLatin1(baseName) << QString::fromLatin1(extension);
        };
        row("full path", "/tmp/data/phone.dat", "/tmp/data/", "phone", ".dat");
        row("name only", "phone.dat", "", "phone", ".dat");
        row("dot in directory", "/my.dir/phone", "/my.dir/", "phone", "");
        row("last dot splits", "a.b.c", "", "a.b", ".c");
        row("no drive on Linux", "C:\\data\\phone.dat", "", "C:\\data\\phone", ".dat");
        row("root file", "/x.y", "/", "x", ".y");
    }
    void parseFileName()
    {
        QFETCH(QString, path);
        QFETCH(QString, directory);
        QFETCH(QString, baseName);
        QFETCH(QString, extension);
        QString drive = QStringLiteral("x"), dir, base, ext;
        ParseFileName(path, drive, dir, base, ext);
        QCOMPARE(drive, QString());
        QCOMPARE(dir, directory);
        QCOMPARE(base, baseName);
        QCOMPARE(ext, extension);
    }
};

QTEST_GUILESS_MAIN(tst_filespec)
#include "tst_filespec.moc"
