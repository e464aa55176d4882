#include "emulator/xferengine.h"

#include "emulator/channel.h"

#include "emulator/emulator.h"
#include "emulator/streamsplitter.h"
#include "emulator/xferprocess.h"
#include "runtime/errnum.h"
#include "runtime/error.h"
#include "runtime/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emu {

namespace {

constexpr int sampleIntervalMs = 250;
constexpr int abortGraceMs = 2000;
// After the link went, the time a program has to finish with what it already received.
constexpr int linkLostFinishMs = 3000;
constexpr int linkLostGraceMs = 500;
// The ZModem receiver's ZFIN hex header ("**", ZDLE, "B", frame type 08), and the "OO" ("over
// and out") the sender ends a session with.
const QByteArray ZFinHeader = QByteArrayLiteral("**\x18" "B08");
constexpr char ZModemOver = 'O';
constexpr int ZModemOverCount = 2;
// lrzsz's XModem and YModem senders count in sectors of this size.
constexpr qint64 lrzszSector = 128;
const QByteArray xmodemPart = QByteArrayLiteral("xmodem.part");

// A name a host may give a file in the destination directory: no path, no control character,
// no leading dot (a hidden file: a shell's or a program's start-up file, as lrzsz's receiver
// refuses it in its restricted mode).
bool acceptableName(const QByteArray &name)
{
    if (name.isEmpty() || name.startsWith('.') || name.contains('/'))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = uchar(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// The regular files of a folder (no links, no folders), by their names as bytes.
QList<QByteArray> regularFiles(const QByteArray &folder)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        struct stat info {};
        const QByteArray name(entry->d_name);
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(info.st_mode))
            names << name;
    }
    ::closedir(dir);
    return names;
}

// A host's file name for messages: control characters shown as "?".
QString printable(QString name)
{
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'?';
    }
    return name;
}

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The file-creation mask of this process, read without changing it.
mode_t currentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8) & 0777);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// A received file's mode: what a new file of the user gets (read and write as the umask
// allows), with the execute rights the program gave it; never set-user-ID, set-group-ID or
// sticky, never writable by others.
mode_t receivedMode(mode_t programMode, mode_t umask)
{
    return (0666 | (programMode & 0111)) & ~umask & ~mode_t(S_IWOTH);
}

// Moves a received file to its final name, in the mode a received file gets; an existing file
// is replaced only with overwrite. Empty when done, else the reason.
QString moveFile(const QByteArray &from, const QByteArray &to, bool overwrite, mode_t umask)
{
    struct stat info {};
    if (::lstat(from.constData(), &info) == 0)
        ::chmod(from.constData(), receivedMode(info.st_mode, umask));
    if (overwrite) {
        if (::rename(from.constData(), to.constData()) == 0)
            return QString();
    } else {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE)
            == 0)
            return QString();
        // A file system without the no-replace rename: a new link cannot replace either.
        if ((errno == EINVAL || errno == ENOSYS) && ::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return QString();
        }
        if (errno == EEXIST)
            return QStringLiteral("the file exists and is not overwritten");
    }
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

