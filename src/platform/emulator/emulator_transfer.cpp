// The emulator control: methods that wait for the host, and file transfers.

#include "emulator/emulator.h"

#include "automation/latereply.h"

#include "emulator/asciitransfer.h"
#include "emulator/emulator_internal.h"
#include "emulator/xferprogress.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace emu {

using detail::fail;

// Counts a method that waits, so that Busy answers non-zero meanwhile.
class nvEmulator::BusyScope
{
public:
    explicit BusyScope(nvEmulator *control)
        : m_control(control)
    {
        if (m_control->m_busy++ == 0)
            emit m_control->StateNotify(statecode::Busy, rt::True);
    }
    ~BusyScope()
    {
        if (m_control && --m_control->m_busy == 0)
            emit m_control->StateNotify(statecode::Busy, rt::False);
    }
    // The control went away during the wait.
    void release() { m_control = nullptr; }

private:
    nvEmulator *m_control;
};

// --- Waits ---------------------------------------------------------------------------------

// One method waiting for the host: its condition, its own time limit and how it is told the end.
struct nvEmulator::Waiter
{
    std::function<bool()> done;
    std::function<void(int)> finish;
    QTimer timer;
    std::unique_ptr<BusyScope> busy;
};

nvEmulator::Waiter *nvEmulator::startWait(
    int timeoutSeconds, std::function<bool()> done, std::function<void(int)> finish)
{
    auto waiter = std::make_shared<Waiter>();
    Waiter *w = waiter.get();
    w->done = std::move(done);
    w->finish = std::move(finish);
    if (timeoutSeconds > 0) {
        w->timer.setSingleShot(true);
        connect(&w->timer, &QTimer::timeout, this, [this, w] { endWait(w, 0); });
        w->timer.start(timeoutSeconds * 1000);
    }
    m_waiters.push_back(std::move(waiter));
    w->busy = std::make_unique<BusyScope>(this);
    return w;
}

bool nvEmulator::waiting(const Waiter *waiter) const
{
    return std::any_of(m_waiters.begin(), m_waiters.end(),
        [waiter](const std::shared_ptr<Waiter> &w) { return w.get() == waiter; });
}

// The waiter leaves the list before it is told, so that what its end sets off finds it gone.
void nvEmulator::endWait(Waiter *waiter, int result)
{
    const auto it = std::find_if(m_waiters.begin(), m_waiters.end(),
        [waiter](const std::shared_ptr<Waiter> &w) { return w.get() == waiter; });
    if (it == m_waiters.end())
        return;
    std::shared_ptr<Waiter> ended = std::move(*it);
    m_waiters.erase(it);
    ended->timer.stop();
    const std::function<void(int)> finish = std::move(ended->finish);
    if (result < 0 && ended->busy)
        ended->busy->release();
    ended.reset();
    if (finish)
        finish(result);
}

void nvEmulator::forEachWait(const std::function<void(Waiter *)> &fn)
{
    const QPointer<nvEmulator> self(this);
    std::vector<Waiter *> all;
    for (const std::shared_ptr<Waiter> &w : m_waiters)
        all.push_back(w.get());
    for (Waiter *w : all) {
        if (self.isNull())
            return;
        if (waiting(w))
            fn(w);
    }
}

void nvEmulator::endWaits(bool judge)
{
    forEachWait([&](Waiter *w) { endWait(w, judge && w->done() ? 1 : 0); });
}

int nvEmulator::runWait(int timeoutSeconds, const std::function<bool()> &done)
{
    if (done())
        return 1;
    if (timeoutSeconds == 0)
        return 0;
    QEventLoop loop;
    Waiter *waiter = startWait(timeoutSeconds, done, [&loop](int result) { loop.exit(result); });
    int result = 0;
    if (!survives([&] { result = loop.exec(); }))
        return -1;
    // The loop may also end for the whole program (quit): the wait ends with it, untold.
    if (waiting(waiter)) {
        const auto it = std::find_if(m_waiters.begin(), m_waiters.end(),
            [waiter](const std::shared_ptr<Waiter> &w) { return w.get() == waiter; });
        (*it)->finish = nullptr;
        endWait(waiter, 0);
        return 0;
    }
    return result;
}

