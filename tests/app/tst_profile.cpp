#include "app/profile.h"
#include "platform/tst_inifile_files.h"
#include "registry/registry.h"

#include <QtTest>

using namespace Profile;

namespace {

const QString S = QStringLiteral("S");
const QString K = QStringLiteral("K");
const QString RegKey = QStringLiteral("Software\\Dremo\\Nvwin2k\\Setting");

QByteArray keyLine(const QByteArray &value)
{
    return "[S]\nK=" + value + "\n";
}

} // namespace

class tst_profile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file, m_defaults;

    // Writes the file (a null content: no file) and the defaults file (a null content: none is
    // named); answers the defaults file's name.
    QString prepare(const QByteArray &content, const QByteArray &defaults)
    {
        if (!content.isNull())
            writeBytes(m_file, content);
        if (defaults.isNull())
            return QString();
        writeBytes(m_defaults, defaults);
        return m_defaults;
    }

    void addReadColumns()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("defaults");
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("NVWIN.INI"));
        m_defaults = m_dir.filePath(QStringLiteral("defaults.ini"));
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
        registry::setStoreFile(registry::Root::CurrentUser, m_dir.filePath(u"user.reg"_qs));
        registry::setStoreFile(registry::Root::LocalMachine, m_dir.filePath(u"machine.reg"_qs));
        registry::setStoreFile(registry::Root::ClassesRoot, m_dir.filePath(u"classes.reg"_qs));
    }
    void cleanup()
    {
        // Every routine lowers the reporter's nesting counter again on its way out.
        QCOMPARE(rt::gErrNest, 0);
    }
    void cleanupTestCase()
    {
        for (auto root : { registry::Root::CurrentUser, registry::Root::LocalMachine,
                 registry::Root::ClassesRoot })
            registry::setStoreFile(root, QString());
    }

    void getIniString_data()
    {
        addReadColumns();
        QTest::addColumn<QString>("expected");
        const QByteArray none;
        QTest::newRow("value") << keyLine("v") << none << "v";
        QTest::newRow("missing key") << QByteArray("[S]\n") << none << "dflt";
        QTest::newRow("empty value") << keyLine("") << none << "dflt";
        QTest::newRow("missing file") << none << none << "dflt";
        QTest::newRow("quoted") << keyLine("\"  x \"") << none << "  x ";
        QTest::newRow("from defaults file") << keyLine("") << keyLine("d") << "d";
        QTest::newRow("file before defaults") << keyLine("v") << keyLine("d") << "v";
        QTest::newRow("missing file, defaults") << none << keyLine("d") << "d";
        QTest::newRow("empty in both") << keyLine("") << keyLine("") << "dflt";
        QTest::newRow("1024 characters whole")
            << keyLine(QByteArray(1024, 'x')) << none << QString(1024, u'x');
        QTest::newRow("5000 characters whole")
            << keyLine(QByteArray(5000, 'y')) << none << QString(5000, u'y');
    }
    void getIniString()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, defaults);
        QFETCH(QString, expected);
        const QString defaultsFile = prepare(content, defaults);
        QCOMPARE(GetIniString(S, K, u"dflt"_qs, m_file, defaultsFile), expected);
    }

    void getIniLong_data()
    {
        addReadColumns();
        QTest::addColumn<int>("expected"); // the default is 99
        const QByteArray none;
        QTest::newRow("plain") << keyLine("12") << none << 12;
        QTest::newRow("negative") << keyLine("-1") << none << -1;
        QTest::newRow("leading number") << keyLine("7abc") << none << 7;
        QTest::newRow("half to even down") << keyLine("2.5") << none << 2;
        QTest::newRow("half to even up") << keyLine("3.5") << none << 4;
        QTest::newRow("negative half") << keyLine("-2.5") << none << -2;
        QTest::newRow("no number") << keyLine("abc") << none << 0;
        QTest::newRow("hex") << keyLine("&H10") << none << 16;
        QTest::newRow("exponent") << keyLine("1e3") << none << 1000;
        QTest::newRow("largest") << keyLine("2147483647") << none << 2147483647;
        QTest::newRow("smallest") << keyLine("-2147483648") << none << int(-2147483648LL);
        QTest::newRow("too large") << keyLine("2147483648") << none << 0;
        QTest::newRow("too small") << keyLine("-2147483649") << none << 0;
        QTest::newRow("huge") << keyLine("1e999") << none << 0;
        QTest::newRow("empty value") << keyLine("") << none << 99;
        QTest::newRow("missing") << QByteArray("[S]\n") << none << 99;
        QTest::newRow("from defaults file") << QByteArray("[S]\n") << keyLine("5") << 5;
    }
    void getIniLong()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, defaults);
        QFETCH(int, expected);
        const QString defaultsFile = prepare(content, defaults);
        QCOMPARE(GetIniLong(S, K, 99, m_file, defaultsFile), expected);
    }

    void strToBool_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        const QList<std::pair<const char *, bool>> rows
            = { { "True", true }, { "t", true }, { "tx", true }, { "-1", true }, { "0.5", true },
                  { "&H1", true }, { "False", false }, { "0", false }, { "", false },
                  { "yes", false }, { " True", false }, { "0True", false } };
        for (const auto &[text, expected] : rows)
            QTest::newRow(*text ? text : "empty") << QString::fromLatin1(text) << expected;
    }
    void strToBool()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(StrToBool(text), expected);
        // The INI reader converts the same way (an empty value gives the default; the file's
        // blanks around a value are not part of it).
        if (text != text.trimmed())
            return;
        writeBytes(m_file, keyLine(text.toUtf8()));
        QCOMPARE(GetIniBool(S, K, !expected, m_file), text.isEmpty() ? !expected : expected);
    }

    void putIniString_data()
    {
        QTest::addColumn<QByteArray>("defaults");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("dflt");
        QTest::addColumn<QByteArray>("after"); // the file held "[S]\nK=old\n"
        const QByteArray none, deleted = "[S]\n";
        QTest::newRow("written") << none << "new"
                                 << "" << keyLine("new");
        QTest::newRow("equal to default") << none << "d"
                                          << "d" << deleted;
        QTest::newRow("default compared with case") << none << "D"
                                                    << "d" << keyLine("D");
        QTest::newRow("empty") << none << ""
                               << "x" << deleted;
        QTest::newRow("equal to defaults file") << keyLine("dv") << "dv"
                                                << "other" << deleted;
        QTest::newRow("defaults file, not default") << keyLine("dv") << "d"
                                                    << "d" << keyLine("d");
        QTest::newRow("defaults file lacks key") << deleted << ""
                                                 << "" << deleted;
        QTest::newRow("defaults file lacks key, value") << deleted << "v"
                                                        << "v" << keyLine("v");
        QTest::newRow("CR LF kept out") << none << "a\r\nb"
                                        << "" << keyLine("old");
        QTest::newRow("LF kept out") << none << "a\nb"
                                     << "" << keyLine("old");
        QTest::newRow("1024 characters whole")
            << none << QString(1024, u'x') << "" << keyLine(QByteArray(1024, 'x'));
        QTest::newRow("5000 characters whole")
            << none << QString(5000, u'y') << "" << keyLine(QByteArray(5000, 'y'));
    }
    void putIniString()
    {
        QFETCH(QByteArray, defaults);
        QFETCH(QString, value);
        QFETCH(QString, dflt);
        QFETCH(QByteArray, after);
        const QString defaultsFile = prepare(keyLine("old"), defaults);
        PutIniString(S, K, value, dflt, m_file, defaultsFile);
        QCOMPARE(readBytes(m_file), after);
        if (after == keyLine(value.toUtf8()))
            QCOMPARE(GetIniString(S, K, QString(), m_file), value);
    }

    void putIniLong_data()
    {
        QTest::addColumn<QByteArray>("defaults");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("dflt");
        QTest::addColumn<QByteArray>("after"); // the file held "[S]\nK=old\n"
        const QByteArray none, deleted = "[S]\n";
        QTest::newRow("0, default 0") << none << 0 << 0 << deleted;
        QTest::newRow("5, default 5") << none << 5 << 5 << keyLine("5");
        QTest::newRow("0, default -1") << none << 0 << -1 << keyLine("0");
        QTest::newRow("7, default 0") << none << 7 << 0 << keyLine("7");
        QTest::newRow("negative") << none << -12 << 0 << keyLine("-12");
        QTest::newRow("largest") << none << 2147483647 << 0 << keyLine("2147483647");
        QTest::newRow("equal to defaults file") << keyLine("7") << 7 << 0 << deleted;
        QTest::newRow("differs from defaults file") << keyLine("7") << 0 << 0 << keyLine("0");
        QTest::newRow("defaults file lacks key, default") << deleted << 3 << 3 << deleted;
        QTest::newRow("defaults file lacks key, other") << deleted << 4 << 3 << keyLine("4");
    }
    void putIniLong()
    {
        QFETCH(QByteArray, defaults);
        QFETCH(int, value);
        QFETCH(int, dflt);
        QFETCH(QByteArray, after);
        PutIniLong(S, K, value, dflt, m_file, prepare(keyLine("old"), defaults));
        QCOMPARE(readBytes(m_file), after);
    }

    void putIniBool_data()
    {
        QTest::addColumn<QByteArray>("defaults");
        QTest::addColumn<bool>("value");
        QTest::addColumn<bool>("dflt");
        QTest::addColumn<QByteArray>("after"); // the file held "[S]\nK=old\n"
        const QByteArray none, deleted = "[S]\n";
        QTest::newRow("False, default False") << none << false << false << deleted;
        QTest::newRow("True, default True") << none << true << true << keyLine("True");
        QTest::newRow("False, default True") << none << false << true << keyLine("False");
        QTest::newRow("True, default False") << none << true << false << keyLine("True");
        QTest::newRow("equal to defaults file") << keyLine("T") << true << false << deleted;
        QTest::newRow("differs from defaults file")
            << keyLine("T") << false << false << keyLine("False");
        QTest::newRow("defaults file lacks key") << deleted << true << true << deleted;
    }
    void putIniBool()
    {
        QFETCH(QByteArray, defaults);
        QFETCH(bool, value);
        QFETCH(bool, dflt);
        QFETCH(QByteArray, after);
        PutIniBool(S, K, value, dflt, m_file, prepare(keyLine("old"), defaults));
        QCOMPARE(readBytes(m_file), after);
    }

    void failuresStaySilent()
    {
        // A directory where the file should be: unreadable and unwritable.
        QVERIFY(QDir(m_dir.path()).mkdir(u"NVWIN.INI"_qs));
        QCOMPARE(GetIniString(S, K, u"d"_qs, m_file), u"d"_qs);
        QCOMPARE(GetIniLong(S, K, 3, m_file), 3);
        QCOMPARE(GetIniBool(S, K, true, m_file), true);
        PutIniString(S, K, u"v"_qs, QString(), m_file);
        PutIniLong(S, K, 1, -1, m_file);
        QVERIFY(QFileInfo(m_file).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir(u"NVWIN.INI"_qs));
        PutIniBool(S, K, true, true, m_dir.filePath(u"no/such/dir.ini"_qs));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"no"_qs)));
        // The machine's own store is read-only to the program.
        registry::setStoreFile(registry::Root::LocalMachine, QString());
        PutRegString(2, RegKey, u"v"_qs, QString());
        QCOMPARE(GetRegString(2, RegKey, u"d"_qs), u"d"_qs);
    }

    void registryRoots_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("root");
        QTest::newRow("1 current user") << 1 << int(registry::Root::CurrentUser);
        QTest::newRow("2 local machine") << 2 << int(registry::Root::LocalMachine);
        QTest::newRow("0 classes") << 0 << int(registry::Root::ClassesRoot);
        QTest::newRow("3 classes") << 3 << int(registry::Root::ClassesRoot);
        QTest::newRow("-1 classes") << -1 << int(registry::Root::ClassesRoot);
    }
    void registryRoots()
    {
        QFETCH(int, selector);
        QFETCH(int, root);
        QCOMPARE(int(RegRootKey(rt::Int(selector))), root);
        PutRegString(rt::Int(selector), RegKey, u"v"_qs, QString());
        for (int r = 0; r < 3; ++r)
            QCOMPARE(registry::value(registry::Root(r), RegKey).has_value(), r == root);
        QCOMPARE(GetRegString(rt::Int(selector), RegKey, u"d"_qs), u"v"_qs);
    }

    void registryValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("dflt");
        QTest::addColumn<QString>("read");
        QTest::newRow("equal to default is stored") << "2"
                                                    << "2"
                                                    << "2";
        QTest::newRow("empty reads default") << ""
                                             << "d"
                                             << "d";
        QTest::newRow("1024 characters whole") << QString(1024, u'x') << "d" << QString(1024, u'x');
        QTest::newRow("5000 characters whole") << QString(5000, u'y') << "d" << QString(5000, u'y');
        QTest::newRow("line breaks kept") << "a\r\nb"
                                          << ""
                                          << "a\r\nb";
    }
    void registryValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, dflt);
        QFETCH(QString, read);
        PutRegString(1, RegKey, value, dflt);
        QCOMPARE(registry::value(registry::Root::CurrentUser, RegKey), value);
        QCOMPARE(GetRegString(1, RegKey, dflt), read);
    }

    void deleteRegKey()
    {
        const QString parent = QStringLiteral("Software\\Dremo\\Nvwin2k\\RecentFiles");
        PutRegString(1, parent + u"\\File_1"_qs, u"A"_qs, QString());
        PutRegString(1, parent + u"\\File_2"_qs, u"B"_qs, QString());
        PutRegString(1, RegKey, u"kept"_qs, QString());
        DeleteRegKey(1, parent);
        QCOMPARE(GetRegString(1, parent + u"\\File_1"_qs, u"none"_qs), u"none"_qs);
        QVERIFY(!registry::keyExists(registry::Root::CurrentUser, parent));
        QCOMPARE(GetRegString(1, RegKey, QString()), u"kept"_qs);
        DeleteRegKey(1, parent); // a missing key is no failure to report
        QCOMPARE(GetRegString(1, u"No\\Such\\Key"_qs, u"d"_qs), u"d"_qs);
    }
};

QTEST_GUILESS_MAIN(tst_profile)
#include "tst_profile.moc"
