// The emulator control: methods that wait for the host, and file transfers.

#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/emulator_internal.h"
#include "runtime/errnum.h"
#include "runtime/values.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <algorithm>

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

int nvEmulator::runWait(int timeoutSeconds, const std::function<bool()> &done)
{
    if (done())
        return 1;
    if (timeoutSeconds == 0)
        return 0;
    if (m_waitLoop)
        fail(emuerror::Busy, QStringLiteral("another method is waiting"));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    if (timeoutSeconds > 0) {
        connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(0); });
        timer.start(timeoutSeconds * 1000);
    }
    m_waitLoop = &loop;
    m_waitDone = done;
    BusyScope busy(this);
    int result = 0;
    if (!survives([&] { result = loop.exec(); })) {
        busy.release();
        return -1;
    }
    m_waitLoop = nullptr;
    m_waitDone = nullptr;
    return result;
}

void nvEmulator::wakeWaiter()
{
    if (m_waitLoop && m_waitDone && m_waitDone())
        m_waitLoop->exit(1);
}

QString nvEmulator::ReadText(Int mode, Int length, Int timeout)
{
    if (mode < 0 || mode > 2)
        rt::raise(rt::err::InvalidCall);
    const qsizetype n = length > 0 ? length : 32767;
    const bool linkUp = linkOpen();
    QString line;
    bool gotLine = false;
    const int result = runWait(mode == 2 || !linkUp ? 0 : timeout, [&] {
        if (mode == 1)
            return gotLine = gotLine || m_input.takeLine(&line, n);
        return mode == 2 || m_input.size() >= n;
    });
    if (result < 0)
        return QString();
    return gotLine ? line : m_input.take(n);
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
    int hit = 0;
    const int result = runWait(linkUp ? int(timeout) : 0, [&] {
        hit = m_input.takeThrough(list, cs);
        return hit > 0;
    });
    return result == 1 ? Int(hit) : Int(0);
}

void nvEmulator::Abort()
{
    if (!endTransfer(AsciiUpload::Aborted))
        return;
    if (m_dialing && m_channel) {
        m_dialing = false;
        m_dialResult = -1;
        if (!survives([this] { m_channel->hangUp(); }))
            return;
    }
    if (m_waitLoop)
        m_waitLoop->exit(0);
}

// --- Transfers -----------------------------------------------------------------------------

// Ends the running transfer, if any (one runs at a time): an upload is aborted, a download
// keeps what came (result: Completed or Aborted). False when a handler of the transfer's events
// closed the control.
bool nvEmulator::endTransfer(int result)
{
    return survives([&] {
        if (m_upload)
            m_upload->abort();
        else if (m_download)
            m_download->finish(result);
    });
}

void nvEmulator::checkTransfer(Int protocol) const
{
    if (protocol >= 1 && protocol <= 4)
        fail(emuerror::ProtocolNotAvailable,
            QStringList { "Kermit", "XModem", "YModem", "ZModem" }.at(protocol - 1));
    if (protocol != 0)
        rt::raise(rt::err::InvalidCall);
    if (m_upload || m_download)
        fail(emuerror::Busy, QStringLiteral("a transfer is running"));
    requireConnection();
}

QStringList nvEmulator::transferFiles(const QString &fileName) const
{
    // "directory NUL name NUL name ..." from the transfer dialogs, or a single path.
    QStringList parts = fileName.split(QChar(0));
    QString dir;
    if (parts.size() > 1)
        dir = parts.takeFirst();
    else if (!m_settings->DefaultXferDir().isEmpty())
        dir = m_settings->DefaultXferDir();
    QStringList files;
    for (const QString &part : std::as_const(parts)) {
        if (part.isEmpty())
            continue;
        files << (QFileInfo(part).isRelative() && !dir.isEmpty() ? QDir(dir).filePath(part) : part);
    }
    if (files.isEmpty())
        rt::raise(rt::err::InvalidCall, QStringLiteral("No file named for the transfer"));
    return files;
}

void nvEmulator::onTransferProgress()
{
    if (m_upload) {
        m_xferFiles = m_upload->filesDone();
        m_xferBytes = m_upload->bytesSent();
    } else if (m_download) {
        m_xferBytes = m_download->bytesReceived();
    }
}

void nvEmulator::onTransferFinished(int result)
{
    onTransferProgress();
    const bool upload = m_upload;
    if (m_download && result != AsciiDownload::Failed)
        m_xferFiles = 1;
    if (QObject *transfer = sender())
        transfer->deleteLater();
    m_upload = nullptr;
    m_download = nullptr;
    m_transferResult = result;
    if (m_shutdown)
        return;
    static const char *const outcomes[] = { "complete", "aborted", "failed" };
    m_statusText = QStringLiteral("%1 %2").arg(
        upload ? QStringLiteral("Upload") : QStringLiteral("Download"),
        QLatin1String(outcomes[std::clamp(result, 0, 2)]));
    survives([this] { emit StatusChange(m_statusText); },
        [this] { emit StateNotify(statecode::XferStatus, rt::False); }, [this] { wakeWaiter(); });
}

Int nvEmulator::waitTransfer(Int wait)
{
    if (!wait)
        return 0;
    const int result = runWait(-1, [this] { return !m_upload && !m_download; });
    if (result < 0)
        return AsciiUpload::Aborted;
    return Int(result == 1 ? m_transferResult : int(AsciiUpload::Aborted));
}

template<class Transfer> void nvEmulator::beginTransfer(Transfer *transfer, const QString &status)
{
    m_xferFiles = 0;
    m_xferBytes = 0;
    connect(transfer, &Transfer::progress, this, &nvEmulator::onTransferProgress);
    connect(transfer, &Transfer::finished, this, &nvEmulator::onTransferFinished);
    m_statusText = status;
    emit StatusChange(m_statusText);
    emit StateNotify(statecode::XferStatus, rt::True);
}

Int nvEmulator::Upload(const QString &fileName, Int protocol, Int mode, Int, Int wait)
{
    checkTransfer(protocol);
    const QStringList files = transferFiles(fileName);
    auto *upload = new AsciiUpload(
        files, mode == 1, m_settings->AsciiEOL(), m_settings->AsciiDelay(),
        [this](const QByteArray &bytes) { return sendToHost(bytes); }, this);
    m_upload = upload;
    beginTransfer(upload, QStringLiteral("Uploading ") + QFileInfo(files.first()).fileName());
    upload->start();
    return waitTransfer(wait);
}

Int nvEmulator::Download(const QString &fileName, Int protocol, Int mode, Int overwrite, Int wait)
{
    checkTransfer(protocol);
    const QStringList files = transferFiles(fileName);
    if (files.size() != 1)
        rt::raise(rt::err::InvalidCall, QStringLiteral("An ASCII download writes one file"));
    auto *download
        = new AsciiDownload(files.first(), mode == 1, overwrite != 0, m_downloadIdleMs, this);
    m_download = download;
    beginTransfer(download, QStringLiteral("Downloading ") + QFileInfo(files.first()).fileName());
    return waitTransfer(wait);
}

} // namespace emu
