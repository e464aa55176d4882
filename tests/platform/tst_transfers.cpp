// File transfers of the terminal-emulator control against the real programs on the host's side
// of a loopback link: sz/rz, sb/rb, sx/rx, and kermit behind a pseudo-terminal. Each protocol
// both ways, text and binary, big, empty and batched files compared byte for byte, landing in
// the user's usual mode; cancelling, a host that goes away in the middle or right after the
// end, a hostile sender's file names and dispositions, the overwrite rules both ways, the
// ZModem start from the host, the options the settings give the programs, the reason a failure
// gives, and a slow link that holds a fast program back.

#include "common/testutil.h"
#include "emulator/emulator.h"
#include "emulator/xferengine.h"
#include "emulator/xferplan.h"
#include "emulator/xferprocess.h"
#include "emulator/xferprogress.h"
#include "platform/tst_transfers_host.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using emu::nvEmulator;
namespace proto = emu::xferprotocol;

namespace {

constexpr int Ascii = proto::Ascii;
constexpr int Kermit = proto::Kermit;
constexpr int XModem = proto::XModem;
constexpr int YModem = proto::YModem;
constexpr int ZModem = proto::ZModem;
constexpr qint64 tenMegabytes = 10 * 1024 * 1024;

// Text: numbered lines ending in LF. Binary: every byte value, in an order that depends on the
// name, so that two files never match by chance.
QByteArray content(const QString &name, qint64 size, bool text)
{
    QByteArray bytes;
    bytes.reserve(size);
    if (text) {
        for (int line = 1; bytes.size() < size; ++line)
            bytes += QByteArray("Line ") + QByteArray::number(line) + " of " + name.toUtf8()
                + ": the quick brown fox jumps over the lazy dog\n";
        bytes.truncate(size);
        if (size > 0)
            bytes[size - 1] = '\n';
        return bytes;
    }
    quint32 state = qHash(name) | 1;
    bytes.resize(size);
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

// "a.bin:1000,b.txt:0" -> names and sizes.
QList<QPair<QString, qint64>> fileList(const QString &spec)
{
    QList<QPair<QString, qint64>> files;
    for (const QString &item : spec.split(u',', Qt::SkipEmptyParts))
        files << qMakePair(item.section(u':', 0, 0), item.section(u':', 1).toLongLong());
    return files;
}

QString modeFlag(bool binary, const char *binaryFlag, const char *textFlag)
{
    return QLatin1String(binary ? binaryFlag : textFlag);
}

// The host's program: it sends the files (the control downloads) or receives (the control
// uploads), in the host's folder.
QStringList hostCommand(int protocol, bool hostSends, bool binary, const QStringList &files)
{
    switch (protocol) {
    case Kermit:
        return QStringList { QStringLiteral("kermit"), QStringLiteral("-Y"), QStringLiteral("-q"),
                   modeFlag(binary, "-i", "-T") }
            + (hostSends ? QStringList { QStringLiteral("-s") } + files
                         : QStringList { QStringLiteral("-r") });
    case XModem:
        return { hostSends ? QStringLiteral("sx") : QStringLiteral("rx"), QStringLiteral("-q"),
            modeFlag(binary, "-b", "-a"), files.value(0) };
    case YModem:
        return QStringList { hostSends ? QStringLiteral("sb") : QStringLiteral("rb"),
                   QStringLiteral("-q"), modeFlag(binary, "-b", "-a") }
            + (hostSends ? QStringList { QStringLiteral("-k") } + files : QStringList());
    default:
        return QStringList { hostSends ? QStringLiteral("sz") : QStringLiteral("rz"),
                   QStringLiteral("-q") }
            + (hostSends ? QStringList { modeFlag(binary, "-b", "-a") } + files : QStringList());
    }
}

// The values of StateNotify's transfer code (3), in order.
QList<int> transferStates(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).toInt() == 3)
            values << args.at(1).toInt();
    }
    return values;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QStringList statusTexts(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &args : spy)
        texts << args.first().toString();
    return texts;
}

} // namespace

class TestTransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void cancelMidTransfer_data();
    void cancelMidTransfer();
    void hostGone_data();
    void hostGone();
    void slowLinkHoldsProgram_data();
    void slowLinkHoldsProgram();
    void hostileSenderName_data();
    void hostileSenderName();
    void overwriteRule_data();
    void overwriteRule();
    void zmodemStartsByItself();
    void zmodemStartRefusedWhenOff();
    void shellAfterZmodem();
    void uploadListIsNotCut();
    void missingProgram_data();
    void missingProgram();
    void programOptions_data();
    void programOptions();
    void failureReason_data();
    void failureReason();
    void zmodemStartAcrossPieces_data();
    void zmodemStartAcrossPieces();
    void screenshot();

private:
    void startHost(const QStringList &command, bool terminal);
    // Runs the control's side; the result of Upload or Download with Wait.
    int runTransfer(bool upload, int protocol, bool binary, const QString &fileSpec, int overwrite);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_local; // the control's folder
    QString m_remote; // the host's folder
    std::unique_ptr<TransferHost> m_host;
    std::unique_ptr<nvEmulator> m_control;
};

void TestTransfers::initTestCase()
{
    for (const char *program : { "sz", "rz", "kermit", "socat" }) {
        if (QStandardPaths::findExecutable(QLatin1String(program)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/setup installs it)")
                                 .arg(QLatin1String(program))));
    }
    ::umask(022); // the modes received files are expected in
}