XferEngine::XferEngine(const XferRequest &request, const QString &directory, Sender send,
    Backlog backlog, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_directory(directory)
    , m_send(std::move(send))
    , m_backlog(std::move(backlog))
{
    if (m_request.upload) {
        if (m_request.files.isEmpty())
            rt::raise(rt::err::InvalidCall, QStringLiteral("No file named for the transfer"));
        for (const QString &name : std::as_const(m_request.files)) {
            requireUploadFile(name);
            const QFileInfo info(name);
            m_uploadSizes << info.size();
            m_uploadTargets << info.canonicalFilePath();
        }
    } else if (m_request.protocol == xferprotocol::XModem) {
        // XModem carries no name: the one file named here, written in its own directory.
        if (m_request.files.size() != 1)
            rt::raise(rt::err::InvalidCall, QStringLiteral("An XModem download writes one file"));
        const QFileInfo target(QDir(directory).filePath(m_request.files.first()));
        if (target.isDir())
            rt::raise(rt::err::PathFileAccess);
        if (target.exists() && !m_request.overwrite)
            rt::raise(rt::err::FileExists);
        m_xmodemTarget = target.absoluteFilePath();
        m_directory = target.absolutePath();
        m_currentFile = target.fileName();
    }
    if (!m_request.upload && !QFileInfo(m_directory).isDir())
        rt::raise(rt::err::PathNotFound, QStringLiteral("Path not found: %1").arg(m_directory));
    m_umask = currentUmask();
    m_sampler.setInterval(sampleIntervalMs);
    connect(&m_sampler, &QTimer::timeout, this, &XferEngine::sample);
    m_linkLostTimer.setSingleShot(true);
    connect(&m_linkLostTimer, &QTimer::timeout, this,
        [this] { stop(xferresult::Failed, linkLostGraceMs); });
}

XferEngine::~XferEngine() = default;

QString XferEngine::missingProgram(int protocol, bool upload)
{
    const QString program = xferProgram(protocol, upload);
    return QStandardPaths::findExecutable(program).isEmpty() ? program : QString();
}

void XferEngine::start()
{
    m_privateDir = std::make_unique<QTemporaryDir>();
    if (!m_request.upload)
        m_receiveDir = std::make_unique<QTemporaryDir>(
            QDir(m_directory).filePath(QStringLiteral(".receiving-XXXXXX")));
    if (!m_privateDir->isValid() || (m_receiveDir && !m_receiveDir->isValid()))
        rt::raise(rt::err::PathFileAccess,
            QStringLiteral("Path/File access error: cannot write in %1").arg(m_directory));
    XferRequest request = m_request;
    if (!request.upload && request.protocol == xferprotocol::XModem)
        request.files = { QString::fromLatin1(xmodemPart) };
    m_command = xferCommand(request, m_privateDir->path());
    if (!m_command.script.isEmpty()) {
        const rt::WriteResult written = rt::writeWholeFile(m_command.scriptPath, m_command.script);
        if (!written)
            rt::raise(rt::err::PathFileAccess, written.reason);
    }
    m_process = new XferProcess(this);
    connect(m_process, &XferProcess::output, this, &XferEngine::onOutput);
    connect(m_process, &XferProcess::messages, this, &XferEngine::onMessages);
    connect(m_process, &XferProcess::inputTaken, this, &XferEngine::inputTaken);
    // Queued: the end is handled out of the process's own signal, so that a handler of
    // finished() may delete the engine.
    connect(m_process, &XferProcess::finished, this, &XferEngine::onFinished, Qt::QueuedConnection);
    XferProcess::Spec spec { m_command.program, m_command.arguments,
        m_receiveDir ? m_receiveDir->path() : m_privateDir->path(), m_command.terminal, {} };
    // A receiver writes in its folders only, whatever names the host sends.
    if (m_receiveDir)
        spec.writableFolders = { m_receiveDir->path(), m_privateDir->path() };
    QString error;
    if (!m_process->start(spec, &error))
        rt::raise(emuerror::ProtocolNotAvailable,
            QStringLiteral("%1: %2").arg(emuerror::text(emuerror::ProtocolNotAvailable), error));
    qCDebug(lcEmulator) << "started" << m_command.program << m_command.arguments;
    m_running = true;
    m_sampler.start();
}

qsizetype XferEngine::receive(QByteArrayView hostBytes)
{
    if (!m_running)
        return hostBytes.size();
    if (!m_sessionEnded) {
        m_process->write(hostBytes);
        return hostBytes.size();
    }
    // Over and out: the sender's "OO" ends the download; what follows is the host's again.
    qsizetype taken = 0;
    while (m_senderOs > 0 && taken < hostBytes.size() && hostBytes[taken] == ZModemOver) {
        ++taken;
        --m_senderOs;
    }
    m_process->write(hostBytes.first(taken));
    if (taken < hostBytes.size() && m_senderOs > 0) {
        // A sender that left without them: the receiver has them from here.
        m_process->write(QByteArray(m_senderOs, ZModemOver));
        m_senderOs = 0;
    }
    return taken;
}

// The receiver's output has finished the ZModem session (its ZFIN, which it sends only in answer
// to the sender's).
bool XferEngine::endsZModemSession(const QByteArray &bytes)
{
    if (m_request.upload || m_request.protocol != xferprotocol::ZModem)
        return false;
    const QByteArray seen = m_outputTail + bytes;
    m_outputTail = seen.right(ZFinHeader.size() - 1);
    return seen.contains(ZFinHeader);
}

qint64 XferEngine::inputBacklog() const
{
    return m_process ? m_process->inputBacklog() : 0;
}

void XferEngine::abort()
{
    stop(xferresult::Aborted, abortGraceMs);
}

// The host may have sent the last of the transfer just before it closed the link (a one-shot
// host, `sz file; exit`): the program gets the end of its input and a moment to finish with
// what it has, and its own result tells. One still waiting for the host is stopped.
void XferEngine::linkLost()
{
    if (!m_running || m_linkGone)
        return;
    m_linkGone = true;
    m_process->holdOutput(false); // what it says now goes nowhere, and must not hold it
    m_process->closeInput();
    m_linkLostTimer.start(linkLostFinishMs);
}

void XferEngine::stop(int result, int graceMs)
{
    if (!m_running)
        return;
    if (m_result < 0)
        m_result = result;
    m_process->stop(graceMs);
}

void XferEngine::onOutput(const QByteArray &bytes)
{
    if (m_sessionEnded) {
        qCDebug(lcEmulator) << "the ZModem session is over: not sent to the host:" << bytes.size()
                            << "bytes";
        return;
    }
    if (!m_send(bytes)) {
        linkLost();
        return;
    }
    if (endsZModemSession(bytes)) {
        m_sessionEnded = true;
        m_senderOs = ZModemOverCount;
    }
    // A program that is stopping is not held (XferProcess::stop).
    if (m_result < 0 && m_backlog() > LinkHighWater)
        m_process->holdOutput(true);
}

void XferEngine::linkWritten()
{
    if (m_process && m_process->isOutputHeld() && m_backlog() <= LinkLowWater)
        m_process->holdOutput(false);
}

void XferEngine::onMessages(const QByteArray &bytes)
{
    // lrzsz rewrites its progress line with CR; either line end ends a report.
    for (const char c : bytes) {
        if (c != '\r' && c != '\n') {
            if (m_messageLine.size() < 4096)
                m_messageLine += c;
            continue;
        }
        takeReportLine();
    }
}

void XferEngine::takeReportLine()
{
    if (!m_messageLine.isEmpty())
        readReport(QString::fromUtf8(std::exchange(m_messageLine, QByteArray())).trimmed());
}

void XferEngine::readReport(const QString &line)
{
    static const QRegularExpression bytes(QStringLiteral(R"(^Bytes (?:Sent|received):\s*(\d+))"));
    static const QRegularExpression sectors(
        QStringLiteral(R"(^[XY]modem sectors/kbytes sent:\s*(\d+)/)"));
    static const QRegularExpression sending(QStringLiteral(R"(^Sending:? (.+?)(?:, \d+ blocks.*)?$)"));
    // A name the receiver skips (it exists where the name points) counts as announced too.
    static const QRegularExpression receiving(
        QStringLiteral(R"((?:^Receiving:?|file exists, skipped:) (.+)$)"));
    // The receiver did not want the file (it has it, and newer, say).
    static const QRegularExpression skipped(QStringLiteral(R"(^(?:\S+: )?skipped: (.+)$)"));
    static const QRegularExpression retry(QStringLiteral(R"(^Retry \d+: (.+)$)"));
    // What the programs say on the way that is not trouble, and the end they sum up with.
    static const QRegularExpression chatter(QStringLiteral(
        R"(^(?:Blocks received|Retry \d+:?$|rz waiting|rb waiting|\S+: ready to receive|)"
        R"(Give your local|Sending:?$|Transfer complete))"));
    static const QRegularExpression summary(QStringLiteral(R"(^Transfer incomplete)"));
    if (line.isEmpty())
        return;
    if (const auto m = bytes.match(line); m.hasMatch()) {
        if (m_request.upload) {
            m_currentBytes = m.captured(1).toLongLong();
            m_dirty = true;
        }
    } else if (const auto m = sectors.match(line); m.hasMatch()) {
        if (m_request.upload && m_currentIndex >= 0 && m_currentIndex < m_uploadSizes.size()) {
            m_currentBytes = std::min(m.captured(1).toLongLong() * lrzszSector,
                m_uploadSizes.at(m_currentIndex));
            m_dirty = true;
        }
    } else if (const auto m = sending.match(line); m.hasMatch() && m_request.upload) {
        beginUploadFile(m.captured(1));
    } else if (const auto m = receiving.match(line); m.hasMatch() && !m_request.upload) {
        m_reportedNames << m.captured(1);
        m_currentFile = m.captured(1);
        m_dirty = true;
    } else if (const auto m = skipped.match(line); m.hasMatch() && m_request.upload) {
        if (m_currentIndex >= 0 && !m_skippedUploads.contains(m_currentIndex))
            m_skippedUploads << m_currentIndex;
    } else if (const auto m = retry.match(line); m.hasMatch()) {
        complain(m.captured(1));
    } else if (summary.match(line).hasMatch()) {
        m_summary = line;
    } else if (!chatter.match(line).hasMatch()) {
        complain(line);
    }
}

// The newest complaint is the reason a failure gives.
void XferEngine::complain(const QString &text)
{
    qCDebug(lcEmulator) << m_command.program << "says" << text;
    m_complaint = text;
}

void XferEngine::beginUploadFile(const QString &name)
{
    if (m_currentIndex >= 0 && m_currentIndex < m_uploadSizes.size()
        && !m_skippedUploads.contains(m_currentIndex)) {
        m_doneBytes += m_uploadSizes.at(m_currentIndex);
        ++m_filesDone;
    }
    ++m_currentIndex;
    m_currentBytes = 0;
    m_currentFile = QFileInfo(name).fileName();
    m_dirty = true;
}

// Progress goes out from here, the sampler's tick, and never from inside the program's own
// signals: a handler of progress may delete the engine with its program.
void XferEngine::sample()
{
    const qint64 before = bytesDone();
    const QString file = m_currentFile;
    if (!m_request.upload)
        sampleReceiveFolder();
    else if (m_command.terminal)
        sampleKermitUpload();
    if (std::exchange(m_dirty, false) || bytesDone() != before || m_currentFile != file)
        emit progress();
}

// A download's counts: what the receiving program has written so far.
void XferEngine::sampleReceiveFolder()
{
    if (!m_receiveDir)
        return;
    const QByteArray folder = QFile::encodeName(m_receiveDir->path());
    const QList<QByteArray> names = regularFiles(folder);
    qint64 total = 0;
    QByteArray newest;
    qint64 newestTime = -1;
    for (const QByteArray &name : names) {
        struct stat info {};
        if (::lstat(joinPath(folder, name).constData(), &info) != 0)
            continue;
        total += info.st_size;
        if (info.st_ctime >= newestTime) {
            newestTime = info.st_ctime;
            newest = name;
        }
    }
    m_doneBytes = total;
    m_currentBytes = 0;
    if (m_running)
        m_filesDone = std::max(0, int(names.size()) - 1);
    if (m_xmodemTarget.isEmpty() && m_reportedNames.isEmpty() && !newest.isEmpty())
        m_currentFile = QFile::decodeName(newest);
}

// Kermit sends its files in the order given; which one it has open, and how far it has read
// it, is in /proc.
void XferEngine::sampleKermitUpload()
{
    const qint64 pid = m_process ? m_process->processId() : 0;
    if (pid <= 0)
        return;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : fds) {
        const QString target = QFileInfo(fdDir + u'/' + fd).symLinkTarget();
        const qsizetype index = m_uploadTargets.indexOf(target, std::max(0, m_currentIndex));
        if (index < 0)
            continue;
        while (m_currentIndex < index)
            beginUploadFile(m_request.files.at(m_currentIndex + 1));
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (info.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : info.readAll().split('\n')) {
                if (line.startsWith("pos:"))
                    m_currentBytes = line.mid(4).trimmed().toLongLong();
            }
        }
        return;
    }
}

