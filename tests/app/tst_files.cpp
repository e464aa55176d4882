#include "app/files.h"
#include "registry/registry.h"

#include <QtTest>

namespace {

// Data rows of text columns, given as Latin-1 literals.
template<class... Texts> void textRow(const char *tag, const Texts *...texts)
{
    auto &row = QTest::newRow(tag);
    ((row << QString::fromLatin1(texts)), ...);
}

} // namespace

// Paths in the tables are written with "@" for the temporary folder. The program directory is
// @/app, the home folder @/home (so the Documents folder is @/home/Documents), the start
// directory @/start and the last-used directory @/last.
class tst_files : public QObject
{
    Q_OBJECT
    QTemporaryDir m_tmp;

    QString expand(QString text) const { return text.replace(u'@', m_tmp.path()); }

    void write(const QString &path, const QByteArray &content) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

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
        textRow("environment", "@/home/env", "@/last", "", "@/home/env");
        textRow("environment relative to program", "../home/env", "", "", "@/app/../home/env");
        textRow("environment taken unchanged", "My Documents/NVWIN", "", "", "@/app");
        textRow("missing falls back", "@/nowhere", "", "", "@/app");
        textRow("registry", "-", "@/last", "@/home/env", "@/last");
        textRow("registry my documents", "-", "My Documents\\NVWIN", "", "@/home/Documents/NVWIN");
        textRow(
            "registry my documents slash", "-", "my documents/NVWIN", "", "@/home/Documents/NVWIN");
        textRow("registry my documents alone", "-", "MY DOCUMENTS", "", "@/home/Documents");
        textRow("not my documents", "-", "My DocumentsX", "", "@/app");
        textRow("win.ini", "-", "", "@/home/env", "@/home/env");
        textRow("win.ini my documents", "-", "", "My Documents\\NVWIN", "@/home/Documents/NVWIN");
        textRow("root keeps its slash", "/", "", "", "/");
        textRow("trailing slash dropped", "@/last/", "", "", "@/last");
        textRow("nothing configured", "-", "", "", "@/app");
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
            write(Files::WinIniPath(), "[NVWIN]\nHomePath=" + expand(winIni).toUtf8() + '\n');

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
        textRow("first extension wins in start directory",
            "@/start/a.nvcf,@/start/a.cfg,@/last/a.nvcf", "a", "nvcf;cfg", "@/start/a.nvcf");
        textRow("second extension in start directory before home", "@/start/b.cfg,@/last/b.nvcf",
            "b", "nvcf;cfg", "@/start/b.cfg");
        textRow("first extension in last-used directory", "@/last/c.nvcf", "c", "nvcf;cfg",
            "@/last/c.nvcf");
        textRow(
            "only the first extension in last-used directory", "@/last/d.cfg", "d", "nvcf;cfg", "");
        textRow("bare name never found", "@/start/e,@/last/e", "e", "nvcf;cfg", "");
        textRow("with extension in start directory", "@/start/f.txt,@/last/f.txt", "f.txt", "nvcf",
            "@/start/f.txt");
        textRow("with extension in last-used directory", "@/last/g.txt", "g.txt", "nvcf",
            "@/last/g.txt");
        textRow("absolute path", "@/home/h.lyt", "@/home/h.lyt", "nvcf;cfg", "@/home/h.lyt");
        textRow("relative with directory", "@/start/sub/i.cfg", "sub/i", "nvcf;cfg",
            "@/start/sub/i.cfg");
        textRow("case-sensitive", "@/start/j.nvcf", "J", "nvcf", "");
        textRow("dot in directory only", "@/start/sub/k.nvcf", "@/start/sub/../sub/k", "nvcf",
            "@/start/sub/../sub/k.nvcf");
        textRow("empty extension list searches home only", "@/start/l.,@/last/l.", "l", "",
            "@/last/l.");
        textRow("directory is not a file", "", "sub", "", "");
    }
    void getFilePath()
    {
        QFETCH(QString, files);
        QFETCH(QString, name);
        QFETCH(QString, extensions);
        QFETCH(QString, expected);
        for (const QString &file : files.split(u',', Qt::SkipEmptyParts))
            write(expand(file), "x");
        QCOMPARE(Files::GetFilePath(expand(name), extensions), expand(expected));
    }

    // The routines that only work on the text of a name.
    void names_data()
    {
        QTest::addColumn<QString>("routine");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        textRow("bak extension replaced", "FileNameBak", "PHONE.DAT", "PHONE.bak");
        textRow("bak becomes ~ak", "FileNameBak", "phone.bak", "phone.~ak");
        textRow("bak BAK is another extension", "FileNameBak", "phone.BAK", "phone.bak");
        textRow("bak dot in directory", "FileNameBak", "/my.dir/phone", "/my.dir/phone.bak");
        textRow("bak no extension", "FileNameBak", "phone", "phone.bak");
        textRow(
            "bak hidden file keeps its name", "FileNameBak", "/home/u/.nvrc", "/home/u/.nvrc.bak");
        textRow(
            "bak hidden file with extension", "FileNameBak", "/home/u/.nv.ini", "/home/u/.nv.bak");
        textRow("bak last dot", "FileNameBak", "a.b.c", "a.b.bak");
        textRow("name of full path", "GetFileName", "/data/phone.dat", "phone.dat");
        textRow("name alone", "GetFileName", "phone.dat", "phone.dat");
        textRow("name without extension", "GetFileName", "/data/phone", "phone");
        textRow("path trailing slash dropped", "MakePath", "/data/", "/data");
        textRow("path root stays", "MakePath", "/", "/");
        textRow("path without trailing slash", "MakePath", "/a/b", "/a/b");
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
        const auto row = [](const char *tag, const char *content, int kind) {
            QTest::newRow(tag) << QString::fromUtf8(content) << kind;
        };
        row("session", "[Norvalis]\nTermType=VT100\n", 1);
        row("layout", "[Norvalis Main]\nWindowState=0\n", 2);
        row("session before layout", "[Norvalis Main]\nWindowState=2\n[Norvalis]\nTermType=ANSI\n",
            1);
        row("negative window state", "[Norvalis Main]\nWindowState=-1\n", 0);
        row("empty term type", "[Norvalis]\nTermType=\n", 0);
        row("basic script", "' greeting\r\n\r\n  Sub Main\r\nEnd Sub\r\n", 3);
        row("rem without blank", "REMARK\n", 3);
        row("javascript function", "// hello\nfunction main() {}\n", 3);
        row("javascript const", "\tconst x = 1;\n", 3);
        row("javascript let", "let y = 2;\n", 3);
        row("javascript var", "var z;\n", 3);
        row("byte order mark",
            "\xEF\xBB\xBF"
            "function f() {}\n",
            3);
        row("CR line ends", "hello\rfunction f() {}\r", 3);
        row("keyword needs its blank", "subroutine\nfunctional\n", 0);
        row("comment only", "' Sub Main\n// var x\n", 0);
        row("plain text", "hello world\n", 0);
        row("empty", "", 0);
    }
    void getFileType()
    {
        QFETCH(QString, content);
        QFETCH(int, kind);
        const QString path = expand("@/kinds/") + QString::fromLatin1(QTest::currentDataTag());
        write(path, content.toUtf8());
        QCOMPARE(int(Files::GetFileType(path)), kind);
    }

    void scriptFileEdgeCases()
    {
        write(expand("@/app/startup.js"), "function start() {}\n");
        QVERIFY(Files::IsScriptFile(QStringLiteral("startup.js"))); // against the program dir
        QVERIFY(!Files::IsScriptFile(expand("@/kinds/missing.js")));
        QVERIFY(!Files::IsScriptFile(expand("@/kinds"))); // a directory
        // A keyword that begins a line beyond the first read piece is still found.
        write(expand("@/kinds/long"), QByteArray(200000, 'x') + "\nsub main\n");
        QVERIFY(Files::IsScriptFile(expand("@/kinds/long")));
        // A line longer than a read piece is one line: its middle is no line start.
        for (int length : { 65535, 65536, 131070, 131072 }) {
            write(expand("@/kinds/longline"), QByteArray(length, 'x') + "sub main\n");
            QVERIFY2(!Files::IsScriptFile(expand("@/kinds/longline")), QByteArray::number(length));
        }
        QCOMPARE(int(Files::GetFileType(expand("@/kinds/missing"))), 0);
    }

    void findProgramFile_data()
    {
        QTest::addColumn<QString>("files"); // created first, separated by ","
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        textRow("exact", "NVWIN.INI,nvwin.ini", "NVWIN.INI", "NVWIN.INI");
        textRow("unique other case", "Phone.dat", "PHONE.DAT", "Phone.dat");
        textRow("ambiguous keeps own spelling", "a.mnu,A.MNU", "A.mnu", "A.mnu");
        textRow("missing keeps own spelling", "", "dfltmain.mnu", "dfltmain.mnu");
    }
    void findProgramFile()
    {
        QFETCH(QString, files);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString dir = expand("@/find/") + QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(dir));
        for (const QString &file : files.split(u',', Qt::SkipEmptyParts))
            write(dir + u'/' + file, "x");
        QCOMPARE(Files::FindProgramFile(dir, name), dir + u'/' + expected);
    }
};

QTEST_GUILESS_MAIN(tst_files)
#include "tst_files.moc"
