// The phone book file: what is read from files of every kind, what each change writes (and keeps
// in the backup), the changes a file refuses, and a writer killed while it saves.

#include "dialogs/phonebook.h"

#include "common/testutil.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <optional>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QByteArray Missing = QByteArrayLiteral("<missing>");

// Bytes of a literal, NULs included.
template<qsizetype N> QByteArray bytesOf(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}
const char *WriterVariable = "NV_PHONEBOOK_WRITER";

// The phone book as a table row gives it: written whole, or left absent for Missing.
void placeBook(const QString &path, const QByteArray &bytes)
{
    if (bytes != Missing)
        writeBytes(path, bytes);
}

// The two versions the killed writer switches between.
const QByteArray VersionA = QByteArrayLiteral("Office\t5551234\r\nHome\t5550000\r\n");
const QByteArray VersionB = QByteArrayLiteral("Office\t5559999\r\nHome\t5550000\r\n");

// The writer process: switches the phone book between the two versions for ever, telling each
// write done on a line of its own.
int writeForever(const QString &path)
{
    writeBytes(path, VersionA);
    for (qint64 n = 0;; ++n) {
        const bool toB = n % 2 == 0;
        const PhoneBook::Result result = toB
            ? PhoneBook::replace(path, QStringLiteral("Office\t5551234"), QStringLiteral("Office\t5559999"))
            : PhoneBook::replace(path, QStringLiteral("Office\t5559999"), QStringLiteral("Office\t5551234"));
        if (!result)
            return 1;
        std::printf("%lld\n", n);
        std::fflush(stdout);
    }
}

// While it lives, this thread reads and writes files by their permission bits alone, even as
// root (the capabilities that pass over them are set aside).
class ByPermissionBits
{
public:
    ByPermissionBits()
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2];
        std::memcpy(lowered, m_saved, sizeof lowered);
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_lowered = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~ByPermissionBits()
    {
        if (m_lowered)
            syscall(SYS_capset, &m_header, m_saved);
    }
    ByPermissionBits(const ByPermissionBits &) = delete;
    ByPermissionBits &operator=(const ByPermissionBits &) = delete;

private:
    __user_cap_header_struct m_header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct m_saved[2] {};
    bool m_lowered = false;
};

// A phone book of exactly MaxBytes.
QByteArray fullBook()
{
    const QByteArray line = QByteArray(1022, 'x') + "\r\n";
    return line.repeated(PhoneBook::MaxBytes / line.size());
}

} // namespace

