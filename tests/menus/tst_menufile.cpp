#include "app/files.h"
#include "app/msgbox.h"
#include "menus/menu.h"
#include "menutest.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

// Builds menu file contents field by field.
class Bytes
{
public:
    Bytes &l(qint32 v)
    {
        char b[4];
        qToLittleEndian(v, b);
        m_data.append(b, 4);
        return *this;
    }
    Bytes &i(qint16 v)
    {
        char b[2];
        qToLittleEndian(v, b);
        m_data.append(b, 2);
        return *this;
    }
    Bytes &s(const QByteArray &text)
    {
        i(qint16(text.size()));
        m_data.append(text);
        return *this;
    }
    Bytes &raw(const QByteArray &bytes)
    {
        m_data.append(bytes);
        return *this;
    }
    Bytes &header(qint16 bands) { return l(0x03010001).l(0).i(bands); }
    Bytes &band(const QByteArray &name, qint16 tools, qint16 type = 0, qint16 dock = 1,
        const QByteArray &caption = QByteArray())
    {
        return l(1).s(name).i(tools).i(-1).i(type).i(dock).s(caption);
    }
    // A tool record with the control's defaults: visible, enabled, nothing else set.
    Bytes &tool(qint32 id, const QByteArray &caption = QByteArray(), qint16 beginGroup = 0)
    {
        l(2).l(id).i(-1).i(0).i(-1).i(0).i(0).i(beginGroup).i(0);
        return s("").s("").s("").s(caption).l(0).l(0);
    }
    Bytes &end() { return l(32767); }
    operator QByteArray() const { return m_data; }

private:
    QByteArray m_data;
};

namespace {

QStringList bandNames(const clsMenu &menu)
{
    QStringList names;
    for (const MnuBandPtr &band : menu.NewEnum())
        names << band->Name();
    return names;
}

} // namespace