// New text, a new state: every wait whose condition is met ends, the oldest first. Each looks
// at the text from its own reader, so one that matches takes nothing another wait sees.
void nvEmulator::wakeWaiter()
{
    forEachWait([this](Waiter *w) {
        if (w->done())
            endWait(w, 1);
    });
}

// A client's wait ends, taking nothing more, when the client leaves.
void nvEmulator::whileClientWaits(const std::shared_ptr<automation::LateReply> &late, Waiter *waiter)
{
    const QPointer<nvEmulator> self(this);
    late->whenClientGone([self, waiter] {
        if (self && self->waiting(waiter))
            self->endWait(waiter, 0);
    });
}

QString nvEmulator::ReadText(Int mode, Int length, Int timeout)
{
    if (mode < 0 || mode > 2)
        rt::raise(rt::err::InvalidCall);
    const qsizetype n = length > 0 ? length : 32767;
    const bool linkUp = linkOpen();
    struct Read
    {
        QString line;
        bool gotLine = false;
    };
    const auto read = std::make_shared<Read>();
    const ScriptInput::Reader from = m_input.reader();
    const std::function<bool()> done = [this, mode, n, read, from] {
        if (mode == 1)
            return read->gotLine = read->gotLine || m_input.takeLine(from, &read->line, n);
        return mode == 2 || m_input.size(from) >= n;
    };
    const auto text
        = [this, n, read, from] { return read->gotLine ? read->line : m_input.take(from, n); };
    const int wait = mode == 2 || !linkUp ? 0 : timeout;
    if (done())
        return text();
    if (wait != 0) {
        if (const auto late = automation::takeLateReply({ "ReadText", "Input" })) {
            whileClientWaits(late,
                startWait(wait, done, [late, text](int result) {
                    if (late->pending())
                        late->answer(result < 0 ? QString() : text());
                }));
            return QString();
        }
    }
    if (runWait(wait, done) < 0)
        return QString();
    return text();
}

void nvEmulator::Output(const QString &text)
{
    requireConnection();
    sendToHost(toHost(text));
}

Int nvEmulator::WaitFor(Int compare, Int timeout, const QVariantList &targets)
{
    QStringList list;
    for (const QVariant &target : targets.mid(0, 10))
        list << (rt::IsEmpty(target) ? QString() : rt::CStr(target));
    if (std::all_of(list.begin(), list.end(), [](const QString &t) { return t.isEmpty(); }))
        rt::raise(rt::err::ArgumentNotOptional);
    const Qt::CaseSensitivity cs = compare ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool linkUp = linkOpen();
    const auto hit = std::make_shared<int>(0);
    const ScriptInput::Reader from = m_input.reader();
    const std::function<bool()> done = [this, list, cs, hit, from] {
        *hit = m_input.takeThrough(from, list, cs);
        return *hit > 0;
    };
    const int wait = linkUp ? int(timeout) : 0;
    if (done())
        return Int(*hit);
    if (wait != 0) {
        if (const auto late = automation::takeLateReply({ "WaitFor" })) {
            whileClientWaits(late,
                startWait(wait, done,
                    [late, hit](int result) { late->answer(Int(result == 1 ? *hit : 0)); }));
            return 0;
        }
    }
    const int result = runWait(wait, done);
    return result == 1 ? Int(*hit) : Int(0);
}

void nvEmulator::Abort()
{
    if (!endTransfer(xferresult::Aborted))
        return;
    if (m_dialing && m_channel) {
        m_dialing = false;
        m_dialResult = -1;
        if (!survives([this] { m_channel->hangUp(); }))
            return;
    }
    endWaits(false);
}

// --- Transfers -----------------------------------------------------------------------------

namespace {

constexpr int statusIntervalMs = 250;
const char *const protocolNames[] = { "ASCII", "Kermit", "XModem", "YModem", "ZModem" };

// What the host's ZModem sender is told when no download can begin: cancel, then erase.
QByteArray zmodemCancel()
{
    return QByteArray(8, '\x18') + QByteArray(8, '\b');
}

} // namespace

bool nvEmulator::transferRunning() const
{
    return m_upload || m_download || m_xfer;
}