void XferEngine::onFinished(int exitCode, bool crashed)
{
    m_sampler.stop();
    m_linkLostTimer.stop();
    takeReportLine(); // a last one without a line end
    if (!m_request.upload)
        sampleReceiveFolder();
    m_running = false;
    int result = m_result >= 0                             ? m_result
        : exitCode == 0 && !crashed && programSaysComplete() ? xferresult::Completed
                                                             : xferresult::Failed;
    if (result == xferresult::Failed)
        m_errorText = failureReason(exitCode);
    if (!m_request.upload) {
        const QStringList received = completedDownloads(result == xferresult::Completed);
        const int refused = storeDownloads(received) + skippedDownloads(received);
        if (refused > 0 && result == xferresult::Completed)
            result = xferresult::Failed;
    } else if (result == xferresult::Completed) {
        countSentFiles();
        if (!m_skippedUploads.isEmpty())
            result = xferresult::Failed;
    } else if (m_command.terminal) {
        m_filesDone = int(kermitLogNames(QStringLiteral("Sending")).size());
    }
    qCDebug(lcEmulator) << m_command.program << "ended:" << exitCode << crashed << "result" << result
                    << m_errorText;
    m_receiveDir.reset(); // with whatever was left unfinished in it
    m_privateDir.reset();
    emit finished(result);
}