void TestTransfers::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_local = m_dir->filePath(QStringLiteral("local"));
    m_remote = m_dir->filePath(QStringLiteral("remote"));
    QVERIFY(QDir().mkpath(m_local) && QDir().mkpath(m_remote));
    m_host = std::make_unique<TransferHost>(m_remote);
    m_control = std::make_unique<nvEmulator>();
    connect(m_control.get(), &nvEmulator::CommError, this,
        [](rt::Long *code, const QString &, rt::Int) { *code = 0; });
}

void TestTransfers::cleanup()
{
    m_control.reset();
    m_host.reset();
    m_dir.reset();
}

void TestTransfers::startHost(const QStringList &command, bool terminal)
{
    m_host->setCommand(command.first(), command.mid(1), terminal);
    emu::Settings *settings = m_control->Settings();
    settings->setDevice(emu::device::Tcp);
    settings->setHostName(QStringLiteral("127.0.0.1"));
    settings->setHostPort(QString::number(m_host->port()));
    settings->setDefaultXferDir(m_local);
    m_control->Reset(2);
    QTRY_COMPARE(m_control->Connected(), rt::True);
}

int TestTransfers::runTransfer(
    bool upload, int protocol, bool binary, const QString &fileSpec, int overwrite)
{
    // A transfer that hangs is cancelled, so that the test fails instead of waiting forever.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, m_control.get(), &nvEmulator::Abort);
    guard.start(120000);
    const rt::Int mode = binary ? 1 : 0;
    return upload ? m_control->Upload(fileSpec, rt::Int(protocol), mode, rt::Int(overwrite), 1)
                  : m_control->Download(fileSpec, rt::Int(protocol), mode, rt::Int(overwrite), 1);
}

void TestTransfers::roundTrip_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QString>("files");
    const QList<QPair<int, const char *>> protocols { { Kermit, "Kermit" }, { XModem, "XModem" },
        { YModem, "YModem" }, { ZModem, "ZModem" } };
    for (const auto &[protocol, name] : protocols) {
        for (const bool upload : { false, true }) {
            const char *way = upload ? "up" : "down";
            // XModem pads its last block: the sizes of its binary files are whole blocks.
            QTest::addRow("%s %s text", name, way) << protocol << upload << false
                                                   << QStringLiteral("notes.txt:20000");
            QTest::addRow("%s %s binary", name, way) << protocol << upload << true
                                                     << QStringLiteral("data.bin:20480");
            QTest::addRow("%s %s 10 MB", name, way)
                << protocol << upload << true << QStringLiteral("big.bin:%1").arg(tenMegabytes);
            QTest::addRow("%s %s empty", name, way) << protocol << upload << true
                                                    << QStringLiteral("empty.bin:0");
            if (protocol != XModem)
                QTest::addRow("%s %s batch", name, way)
                    << protocol << upload << true
                    << QStringLiteral("one.bin:70001,two name.txt:1500,three.bin:0");
        }
    }
}

void TestTransfers::roundTrip()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    QFETCH(bool, binary);
    QFETCH(QString, files);
    const auto list = fileList(files);
    const QString from = upload ? m_local : m_remote;
    const QString to = upload ? m_remote : m_local;
    QStringList names;
    QStringList paths;
    qint64 total = 0;
    for (const auto &[name, size] : list) {
        writeBytes(QDir(from).filePath(name), content(name, size, !binary));
        // A mode no received file keeps: set-user-ID, writable by all.
        if (!upload)
            ::chmod(QFile::encodeName(QDir(from).filePath(name)).constData(), 04777);
        names << name;
        paths << QDir(from).filePath(name);
        total += size;
    }
    startHost(hostCommand(protocol, !upload, binary, upload ? names : paths), protocol == Kermit);
    QSignalSpy notify(m_control.get(), &nvEmulator::StateNotify);
    const QString spec = m_local + QChar(0)
        + (upload || protocol == XModem ? names.join(QChar(0)) : QString());
    QCOMPARE(runTransfer(upload, protocol, binary, spec, 1), 0);
    QVERIFY(m_host->programEnded());
    QCOMPARE(m_host->exitCode(), 0);
    for (const auto &[name, size] : list) {
        QVERIFY2(
            readBytes(QDir(to).filePath(name)) == content(name, size, !binary), qPrintable(name));
        // The user's usual mode (umask 022), with an execute right the sender may have given.
        if (!upload)
            QCOMPARE(modeOf(QDir(to).filePath(name)) & ~mode_t(0111), mode_t(0644));
    }
    QCOMPARE(m_control->XferFiles(), rt::Int(list.size()));
    if (binary)
        QCOMPARE(m_control->XferBytes(), rt::Long(total));
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
    QCOMPARE(entries(m_local).size(), list.size()); // nothing else left behind
    QCOMPARE(transferStates(notify), (QList<int> { rt::True, rt::False }));
}

void TestTransfers::cancelMidTransfer_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("pace"); // bytes per 10 ms each way; XModem is slow enough as it is
    QTest::newRow("ZModem down") << ZModem << false << 4096;
    QTest::newRow("ZModem up") << ZModem << true << 4096;
    QTest::newRow("YModem down") << YModem << false << 4096;
    QTest::newRow("YModem up") << YModem << true << 4096;
    QTest::newRow("XModem down") << XModem << false << 0;
    QTest::newRow("XModem up") << XModem << true << 0;
    QTest::newRow("Kermit down") << Kermit << false << 4096;
    QTest::newRow("Kermit up") << Kermit << true << 4096;
}

