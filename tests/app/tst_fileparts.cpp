#include "app/fileparts.h"
#include "app/files.h"
#include "common/testutil.h"

#include <QtTest>

using namespace FileSpec;

// Paths in the tables are written with "@" for the temporary folder.
class tst_fileparts : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;

    QString expand(QString text) const { return text.replace(u'@', m_tmp.path()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        for (const char *name : { "data/phone.dat", "a.txt", "back\\slash" })
            writeBytes(m_tmp.filePath(QLatin1String(name)), "x");
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
        dataRow("directory", "@/data", "", 1, "@/data/", "@/data/", "");
        dataRow("directory with slash", "@/data/", "", 1, "@/data/", "@/data/", "");
        dataRow("file", "@/data/phone.dat", "", 2, "@/data/phone.dat", "@/data/", "phone.dat");
        dataRow("new name against base", "new.txt", "@", 3, "@/new.txt", "@/", "new.txt");
        dataRow("relative file against base", "data/phone.dat", "@/", 2, "@/data/phone.dat",
            "@/data/", "phone.dat");
        dataRow("empty path is the base", "", "@", 1, "@/", "@/", "");
        dataRow("start directory when no base", "phone.dat", "", 2, "@/data/phone.dat", "@/data/",
            "phone.dat");
        dataRow("missing directory", "@/missing/x", "", 0, "@/missing/x", "keep", "keep");
        dataRow("missing directory only", "@/missing/", "", 0, "@/missing/", "keep", "keep");
        dataRow("file used as directory", "@/a.txt/", "", 0, "@/a.txt/", "keep", "keep");
        dataRow("root", "/", "", 1, "/", "/", "");
        dataRow("backslash is a name character", "@/back\\slash", "", 2, "@/back\\slash", "@/",
            "back\\slash");
        dataRow("names are case-sensitive", "@/DATA", "", 3, "@/DATA", "@/", "DATA");
        dataRow(
            "parent component", "../a.txt", "@/data", 2, "@/data/../a.txt", "@/data/../", "a.txt");
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
        dataRow("full path", "/tmp/data/phone.dat", "/tmp/data/", "phone", ".dat");
        dataRow("name only", "phone.dat", "", "phone", ".dat");
        dataRow("dot in directory", "/my.dir/phone", "/my.dir/", "phone", "");
        dataRow("last dot splits", "a.b.c", "", "a.b", ".c");
        dataRow("no drive on Linux", "C:\\data\\phone.dat", "", "C:\\data\\phone", ".dat");
        dataRow("root file", "/x.y", "/", "x", ".y");
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

QTEST_GUILESS_MAIN(tst_fileparts)
#include "tst_fileparts.moc"
