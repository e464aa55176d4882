#include "emulator/asciitransfer.h"

#include "emulator/channel.h"

#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QDir>
#include <QFileInfo>

namespace emu {

namespace {

constexpr qint64 chunkSize = 16 * 1024;

QByteArray lineEnd(int eolMode, char eolChar)
{
    switch (eolMode) {
    case 0:
        return QByteArray(1, eolChar);
    case 1:
        return QByteArrayLiteral("\r\n");
    case 2:
        return QByteArrayLiteral("\n");
    default:
        return QByteArray();
    }
}

} // namespace

QByteArray hostText(const QString &text, int eolMode, char eolChar, HostEncoding encoding)
{
    if (eolMode == 3)
        return encodeHostText(text, encoding);
    const QByteArray end = lineEnd(eolMode, eolChar);
    QByteArray out;
    out.reserve(text.size());
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != u'\r' && ch != u'\n')
            continue;
        out += encodeHostText(QStringView(text).sliced(lineStart, i - lineStart), encoding);
        if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        out += end;
        lineStart = i + 1;
    }
    return out + encodeHostText(QStringView(text).sliced(lineStart), encoding);
}

AsciiUpload::AsciiUpload(const QStringList &files, bool binary, int eolMode, int lineDelayMs,
    Sender send, Backlog backlog, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_binary(binary)
    , m_eolMode(eolMode)
    , m_send(std::move(send))
    , m_backlog(std::move(backlog))
{
    for (const QString &name : files)
        requireUploadFile(name);
    // Without a delay the data goes in chunks from the event loop, so the window stays alive.
    m_timer.setInterval(std::max(0, lineDelayMs));
    connect(&m_timer, &QTimer::timeout, this, &AsciiUpload::step);
}

void AsciiUpload::start()
{
    m_running = true;
    if (!openNext())
        return;
    m_timer.start();
}

bool AsciiUpload::openNext()
{
    m_file.close();
    m_pending.clear();
    m_at = 0;
    m_decoder.resetState();
    if (m_next >= m_files.size()) {
        finish(xferresult::Completed);
        return false;
    }
    m_file.setFileName(m_files.at(m_next++));
    if (!m_file.open(QIODevice::ReadOnly)) {
        finish(xferresult::Failed);
        return false;
    }
    return true;
}

// The next line with its line end, or a piece of a line longer than a piece; reads at most one
// piece of the file, so a file without line ends costs no more per call than one with them.
bool AsciiUpload::nextLine(QByteArray *out)
{
    for (;;) {
        const QStringView text = QStringView(m_pending).sliced(m_at);
        qsizetype end = 0;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        // A CR at the end of what was read may be the first half of CR LF.
        const bool complete = end < text.size()
            && !(text.at(end) == u'\r' && end + 1 == text.size() && !m_file.atEnd());
        if (complete) {
            qsizetype skip = end + 1;
            if (text.at(end) == u'\r' && skip < text.size() && text.at(skip) == u'\n')
                ++skip;
            *out = m_eolMode == 3
                ? hostText(text.first(skip).toString(), m_eolMode)
                : hostText(text.first(end).toString(), m_eolMode) + lineEnd(m_eolMode, '\r');
            m_at += skip;
            return true;
        }
        if (m_file.atEnd() || text.size() >= chunkSize) {
            // The file's last line, or a piece of a long one (a CR held back stays).
            if (end == 0)
                return false;
            *out = hostText(text.first(end).toString(), m_eolMode);
            m_at += end;
            return true;
        }
        m_pending.remove(0, m_at);
        m_at = 0;
        m_pending += m_decoder(m_file.read(chunkSize));
    }
}

bool AsciiUpload::pendingSent() const
{
    return m_at == m_pending.size();
}

void AsciiUpload::step()
{
    QByteArray data;
    if (m_binary) {
        data = m_file.read(chunkSize);
    } else if (m_timer.interval() > 0) {
        nextLine(&data); // one line per tick: the host gets its time per line
    } else {
        QByteArray line;
        while (data.size() < chunkSize && nextLine(&line))
            data += line;
    }
    if (!data.isEmpty()) {
        if (!m_send(data)) {
            finish(xferresult::Failed);
            return;
        }
        m_bytes += data.size();
        emit progress();
        if (m_backlog && m_backlog() > LinkHighWater) {
            m_held = true;
            m_timer.stop();
        }
    }
    if (m_file.atEnd() && (m_binary || pendingSent())) {
        ++m_filesDone;
        emit progress();
        if (!openNext())
            return;
    }
}

void AsciiUpload::linkWritten()
{
    if (m_held && m_running && m_backlog() <= LinkLowWater) {
        m_held = false;
        m_timer.start();
    }
}

void AsciiUpload::finish(int result)
{
    if (!m_running)
        return;
    m_running = false;
    m_timer.stop();
    m_file.close();
    emit finished(result);
}

AsciiDownload::AsciiDownload(
    const QString &fileName, bool binary, bool overwrite, int idleMs, QObject *parent)
    : QObject(parent)
    , m_binary(binary)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || info.isDir())
        rt::raise(rt::err::PathFileAccess);
    if (!info.absoluteDir().exists())
        rt::raise(rt::err::PathNotFound);
    if (info.exists() && !overwrite)
        rt::raise(rt::err::FileExists);
    if (!m_file.begin(fileName))
        rt::raise(rt::err::PathFileAccess);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { finish(xferresult::Completed); });
    m_idle.start();
}

void AsciiDownload::receive(QByteArrayView bytes)
{
    if (!m_running)
        return;
    m_idle.start();
    m_bytes += bytes.size();
    QByteArray out;
    if (m_binary) {
        out = bytes.toByteArray();
    } else {
        QString text;
        text.reserve(bytes.size());
        for (const char byte : bytes) {
            const QChar ch = QChar(uchar(byte));
            if (ch == u'\n' && m_afterCr) {
                m_afterCr = false;
                continue; // the LF of CR LF
            }
            m_afterCr = ch == u'\r';
            text += m_afterCr ? QChar(u'\n') : ch;
        }
        out = text.toUtf8();
    }
    if (!m_file.write(out)) {
        finish(xferresult::Failed);
        return;
    }
    emit progress();
}

void AsciiDownload::finish(int result)
{
    if (!m_running)
        return;
    m_running = false;
    m_idle.stop();
    if (!m_file.commit() && result == xferresult::Completed)
        result = xferresult::Failed;
    emit finished(result);
}

} // namespace emu