// Cancel through the progress window: the transfer ends as aborted, the host's program is told
// and ends too, and no half file is left under the final name.
void TestTransfers::cancelMidTransfer()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    QFETCH(int, pace);
    const QString name = QStringLiteral("big.bin");
    const QByteArray data = content(name, 4 * 1024 * 1024, false);
    writeBytes(QDir(upload ? m_local : m_remote).filePath(name), data);
    m_host->setPace(pace);
    startHost(hostCommand(protocol, !upload, true, { upload ? name : QDir(m_remote).filePath(name) }),
        protocol == Kermit);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    const QString spec = m_local + QChar(0) + (upload || protocol == XModem ? name : QString());
    const rt::Int started = upload ? m_control->Upload(spec, rt::Int(protocol), 1, 1, 0)
                                   : m_control->Download(spec, rt::Int(protocol), 1, 1, 0);
    QCOMPARE(started, rt::Int(0));
    QTRY_VERIFY_WITH_TIMEOUT(m_control->XferBytes() > 100000, 30000);
    auto *window = m_control->findChild<emu::XferProgress *>();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    // It opens over its session's terminal, not in a corner of the screen.
    const QPoint over = m_control->mapToGlobal(m_control->rect().center());
    QVERIFY2((window->frameGeometry().center() - over).manhattanLength() <= 2,
        qPrintable(QStringLiteral("window at %1,%2; terminal's centre %3,%4")
                .arg(window->x()).arg(window->y()).arg(over.x()).arg(over.y())));
    QTRY_COMPARE(window->fileText(), name);
    QVERIFY(window->bytesText().endsWith(QLatin1String(" bytes")));
    QPushButton *cancel = window->findChild<QPushButton *>();
    QVERIFY(cancel);
    cancel->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_control->XferStatus(), rt::Int(0), 10000);
    QCOMPARE(status.last().first().toString(),
        upload ? QStringLiteral("Upload aborted") : QStringLiteral("Download aborted"));
    QVERIFY(!m_control->findChild<emu::XferProgress *>());
    if (!upload)
        QCOMPARE(entries(m_local), QStringList()); // nothing half-written, no private folder
    // lrzsz's programs tell the other side; Kermit's receiver gives up after its retries, and
    // so may XModem's and YModem's, when the cancel came in the middle of a block.
    if (protocol != Kermit && (protocol == ZModem || !upload))
        QVERIFY(m_host->programEnded(20000));
}

void TestTransfers::hostGone_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("atEnd"); // right after its program ended, else in the middle
    QTest::addColumn<bool>("autoStart"); // the host starts the ZModem download
    QTest::newRow("ZModem, in the middle") << ZModem << false << false << false;
    QTest::newRow("YModem, in the middle") << YModem << false << false << false;
    QTest::newRow("Kermit, in the middle") << Kermit << false << false << false;
    // A one-shot host (`sz file; exit`): the end of the transfer and the end of the link come
    // together.
    QTest::newRow("ZModem started by the host, closed after it") << ZModem << false << true << true;
    QTest::newRow("ZModem down, closed after it") << ZModem << false << true << false;
    QTest::newRow("YModem down, closed after it") << YModem << false << true << false;
    QTest::newRow("XModem down, closed after it") << XModem << false << true << false;
    QTest::newRow("Kermit down, closed after it") << Kermit << false << true << false;
    QTest::newRow("ZModem up, closed after it") << ZModem << true << true << false;
    QTest::newRow("YModem up, closed after it") << YModem << true << true << false;
    QTest::newRow("Kermit up, closed after it") << Kermit << true << true << false;
}

// The host's program and the connection go away in the middle of a transfer: it fails (not
// completed) for that one reason, nothing is left half-written, and host data reaches the
// screen again. A host that closes the link right after its program ended loses nothing: the
// transfer completes whole.
void TestTransfers::hostGone()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    QFETCH(bool, atEnd);
    QFETCH(bool, autoStart);
    const QString name = QStringLiteral("big.bin");
    const QByteArray data = content(name, atEnd ? 3 * 1024 * 1024 : 4 * 1024 * 1024, false);
    const QString source = QDir(upload ? m_local : m_remote).filePath(name);
    const QString target = QDir(upload ? m_remote : m_local).filePath(name);
    writeBytes(source, data);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    if (atEnd) {
        m_host->setCloseAtEnd(true);
        m_control->Settings()->setZModemAuto(autoStart ? 1 : 0);
        startHost(autoStart ? QStringList { "sz", "-b", source }
                            : hostCommand(protocol, !upload, true, { upload ? name : source }),
            protocol == Kermit);
        if (autoStart) {
            QTRY_VERIFY_WITH_TIMEOUT(
                !statusTexts(status).filter(QRegularExpression("^Download (complete|failed)")).isEmpty(),
                60000);
        } else {
            const QString spec
                = m_local + QChar(0) + (upload || protocol == XModem ? name : QString());
            QCOMPARE(runTransfer(upload, protocol, true, spec, 1), 0);
        }
        QVERIFY(m_host->programEnded());
        QTRY_COMPARE(m_control->Connected(), rt::False);
        QCOMPARE(readBytes(target), data);
        QVERIFY2(statusTexts(status).contains(upload ? "Upload complete" : "Download complete"),
            qPrintable(statusTexts(status).join(u'|')));
        QCOMPARE(m_control->XferFiles(), rt::Int(1));
        return;
    }
    m_host->setPace(4096);
    startHost(hostCommand(protocol, true, true, { source }), protocol == Kermit);
    QCOMPARE(m_control->Download(m_local + QChar(0), rt::Int(protocol), 1, 1, 0), rt::Int(0));
    QTRY_VERIFY_WITH_TIMEOUT(m_control->XferBytes() > 100000, 30000);
    m_host->kill();
    QTRY_COMPARE_WITH_TIMEOUT(m_control->XferStatus(), rt::Int(0), 10000);
    const QStringList texts = statusTexts(status);
    // (lrzsz's receiver adds the file it had announced.)
    const QStringList failed = texts.filter(QStringLiteral("Download failed"));
    QVERIFY2(failed.size() == 1
            && QRegularExpression(QStringLiteral("^Download failed: The link to the host was lost"
                                                 "(; big.bin not received)?$"))
                   .match(failed.first())
                   .hasMatch(),
        qPrintable(texts.join(u'|')));
    QCOMPARE(entries(m_local), QStringList());
    m_control->feedHostData("back on the screen");
    QCOMPARE(m_control->screen()->rowText(0).trimmed(), QStringLiteral("back on the screen"));
}