// The reason a failed transfer gives: the link's loss, else the program's newest complaint,
// else its summing up, else its exit code.
QString XferEngine::failureReason(int exitCode) const
{
    if (m_linkGone)
        return QStringLiteral("The link to the host was lost");
    if (!m_complaint.isEmpty())
        return m_complaint;
    if (!m_summary.isEmpty())
        return m_summary;
    return QStringLiteral("%1 ended with code %2").arg(m_command.program).arg(exitCode);
}

// A completed upload sent every file but those the receiver skipped; each skipped one is
// named in the error text.
void XferEngine::countSentFiles()
{
    m_filesDone = 0;
    m_doneBytes = 0;
    m_currentBytes = 0;
    for (qsizetype i = 0; i < m_request.files.size(); ++i) {
        if (m_skippedUploads.contains(int(i))) {
            addError(QStringLiteral("%1 skipped by the receiver")
                         .arg(QFileInfo(m_request.files.at(i)).fileName()));
            continue;
        }
        ++m_filesDone;
        m_doneBytes += m_uploadSizes.value(i);
    }
}

// Files lrzsz's receiver announced but did not write (it skips a name that exists outside
// its folder, say), which it does not count as a failure; each is added to the error text.
int XferEngine::skippedDownloads(const QStringList &received)
{
    if (m_command.terminal || !m_xmodemTarget.isEmpty())
        return 0;
    int skipped = 0;
    for (const QString &name : std::as_const(m_reportedNames)) {
        if (received.contains(QFileInfo(name).fileName()))
            continue;
        ++skipped;
        addError(QStringLiteral("%1 not received").arg(printable(name)));
    }
    return skipped;
}

