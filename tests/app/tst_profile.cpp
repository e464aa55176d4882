#include "app/profile.h"
#include "common/testutil.h"
#include "registry/registry.h"

#include <QtTest>

using namespace Profile;

namespace {

const QString S = QStringLiteral("S");
const QString K = QStringLiteral("K");
const QString RegKey = QStringLiteral("Software\\Dremo\\Nvwin2k\\Setting");
const QByteArray None; // no such file
const QByteArray Deleted = "[S]\n";

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

    // Writes the file (None: no file) and the defaults file (None: none is named); answers the
    // defaults file's name.
    QString prepare(const QByteArray &content, const QByteArray &defaults)
    {
        if (!content.isNull())
            writeBytes(m_file, content);
        if (defaults.isNull())
            return QString();
        writeBytes(m_defaults, defaults);
        return m_defaults;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("NVWIN.INI"));
        m_defaults = m_dir.filePath(QStringLiteral("defaults.ini"));
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
        useStoresIn(QDir(m_dir.path()));
    }
    void cleanup()
    {
        // Every routine lowers the reporter's nesting counter again on its way out.
        QCOMPARE(rt::gErrNest, 0);
    }
    void cleanupTestCase() { resetStores(); }

    // The same key read as a string (default "dflt") and as an integer (default 99).
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("defaults");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        dataRow("value", keyLine("12"), None, "12", 12);
        dataRow("leading number", keyLine("7abc"), None, "7abc", 7);
        dataRow("half to even down", keyLine("2.5"), None, "2.5", 2);
        dataRow("half to even up", keyLine("3.5"), None, "3.5", 4);
        dataRow("no number", keyLine("abc"), None, "abc", 0);
        dataRow("beyond 32 bits", keyLine("2147483648"), None, "2147483648", 0);
        dataRow("quoted", keyLine("\"  x \""), None, "  x ", 0);
        dataRow("missing key", Deleted, None, "dflt", 99);
        dataRow("empty value", keyLine(""), None, "dflt", 99);
        dataRow("missing file", None, None, "dflt", 99);
        dataRow("from defaults file", keyLine(""), keyLine("5"), "5", 5);
        dataRow("file before defaults", keyLine("1"), keyLine("5"), "1", 1);
        dataRow("missing file, defaults", None, keyLine("5"), "5", 5);
        dataRow("empty in both", keyLine(""), keyLine(""), "dflt", 99);
        dataRow("long value whole", keyLine(QByteArray(5000, 'y')), None, QString(5000, u'y'), 0);
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, defaults);
        QFETCH(QString, text);
        QFETCH(int, number);
        const QString defaultsFile = prepare(content, defaults);
        QCOMPARE(GetIniString(S, K, u"dflt"_qs, m_file, defaultsFile), text);
        QCOMPARE(GetIniLong(S, K, 99, m_file, defaultsFile), number);
    }

    void strToBool_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        for (const char *text : { "True", "t", "tx", "-1", "0.5", "&H1" })
            dataRow(text, text, true);
        for (const char *text : { "False", "0", "", "yes", " True", "0True" })
            dataRow(*text ? text : "empty", text, false);
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

    // Writing over "[S]\nK=old\n": what the file holds afterwards.
    void write_data()
    {
        QTest::addColumn<QString>("routine"); // String, Long or Bool
        QTest::addColumn<QByteArray>("defaults");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("dflt");
        QTest::addColumn<QByteArray>("after");
        dataRow("string", "String", None, "new", "", keyLine("new"));
        dataRow("string equal to default", "String", None, "d", "d", Deleted);
        dataRow("string default compared with case", "String", None, "D", "d", keyLine("D"));
        dataRow("string empty", "String", None, "", "x", Deleted);
        dataRow("string equal to defaults file", "String", keyLine("dv"), "dv", "x", Deleted);
        dataRow(
            "string defaults file, not default", "String", keyLine("dv"), "d", "d", keyLine("d"));
        dataRow("string defaults file lacks key", "String", Deleted, "v", "v", keyLine("v"));
        dataRow("string CR LF kept out", "String", None, "a\r\nb", "", keyLine("old"));
        dataRow("string LF kept out", "String", None, "a\nb", "", keyLine("old"));
        dataRow("string long whole", "String", None, QString(5000, u'y'), "",
            keyLine(QByteArray(5000, 'y')));
        dataRow("long 0, default 0", "Long", None, "0", "0", Deleted);
        dataRow("long 5, default 5", "Long", None, "5", "5", keyLine("5"));
        dataRow("long 0, default -1", "Long", None, "0", "-1", keyLine("0"));
        dataRow("long 7, default 0", "Long", None, "7", "0", keyLine("7"));
        dataRow("long negative", "Long", None, "-12", "0", keyLine("-12"));
        dataRow("long equal to defaults file", "Long", keyLine("7"), "7", "0", Deleted);
        dataRow("long differs from defaults file", "Long", keyLine("7"), "0", "0", keyLine("0"));
        dataRow("long defaults file lacks key, default", "Long", Deleted, "3", "3", Deleted);
        dataRow("long defaults file lacks key, other", "Long", Deleted, "4", "3", keyLine("4"));
        dataRow("bool False, default False", "Bool", None, "False", "False", Deleted);
        dataRow("bool True, default True", "Bool", None, "True", "True", keyLine("True"));
        dataRow("bool False, default True", "Bool", None, "False", "True", keyLine("False"));
        dataRow("bool True, default False", "Bool", None, "True", "False", keyLine("True"));
        dataRow("bool equal to defaults file", "Bool", keyLine("T"), "True", "False", Deleted);
        dataRow("bool differs from defaults file", "Bool", keyLine("T"), "False", "False",
            keyLine("False"));
        dataRow("bool defaults file lacks key", "Bool", Deleted, "True", "True", Deleted);
    }
    void write()
    {
        QFETCH(QString, routine);
        QFETCH(QByteArray, defaults);
        QFETCH(QString, value);
        QFETCH(QString, dflt);
        QFETCH(QByteArray, after);
        const QString defaultsFile = prepare(keyLine("old"), defaults);
        if (routine == u"String")
            PutIniString(S, K, value, dflt, m_file, defaultsFile);
        else if (routine == u"Long")
            PutIniLong(S, K, value.toInt(), dflt.toInt(), m_file, defaultsFile);
        else
            PutIniBool(S, K, value == u"True", dflt == u"True", m_file, defaultsFile);
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
        PutRegString(HKLM, RegKey, u"v"_qs, QString());
        QCOMPARE(GetRegString(HKLM, RegKey, u"d"_qs), u"d"_qs);
    }

    void registryRoots_data()
    {
        QTest::addColumn<int>("selector");
        QTest::addColumn<int>("root");
        dataRow("1 current user", 1, int(registry::Root::CurrentUser));
        dataRow("2 local machine", 2, int(registry::Root::LocalMachine));
        for (const int selector : { 0, 3, -1 })
            dataRow(
                qPrintable(QString::number(selector)), selector, int(registry::Root::ClassesRoot));
    }
    void registryRoots()
    {
        QFETCH(int, selector);
        QFETCH(int, root);
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
        dataRow("equal to default is stored", "2", "2", "2");
        dataRow("empty reads default", "", "d", "d");
        dataRow("long value whole", QString(5000, u'y'), "d", QString(5000, u'y'));
        dataRow("line breaks kept", "a\r\nb", "", "a\r\nb");
    }
    void registryValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, dflt);
        QFETCH(QString, read);
        PutRegString(HKCU, RegKey, value, dflt);
        QCOMPARE(registry::value(registry::Root::CurrentUser, RegKey), value);
        QCOMPARE(GetRegString(HKCU, RegKey, dflt), read);
    }

    void deleteRegKey()
    {
        const QString parent = QStringLiteral("Software\\Dremo\\Nvwin2k\\RecentFiles");
        PutRegString(HKCU, parent + u"\\File_1"_qs, u"A"_qs, QString());
        PutRegString(HKCU, RegKey, u"kept"_qs, QString());
        DeleteRegKey(HKCU, parent);
        QCOMPARE(GetRegString(HKCU, parent + u"\\File_1"_qs, u"none"_qs), u"none"_qs);
        QVERIFY(!registry::keyExists(registry::Root::CurrentUser, parent));
        QCOMPARE(GetRegString(HKCU, RegKey, QString()), u"kept"_qs);
        DeleteRegKey(HKCU, parent); // a missing key is no failure to report
    }
};

QTEST_GUILESS_MAIN(tst_profile)
#include "tst_profile.moc"