void TestTransfers::slowLinkHoldsProgram_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::newRow("ZModem up") << ZModem << true;
    QTest::newRow("Kermit up") << Kermit << true;
    QTest::newRow("ZModem down") << ZModem << false;
    QTest::newRow("ASCII up") << Ascii << true;
}

// A link much slower than the program: what waits in the control for the link stays under the
// high-water mark (plus one read of the program's output), the count grows as the host takes
// the file instead of leaping to its end, and the file arrives whole.
void TestTransfers::slowLinkHoldsProgram()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    const QString name = QStringLiteral("slow.bin");
    const qint64 size = 2 * 1024 * 1024;
    const QString source = QDir(upload ? m_local : m_remote).filePath(name);
    const QString target = QDir(upload ? m_remote : m_local).filePath(name);
    writeBytes(source, content(name, size, false));
    m_host->setPace(4096); // about 400 KB a second: five seconds for the file
    // ASCII has no program on the host: the host keeps what arrives.
    const QStringList command = protocol == Ascii
        ? QStringList { QStringLiteral("sh"), QStringLiteral("-c"),
              QStringLiteral("head -c %1 > %2").arg(size).arg(name) }
        : hostCommand(protocol, !upload, true, { upload ? name : source });
    startHost(command, protocol == Kermit);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    const QString spec = m_local + QChar(0) + (upload ? name : QString());
    QCOMPARE(upload ? m_control->Upload(spec, rt::Int(protocol), 1, 1, 0)
                    : m_control->Download(spec, rt::Int(protocol), 1, 1, 0),
        rt::Int(0));
    qint64 maxBacklog = 0;
    qint64 maxLead = 0; // how far the count ran ahead of what the host has received
    QList<qint64> counts;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        if (emu::Channel *channel = m_control->channel())
            maxBacklog = std::max(maxBacklog, channel->backlog());
        const qint64 count = m_control->XferBytes();
        if (upload && m_control->XferStatus())
            maxLead = std::max(maxLead, count - QFileInfo(target).size());
        if (counts.isEmpty() || counts.last() != count)
            counts << count;
    });
    sampler.start(5);
    QTRY_COMPARE_WITH_TIMEOUT(m_control->XferStatus(), rt::Int(0), 60000);
    sampler.stop();
    QCOMPARE(status.last().first().toString(),
        upload ? QStringLiteral("Upload complete") : QStringLiteral("Download complete"));
    // An ASCII upload is complete once the link has the last of it.
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(target).size(), size, 10000);
    QCOMPARE(readBytes(target), content(name, size, false));
    qDebug() << "largest backlog" << maxBacklog << "largest lead" << maxLead << "counts"
             << counts.size();
    QVERIFY2(maxBacklog <= emu::LinkHighWater + emu::XferProcess::readChunk,
        qPrintable(QString::number(maxBacklog)));
    // The count moves in steps of about the backlog over the five seconds or more (with the
    // program never held it took three).
    QVERIFY2(counts.size() >= 6, qPrintable(QString::number(counts.size())));
    QVERIFY(std::is_sorted(counts.begin(), counts.end()));
    // (ASCII starts at once and fills the system's buffers before the first look.)
    if (protocol != Ascii)
        QVERIFY2(counts.value(1) < size / 4, qPrintable(QString::number(counts.value(1))));
    // The count runs ahead of the host by the backlog and what the buffers of the system and
    // of the programs hold, not by the file.
    const qint64 buffers = 256 * 1024;
    QVERIFY2(maxLead <= emu::LinkHighWater + emu::XferProcess::readChunk + buffers,
        qPrintable(QString::number(maxLead)));
}

void TestTransfers::hostileSenderName_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QStringList>("hostCommand");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<QString>("stored");
    // lrzsz's receiver refuses such a name outright: the transfer fails and writes nothing.
    QTest::newRow("ZModem ../ name")
        << ZModem << QStringList { "sz", "-q", "-f", "../evil.txt" } << false << QString();
    QTest::newRow("ZModem absolute name of a file that exists")
        << ZModem << QStringList { "sz", "-q", "-f", "@ABS@" } << false << QString();
    // sz -d sends the name with its dots turned into slashes: an absolute name that does not
    // exist here, which lrzsz's receiver would create; the receiver may not write there.
    QTest::newRow("ZModem absolute name of a new file")
        << ZModem << QStringList { "sz", "-q", "-d", "@DOTTED@" } << false << QString();
    QTest::newRow("YModem ../ name")
        << YModem << QStringList { "sb", "-q", "-f", "../evil.txt" } << false << QString();
    // Kermit's receiver keeps the base name only.
    QTest::newRow("Kermit ../ name")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-i", "-s", "@ABS@", "-a", "../evil.txt" }
        << true << QStringLiteral("evil.txt");
    QTest::newRow("Kermit absolute name")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-i", "-s", "@ABS@", "-a", "@OUT@" }
        << true << QStringLiteral("outside.txt");
    // A name with a leading dot (a shell's start-up file, say) is not taken, whichever
    // protocol brings it.
    QTest::newRow("ZModem leading dot")
        << ZModem << QStringList { "sz", "-q", ".profile" } << false << QString();
    QTest::newRow("Kermit leading dot")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-C", "send /as-name:{.profile} @ABS@,exit" }
        << false << QString();
    QTest::newRow("Kermit control character")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-i", "-s", "@ABS@", "-a", "bad\x01name" }
        << false << QString();
    // A sender that asks for the file to be printed or mailed, by a command with its own
    // options in it (run in the receiver's folder, where it could write): the file is kept and
    // nothing runs.
    QTest::newRow("Kermit print disposition")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-C", "send /print:{;@RUN@;} @ABS@,exit" }
        << true << QStringLiteral("evil.txt");
    QTest::newRow("Kermit mail disposition")
        << Kermit << QStringList { "kermit", "-Y", "-q", "-C", "send /mail:{;@RUN@;} @ABS@,exit" }
        << true << QStringLiteral("evil.txt");
    // lrzsz's receiver in its restricted mode refuses a command to run.
    QTest::newRow("ZModem command") << ZModem << QStringList { "sz", "-q", "-c", "@RUN@" } << true
                                    << QString();
    QTest::newRow("ZModem command, no wait")
        << ZModem << QStringList { "sz", "-q", "-i", "@RUN@" } << true << QString();
}