// Kermit may end with status 0 when its transfer failed: its log tells.
bool XferEngine::programSaysComplete() const
{
    if (!m_command.terminal)
        return true;
    QFile log(m_command.logPath);
    if (!log.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = log.readAll();
    return text.contains("\nTransaction complete") && !text.contains("\n failed");
}

// The files of the receive folder that the program completed: all of them when it succeeded,
// else those it reported complete (the one it had in hand when it stopped is not).
QStringList XferEngine::completedDownloads(bool allOfThem) const
{
    QStringList present;
    for (const QByteArray &name : regularFiles(QFile::encodeName(m_receiveDir->path())))
        present << QFile::decodeName(name);
    if (allOfThem || present.isEmpty())
        return allOfThem ? present : QStringList();
    QStringList done;
    if (m_command.terminal)
        done = kermitLogNames(QStringLiteral("Receiving"));
    else if (m_request.protocol != xferprotocol::XModem)
        done = m_reportedNames.mid(0, m_reportedNames.size() - 1);
    QStringList kept;
    for (const QString &name : std::as_const(done)) {
        if (present.contains(name) && !kept.contains(name))
            kept << name;
    }
    return kept;
}

// The files Kermit's transaction log shows complete, for "Sending" or "Receiving": the base
// names of the local files.
QStringList XferEngine::kermitLogNames(const QString &verb) const
{
    QFile log(m_command.logPath);
    if (m_command.logPath.isEmpty() || !log.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    QString current;
    for (const QByteArray &raw : log.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(verb + u' '))
            current = line.mid(verb.size() + 1).trimmed();
        else if (line.startsWith(QLatin1String(" local name: ")))
            current = line.mid(13).trimmed();
        else if (line.startsWith(QLatin1String(" complete")) && !current.isEmpty())
            names << QFileInfo(std::exchange(current, QString())).fileName();
        else if (line.startsWith(QLatin1String("Sending ")) || line.startsWith(QLatin1String("Receiving ")))
            current.clear(); // the other direction
    }
    return names;
}

// Moves the completed files to their final names; the number that could not be stored.
int XferEngine::storeDownloads(const QStringList &names)
{
    const QByteArray folder = QFile::encodeName(m_receiveDir->path());
    const QByteArray directory = QFile::encodeName(m_directory);
    int refused = 0;
    m_filesDone = 0;
    for (const QString &name : names) {
        const QByteArray bytes = QFile::encodeName(name);
        const bool xmodem = !m_xmodemTarget.isEmpty();
        QString why;
        if (xmodem && bytes != xmodemPart)
            continue;
        if (!xmodem && !acceptableName(bytes))
            why = QStringLiteral("the name is not allowed");
        else
            why = moveFile(joinPath(folder, bytes),
                xmodem ? QFile::encodeName(m_xmodemTarget) : joinPath(directory, bytes),
                m_request.overwrite != 0, m_umask);
        if (why.isEmpty()) {
            ++m_filesDone;
            continue;
        }
        ++refused;
        const QString shown = xmodem ? m_xmodemTarget : printable(name);
        qCDebug(lcEmulator) << "received file not stored:" << shown << why;
        addError(QStringLiteral("%1 not stored: %2").arg(shown, why));
    }
    return refused;
}

void XferEngine::addError(const QString &text)
{
    if (!m_errorText.isEmpty())
        m_errorText += QStringLiteral("; ");
    m_errorText += text;
}

qsizetype ZModemStartDetector::find(QByteArrayView data)
{
    constexpr QByteArrayView header("**\x18" "B00");
    constexpr qsizetype keep = header.size() - 1;
    m_carried.clear();
    // A header that began in the previous piece.
    if (!m_tail.isEmpty()) {
        char edge[2 * keep];
        const qsizetype taken = std::min(data.size(), keep);
        std::copy_n(m_tail.constData(), m_tail.size(), edge);
        std::copy_n(data.data(), taken, edge + m_tail.size());
        const qsizetype across = findMarker(QByteArrayView(edge, m_tail.size() + taken), header);
        if (across >= 0 && across < m_tail.size()) {
            m_carried = m_tail.mid(across);
            m_tail.clear();
            return 0;
        }
    }
    const qsizetype at = findMarker(data, header);
    if (at >= 0) {
        m_tail.clear();
        return at;
    }
    if (data.size() >= keep) {
        m_tail.resize(keep); // the same buffer read after read
        std::copy_n(data.last(keep).data(), keep, m_tail.data());
    } else {
        m_tail = (m_tail + data.toByteArray()).right(keep);
    }
    return -1;
}

void ZModemStartDetector::reset()
{
    m_tail.clear();
    m_carried.clear();
}

} // namespace emu