// Ends the running transfer, if any (one runs at a time): an upload is aborted, an ASCII
// download keeps what came (result: Completed or Aborted), a protocol transfer is cancelled
// (Aborted) or, when the link went (Completed), finishes with what its program has already
// received. False when a handler of the transfer's events closed the control.
bool nvEmulator::endTransfer(int result)
{
    return survives([&] {
        if (m_xfer) {
            if (result == xferresult::Aborted)
                m_xfer->abort();
            else
                m_xfer->linkLost();
        } else if (m_upload) {
            m_upload->abort();
        } else if (m_download) {
            m_download->finish(result);
        }
    });
}

void nvEmulator::checkTransfer(Int protocol, bool upload) const
{
    if (protocol < xferprotocol::Ascii || protocol > xferprotocol::ZModem)
        rt::raise(rt::err::InvalidCall);
    if (transferRunning())
        fail(emuerror::Busy, QStringLiteral("a transfer is running"));
    requireConnection();
    if (protocol == xferprotocol::Ascii)
        return;
    const QString missing = XferEngine::missingProgram(protocol, upload);
    if (!missing.isEmpty())
        fail(emuerror::ProtocolNotAvailable,
            QStringLiteral("%1 (%2 is not installed)")
                .arg(QLatin1String(protocolNames[protocol]), missing));
}

QStringList nvEmulator::transferFiles(const QString &fileName) const
{
    // "directory NUL name NUL name ..." from the transfer dialogs, or a single path.
    QStringList parts = fileName.split(QChar(0));
    QString dir;
    if (parts.size() > 1)
        dir = parts.takeFirst();
    if (dir.isEmpty())
        dir = m_settings->DefaultXferDir();
    QStringList files;
    for (const QString &part : std::as_const(parts)) {
        if (part.isEmpty())
            continue;
        files << (QFileInfo(part).isRelative() && !dir.isEmpty() ? QDir(dir).filePath(part) : part);
    }
    return files;
}

XferSettings nvEmulator::transferSettings(Int protocol) const
{
    XferSettings s;
    switch (protocol) {
    case xferprotocol::Kermit:
        s.timeout = m_settings->KermitTimeout();
        break;
    case xferprotocol::XModem:
        s.timeout = m_settings->XModemTimeout();
        break;
    case xferprotocol::YModem:
        s.timeout = m_settings->YModemTimeout();
        break;
    default:
        s.timeout = m_settings->ZModemTimeout();
        break;
    }
    s.kermitInitRetry = m_settings->KermitInitRetry();
    s.kermitErrRetry = m_settings->KermitErrRetry();
    s.kermitEol = m_settings->KermitEOL();
    s.kermitQuote = m_settings->KermitQuote();
    s.kermitRepeat = m_settings->KermitRept();
    s.kermitCrc = m_settings->KermitCRC();
    return s;
}

void nvEmulator::onTransferProgress()
{
    QString file;
    bool upload = m_upload;
    if (m_xfer) {
        m_xferFiles = m_xfer->filesDone();
        m_xferBytes = m_xfer->bytesDone();
        file = m_xfer->currentFile();
        upload = m_xfer->isUpload();
    } else if (m_upload) {
        m_xferFiles = m_upload->filesDone();
        m_xferBytes = m_upload->bytesSent();
    } else if (m_download) {
        m_xferBytes = m_download->bytesReceived();
    }
    if (m_xferWindow)
        m_xferWindow->showProgress(file, m_xferBytes);
    // The status line counts too, a few times a second.
    if (m_xferStatusClock.isValid() && m_xferStatusClock.elapsed() < statusIntervalMs)
        return;
    m_xferStatusClock.start();
    m_statusText = QStringLiteral("%1 %2%3 bytes")
                       .arg(upload ? QStringLiteral("Uploading") : QStringLiteral("Downloading"),
                           file.isEmpty() ? QString() : file + QStringLiteral(": "))
                       .arg(m_xferBytes);
    emit StatusChange(m_statusText);
}