// A sender that names a file outside the chosen directory, or with a control character in its
// name: nothing lands outside the directory, and no such name is made. A sender that asks for
// more than the file (a disposition, a command) gets nothing run.
void TestTransfers::hostileSenderName()
{
    QFETCH(int, protocol);
    QFETCH(QStringList, hostCommand);
    QFETCH(bool, completes);
    QFETCH(QString, stored);
    // The host works one folder down, so that "../evil.txt" exists there.
    const QString hostDir = QDir(m_remote).filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(hostDir));
    const QString evil = QDir(m_remote).filePath(QStringLiteral("evil.txt"));
    writeBytes(evil, "evil");
    const QString outside = m_dir->filePath(QStringLiteral("outside.txt"));
    hostCommand.replaceInStrings(QStringLiteral("@ABS@"), evil);
    hostCommand.replaceInStrings(QStringLiteral("@OUT@"), outside);
    // A command the host would have run: it leaves a file, and calls the listener.
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    hostCommand.replaceInStrings(QStringLiteral("@RUN@"),
        QStringLiteral("touch ran;echo ran|socat - TCP:127.0.0.1:%1").arg(listener.serverPort()));
    // The host's file ".tmp.dir.newfile", sent as "/tmp/dir/newfile".
    const QString dotted = m_dir->filePath(QStringLiteral("newfile")).replace(u'/', u'.');
    if (hostCommand.contains(QStringLiteral("@DOTTED@"))) {
        if (m_dir->path().contains(u'.'))
            QSKIP("the temporary folder's name has a dot");
        writeBytes(QDir(hostDir).filePath(dotted), "evil");
        hostCommand.replaceInStrings(QStringLiteral("@DOTTED@"), dotted);
    }
    writeBytes(QDir(hostDir).filePath(QStringLiteral(".profile")), "evil");
    m_host = std::make_unique<TransferHost>(hostDir);
    startHost(hostCommand, protocol == Kermit);
    const int result = runTransfer(false, protocol, true, m_local + QChar(0), 0);
    QCOMPARE(result, completes ? 0 : 2);
    QCOMPARE(entries(m_local), stored.isEmpty() ? QStringList() : QStringList { stored });
    QCOMPARE(entries(m_dir->path()), (QStringList { "local", "remote" })); // no newfile
    QCOMPARE(readBytes(evil), QByteArray("evil")); // the host's own file is untouched
    QVERIFY(!listener.hasPendingConnections() && !listener.waitForNewConnection(0));
}

void TestTransfers::overwriteRule_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<bool>("receiverNewer"); // the receiver's file is newer than the sender's
    QTest::addColumn<int>("result"); // 58: refused at the start with that error
    QTest::addColumn<bool>("replaced");
    QTest::newRow("ZModem keeps") << ZModem << false << 0 << false << 2 << false;
    QTest::newRow("ZModem overwrites") << ZModem << false << 1 << false << 0 << true;
    QTest::newRow("Kermit keeps") << Kermit << false << 0 << false << 2 << false;
    QTest::newRow("Kermit overwrites") << Kermit << false << 1 << false << 0 << true;
    QTest::newRow("YModem overwrites") << YModem << false << 1 << false << 0 << true;
    QTest::newRow("XModem keeps: refused at the start") << XModem << false << 0 << false << 58 << false;
    QTest::newRow("XModem overwrites") << XModem << false << 1 << false << 0 << true;
    // The host's receiver decides by the choice given to sz; the sender's file is the longer.
    QTest::newRow("ZModem up, never") << ZModem << true << 0 << false << 2 << false;
    QTest::newRow("ZModem up, always") << ZModem << true << 1 << true << 0 << true;
    QTest::newRow("ZModem up, newer, the host's is older") << ZModem << true << 3 << false << 0 << true;
    QTest::newRow("ZModem up, newer, the host's is newer") << ZModem << true << 3 << true << 2 << false;
    QTest::newRow("ZModem up, newer or longer, the host's is newer")
        << ZModem << true << 4 << true << 0 << true;
}