class tst_menufile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        gAppDir = m_dir.path() + u'/';
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int) {
            m_messages << prompt;
            return rt::Int(1);
        });
    }
    void init()
    {
        m_messages.clear();
        m_menu = std::make_unique<clsMenu>(&m_bar);
        m_menu->setMenuNo(3);
    }
    void cleanup() { m_menu.reset(); }

    void emptyMenuIs14Bytes()
    {
        const QString path = file("empty.mnu");
        m_menu->Save(path);
        QCOMPARE(readBytes(path),
            QByteArray::fromHex("0100010300000000"
                                "0000"
                                "ff7f0000"));
    }

    void savedLayout_data()
    {
        QTest::addColumn<QString>("menuText");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one band one tool")
            << text({ "Band\tToolbar\t0\t\t1\t-1",
                   "Tool\t101\tOpen\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0" })
            << QByteArray(Bytes().header(1).band("Toolbar", 1).tool(101, "Open").end());
        QTest::newRow("separator starts a group")
            << text({ "Band\tA\t0\t\t1\t-1", "Tool\t101\tx\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0",
                   "Tool\t9\t\t0\t5\t-1\t0\t\t0\t\t\t-1\t0\t0",
                   "Tool\t103\ty\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0" })
            << QByteArray(Bytes().header(1).band("A", 2).tool(101, "x").tool(103, "y", -1).end());
        QTest::newRow("separator ending a band marks the next band's first tool")
            << text({ "Band\tA\t0\t\t1\t-1", "Tool\t101\tx\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0",
                   "Tool\t9\t\t0\t5\t-1\t0\t\t0\t\t\t-1\t0\t0", "Band\tB\t0\t\t1\t-1",
                   "Tool\t103\ty\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0" })
            << QByteArray(Bytes()
                              .header(2)
                              .band("A", 1)
                              .tool(101, "x")
                              .band("B", 1)
                              .tool(103, "y", -1)
                              .end());
        QTest::newRow("hidden band is saved visible")
            << text({ "Band\tA\t3\tCap\t2\t0" })
            << QByteArray(Bytes().header(1).band("A", 0, 3, 2, "Cap").end());
        QTest::newRow("UTF-8 strings are byte-counted")
            << text({ "Band\tÜber\t0\t\t1\t-1", "Tool\t7\tGrüße\t0\t0\t-1\t0\t\t0\t\t\t-1\t0\t0" })
            << QByteArray(Bytes()
                              .header(1)
                              .band("\xc3\x9c"
                                    "ber",
                                  1)
                              .tool(7,
                                  "Gr\xc3\xbc\xc3\x9f"
                                  "e")
                              .end());
        QTest::newRow("every field") << text(
            { "Band\tT\t2\tC\t8\t-1", "Tool\t305\tPaste\t-1\t0\t0\t6\tact\t1\tT\ttip\t0\t20\t30" })
                                     << QByteArray(Bytes()
                                                       .header(1)
                                                       .band("T", 1, 2, 8, "C")
                                                       .l(2)
                                                       .l(305)
                                                       .i(0)
                                                       .i(-1)
                                                       .i(0)
                                                       .i(1)
                                                       .i(0)
                                                       .i(0)
                                                       .i(6)
                                                       .s("T")
                                                       .s("act")
                                                       .s("tip")
                                                       .s("Paste")
                                                       .l(20)
                                                       .l(30)
                                                       .end());
    }
    void savedLayout()
    {
        QFETCH(QString, menuText);
        QFETCH(QByteArray, expected);
        m_menu->setMenuText(menuText);
        const QString path = file("layout.mnu");
        m_menu->Save(path);
        QCOMPARE(readBytes(path).toHex(' '), expected.toHex(' '));
        // Every band of the saved menu is visible afterwards.
        for (const MnuBandPtr &band : m_menu->NewEnum())
            QCOMPARE(band->Visible(), rt::True);
        // Loading gives the same bytes back.
        clsMenu again(&m_bar);
        again.setMenuNo(4);
        again.Load(path);
        const QString copy = file("again.mnu");
        again.Save(copy);
        QCOMPARE(readBytes(copy), expected);
    }

    void beginGroupMakesSeparator()
    {
        const QString path
            = write("group.mnu", Bytes().header(1).band("A", 2).tool(101).tool(103, "", -1).end());
        const rt::Long before = clsMnuBand::SeparatorCounter();
        m_menu->Load(path);
        const MnuBandPtr band = m_menu->MnuBands(QStringLiteral("A"));
        QCOMPARE(band->Count(), rt::Int(3));
        QCOMPARE(band->ToolCount(), rt::Int(2));
        const MnuToolPtr separator = band->MnuTools(2);
        QCOMPARE(separator->ControlType(), rt::Int(5));
        QCOMPARE(separator->ImageNo(), rt::Int(9000));
        QCOMPARE(separator->ToolID(), before + 1);
        QCOMPARE(band->MnuTools(3)->ToolID(), rt::Long(103));
        // The counter is never reset: loading again takes the next number.
        m_menu->Load(path);
        QCOMPARE(m_menu->MnuBands(QStringLiteral("A"))->MnuTools(2)->ToolID(), before + 2);
    }

    void separatorNumbersAvoidCommands()
    {
        // A separator never takes the number of a command of its band, nor a number of the
        // dynamic lists.
        const rt::Long next = clsMnuBand::SeparatorCounter() + 1;
        const QString path
            = write("avoid.mnu", Bytes().header(1).band("A", 2).tool(101).tool(next, "", -1).end());
        m_menu->Load(path);
        QCOMPARE(shape(*m_menu), QStringLiteral("A:101,|,%1").arg(next));
        QVERIFY(m_menu->MnuBands(QStringLiteral("A"))->MnuTools(2)->ToolID() != next);
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("bandsAfter"); // "Old" = the menu as it was
        const QByteArray good
            = Bytes().header(2).band("A", 2).tool(101).tool(103).band("B", 1).tool(7).end();
        QTest::newRow("good") << good << 0 << "A:101,103 B:7";
        QTest::newRow("no bands") << QByteArray(Bytes().header(0).end()) << 0 << "";
        QTest::newRow("empty file") << QByteArray() << 3182 << "Old";
        QTest::newRow("bad magic")
            << QByteArray(Bytes().l(0x03010002).l(0).i(0).end()) << 3182 << "Old";
        QTest::newRow("reserved not 0")
            << QByteArray(Bytes().l(0x03010001).l(1).i(0).end()) << 3182 << "Old";
        QTest::newRow("no band count") << QByteArray(Bytes().l(0x03010001).l(0)) << 3182 << "Old";
        QTest::newRow("no end mark") << QByteArray(Bytes().header(0)) << 3182 << "";
        QTest::newRow("end mark missing after bands")
            << good.left(good.size() - 4) << 3182 << "A:101,103 B:7";
        QTest::newRow("wrong end mark")
            << QByteArray(Bytes().header(1).band("A", 0).l(32766)) << 3182 << "A:";
        QTest::newRow("trailing bytes ignored")
            << QByteArray(Bytes().header(0).end().raw("junk")) << 0 << "";
        QTest::newRow("wrong band tag")
            << QByteArray(Bytes().header(1).l(2).s("A").i(0).i(-1).i(0).i(1).s("").end()) << 3182
            << "";
        QTest::newRow("wrong tool tag")
            << QByteArray(Bytes().header(1).band("A", 2).tool(101).l(1).end()) << 3182 << "A:101";
        QTest::newRow("fewer bands than counted")
            << QByteArray(Bytes().header(3).band("A", 0).end()) << 3182 << "A:";
        QTest::newRow("fewer tools than counted")
            << QByteArray(Bytes().header(1).band("A", 5).tool(101).tool(102).end()) << 3182
            << "A:101,102";
        QTest::newRow("string past the end")
            << QByteArray(Bytes().header(1).l(1).i(200).raw("Toolbar")) << 3182 << "";
        QTest::newRow("negative string length")
            << QByteArray(Bytes().header(1).l(1).i(-5).raw("Toolbar").end()) << 3182 << "";
        QTest::newRow("negative band count")
            << QByteArray(Bytes().header(-1).end()) << 3182 << "Old";
        QTest::newRow("negative tool count")
            << QByteArray(Bytes().header(1).band("A", -3).end()) << 3182 << "";
        QTest::newRow("huge counts, little data")
            << QByteArray(Bytes().header(32767).band("A", 32767).tool(101)) << 3182 << "A:101";
        QTest::newRow("invalid UTF-8")
            << QByteArray(Bytes().header(1).band("\xff\xfe", 0).end()) << 3182 << "";
        QTest::newRow("tool record cut short")
            << QByteArray(Bytes().header(1).band("A", 1).l(2).l(101).i(-1)) << 3182 << "A:";
        QTest::newRow("duplicate band dropped with its tools")
            << QByteArray(Bytes().header(2).band("A", 1).tool(1).band("a", 1).tool(2).end()) << 0
            << "A:1";
        QTest::newRow("duplicate tool dropped")
            << QByteArray(Bytes().header(1).band("A", 2).tool(1, "x").tool(1, "y").end()) << 0
            << "A:1";
    }
    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, error);
        QFETCH(QString, bandsAfter);
        m_menu->AddNew(QStringLiteral("Old"));
        const QString path = write("load.mnu", content);
        QCOMPARE(errorOf([&] { m_menu->Load(path); }), error);
        if (bandsAfter == QLatin1String("Old"))
            QCOMPARE(shape(*m_menu), QStringLiteral("Old:"));
        else
            QCOMPARE(shape(*m_menu), bandsAfter);
    }

    void errorTextOfBadFile()
    {
        const QString path = write("bad.mnu", "not a menu file");
        try {
            m_menu->Load(path);
            QFAIL("no error");
        } catch (const rt::Error &e) {
            QCOMPARE(e.number, 3182);
            QCOMPARE(e.description, QStringLiteral("Invalid menu file format!"));
        }
    }

    void everyTruncationIsRejected()
    {
        const QByteArray good = Bytes()
                                    .header(2)
                                    .band("Toolbar", 2, 0, 1, "Tools")
                                    .tool(101, "New")
                                    .tool(103, "Open", -1)
                                    .band("Status Line", 1, 3, 2)
                                    .tool(1101, "VT100")
                                    .end();
        for (int length = 0; length < good.size(); ++length) {
            QBuffer buffer;
            buffer.setData(good.left(length));
            buffer.open(QIODevice::ReadOnly);
            QCOMPARE(errorOf([&] { m_menu->ReadMenu(buffer); }), 3182);
        }
    }

    void missingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("absent") << "nothere.mnu";
        QTest::newRow("directory") << "adir";
        QTest::newRow("missing directory") << "nodir/x.mnu";
    }
    void missingFile()
    {
        QFETCH(QString, name);
        QDir(m_dir.path()).mkpath(QStringLiteral("adir"));
        m_menu->AddNew(QStringLiteral("Old"));
        QCOMPARE(errorOf([&] { m_menu->Load(name); }), 53);
        QCOMPARE(bandNames(*m_menu), QStringList { QStringLiteral("Old") });
    }

    void relativeNameIsInProgramDirectory()
    {
        write("DFLTTEST.MNU", Bytes().header(1).band("A", 0).end());
        m_menu->Load(QStringLiteral("dflttest.mnu"));
        QCOMPARE(bandNames(*m_menu), QStringList { QStringLiteral("A") });
    }

    void saveReplacesWholeAndLeavesNoTemporary()
    {
        const QString path = file("replace.mnu");
        write("replace.mnu", "old content");
        m_menu->AddNew(QStringLiteral("A"));
        m_menu->Save(path);
        QCOMPARE(readBytes(path), QByteArray(Bytes().header(1).band("A", 0).end()));
        QCOMPARE(QDir(m_dir.path()).entryList({ QStringLiteral("Work*.tmp") }), QStringList());
    }

    // A command number whose tool ID (menu number x 100000 + number) would pass the 32-bit limit
    // makes the file no menu file for this menu; the bands before it stay.
    void toolIdLimit_data()
    {
        QTest::addColumn<int>("menuNo");
        QTest::addColumn<qint32>("toolId");
        QTest::addColumn<int>("error");
        QTest::newRow("session menu, largest number") << 3 << qint32(2147483647) << 3182;
        QTest::newRow("session menu, one past") << 3 << qint32(2147483647 - 299999) << 3182;
        QTest::newRow("session menu, last that fits") << 3 << qint32(2147483647 - 300000) << 0;
        QTest::newRow("session menu, most negative") << 3 << qint32(-2147483647 - 1) << 0;
        QTest::newRow("large session number") << 21474 << qint32(83648) << 3182;
        QTest::newRow("main menu, largest number") << 0 << qint32(2147483647) << 0;
    }
    void toolIdLimit()
    {
        QFETCH(int, menuNo);
        QFETCH(qint32, toolId);
        QFETCH(int, error);
        m_menu->setMenuNo(menuNo);
        QBuffer buffer;
        buffer.setData(
            Bytes().header(2).band("A", 1).tool(101).band("B", 2).tool(7).tool(toolId).end());
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(errorOf([&] { m_menu->ReadMenu(buffer); }), error);
        QCOMPARE(shape(*m_menu), error ? u"A:101 B:7"_qs : u"A:101 B:7,%1"_qs.arg(toolId));
    }

    // Save replaces the file whole through the one writer: the file keeps its mode, and a link
    // is written through to its target and stays a link.
    void saveKeepsModeAndLinks_data()
    {
        QTest::addColumn<QString>("link"); // "" none, else the link's text
        QTest::addColumn<int>("mode");
        QTest::newRow("0600 stays 0600") << "" << 0600;
        QTest::newRow("0640 stays 0640") << "" << 0640;
        QTest::newRow("relative link") << "real/menu.mnu" << 0600;
        QTest::newRow("absolute link") << "@/real/menu.mnu" << 0644;
    }
    void saveKeepsModeAndLinks()
    {
        QFETCH(QString, link);
        QFETCH(int, mode);
        QDir(file("real")).removeRecursively();
        QVERIFY(QDir().mkpath(file("real")));
        const QString real = write("real/menu.mnu", "old menu");
        QCOMPARE(::chmod(QFile::encodeName(real).constData(), mode_t(mode)), 0);
        QString path = real;
        if (!link.isEmpty()) {
            path = file("link.mnu");
            QFile::remove(path);
            QVERIFY(QFile::link(link.replace(u'@', m_dir.path()), path));
        }
        m_menu->AddNew(QStringLiteral("A"));
        m_menu->Save(path);
        QCOMPARE(readBytes(real), QByteArray(Bytes().header(1).band("A", 0).end()));
        QCOMPARE(QFileInfo(path).isSymLink(), !link.isEmpty());
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), mode);
        QCOMPARE(QDir(file("real")).entryList(QDir::Files), QStringList { "menu.mnu" });
    }

    // A menu file is read only when it is a regular file: a FIFO nobody writes is no file.
    void loadRefusesFifo()
    {
        const QString path = file("pipe.mnu");
        QFile::remove(path);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        m_menu->AddNew(QStringLiteral("Old"));
        QCOMPARE(errorOf([&] { m_menu->Load(path); }), 53);
        QCOMPARE(bandNames(*m_menu), QStringList { QStringLiteral("Old") });
        QFile::remove(path);
    }

    void saveSkipsTakenTemporaryNames()
    {
        write("Work1.tmp", "someone else's");
        const QString path = file("skip.mnu");
        m_menu->Save(path);
        QCOMPARE(readBytes(file("Work1.tmp")), QByteArray("someone else's"));
        QCOMPARE(readBytes(path).size(), 14);
        QFile::remove(file("Work1.tmp"));
    }

    void saveLeavesReadOnlyTargetAlone()
    {
        const QString path = write("readonly.mnu", "keep me");
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        m_menu->AddNew(QStringLiteral("A"));
        m_menu->Save(path);
        QCOMPARE(readBytes(path), QByteArray("keep me"));
        QCOMPARE(m_messages, QStringList());
    }

    void saveIntoMissingDirectoryFails()
    {
        QCOMPARE(errorOf([&] { m_menu->Save(file("nodir/x.mnu")); }), 76);
    }

    void writeFailureKeepsTarget()
    {
        const QString path = write("full.mnu", "previous menu");
        for (int n = 0; n < 200; ++n)
            m_menu->AddNew(QStringLiteral("Band %1").arg(n));
        // Files may not grow past 1 KiB for a moment: the temporary file cannot be written.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        const int error = errorOf([&] { m_menu->Save(path); });
        setrlimit(RLIMIT_FSIZE, &old);
        // One failure, reported once: the error goes to the caller, no message is shown.
        QCOMPARE(error, 75);
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(readBytes(path), QByteArray("previous menu"));
        QCOMPARE(QDir(m_dir.path()).entryList({ QStringLiteral("*.nvtmp-*") }), QStringList());
    }

    void tooLongStringIsNotWritten()
    {
        const QString path = write("long.mnu", "previous menu");
        m_menu->AddNew(QStringLiteral("A"))->setCaption(QString(40000, u'x'));
        QCOMPARE(errorOf([&] { m_menu->Save(path); }), 75);
        QCOMPARE(readBytes(path), QByteArray("previous menu"));
    }

    void createTempFileName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<bool>("slash");
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << QStringList() << true << "Work1.tmp";
        QTest::newRow("two taken")
            << QStringList { "Work1.tmp", "Work2.tmp" } << true << "Work3.tmp";
        QTest::newRow("gap") << QStringList { "Work1.tmp", "Work3.tmp" } << true << "Work2.tmp";
        QTest::newRow("without slash") << QStringList() << false << "Work1.tmp";
        QTest::newRow("dangling link taken") << QStringList { "@Work1.tmp" } << true << "Work2.tmp";
    }
    void createTempFileName()
    {
        QFETCH(QStringList, existing);
        QFETCH(bool, slash);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        for (const QString &name : existing) {
            if (name.startsWith(u'@'))
                QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(name.mid(1)));
            else
                QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        }
        const QString directory = slash ? dir.path() + u'/' : dir.path();
        QCOMPARE(m_menu->CreateTempFileName(directory), dir.path() + u'/' + expected);
    }

    void createTempFileNameAllTaken()
    {
        QTemporaryDir dir;
        for (int n = 1; n <= 999; ++n)
            QFile(dir.filePath(QStringLiteral("Work%1.tmp").arg(n))).open(QIODevice::WriteOnly);
        QCOMPARE(m_menu->CreateTempFileName(dir.path()), QString());
        // Save has temporary names of its own.
        QCOMPARE(errorOf([&] { m_menu->Save(dir.filePath(QStringLiteral("x.mnu"))); }), 0);
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("x.mnu"))).size(), 14);
    }

private:
    static QString text(const QStringList &rows)
    {
        return (QStringList { QStringLiteral("Norvalis 2000 Menu") } + rows)
            .join(QStringLiteral("\r\n"));
    }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString write(const QString &name, const QByteArray &content) const
    {
        QFile::remove(file(name));
        writeBytes(file(name), content);
        return file(name);
    }

    QTemporaryDir m_dir;
    bar::ActiveBar m_bar;
    std::unique_ptr<clsMenu> m_menu;
    QStringList m_messages;
};

QTEST_MAIN(tst_menufile)
#include "tst_menufile.moc"