void nvEmulator::onTransferFinished(int result)
{
    onTransferProgress();
    const bool upload = m_xfer ? m_xfer->isUpload() : bool(m_upload);
    const QString reason = m_xfer ? m_xfer->errorText() : QString();
    if (m_download && result != xferresult::Failed)
        m_xferFiles = 1;
    if (QObject *transfer = sender())
        transfer->deleteLater();
    m_upload = nullptr;
    m_download = nullptr;
    m_xfer = nullptr;
    holdForTransfer();
    delete m_xferWindow.data();
    m_transferResult = result;
    m_xferStatusClock.invalidate();
    if (m_shutdown)
        return;
    static const char *const outcomes[] = { "complete", "aborted", "failed" };
    m_statusText = QStringLiteral("%1 %2").arg(
        upload ? QStringLiteral("Upload") : QStringLiteral("Download"),
        QLatin1String(outcomes[std::clamp(result, 0, 2)]));
    if (result == xferresult::Failed && !reason.isEmpty())
        m_statusText += QStringLiteral(": ") + reason;
    survives([this] { emit StatusChange(m_statusText); },
        [this] { emit StateNotify(statecode::XferStatus, rt::False); }, [this] { wakeWaiter(); });
}

Int nvEmulator::waitTransfer(Int wait)
{
    if (!wait)
        return 0;
    int result = runWait(-1, [this] { return !transferRunning(); });
    // Abort ends the wait at once; a program that is still winding down is waited for, so that
    // the transfer has cleaned up when the call returns.
    while (result == 0 && m_xfer)
        result = runWait(-1, [this] { return !transferRunning(); });
    if (result < 0)
        return xferresult::Aborted;
    return Int(result == 1 ? m_transferResult : int(xferresult::Aborted));
}

// False when a handler of the events closed the control.
template<class Transfer> bool nvEmulator::beginTransfer(Transfer *transfer, const QString &status)
{
    m_xferFiles = 0;
    m_xferBytes = 0;
    connect(transfer, &Transfer::progress, this, &nvEmulator::onTransferProgress);
    connect(transfer, &Transfer::finished, this, &nvEmulator::onTransferFinished);
    if (!m_shutdown) {
        auto *window = new XferProgress(status, this);
        connect(window, &XferProgress::cancelRequested, this, &nvEmulator::Abort);
        m_xferWindow = window;
        window->show();
    }
    m_statusText = status;
    return survives([this] { emit StatusChange(m_statusText); },
        [this] { emit StateNotify(statecode::XferStatus, rt::True); });
}

// A transfer by protocol, with the files (an upload's, or XModem's one) or into the directory;
// false when a handler of its start closed the control.
bool nvEmulator::runProtocolTransfer(
    Int protocol, bool upload, Int mode, Int overwrite, const QStringList &files,
    const QString &directory)
{
    XferRequest request;
    request.protocol = protocol;
    request.upload = upload;
    request.binary = mode == 1;
    request.overwrite = overwrite;
    for (const QString &file : files)
        request.files << QFileInfo(file).absoluteFilePath();
    request.settings = transferSettings(protocol);
    const QString into = directory.isEmpty() ? QString()
                                             : QFileInfo(directory).absoluteFilePath();
    auto engine = std::make_unique<XferEngine>(
        request, into, [this](const QByteArray &bytes) { return sendToHost(bytes); },
        [this] { return m_channel ? m_channel->backlog() : qint64(0); }, this);
    engine->start();
    m_xfer = engine.release();
    connect(m_xfer, &XferEngine::inputTaken, this, &nvEmulator::holdForTransfer);
    m_zmodemStart.reset();
    return beginTransfer(m_xfer.data(),
        QStringLiteral("%1 %2").arg(QLatin1String(protocolNames[protocol]),
            upload ? QStringLiteral("upload") : QStringLiteral("download")));
}

Int nvEmulator::Upload(const QString &fileName, Int protocol, Int mode, Int overwrite, Int wait)
{
    checkTransfer(protocol, true);
    const QStringList files = transferFiles(fileName);
    if (files.isEmpty())
        rt::raise(rt::err::InvalidCall, QStringLiteral("No file named for the transfer"));
    if (protocol != xferprotocol::Ascii) {
        if (!runProtocolTransfer(protocol, true, mode, overwrite, files, QString()))
            return xferresult::Aborted;
        return waitTransfer(wait);
    }
    auto *upload = new AsciiUpload(
        files, mode == 1, m_settings->AsciiEOL(), m_settings->AsciiDelay(),
        [this](const QByteArray &bytes) { return sendToHost(bytes); },
        [this] { return m_channel ? m_channel->backlog() : qint64(0); }, this);
    m_upload = upload;
    if (!beginTransfer(upload, QStringLiteral("Uploading ") + QFileInfo(files.first()).fileName()))
        return xferresult::Aborted;
    upload->start();
    return waitTransfer(wait);
}