// An existing file is replaced only when the overwrite choice says so; a kept file makes the
// transfer report failure naming it (a skipped upload is not counted as sent), and the other
// files of the batch still arrive. XModem, whose one file is named here, refuses at the start.
void TestTransfers::overwriteRule()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    QFETCH(int, overwrite);
    QFETCH(bool, receiverNewer);
    QFETCH(int, result);
    QFETCH(bool, replaced);
    const QString from = upload ? m_local : m_remote;
    const QString to = upload ? m_remote : m_local;
    // (Whole XModem blocks: it pads the last one.)
    const QByteArray fresh = content(QStringLiteral("same.bin"), 3072, false);
    const QByteArray old("old contents");
    const QStringList names = protocol == XModem ? QStringList { "same.bin" }
                                                 : QStringList { "same.bin", "other.bin" };
    writeBytes(QDir(from).filePath("same.bin"), fresh);
    writeBytes(QDir(from).filePath("other.bin"), "other");
    writeBytes(QDir(to).filePath("same.bin"), old);
    QFile existing(QDir(to).filePath("same.bin"));
    QVERIFY(existing.open(QIODevice::ReadWrite));
    QVERIFY(existing.setFileTime(QDateTime::currentDateTime().addSecs(receiverNewer ? 3600 : -3600),
        QFileDevice::FileModificationTime));
    existing.close();
    QStringList paths;
    for (const QString &name : names)
        paths << QDir(from).filePath(name);
    startHost(hostCommand(protocol, !upload, true, upload ? names : paths), protocol == Kermit);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    const QString spec = m_local + QChar(0)
        + (upload || protocol == XModem ? names.join(QChar(0)) : QString());
    if (result == rt::err::FileExists) {
        QCOMPARE(errorOf([&] { runTransfer(upload, protocol, true, spec, overwrite); }),
            rt::Long(rt::err::FileExists));
        QCOMPARE(m_control->XferStatus(), rt::Int(0));
        QCOMPARE(readBytes(QDir(to).filePath("same.bin")), old);
        QCOMPARE(entries(m_local), QStringList { QStringLiteral("same.bin") });
        return;
    }
    QCOMPARE(runTransfer(upload, protocol, true, spec, overwrite), result);
    QCOMPARE(readBytes(QDir(to).filePath("same.bin")), replaced ? fresh : old);
    if (protocol != XModem)
        QCOMPARE(readBytes(QDir(to).filePath("other.bin")), QByteArray("other"));
    QCOMPARE(entries(to), (names.size() == 1 ? names : QStringList { "other.bin", "same.bin" }));
    if (!replaced)
        QVERIFY2(status.last().first().toString().contains(
                     upload ? QLatin1String("same.bin skipped") : QLatin1String("same.bin not stored")),
            qPrintable(status.last().first().toString()));
    if (upload) {
        QCOMPARE(m_control->XferFiles(), rt::Int(replaced ? 2 : 1));
        QCOMPARE(m_control->XferBytes(), rt::Long(replaced ? 3077 : 5));
    }
}

// The host runs sz by itself: with ZModemAuto on, the control receives into DefaultXferDir,
// counting on the status line, and shows the host's text before and after.
void TestTransfers::zmodemStartsByItself()
{
    const QString name = QStringLiteral("data.bin");
    const QByteArray data = content(name, 300000, false);
    writeBytes(QDir(m_remote).filePath(name), data);
    m_control->Settings()->setZModemAuto(1);
    m_host->setGreeting("$ sz data.bin\r\n");
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    QSignalSpy notify(m_control.get(), &nvEmulator::StateNotify);
    startHost({ "sz", "-b", QDir(m_remote).filePath(name) }, false);
    QTRY_VERIFY_WITH_TIMEOUT(readBytes(QDir(m_local).filePath(name)) == data, 30000);
    QTRY_COMPARE(m_control->XferStatus(), rt::Int(0));
    QVERIFY(m_host->programEnded());
    QCOMPARE(m_host->exitCode(), 0);
    QCOMPARE(m_control->XferFiles(), rt::Int(1));
    QCOMPARE(m_control->XferBytes(), rt::Long(data.size()));
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(status))
        texts << args.first().toString();
    QVERIFY2(texts.contains(QStringLiteral("Download complete")), qPrintable(texts.join(u'|')));
    QVERIFY(!texts.filter(QRegularExpression(QStringLiteral("^Downloading.* bytes$"))).isEmpty());
    QCOMPARE(transferStates(notify), (QList<int> { rt::True, rt::False }));
    QCOMPARE(m_control->screen()->rowText(0).trimmed(), QStringLiteral("$ sz data.bin"));
    m_host->send("$ done\r\n");
    QTRY_VERIFY(m_control->screen()->rowText(1).contains(QLatin1String("$ done")));
}

// sz typed at a shell on a pseudo-terminal: once the download is over the control sends the
// host nothing of the transfer, so the shell's next command arrives as it was typed.
void TestTransfers::shellAfterZmodem()
{
    const QString name = QStringLiteral("data.bin");
    const QByteArray data = content(name, 100000, false);
    writeBytes(QDir(m_remote).filePath(name), data);
    m_control->Settings()->setZModemAuto(1);
    startHost({ "sh" }, true);
    m_control->Output(QStringLiteral("sz -b data.bin; echo rc=$?\n"));
    QTRY_VERIFY_WITH_TIMEOUT(readBytes(QDir(m_local).filePath(name)) == data, 30000);
    QTRY_COMPARE(m_control->XferStatus(), rt::Int(0));
    m_control->Output(QStringLiteral("echo next-$((40 + 2))\n"));
    // Each a row of its own, as the shell printed them.
    const auto rows = [&] {
        QStringList texts;
        for (int row = 0; row < m_control->screen()->rows(); ++row)
            texts << m_control->screen()->rowText(row).trimmed();
        return texts;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        rows().contains(QLatin1String("next-42")), qPrintable(rows().join(u'|')), 10000);
    QVERIFY2(rows().contains(QLatin1String("rc=0")), qPrintable(rows().join(u'|')));
}