class TestPhoneBook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString book() const { return m_dir.filePath(QStringLiteral("PHONE.DAT")); }
    QString backup() const { return m_dir.filePath(QStringLiteral("PHONE.bak")); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden)) {
            QFile file(m_dir.filePath(name));
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            file.remove();
        }
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("missing") << Missing << QStringList();
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("CR LF") << QByteArray("Office\t5551234\r\nHome\t5550000\r\n")
                               << QStringList { "Office\t5551234", "Home\t5550000" };
        QTest::newRow("LF and lone CR") << QByteArray("a\t1\nb\t2\rc\t3")
                                        << QStringList { "a\t1", "b\t2", "c\t3" };
        QTest::newRow("last line without end") << QByteArray("a\t1\r\nb\t2")
                                               << QStringList { "a\t1", "b\t2" };
        QTest::newRow("empty lines and no TAB are entries")
            << QByteArray("\r\nplain\r\n\r\n") << QStringList { "", "plain", "" };
        QTest::newRow("duplicates kept in order") << QByteArray("x\t1\r\ny\t2\r\nx\t1\r\n")
                                                  << QStringList { "x\t1", "y\t2", "x\t1" };
        QTest::newRow("UTF-8") << QByteArray("Z\xc3\xbcrich\t0041\r\n")
                               << QStringList { QString::fromUtf8("Z\xc3\xbcrich\t0041") };
        QTest::newRow("8-bit Latin-1 line") << QByteArray("M\xfcller\t089\r\nok\t1\r\n")
                                            << QStringList { QString::fromLatin1("M\xfcller\t089"), "ok\t1" };
        QTest::newRow("binary") << bytesOf("\x00\x01\xff\t\x02")
                                << QStringList { QString::fromLatin1("\x00\x01\xff\t\x02", 5) };
        QTest::newRow("two TABs") << QByteArray("a\tb\tc\r\n") << QStringList { "a\tb\tc" };
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        placeBook(book(), bytes);
        const PhoneBook::Contents contents = PhoneBook::read(book());
        QCOMPARE(contents.opened, bytes != Missing);
        QStringList texts;
        for (const PhoneBook::Line &line : contents.lines)
            texts << line.text;
        QTEST(texts, "lines");
    }

    void changes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("found");

        QTest::newRow("append to a new file") << Missing << "append" << "" << "Office\t5551234"
                                              << QByteArray("Office\t5551234\r\n") << true;
        QTest::newRow("append after a last line without end")
            << QByteArray("a\t1\r\nb\t2") << "append" << "" << "c\t3"
            << QByteArray("a\t1\r\nb\t2\r\nc\t3\r\n") << true;
        QTest::newRow("append after a lone CR ending")
            << QByteArray("a\t1\rb\t2\r") << "append" << "" << "c\t3"
            << QByteArray("a\t1\rb\t2\rc\t3\r\n") << true;
        QTest::newRow("append to a book of exactly the size limit")
            << fullBook() << "append" << "" << "c\t3" << fullBook() + "c\t3\r\n" << true;
        QTest::newRow("append keeps the file's own bytes")
            << QByteArray("a\t1\nM\xfcller\t2\n") << "append" << "" << "c\t3"
            << QByteArray("a\t1\nM\xfcller\t2\nc\t3\r\n") << true;
        QTest::newRow("append UTF-8") << QByteArray() << "append" << ""
                                      << QString::fromUtf8("Z\xc3\xbcrich\t1")
                                      << QByteArray("Z\xc3\xbcrich\t1\r\n") << true;
        QTest::newRow("remove the first of two") << QByteArray("x\t1\r\ny\t2\r\nx\t1\r\n")
                                                 << "remove" << "x\t1" << ""
                                                 << QByteArray("y\t2\r\nx\t1\r\n") << true;
        QTest::newRow("remove compares whole lines, with case")
            << QByteArray("X\t1\r\nx\t12\r\nx\t1\r\n") << "remove" << "x\t1" << ""
            << QByteArray("X\t1\r\nx\t12\r\n") << true;
        QTest::newRow("remove keeps malformed lines byte for byte")
            << bytesOf("M\xfcller\t1\n\x00\x01\n\nplain\nx\t2") << "remove" << "plain" << ""
            << bytesOf("M\xfcller\t1\r\n\x00\x01\r\n\r\nx\t2\r\n") << true;
        QTest::newRow("remove an 8-bit line") << QByteArray("M\xfcller\t1\r\nb\t2\r\n") << "remove"
                                              << QString::fromLatin1("M\xfcller\t1") << ""
                                              << QByteArray("b\t2\r\n") << true;
        QTest::newRow("remove a line that is gone") << QByteArray("a\t1\n") << "remove" << "z\t9"
                                                    << "" << QByteArray("a\t1\n") << false;
        QTest::newRow("replace the first equal line")
            << QByteArray("x\t1\r\ny\t2\r\nx\t1\r\n") << "replace" << "x\t1" << "x\t7"
            << QByteArray("x\t7\r\ny\t2\r\nx\t1\r\n") << true;
        QTest::newRow("replace a line that is gone appends")
            << QByteArray("a\t1") << "replace" << "z\t9" << "z\t8"
            << QByteArray("a\t1\r\nz\t8\r\n") << false;
    }
    void changes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, operation);
        QFETCH(QString, target);
        QFETCH(QString, line);
        QFETCH(QByteArray, after);
        placeBook(book(), before);
        PhoneBook::Result result;
        if (operation == u"append")
            result = PhoneBook::append(book(), line);
        else if (operation == u"remove")
            result = PhoneBook::remove(book(), target);
        else
            result = PhoneBook::replace(book(), target, line);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QTEST(result.found, "found");
        QCOMPARE(readBytes(book()), after);
        // What was there before the change is kept in the backup (nothing when nothing changed).
        const bool written = readBytes(book()) != before;
        QCOMPARE(readBytes(backup()), written && before != Missing ? before : Missing);
    }

    void refusedFile_data()
    {
        QTest::addColumn<int>("permissions");
        QTest::addColumn<bool>("bitsAlone"); // the system's own permission checks, even as root
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only, also for a user the system would let write")
            << int(QFile::ReadOwner | QFile::ReadGroup) << false << "read-only";
        QTest::newRow("unreadable") << int(QFile::WriteOwner) << true << "cannot be read";
    }
    // A phone book that cannot be read or written refuses every change; file and backup stay as
    // they were.
    void refusedFile()
    {
        QFETCH(int, permissions);
        QFETCH(bool, bitsAlone);
        QFETCH(QString, reason);
        const QByteArray before("a\t1\r\nb\t2\r\n");
        placeBook(book(), before);
        QVERIFY(QFile::setPermissions(book(), QFile::Permissions(permissions)));
        {
            std::optional<ByPermissionBits> asAUser;
            if (bitsAlone)
                asAUser.emplace();
            for (const PhoneBook::Result &result : { PhoneBook::append(book(), u"c\t3"_qs),
                     PhoneBook::remove(book(), u"a\t1"_qs),
                     PhoneBook::replace(book(), u"a\t1"_qs, u"a\t9"_qs) }) {
                QVERIFY(!result);
                QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
            }
        }
        QVERIFY(QFile::setPermissions(book(), QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(readBytes(book()), before);
        QCOMPARE(readBytes(backup()), Missing);
    }

    // A writer killed at any moment of a save leaves the old phone book or the new one, never a
    // mix or a part, and the next save clears what it left behind.
    void killDuringSave()
    {
        for (int round = 0; round < 6; ++round) {
            init();
            QProcess writer;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QLatin1String(WriterVariable), book());
            writer.setProcessEnvironment(environment);
            writer.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(writer.waitForStarted());
            // Let it write a number of times that differs from round to round.
            const int writes = 1 + round * 5;
            QByteArray output;
            while (output.count('\n') < writes) {
                QVERIFY2(writer.waitForReadyRead(10000), "the writer stopped");
                output += writer.readAllStandardOutput();
            }
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished());
            const QByteArray left = readBytes(book());
            QVERIFY2(left == VersionA || left == VersionB, left.constData());
            const QByteArray kept = readBytes(backup());
            QVERIFY2(kept == VersionA || kept == VersionB, kept.constData());
            QVERIFY(PhoneBook::append(book(), QStringLiteral("x\t1")));
            QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        }
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(WriterVariable)) {
        QCoreApplication app(argc, argv);
        return writeForever(qEnvironmentVariable(WriterVariable));
    }
    QApplication app(argc, argv);
    TestPhoneBook test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_phonebook.moc"