Int nvEmulator::Download(const QString &fileName, Int protocol, Int mode, Int overwrite, Int wait)
{
    checkTransfer(protocol, false);
    const QStringList files = transferFiles(fileName);
    bool started = true;
    if (protocol == xferprotocol::Kermit || protocol == xferprotocol::YModem
        || protocol == xferprotocol::ZModem) {
        // The host names the files: they go into the directory (of a lone path, the path's own
        // when it is one).
        QString directory = fileName.contains(QChar(0)) ? fileName.section(QChar(0), 0, 0)
            : files.isEmpty()                           ? QString()
            : QFileInfo(files.first()).isDir()          ? files.first()
                                                        : QFileInfo(files.first()).path();
        if (directory.isEmpty())
            directory = m_settings->DefaultXferDir();
        started = runProtocolTransfer(protocol, false, mode, overwrite, {},
            directory.isEmpty() ? QStringLiteral(".") : directory);
    } else if (files.size() != 1) {
        rt::raise(rt::err::InvalidCall, QStringLiteral("An %1 download writes one file")
                                            .arg(QLatin1String(protocolNames[protocol])));
    } else if (protocol == xferprotocol::XModem) {
        started = runProtocolTransfer(
            protocol, false, mode, overwrite, files, QFileInfo(files.first()).absolutePath());
    } else {
        auto *download
            = new AsciiDownload(files.first(), mode == 1, overwrite != 0, m_downloadIdleMs, this);
        m_download = download;
        started = beginTransfer(
            download, QStringLiteral("Downloading ") + QFileInfo(files.first()).fileName());
    }
    return started ? waitTransfer(wait) : Int(xferresult::Aborted);
}

// --- Host data during a transfer -----------------------------------------------------------

bool nvEmulator::divertToTransfer(QByteArrayView *data)
{
    if (m_xfer && m_xfer->isRunning()) {
        // After a ZModem download the host's text follows in the same piece.
        *data = data->sliced(m_xfer->receive(*data));
        holdForTransfer();
        return true;
    }
    if (transferRunning() || m_settings->ZModemAuto() == 0)
        return true;
    const qsizetype at = m_zmodemStart.find(*data);
    if (at < 0)
        return true;
    const QByteArray start = m_zmodemStart.carried() + data->sliced(at).toByteArray();
    *data = data->first(at); // what came before the start is shown
    bool alive = false;
    return survives([&] { alive = startAutoDownload(start); }) && alive;
}

// The host is held back while the transfer program has more of its bytes than it takes, and goes
// on once the program has caught up (or ended).
void nvEmulator::holdForTransfer()
{
    if (!m_channel)
        return;
    const qint64 waiting = m_xfer ? m_xfer->inputBacklog() : 0;
    if (waiting > LinkHighWater)
        m_transferHolds = true;
    else if (waiting <= LinkLowWater)
        m_transferHolds = false;
    holdHostInput();
}

// The host's ZModem sender has begun: receive into DefaultXferDir (the current directory when
// it is empty), overwriting as DefaultXferOverwrite says. When no download can begin, the host
// is told to cancel.
bool nvEmulator::startAutoDownload(const QByteArray &start)
{
    try {
        checkTransfer(xferprotocol::ZModem, false);
        const QString directory = m_settings->DefaultXferDir();
        // Binary unless the sender asks for text: a ZModem download follows the sender.
        if (!runProtocolTransfer(xferprotocol::ZModem, false, 1,
                m_settings->DefaultXferOverwrite(), {},
                directory.isEmpty() ? QStringLiteral(".") : directory))
            return false;
    } catch (const rt::Error &error) {
        qCDebug(lcEmulator) << "no ZModem download:" << error.description;
        sendToHost(zmodemCancel());
        m_statusText = QStringLiteral("Download failed: ") + error.description;
        return survives([this] { emit StatusChange(m_statusText); });
    }
    if (m_xfer)
        m_xfer->receive(start);
    return true;
}

} // namespace emu