void TestTransfers::zmodemStartRefusedWhenOff()
{
    const QString name = QStringLiteral("data.bin");
    writeBytes(QDir(m_remote).filePath(name), "data");
    m_control->Settings()->setZModemAuto(0);
    startHost({ "sz", "-q", "-t", "10", QDir(m_remote).filePath(name) }, false);
    QSignalSpy ready(m_control.get(), &nvEmulator::DataReady);
    QVERIFY(ready.wait());
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
    m_host->kill();
    QCOMPARE(entries(m_local), QStringList());
}

// The list of names is taken whole, however long (the dialogs cut nothing either).
void TestTransfers::uploadListIsNotCut()
{
    QStringList names;
    for (int i = 0; QString(names.join(QChar(0))).size() < 12000; ++i) {
        const QString name = QStringLiteral("a-rather-long-file-name-for-the-list-%1.txt").arg(i, 4, 10, QChar(u'0'));
        writeBytes(QDir(m_local).filePath(name), name.toUtf8());
        names << name;
    }
    startHost(hostCommand(ZModem, false, true, {}), false);
    QCOMPARE(runTransfer(true, ZModem, true, m_local + QChar(0) + names.join(QChar(0)), 1), 0);
    QCOMPARE(m_control->XferFiles(), rt::Int(names.size()));
    QCOMPARE(entries(m_remote).size(), names.size());
    QCOMPARE(readBytes(QDir(m_remote).filePath(names.last())), names.last().toUtf8());
}

void TestTransfers::missingProgram_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::newRow("Kermit up") << Kermit << true;
    QTest::newRow("XModem down") << XModem << false;
    QTest::newRow("ZModem up") << ZModem << true;
}

// Without the program a protocol is not available: 30003, and no transfer begins.
void TestTransfers::missingProgram()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    writeBytes(QDir(m_local).filePath("up.bin"), "x");
    startHost({ "cat" }, false);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir->path().toUtf8());
    const QString spec = m_local + QChar(0) + QStringLiteral("up.bin");
    const rt::Long error = errorOf([&] {
        upload ? m_control->Upload(spec, rt::Int(protocol), 1, 0, 1)
               : m_control->Download(spec, rt::Int(protocol), 1, 0, 1);
    });
    qputenv("PATH", path);
    QCOMPARE(error, rt::Long(emu::emuerror::ProtocolNotAvailable));
    QCOMPARE(m_control->XferStatus(), rt::Int(0));
}

void TestTransfers::programOptions_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<int>("overwrite");
    QTest::addColumn<QList<int>>("kermit"); // quote, repeat, init retries, error retries
    QTest::addColumn<QStringList>("present"); // arguments, or lines of Kermit's command file
    QTest::addColumn<QStringList>("absent"); // arguments, or the start of a line
    const QList<int> odd { 200, 0, 10, 5 }; // a quote Kermit does not take, no repeat counts
    QTest::newRow("ZModem resume, binary") << ZModem << true << true << 5 << odd
                                           << QStringList { "-r", "-b" } << QStringList { "-a" };
    QTest::newRow("ZModem resume, text") << ZModem << true << false << 5 << odd
                                         << QStringList { "-a" } << QStringList { "-r" };
    QTest::newRow("YModem resume") << YModem << true << true << 5 << odd << QStringList { "-b" }
                                   << QStringList { "-r" };
    // sb sends XModem's 128-byte blocks unless told.
    QTest::newRow("YModem 1 KB blocks") << YModem << true << true << 0 << odd
                                        << QStringList { "-k" } << QStringList();
    QTest::newRow("ZModem never") << ZModem << true << true << 0 << odd << QStringList { "-p" }
                                  << QStringList { "-y" };
    QTest::newRow("ZModem download follows the sender")
        << ZModem << false << false << 0 << odd << QStringList { "-R" } << QStringList { "-a", "-b" };
    QTest::newRow("XModem download, text") << XModem << false << false << 0 << odd
                                           << QStringList { "-R", "-a" } << QStringList { "-b" };
    QTest::newRow("Kermit text")
        << Kermit << false << false << 0 << odd
        << QStringList { "-T", "-r", "set send timeout 7", "set receive pathnames off",
               "set block-check 3", "set repeat counts off", "set retry 10" }
        << QStringList { "-i", "set send control-prefix", "set repeat prefix" };
    // A file is kept and nothing else is done for the sender.
    QTest::newRow("Kermit keeps files only")
        << Kermit << false << true << 0 << odd
        << QStringList { "set attributes disposition off", "disable all", "disable enable" }
        << QStringList();
    QTest::newRow("Kermit retries, the larger")
        << Kermit << false << true << 0 << QList<int> { 35, 126, 3, 8 }
        << QStringList { "set retry 8", "set send control-prefix 35", "set repeat prefix 126" }
        << QStringList { "set retry 3" };
    QTest::newRow("Kermit repeat prefix equal to the quote")
        << Kermit << false << true << 0 << QList<int> { 38, 38, 10, 5 }
        << QStringList { "set send control-prefix 38", "set receive control-prefix 38" }
        << QStringList { "set repeat" };
    QTest::newRow("Kermit ? is no prefix") << Kermit << false << true << 0 << QList<int> { 63, 63, 10, 5 }
                                           << QStringList()
                                           << QStringList { "set send control-prefix", "set repeat" };
}

