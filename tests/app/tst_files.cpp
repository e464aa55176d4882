#include "app/files.h"
#include "common/testutil.h"
#include "registry/registry.h"

#include <QtTest>

#include <future>
#include <sys/stat.h>

// Paths in the tables are written with "@" for the temporary folder. The program directory is
// @/app, the home folder @/home (so the Documents folder is @/home/Documents), the start
// directory @/start and the last-used directory @/last.
class tst_files : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;

    QString expand(QString text) const { return text.replace(u'@', m_tmp.path()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("HOME", expand("@/home").toUtf8());
        qputenv("XDG_CONFIG_HOME", expand("@/config").toUtf8());
        qputenv("XDG_DATA_HOME", expand("@/share").toUtf8());
        qputenv("NORVALIS_APPDIR", expand("@/app").toUtf8());
        registry::setStoreFile(registry::Root::CurrentUser, expand("@/config/user.reg"));
        registry::setStoreFile(registry::Root::ClassesRoot, expand("@/config/classes.reg"));
        for (const char *dir : { "app", "start/sub", "last", "home/Documents/NVWIN", "home/env" })
            QVERIFY(QDir().mkpath(expand("@/") + QLatin1String(dir)));
        gStartDir = expand("@/start/");
        gLastDir = expand("@/last");
        gAppDir = expand("@/app/");
    }

    void getIniDir_data()
    {
        QTest::addColumn<QString>("env"); // NVWIN; "-" unset
        QTest::addColumn<QString>("reg"); // local-machine HomePath
        QTest::addColumn<QString>("winIni"); // WIN.INI [NVWIN] HomePath
        QTest::addColumn<QString>("expected");
        dataRow("environment", "@/home/env", "@/last", "", "@/home/env");
        dataRow("environment relative to program", "../home/env", "", "", "@/app/../home/env");
        dataRow("environment taken unchanged", "My Documents/NVWIN", "", "", "@/app");
        dataRow("missing falls back", "@/nowhere", "", "", "@/app");
        dataRow("registry", "-", "@/last", "@/home/env", "@/last");
        dataRow("registry my documents", "-", "My Documents\\NVWIN", "", "@/home/Documents/NVWIN");
        dataRow(
            "registry my documents slash", "-", "my documents/NVWIN", "", "@/home/Documents/NVWIN");
        dataRow("registry my documents alone", "-", "MY DOCUMENTS", "", "@/home/Documents");
        dataRow("not my documents", "-", "My DocumentsX", "", "@/app");
        dataRow("win.ini", "-", "", "@/home/env", "@/home/env");
        dataRow("win.ini my documents", "-", "", "My Documents\\NVWIN", "@/home/Documents/NVWIN");
        dataRow("root keeps its slash", "/", "", "", "/");
        dataRow("trailing slash dropped", "@/last/", "", "", "@/last");
        dataRow("nothing configured", "-", "", "", "@/app");
    }
    void getIniDir()
    {
        QFETCH(QString, env);
        QFETCH(QString, reg);
        QFETCH(QString, winIni);
        QFETCH(QString, expected);
        if (env == QLatin1String("-"))
            qunsetenv("NVWIN");
        else
            qputenv("NVWIN", expand(env).toUtf8());
        const QString machine = expand("@/config/machine.reg");
        QFile::remove(machine);
        registry::setStoreFile(registry::Root::LocalMachine, machine);
        if (!reg.isEmpty())
            QVERIFY(registry::setValue(registry::Root::LocalMachine,
                QStringLiteral("Software\\Dremo\\Nvwin2k\\HomePath"), expand(reg)));
        QFile::remove(Files::WinIniPath());
        if (!winIni.isEmpty())
            writeBytes(Files::WinIniPath(), "[NVWIN]\nHomePath=" + expand(winIni).toUtf8() + '\n');

        Files::GetIniDir();
        qunsetenv("NVWIN");
        QCOMPARE(gLastDir, expand(expected));
        QCOMPARE(gAppDir, expand("@/app/"));
        QCOMPARE(gStartDir, QDir::currentPath() + u'/');
        gStartDir = expand("@/start/");
        gLastDir = expand("@/last");
    }

    void programDirIsExecutableDir()
    {
        qunsetenv("NORVALIS_APPDIR");
        const QString dir = Files::ProgramDir();
        qputenv("NORVALIS_APPDIR", expand("@/app").toUtf8());
        QCOMPARE(dir, QCoreApplication::applicationDirPath() + u'/');
    }

    void getFilePath_data()
    {
        QTest::addColumn<QString>("files"); // created first, separated by ","
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extensions");
        QTest::addColumn<QString>("expected");
        dataRow("first extension wins in start directory",
            "@/start/a.nvcf,@/start/a.cfg,@/last/a.nvcf", "a", "nvcf;cfg", "@/start/a.nvcf");
        dataRow("second extension in start directory before home", "@/start/b.cfg,@/last/b.nvcf",
            "b", "nvcf;cfg", "@/start/b.cfg");
        dataRow("first extension in last-used directory", "@/last/c.nvcf", "c", "nvcf;cfg",
            "@/last/c.nvcf");
        dataRow(
            "only the first extension in last-used directory", "@/last/d.cfg", "d", "nvcf;cfg", "");
        dataRow("bare name never found", "@/start/e,@/last/e", "e", "nvcf;cfg", "");
        dataRow("with extension in start directory", "@/start/f.txt,@/last/f.txt", "f.txt", "nvcf",
            "@/start/f.txt");
        dataRow("with extension in last-used directory", "@/last/g.txt", "g.txt", "nvcf",
            "@/last/g.txt");
        dataRow("absolute path", "@/home/h.lyt", "@/home/h.lyt", "nvcf;cfg", "@/home/h.lyt");
        dataRow("relative with directory", "@/start/sub/i.cfg", "sub/i", "nvcf;cfg",
            "@/start/sub/i.cfg");
        dataRow("case-sensitive", "@/start/j.nvcf", "J", "nvcf", "");
        dataRow("dot in directory only", "@/start/sub/k.nvcf", "@/start/sub/../sub/k", "nvcf",
            "@/start/sub/../sub/k.nvcf");
        dataRow("empty extension list searches home only", "@/start/l.,@/last/l.", "l", "",
            "@/last/l.");
        dataRow("directory is not a file", "", "sub", "", "");
    }
    void getFilePath()
    {
        QFETCH(QString, files);
        QFETCH(QString, name);
        QFETCH(QString, extensions);
        QFETCH(QString, expected);
        for (const QString &file : files.split(u',', Qt::SkipEmptyParts))
            writeBytes(expand(file), "x");
        QCOMPARE(Files::GetFilePath(expand(name), extensions), expand(expected));
    }

    // The routines that only work on the text of a name.
    void names_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        dataRow("bak extension replaced", "FileNameBak", "PHONE.DAT", "PHONE.bak");
        dataRow("bak becomes ~ak", "FileNameBak", "phone.bak", "phone.~ak");
        dataRow("bak BAK is another extension", "FileNameBak", "phone.BAK", "phone.bak");
        dataRow("bak dot in directory", "FileNameBak", "/my.dir/phone", "/my.dir/phone.bak");
        dataRow("bak no extension", "FileNameBak", "phone", "phone.bak");
        dataRow(
            "bak hidden file keeps its name", "FileNameBak", "/home/u/.nvrc", "/home/u/.nvrc.bak");
        dataRow(
            "bak hidden file with extension", "FileNameBak", "/home/u/.nv.ini", "/home/u/.nv.bak");
        dataRow("bak last dot", "FileNameBak", "a.b.c", "a.b.bak");
        dataRow("name of full path", "GetFileName", "/data/phone.dat", "phone.dat");
        dataRow("name alone", "GetFileName", "phone.dat", "phone.dat");
        dataRow("name without extension", "GetFileName", "/data/phone", "phone");
        dataRow("path trailing slash dropped", "MakePath", "/data/", "/data");
        dataRow("path root stays", "MakePath", "/", "/");
        dataRow("path without trailing slash", "MakePath", "/a/b", "/a/b");
    }
    void names()
    {
        QFETCH(QString, routine);
        QFETCH(QString, input);
        QFETCH(QString, output);
        QString got;
        if (routine == u"FileNameBak")
            got = Files::FileNameBak(input);
        else if (routine == u"GetFileName")
            got = Files::GetFileName(input);
        else
            got = Files::MakePath(QString(), input);
        QCOMPARE(got, output);
    }

    void getFileType_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<int>("kind");
        dataRow("session", "[Norvalis]\nTermType=VT100\n", 1);
        dataRow("layout", "[Norvalis Main]\nWindowState=0\n", 2);
        dataRow("session before layout",
            "[Norvalis Main]\nWindowState=2\n[Norvalis]\nTermType=ANSI\n", 1);
        dataRow("negative window state", "[Norvalis Main]\nWindowState=-1\n", 0);
        dataRow("empty term type", "[Norvalis]\nTermType=\n", 0);
        dataRow("basic script", "' greeting\r\n\r\n  Sub Main\r\nEnd Sub\r\n", 3);
        dataRow("rem without blank", "REMARK\n", 3);
        dataRow("javascript function", "// hello\nfunction main() {}\n", 3);
        dataRow("javascript const", "\tconst x = 1;\n", 3);
        dataRow("javascript let", "let y = 2;\n", 3);
        dataRow("javascript var", "var z;\n", 3);
        dataRow("byte order mark",
            "\xEF\xBB\xBF"
            "function f() {}\n",
            3);
        dataRow("CR line ends", "hello\rfunction f() {}\r", 3);
        dataRow("keyword needs its blank", "subroutine\nfunctional\n", 0);
        dataRow("comment only", "' Sub Main\n// var x\n", 0);
        dataRow("plain text", "hello world\n", 0);
        dataRow("empty", "", 0);
    }
    void getFileType()
    {
        QFETCH(QString, content);
        QFETCH(int, kind);
        const QString path = expand("@/kinds/") + QString::fromLatin1(QTest::currentDataTag());
        writeBytes(path, content.toUtf8());
        QCOMPARE(int(Files::GetFileType(path)), kind);
    }

    void scriptFileEdgeCases()
    {
        writeBytes(expand("@/app/startup.js"), "function start() {}\n");
        QVERIFY(Files::IsScriptFile(QStringLiteral("startup.js"))); // against the program dir
        QVERIFY(!Files::IsScriptFile(expand("@/kinds/missing.js")));
        QVERIFY(!Files::IsScriptFile(expand("@/kinds"))); // a directory
        // Wherever a read piece ends, a keyword at a line start is found (lines ended by LF or
        // CR alone) and one in the middle of a long line is not.
        const QString path = expand("@/kinds/long");
        for (int length : { 16381, 16382, 65533, 65534, 65535, 65536, 131071 }) {
            for (const char *end : { "\n", "\r" }) {
                const QByteArray filler(length, 'x');
                writeBytes(path, filler + end + "sub main" + end);
                QVERIFY2(Files::IsScriptFile(path), QByteArray::number(length) + end);
                writeBytes(path, filler + "sub main" + end);
                QVERIFY2(!Files::IsScriptFile(path), QByteArray::number(length) + end);
            }
        }
        QCOMPARE(int(Files::GetFileType(expand("@/kinds/missing"))), 0);
    }

    // What is not a regular file is no file of ours, and finding that out waits for nothing and
    // reads a bounded amount: a FIFO nobody writes, a device that never ends, a huge file.
    void notRegularFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("/dev/zero") << "/dev/zero";
        QTest::newRow("FIFO, nobody writing") << "fifo";
        QTest::newRow("directory") << "dir";
        QTest::newRow("huge sparse file, script line at its end") << "sparse";
    }
    void notRegularFiles()
    {
        QFETCH(QString, kind);
        QString path = kind;
        if (kind == u"fifo") {
            path = expand("@/kinds/pipe");
            QVERIFY(QDir().mkpath(expand("@/kinds")));
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"dir") {
            path = expand("@/kinds/folder.nvcf");
            QVERIFY(QDir().mkpath(path));
        } else if (kind == u"sparse") {
            path = expand("@/kinds/huge");
            writeBytes(path, QByteArray());
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(qint64(8) << 30));
            QVERIFY(file.write("\nsub main\n") > 0);
        }
        // A probe that hangs ends the test here rather than at the test runner's time limit.
        auto probe = std::async(std::launch::async, [path] {
            return QPair<int, bool>(Files::GetFileType(path), Files::IsScriptFile(path));
        });
        if (probe.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
            qFatal("the file-kind probe of %s does not return", qPrintable(path));
        const QPair<int, bool> result = probe.get();
        QCOMPARE(result.first, 0);
        QVERIFY(!result.second);
    }

    void findProgramFile_data()
    {
        QTest::addColumn<QString>("files"); // created first, separated by ","
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        dataRow("exact", "NVWIN.INI,nvwin.ini", "NVWIN.INI", "NVWIN.INI");
        dataRow("unique other case", "Phone.dat", "PHONE.DAT", "Phone.dat");
        dataRow("ambiguous keeps own spelling", "a.mnu,A.MNU", "A.mnu", "A.mnu");
        dataRow("missing keeps own spelling", "", "dfltmain.mnu", "dfltmain.mnu");
    }
    void findProgramFile()
    {
        QFETCH(QString, files);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString dir = expand("@/find/") + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(dir));
        for (const QString &file : files.split(u',', Qt::SkipEmptyParts))
            writeBytes(dir + u'/' + file, "x");
        QCOMPARE(Files::FindProgramFile(dir, name), dir + u'/' + expected);
    }
};

QTEST_GUILESS_MAIN(tst_files)
#include "tst_files.moc"
