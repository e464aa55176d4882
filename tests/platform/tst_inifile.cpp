#include "inifile/inifile.h"
#include "platform/tst_inifile_files.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace inifile;

namespace {
const QString S = QStringLiteral("S");
const QString K = QStringLiteral("K");

QString writerKey(const QString &prefix, int i)
{
    return QStringLiteral("%1%2").arg(prefix).arg(i);
}

bool writeKey(const QString &file, const QString &prefix, int i)
{
    return writeString(file, S, writerKey(prefix, i), QString::number(i));
}
} // namespace

class tst_inifile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("test.ini"));
        QFile::remove(m_path);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("expected"); // invalid: missing

        auto row = [](const char *name, const char *content, const char *section, const char *key,
                       QVariant expected) {
            QTest::newRow(name) << QByteArray(content) << QString::fromUtf8(section)
                                << QString::fromUtf8(key) << expected;
        };
        const QVariant missing;
        row("names without case", "[Options]\nMenuFileName=a.mnu\n", "OPTIONS", "menufilename",
            "a.mnu");
        row("blanks trimmed", "  [ Options ]  \n  Key  =  two  words  \n", " options", "key ",
            "two  words");
        row("tabs are blanks", "[S]\n\tKey\t=\tv\t\n", "S", "Key", "v");
        row("double quotes removed", "[S]\nK=\"  padded  \"\n", "S", "K", "  padded  ");
        row("single quotes removed", "[S]\nK='x'\n", "S", "K", "x");
        row("quotes after trimming", "[S]\nK=  \"x\"  \n", "S", "K", "x");
        row("unmatched quotes kept", "[S]\nK=\"x'\n", "S", "K", "\"x'");
        row("lone quote kept", "[S]\nK=\"\n", "S", "K", "\"");
        row("one pair removed", "[S]\nK=\"\"x\"\"\n", "S", "K", "\"x\"");
        row("empty value missing", "[S]\nK=\n", "S", "K", missing);
        row("blank value missing", "[S]\nK=   \n", "S", "K", missing);
        row("empty quotes missing", "[S]\nK=\"\"\n", "S", "K", missing);
        row("key without equals missing", "[S]\nK\n", "S", "K", missing);
        row("later equals in value", "[S]\nK=a=b\n", "S", "K", "a=b");
        row("comment is no key", "[S]\n;K=1\n", "S", ";K", missing);
        row("keys before first section", "K=1\n[S]\n", "S", "K", missing);
        row("key of another section", "[A]\nK=1\n[B]\n", "B", "K", missing);
        row("first key wins", "[S]\nK=1\nK=2\n", "S", "K", "1");
        row("repeated section", "[S]\nA=1\n[T]\n[S]\nB=2\n", "S", "B", "2");
        row("CR LF", "[S]\r\nK=v\r\n", "S", "K", "v");
        row("CR", "[S]\rK=v\rL=w\r", "S", "L", "w");
        row("mixed endings", "[S]\nK=1\r\nL=2\rM=3", "S", "M", "3");
        row("no final line ending", "[S]\nK=v", "S", "K", "v");
        row("byte-order mark", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v");
        row("UTF-8",
            "[Grö\xC3\x9F"
            "e]\nSchl\xC3\xBCssel=Wert \xC3\xBC\n",
            "GRÖßE", "SCHLÜSSEL", "Wert ü");
        row("text after header", "[S] ; note\nK=v\n", "S", "K", "v");
        row("unclosed header is no section", "[S\nK=v\n", "S", "K", missing);
        row("bracket in section name", "[a]b]\nK=v\n", "a]b", "K", "v");
        row("missing section", "[S]\nK=v\n", "T", "K", missing);
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QVariant, expected);
        writeBytes(m_path, content);
        const std::optional<QString> value = readString(m_path, section, key);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value)
            QCOMPARE(*value, expected.toString());
    }

    void readMissingFile()
    {
        QVERIFY(!readString(m_path, S, K));
        QVERIFY(!readString(QString(), S, K));
        IniFile file(m_path);
        QVERIFY(file.load());
        QVERIFY(file.sections().isEmpty());
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("op"); // set, delete, deleteSection
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        auto set = [](const char *name, const char *before, const char *section, const char *key,
                       const char *value, const char *after) {
            QTest::newRow(name) << QByteArray(before) << "set" << QString::fromUtf8(section)
                                << QString::fromUtf8(key) << QString::fromUtf8(value)
                                << QByteArray(after);
        };
        auto del = [](const char *name, const char *before, const char *op, const char *section,
                       const char *key, const char *after) {
            QTest::newRow(name) << QByteArray(before) << op << QString::fromUtf8(section)
                                << QString::fromUtf8(key) << QString() << QByteArray(after);
        };
        set("replace keeps other lines", "; head\n[S]\nA=1\n\n; c\nK = old\nB=2\n", "S", "k", "new",
            "; head\n[S]\nA=1\n\n; c\nK = new\nB=2\n");
        set("replace bare key", "[S]\nK  \n", "S", "K", "v", "[S]\nK=v\n");
        set("same value writes nothing new", "[S]\nK = v\n", "S", "K", "v", "[S]\nK = v\n");
        set("append before blank lines", "[S]\nA=1\n\n[T]\nB=2\n", "S", "K", "v",
            "[S]\nA=1\nK=v\n\n[T]\nB=2\n");
        set("append keeps comment of next section", "[S]\nA=1\n\n; about T\n[T]\n", "S", "K", "v",
            "[S]\nA=1\nK=v\n\n; about T\n[T]\n");
        set("append to empty section", "[S]\n[T]\n", "S", "K", "v", "[S]\nK=v\n[T]\n");
        set("append to first of repeated section", "[S]\nA=1\n[T]\n[S]\nB=2\n", "s", "K", "v",
            "[S]\nA=1\nK=v\n[T]\n[S]\nB=2\n");
        set("append without final line ending", "[S]\nA=1", "S", "K", "v", "[S]\nA=1\nK=v\n");
        set("new section at end", "[S]\nA=1\n", "T", "K", "v", "[S]\nA=1\n\n[T]\nK=v\n");
        set("new section after blank line", "[S]\nA=1\n\n", "T", "K", "v",
            "[S]\nA=1\n\n[T]\nK=v\n");
        set("new section without final line ending", "[S]\nA=1", "T", "K", "v",
            "[S]\nA=1\n\n[T]\nK=v\n");
        set("new file", "", "S", "K", "v", "[S]\nK=v\n");
        set("CR LF kept", "[S]\r\nA=1\r\n", "S", "K", "v", "[S]\r\nA=1\r\nK=v\r\n");
        set("CR kept", "[S]\rA=1\r", "T", "K", "v", "[S]\rA=1\r\r[T]\rK=v\r");
        set("mixed endings kept", "[S]\r\nA=1\nB=2\r", "S", "A", "x", "[S]\r\nA=x\nB=2\r");
        set("existing spelling kept", "[Options]\nMenuFile=a\n", "OPTIONS", "menufile", "b",
            "[Options]\nMenuFile=b\n");
        set("new names trimmed", "", " S ", " K ", "v", "[S]\nK=v\n");
        set("outer blanks quoted", "", "S", "K", " v ", "[S]\nK=\" v \"\n");
        set("outer quotes quoted", "", "S", "K", "'q'", "[S]\nK=\"'q'\"\n");
        set("inner quotes as they are", "", "S", "K", "say \"hi\" now", "[S]\nK=say \"hi\" now\n");
        set("byte-order mark kept", "\xEF\xBB\xBF[S]\nA=1\n", "S", "A", "2",
            "\xEF\xBB\xBF[S]\nA=2\n");
        set("bad UTF-8 elsewhere kept", "[S]\n;\xFF\xFE\nA=1\n", "S", "A", "2",
            "[S]\n;\xFF\xFE\nA=2\n");
        set("comment lookalike untouched", "[S]\n;K=1\n", "S", "K", "2", "[S]\n;K=1\nK=2\n");
        set("key after opening comments", "[S]\n; one\n; two\n\n; about T\n[T]\n", "S", "K", "v",
            "[S]\n; one\n; two\nK=v\n\n; about T\n[T]\n");
        set("UTF-8 value", "", "S", "K", "€ 😀", "[S]\nK=€ 😀\n");
        del("delete key", "[S]\nA=1\nK=2\nB=3\n", "delete", "S", "k", "[S]\nA=1\nB=3\n");
        del("delete key in every block", "[S]\nK=1\n[T]\nK=9\n[S]\nK=2\n", "delete", "S", "K",
            "[S]\n[T]\nK=9\n[S]\n");
        del("delete bare key", "[S]\nK\nA=1\n", "delete", "S", "K", "[S]\nA=1\n");
        del("delete missing key", "[S]\nA=1\n", "delete", "S", "K", "[S]\nA=1\n");
        del("delete in missing section", "[S]\nK=1\n", "delete", "T", "K", "[S]\nK=1\n");
        del("delete key keeps CR LF", "[S]\r\nA=1\r\nK=2\r\n", "delete", "S", "K",
            "[S]\r\nA=1\r\n");
        del("delete section", "[A]\na=1\n\n[S]\n; inside\nk=1\n\n; about B\n[B]\nb=2\n",
            "deleteSection", "s", "", "[A]\na=1\n\n; about B\n[B]\nb=2\n");
        del("delete last section", "[A]\na=1\n\n[S]\nk=1\n", "deleteSection", "S", "",
            "[A]\na=1\n");
        del("delete repeated section", "[S]\na=1\n\n[T]\n[S]\nb=2\n", "deleteSection", "S", "",
            "[T]\n");
        del("delete missing section", "[A]\na=1\n", "deleteSection", "S", "", "[A]\na=1\n");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, op);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isEmpty())
            writeBytes(m_path, before);
        bool ok = false;
        if (op == u"set")
            ok = writeString(m_path, section, key, value);
        else if (op == u"delete")
            ok = writeString(m_path, section, key, std::nullopt);
        else
            ok = deleteSection(m_path, section);
        QVERIFY(ok);
        QCOMPARE(readBytes(m_path), after);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        dataRow("LF in value", "S", "K", "a\nb");
        dataRow("CR in value", "S", "K", "a\rb");
        dataRow("CR LF at end", "S", "K", "a\r\n");
        dataRow("equals in key", "S", "K=1", "v");
        dataRow("comment key", "S", ";K", "v");
        dataRow("bracket key", "S", "[K", "v");
        dataRow("empty key", "S", "  ", "v");
        dataRow("LF in key", "S", "K\nL", "v");
        dataRow("LF in section", "S\nT", "K", "v");
    }
    void refused()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = "[S]\nK=old\n";
        writeBytes(m_path, before);
        QVERIFY(!writeString(m_path, section, key, value));
        QCOMPARE(readBytes(m_path), before);
        IniFile file(m_path);
        QVERIFY(file.load());
        QVERIFY(!file.setValue(section, key, value));
        QVERIFY(!file.isModified());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("value");
        for (const char *value :
            { " lead", "trail\t", "\"q\"", "'q'", "\"a ", "\"", "a=b;c", "[x]", "Ωμέγα 😀" })
            dataRow(value, value);
        dataRow("long", QString(100000, u'x') + u'y');
        dataRow("byte-order mark first", QString(QChar(0xFEFF)) + u"x"_qs);
    }
    void roundTrip()
    {
        QFETCH(QString, value);
        writeBytes(m_path, "[S]\nK=old\n");
        QCOMPARE(readString(m_path, S, K), u"old"_qs);
        QVERIFY(writeString(m_path, S, K, value));
        QCOMPARE(readString(m_path, S, K), value);
        IniFile fresh(m_path);
        QVERIFY(fresh.load());
        QCOMPARE(fresh.value(QStringLiteral("s"), QStringLiteral("k")), value);
    }

    // A name is found again as it was written, whatever character it begins with.
    void namesReadBackAsWritten_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        const QString bom(QChar(0xFEFF));
        QTest::newRow("byte-order mark in key") << u"S"_qs << bom + u"\fA"_qs;
        QTest::newRow("byte-order mark in section") << bom + u"S"_qs << u"K"_qs;
        dataRow("control character in section", "\x01S", "K");
    }
    void namesReadBackAsWritten()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QVERIFY(writeString(m_path, section, key, u"v"_qs));
        QCOMPARE(readString(m_path, section, key), u"v"_qs);
        IniFile file(m_path);
        QVERIFY(file.load());
        QCOMPARE(file.keys(section), QStringList { key });
    }

    // A cached file must not hide a change made by someone else, whether the file is replaced
    // (a new inode) or rewritten in place.
    void seesOutsideChanges()
    {
        writeBytes(m_path, "[S]\nK=one\n");
        QCOMPARE(readString(m_path, S, K), u"one"_qs);
        const QString other = m_dir.filePath(QStringLiteral("other.ini"));
        writeBytes(other, "[S]\nK=two\n");
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(m_path)) == 0);
        QCOMPARE(readString(m_path, S, K), u"two"_qs);
        writeBytes(m_path, "[S]\nK=three\n");
        QCOMPARE(readString(m_path, S, K), u"three"_qs);
        QVERIFY(QFile::remove(m_path));
        QVERIFY(!readString(m_path, S, K));
    }

    void fileApi()
    {
        writeBytes(m_path, "; c\n[A]\nx=1\ny\n[b]\nz=\n[a]\nX=2\nw=3\n");
        IniFile file(m_path);
        QVERIFY(file.load());
        QCOMPARE(file.sections(), QStringList({ "A", "b" }));
        QCOMPARE(file.keys(QStringLiteral("a")), QStringList({ "x", "y", "w" }));
        QCOMPARE(file.keys(QStringLiteral("B")), QStringList({ "z" }));
        QVERIFY(!file.isModified());
        file.removeKey(QStringLiteral("a"), QStringLiteral("none"));
        QVERIFY(!file.isModified());
        QVERIFY(file.setValue(QStringLiteral("C"), QStringLiteral("k"), QStringLiteral("v")));
        file.removeSection(QStringLiteral("B"));
        QVERIFY(file.isModified());
        // Nothing reaches the disk before save().
        QVERIFY(!readString(m_path, QStringLiteral("C"), QStringLiteral("k")));
        QVERIFY(file.save());
        QVERIFY(!file.isModified());
        QCOMPARE(readBytes(m_path), QByteArray("; c\n[A]\nx=1\ny\n[a]\nX=2\nw=3\n\n[C]\nk=v\n"));
    }

    void failedSaveKeepsOldFile()
    {
        const QByteArray before = "[S]\nK=old\n";
        writeBytes(m_path, before);
        {
            const FileSizeLimit limit(64);
            QVERIFY(!writeString(m_path, S, K, QString(1000, u'n')));
            IniFile file(m_path);
            QVERIFY(file.load());
            QVERIFY(file.setValue(S, K, QString(1000, u'n')));
            QVERIFY(!file.save());
            QVERIFY(file.isModified());
        }
        QCOMPARE(readBytes(m_path), before);
        QCOMPARE(readString(m_path, S, K), u"old"_qs);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList({ "test.ini" }));
    }

    void readOnlyDirectory()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root");
        const QByteArray before = "[S]\nK=old\n";
        writeBytes(m_path, before);
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool ok = writeString(m_path, S, K, QStringLiteral("x"));
        QFile::setPermissions(
            m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!ok);
        QCOMPARE(readBytes(m_path), before);
    }

    void oversizedFileIsNotRead()
    {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(65 * 1024 * 1024)); // sparse: costs no disk
        file.close();
        QVERIFY(!readString(m_path, S, K));
        QVERIFY(!writeString(m_path, S, K, u"v"_qs));
        QCOMPARE(QFileInfo(m_path).size(), 65 * 1024 * 1024);
    }

    // A file that is not 8-bit text is never written: lines in another encoding would be
    // appended to it. A UTF-8 file with its byte-order mark is written as usual.
    void otherEncodingIsNotWritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("written");
        const QString text = u"[S]\r\nK=old\r\n"_qs;
        QByteArray le("\xFF\xFE"), be("\xFE\xFF"), bare, utf32("\xFF\xFE\0\0");
        for (const QChar c : text) {
            le += char(c.unicode()) + QByteArray(1, '\0');
            be += QByteArray(1, '\0') + char(c.unicode());
            bare += char(c.unicode()) + QByteArray(1, '\0');
            utf32 += char(c.unicode()) + QByteArray(3, '\0');
        }
        QTest::newRow("UTF-16 LE with mark") << le << false;
        QTest::newRow("UTF-16 BE with mark") << be << false;
        QTest::newRow("UTF-16 without mark") << bare << false;
        QTest::newRow("UTF-32 with mark") << utf32 << false;
        QTest::newRow("UTF-16 mark alone") << QByteArray("\xFF\xFE") << false;
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF[S]\nK=old\n") << true;
    }
    void otherEncodingIsNotWritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, written);
        writeBytes(m_path, content);
        QCOMPARE(writeString(m_path, S, u"New"_qs, u"v"_qs), written);
        IniFile file(m_path);
        QVERIFY(file.load());
        QVERIFY(file.setValue(S, u"Other"_qs, u"w"_qs));
        QCOMPARE(file.save(), written);
        QCOMPARE(deleteSection(m_path, S), written);
        if (!written)
            QCOMPARE(readBytes(m_path), content);
        else
            QCOMPARE(readBytes(m_path), QByteArray("\xEF\xBB\xBF"));
    }

    // Something that is not a regular file is neither read nor written, and nothing waits for
    // it: a FIFO with nobody writing, a device, a huge sparse file.
    void notARegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("/dev/zero") << "/dev/zero";
        QTest::newRow("huge sparse file") << "sparse";
    }
    void notARegularFile()
    {
        QFETCH(QString, kind);
        QString path = kind;
        if (kind == u"fifo") {
            path = m_dir.filePath(u"pipe.ini"_qs);
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"sparse") {
            path = m_dir.filePath(u"sparse.ini"_qs);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(file.resize(qint64(8) << 30));
        }
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!readString(path, S, K));
        QVERIFY(!writeString(path, S, K, u"v"_qs));
        QCOMPARE(QFileInfo(path).isFile(), kind == u"sparse");
        QVERIFY(!QFileInfo::exists(path + u".nvlock"_qs));
        QVERIFY(timer.elapsed() < 5000);
        if (kind != u"/dev/zero")
            QFile::remove(path);
    }

    // save() makes its changes on the file as it is when it saves: a change another writer made
    // after load() stays.
    void saveKeepsOutsideChanges()
    {
        writeBytes(m_path, "[S]\nK=old\n");
        IniFile file(m_path);
        QVERIFY(file.load());
        QVERIFY(file.setValue(S, K, u"mine"_qs));
        file.removeKey(S, u"Gone"_qs);
        QVERIFY(writeString(m_path, S, u"Theirs"_qs, u"1"_qs));
        QVERIFY(writeString(m_path, S, u"Gone"_qs, u"2"_qs));
        QVERIFY(file.save());
        QCOMPARE(readBytes(m_path), QByteArray("[S]\nK=mine\nTheirs=1\n"));
        QCOMPARE(file.value(S, u"Theirs"_qs), u"1"_qs);
    }

    // Two processes writing different keys of one file at the same time lose nothing.
    void concurrentWriters()
    {
        constexpr int Count = 1000;
        writeConcurrently(m_path, Count, writeKey);
        if (QTest::currentTestFailed())
            return;
        IniFile file(m_path);
        QVERIFY(file.load());
        QCOMPARE(file.keys(S).size(), 2 * Count);
        for (const QString &prefix : { u"A"_qs, u"B"_qs }) {
            for (int i = 0; i < Count; ++i)
                QCOMPARE(file.value(S, writerKey(prefix, i)), QString::number(i));
        }
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList({ "test.ini" }));
    }

    void unreadableFileIsNotReplaced()
    {
        // A directory in the file's place stands for any file that exists but cannot be read.
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("test.ini")));
        IniFile file(m_path);
        QVERIFY(!file.load());
        QVERIFY(file.setValue(S, K, QStringLiteral("v")));
        QVERIFY(!file.save());
        QVERIFY(!writeString(m_path, S, K, u"v"_qs));
        QVERIFY(QFileInfo(m_path).isDir());
        QVERIFY(QDir(m_dir.path()).rmdir(QStringLiteral("test.ini")));
    }
};

int main(int argc, char **argv)
{
    const int writer = runSecondWriter(argc, argv, writeKey);
    if (writer >= 0)
        return writer;
    QCoreApplication app(argc, argv);
    tst_inifile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inifile.moc"