// What the settings and choices give the programs.
void TestTransfers::programOptions()
{
    QFETCH(int, protocol);
    QFETCH(bool, upload);
    QFETCH(bool, binary);
    QFETCH(int, overwrite);
    QFETCH(QList<int>, kermit);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    emu::XferRequest request;
    request.protocol = protocol;
    request.upload = upload;
    request.binary = binary;
    request.overwrite = overwrite;
    request.files = { QStringLiteral("/data/file.bin") };
    request.settings.timeout = 7;
    request.settings.kermitCrc = 1;
    request.settings.kermitQuote = kermit.at(0);
    request.settings.kermitRepeat = kermit.at(1);
    request.settings.kermitInitRetry = kermit.at(2);
    request.settings.kermitErrRetry = kermit.at(3);
    const emu::XferCommand command = emu::xferCommand(request, QStringLiteral("/private"));
    const QStringList lines = QString::fromUtf8(command.script).split(u'\n');
    for (const QString &option : present)
        QVERIFY2(command.arguments.contains(option) || lines.contains(option), qPrintable(option));
    for (const QString &option : absent) {
        QVERIFY2(!command.arguments.contains(option), qPrintable(option));
        QVERIFY2(std::none_of(lines.begin(), lines.end(),
                     [&](const QString &line) { return line.startsWith(option); }),
            qPrintable(option));
    }
    if (protocol == Kermit) {
        QVERIFY(command.terminal);
    } else {
        QCOMPARE(command.arguments.mid(command.arguments.indexOf("-t"), 2),
            (QStringList { "-t", "70" }));
        // XModem carries no name: its receiver is given one.
        QCOMPARE(command.arguments.contains("/data/file.bin"), upload || protocol == XModem);
    }
}

void TestTransfers::failureReason_data()
{
    QTest::addColumn<QByteArray>("messages"); // what the program says on its standard error
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the newest complaint")
        << QByteArray("Retry 0: Got TIMEOUT\nRetry 0: Garbled data subpacket\nsz: cannot open x\n"
                      "Transfer incomplete\n")
        << 128 << "sz: cannot open x";
    QTest::newRow("progress is no complaint")
        << QByteArray("Sending: up.bin\rYmodem sectors/kbytes sent:  10/ 1k\r"
                      "Ymodem sectors/kbytes sent:  20/ 2k\rRetry 0: Timeout on sector ACK\n"
                      "Transfer incomplete\n")
        << 128 << "Timeout on sector ACK";
    QTest::newRow("only the summing up") << QByteArray("Transfer incomplete\n") << 128
                                         << "Transfer incomplete";
    QTest::newRow("nothing said") << QByteArray() << 3 << "sz ended with code 3";
}

// A failed transfer gives one reason, the newest the program gave (a stand-in program says
// what lrzsz's would).
void TestTransfers::failureReason()
{
    QFETCH(QByteArray, messages);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    writeBytes(QDir(bin).filePath("messages"), messages);
    writeBytes(QDir(bin).filePath("sz"),
        QByteArray("#!/bin/sh\ncat \"$(dirname \"$0\")/messages\" >&2\nexit ")
            + QByteArray::number(exitCode) + '\n');
    QVERIFY(QFile::setPermissions(QDir(bin).filePath("sz"), QFile::ReadOwner | QFile::ExeOwner));
    writeBytes(QDir(m_local).filePath("up.bin"), "up");
    startHost({ "cat" }, false);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + path);
    QSignalSpy status(m_control.get(), &nvEmulator::StatusChange);
    const int result = runTransfer(true, ZModem, true, m_local + QChar(0) + "up.bin", 1);
    qputenv("PATH", path);
    QCOMPARE(result, 2);
    QCOMPARE(status.last().first().toString(), QStringLiteral("Upload failed: ") + reason);
}

void TestTransfers::zmodemStartAcrossPieces_data()
{
    QTest::addColumn<int>("split");
    for (int split = 0; split <= 12; ++split)
        QTest::addRow("split at %d", split) << split;
}

// The host's ZModem start is found wherever the link cuts the data; what came before it is the
// host's text.
void TestTransfers::zmodemStartAcrossPieces()
{
    QFETCH(int, split);
    const QByteArray stream = QByteArray("rz\r") + "**\x18" "B00000000000000\r\x8a\x11";
    emu::ZModemStartDetector detector;
    const qsizetype first = detector.find(stream.left(split));
    if (split >= 3 + 6) {
        QCOMPARE(first, qsizetype(3));
        return;
    }
    QCOMPARE(first, qsizetype(-1));
    const qsizetype second = detector.find(stream.mid(split));
    QCOMPARE(detector.carried() + stream.mid(split).mid(second), stream.mid(3));
    QCOMPARE(second, std::max<qsizetype>(0, 3 - split));
}

// The progress window of a ZModem download in the middle, for tests/screenshot.sh.
void TestTransfers::screenshot()
{
    const QByteArray out = qgetenv("NORVALIS_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("set NORVALIS_SCREENSHOT to take the screenshot");
    const QString name = QStringLiteral("quarterly-report.pdf");
    writeBytes(QDir(m_remote).filePath(name), content(name, 4 * 1024 * 1024, false));
    m_host->setPace(2048);
    startHost(hostCommand(ZModem, true, true, { QDir(m_remote).filePath(name) }), false);
    QCOMPARE(m_control->Download(m_local + QChar(0), ZModem, 1, 1, 0), rt::Int(0));
    QTRY_VERIFY_WITH_TIMEOUT(m_control->XferBytes() > 600000, 30000);
    auto *window = m_control->findChild<emu::XferProgress *>();
    QVERIFY(window);
    QTRY_VERIFY(!window->rateText().isEmpty());
    QVERIFY(window->grab().save(QString::fromLocal8Bit(out)));
    m_control->Abort();
    QTRY_COMPARE(m_control->XferStatus(), rt::Int(0));
}

QTEST_MAIN(TestTransfers)
#include "tst_transfers.moc"
