#include "platform/tst_inifile_files.h"
#include "registry/registry.h"

#include <QtTest>

#include <sys/stat.h>

using namespace registry;

namespace {

constexpr Root User = Root::CurrentUser;

QString writerKey(const QString &prefix, int i)
{
    return QStringLiteral("Writers\\%1\\Key%2").arg(prefix).arg(i);
}

bool writeKey(const QString &file, const QString &prefix, int i)
{
    setStoreFile(User, file);
    return setValue(User, writerKey(prefix, i), QString::number(i));
}

int modeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_registry : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    // Reads the store back through a fresh copy of its file, so that the text form itself is
    // tested and not what the writer remembers.
    void reopenFromCopy()
    {
        const QString copy = file("copy.registry");
        QFile::remove(copy);
        QVERIFY(QFile::copy(storeFile(User), copy));
        setStoreFile(User, copy);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
        setStoreFile(Root::CurrentUser, file("user.registry"));
        setStoreFile(Root::LocalMachine, file("machine.registry"));
        setStoreFile(Root::ClassesRoot, file("classes.registry"));
    }
    void cleanupTestCase()
    {
        for (Root root : { Root::CurrentUser, Root::LocalMachine, Root::ClassesRoot })
            setStoreFile(root, QString());
    }

    void values_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "2";
        QTest::newRow("empty") << "";
        QTest::newRow("line breaks") << "one\ntwo\r\nthree\r";
        QTest::newRow("quotes and backslashes") << "a\"b\\c\\\"d\\";
        QTest::newRow("escape lookalikes") << "\\n \\u0041 %0041 @=";
        QTest::newRow("controls") << QString::fromUtf16(u"\0\x01\x1b\x7f\x85\t", 6);
        QTest::newRow("blanks around") << "  both  ";
        QTest::newRow("non-Latin") << "Ωμέγα ü 😀";
        QTest::newRow("lone high surrogate") << QString(QChar(0xd800)) + u'x';
        QTest::newRow("lone low surrogate") << u'x' + QString(QChar(0xdc00));
        QTest::newRow("long") << QString(100000, u'v') + u'!';
    }
    void values()
    {
        QFETCH(QString, text);
        const QString key = QStringLiteral("Software\\Dremo\\Nvwin2k\\Test");
        // The text as the default value, and as the name of a value too.
        QVERIFY(setValue(User, key, text));
        QVERIFY(setValue(User, key, QStringLiteral("v"), text + u'.'));
        QCOMPARE(value(User, key), text);
        reopenFromCopy();
        QCOMPARE(value(User, key), text);
        QCOMPARE(value(User, key, text + u'.'), u"v"_qs);
        QCOMPARE(valueNames(User, key), QStringList({ QString(), text + u'.' }));
    }

    void keyNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "Nvwin2k";
        QTest::newRow("brackets") << "[a]b]";
        QTest::newRow("percent") << "100% %0041";
        QTest::newRow("line break") << "one\ntwo";
        QTest::newRow("blanks around") << " spaced ";
        QTest::newRow("quotes and at") << "\"@\"";
        QTest::newRow("non-Latin") << "Ärger 😀";
        QTest::newRow("lone surrogate") << QString(QChar(0xdbff));
    }
    void keyNames()
    {
        QFETCH(QString, name);
        QVERIFY(setValue(User, QStringLiteral("Top\\") + name + QStringLiteral("\\Leaf"), u"v"_qs));
        reopenFromCopy();
        QCOMPARE(subKeys(User, QStringLiteral("top")), QStringList({ name }));
        QCOMPARE(subKeys(User, QStringLiteral("TOP\\") + name.toUpper()), QStringList({ "Leaf" }));
        QCOMPARE(value(User, QStringLiteral("top\\") + name.toLower() + QStringLiteral("\\leaf")),
            u"v"_qs);
    }

    // Names compare without case; a key keeps the spelling it was created with.
    void caseAndSpelling()
    {
        const QString base = QStringLiteral("Software\\Dremo\\Nvwin2k");
        QVERIFY(setValue(User, base + QStringLiteral("\\ChildWindowState"), u"2"_qs));
        QVERIFY(setValue(User, QStringLiteral("SOFTWARE\\dremo\\NVWIN2K\\AutoClose"), u"0"_qs));
        QVERIFY(
            setValue(User, QStringLiteral("software\\dremo\\nvwin2k\\childwindowstate"), u"1"_qs));
        QCOMPARE(subKeys(User, QString()), QStringList({ "Software" }));
        QCOMPARE(subKeys(User, QStringLiteral("SOFTWARE\\DREMO")), QStringList({ "Nvwin2k" }));
        QCOMPARE(subKeys(User, base), QStringList({ "AutoClose", "ChildWindowState" }));
        QCOMPARE(value(User, base + QStringLiteral("\\CHILDWINDOWSTATE")), u"1"_qs);
        QVERIFY(setValue(User, base, u"1"_qs, QStringLiteral("Name")));
        QVERIFY(setValue(User, base, u"2"_qs, QStringLiteral("NAME")));
        QCOMPARE(valueNames(User, base), QStringList({ "Name" }));
        QCOMPARE(value(User, base, QStringLiteral("name")), u"2"_qs);
        // Empty names in a path are dropped.
        QCOMPARE(value(User, QStringLiteral("\\Software\\\\Dremo\\Nvwin2k\\ChildWindowState\\")),
            u"1"_qs);
    }

    void missing()
    {
        QVERIFY(!value(User, QStringLiteral("No\\Such\\Key")));
        QVERIFY(setValue(User, QStringLiteral("A\\B"), u"x"_qs));
        QVERIFY(!value(User, QStringLiteral("A")));
        QVERIFY(!value(User, QStringLiteral("A\\B"), QStringLiteral("other")));
        QVERIFY(keyExists(User, QStringLiteral("a")));
        QVERIFY(keyExists(User, QString()));
        QVERIFY(!keyExists(User, QStringLiteral("A\\C")));
        QVERIFY(subKeys(User, QStringLiteral("A\\C")).isEmpty());
        QVERIFY(valueNames(User, QStringLiteral("A")).isEmpty());
    }

    void deleting_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<QStringList>("remaining"); // of keys, those still there

        const QStringList family = { "A\\B", "A\\B\\C", "A\\B\\C\\D", "A\\BC", "A\\B C", "A\\Z" };
        QTest::newRow("subtree") << family << "a\\b" << true
                                 << QStringList({ "A\\BC", "A\\B C", "A\\Z" });
        QTest::newRow("leaf") << family << "A\\B\\C\\D" << true
                              << QStringList({ "A\\B", "A\\B\\C", "A\\BC", "A\\B C", "A\\Z" });
        QTest::newRow("whole tree") << family << "A" << true << QStringList();
        QTest::newRow("missing") << family << "A\\Q" << false << family;
        QTest::newRow("root") << family << "\\" << false << family;
    }
    void deleting()
    {
        QFETCH(QStringList, keys);
        QFETCH(QString, target);
        QFETCH(bool, deleted);
        QFETCH(QStringList, remaining);
        for (const QString &key : keys)
            QVERIFY(setValue(User, key, key));
        QCOMPARE(deleteKey(User, target), deleted);
        reopenFromCopy();
        for (const QString &key : keys) {
            QCOMPARE(keyExists(User, key), remaining.contains(key));
            QCOMPARE(value(User, key).has_value(), remaining.contains(key));
        }
    }

    void deletingValues()
    {
        const QString key = QStringLiteral("K");
        QVERIFY(setValue(User, key, u"d"_qs));
        QVERIFY(setValue(User, key, u"n"_qs, QStringLiteral("Name")));
        QVERIFY(deleteValue(User, key, QStringLiteral("NAME")));
        QVERIFY(!deleteValue(User, key, QStringLiteral("Name")));
        QVERIFY(!deleteValue(User, QStringLiteral("Missing")));
        QVERIFY(!keyExists(User, QStringLiteral("Missing")));
        QVERIFY(deleteValue(User, key));
        QVERIFY(keyExists(User, key));
        QVERIFY(valueNames(User, key).isEmpty());
    }

    void defaultPlaces()
    {
        const QByteArray oldHome = qgetenv("XDG_CONFIG_HOME"), oldDirs = qgetenv("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(u"home"_qs).toUtf8());
        qputenv(
            "XDG_CONFIG_DIRS", (u"relative:"_qs + m_dir.filePath(u"etc"_qs) + u":/x"_qs).toUtf8());
        cleanupTestCase();
        const QString user = storeFile(Root::CurrentUser);
        const QString machine = storeFile(Root::LocalMachine);
        const QString classes = storeFile(Root::ClassesRoot);
        const bool userWritten = setValue(Root::CurrentUser, u"K"_qs, u"v"_qs);
        const bool machineWritten = setValue(Root::LocalMachine, u"K"_qs, u"v"_qs);
        qputenv("XDG_CONFIG_HOME", oldHome);
        qputenv("XDG_CONFIG_DIRS", oldDirs);
        QCOMPARE(QFileInfo(user).path(), m_dir.filePath(u"home/norvalis"_qs));
        QCOMPARE(QFileInfo(classes).path(), QFileInfo(user).path());
        QCOMPARE(QFileInfo(machine).path(), m_dir.filePath(u"etc/norvalis"_qs));
        QVERIFY(userWritten);
        QVERIFY(QFileInfo::exists(user));
        // The user's folder and store are the user's alone.
        QCOMPARE(modeOf(QFileInfo(user).path()), 0700);
        QCOMPARE(modeOf(user), 0600);
        // The machine's store is never written by the program.
        QVERIFY(!machineWritten);
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"etc"_qs)));
    }

    // The user's store is written 0600 whatever the umask and the mode it had.
    void privateStore_data()
    {
        QTest::addColumn<int>("before");
        QTest::newRow("new") << -1;
        QTest::newRow("readable by others") << 0644;
        QTest::newRow("writable by the group") << 0660;
        QTest::newRow("private already") << 0600;
    }
    void privateStore()
    {
        QFETCH(int, before);
        const QString path = storeFile(User);
        if (before >= 0) {
            writeBytes(path, "[K]\n\"a\"=\"1\"\n");
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(before)) == 0);
        }
        const mode_t oldMask = ::umask(0);
        const bool written = setValue(User, u"K"_qs, u"v"_qs);
        ::umask(oldMask);
        QVERIFY(written);
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(*value(User, u"K"_qs), u"v"_qs);
        if (before >= 0)
            QCOMPARE(*value(User, u"K"_qs, u"a"_qs), u"1"_qs);
    }

    void handEditedFile()
    {
        writeBytes(storeFile(User),
            "; notes\r\n  [Software\\Dremo\\Nvwin2k\\HomePath]\r\n  @ = \"/home/x\"  \r\n"
            "garbage line\r\n\"unterminated\r\n[Other]\r\n\"n\"=\"v\\q\"\r\n");
        QCOMPARE(value(User, u"software\\dremo\\nvwin2k\\homepath"_qs), u"/home/x"_qs);
        QVERIFY(keyExists(User, u"Software\\Dremo"_qs));
        QCOMPARE(value(User, u"Other"_qs, u"n"_qs), u"v\\q"_qs);
        QCOMPARE(valueNames(User, u"Software\\Dremo\\Nvwin2k\\HomePath"_qs), QStringList({ "" }));
    }

    // Lines the store cannot read (comments, lines written by hand) survive a rewrite of the
    // file, under the key they stood under; lines before the first key stay at the top.
    void keepsLinesItCannotRead_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after"); // once [New] @="v" is written
        QTest::newRow("comment at the top")
            << QByteArray("; my notes\n[A]\n@=\"1\"\n")
            << QByteArray("; my notes\n\n[A]\n@=\"1\"\n\n[New]\n@=\"v\"\n");
        QTest::newRow("garbage under a key")
            << QByteArray(
                   "[A]\r\n@=\"1\"\r\ngarbage line\r\n\"unterminated\r\n[B]\r\n\"n\"=\"v\"\r\n")
            << QByteArray("\n[A]\n@=\"1\"\ngarbage line\n\"unterminated\n\n[B]\n\"n\"=\"v\"\n"
                          "\n[New]\n@=\"v\"\n");
        QTest::newRow("not UTF-8, kept byte for byte") << QByteArray(
            "[A]\n\xe9t\xe9 \xff\n") << QByteArray("\n[A]\n\xe9t\xe9 \xff\n\n[New]\n@=\"v\"\n");
        QTest::newRow("stray CRs at a line's end")
            << QByteArray("[A]\nnote\r\r\n") << QByteArray("\n[A]\nnote\n\n[New]\n@=\"v\"\n");
        QTest::newRow("value line before any key") << QByteArray(
            "@=\"orphan\"\n[A]\n") << QByteArray("@=\"orphan\"\n\n[A]\n\n[New]\n@=\"v\"\n");
    }
    void keepsLinesItCannotRead()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        writeBytes(storeFile(User), before);
        QVERIFY(setValue(User, u"New"_qs, u"v"_qs));
        const QByteArray written = readBytes(storeFile(User));
        QVERIFY(written.startsWith(";"));
        QCOMPARE(written.mid(written.indexOf('\n') + 1), after);
        // Written again, the file stays as it is.
        QVERIFY(setValue(User, u"New"_qs, u"v"_qs));
        QCOMPARE(readBytes(storeFile(User)), written);
    }

    void seesOutsideChanges()
    {
        QVERIFY(setValue(User, u"K"_qs, u"one"_qs));
        QCOMPARE(value(User, u"K"_qs), u"one"_qs);
        writeBytes(storeFile(User), "[K]\n@=\"two, longer\"\n");
        QCOMPARE(value(User, u"K"_qs), u"two, longer"_qs);
        QVERIFY(setValue(User, u"L"_qs, u"three"_qs));
        QCOMPARE(value(User, u"K"_qs), u"two, longer"_qs);
    }

    void failedWriteKeepsFile()
    {
        QVERIFY(setValue(User, u"K"_qs, u"old"_qs));
        const QByteArray before = readBytes(storeFile(User));
        {
            const FileSizeLimit limit(before.size() + 16);
            QVERIFY(!setValue(User, u"K"_qs, QString(1000, u'n')));
            QVERIFY(!deleteKey(User, u"Nothing"_qs));
        }
        QCOMPARE(readBytes(storeFile(User)), before);
        QCOMPARE(value(User, u"K"_qs), u"old"_qs);
    }

    // Two instances writing different keys at the same time lose nothing.
    void concurrentWriters()
    {
        constexpr int Count = 150;
        writeConcurrently(storeFile(User), Count, writeKey);
        if (QTest::currentTestFailed())
            return;
        for (const QString &prefix : { u"A"_qs, u"B"_qs }) {
            for (int i = 0; i < Count; ++i)
                QCOMPARE(value(User, writerKey(prefix, i)), QString::number(i));
        }
    }
};

int main(int argc, char **argv)
{
    const int writer = runSecondWriter(argc, argv, writeKey);
    if (writer >= 0)
        return writer;
    QCoreApplication app(argc, argv);
    tst_registry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
