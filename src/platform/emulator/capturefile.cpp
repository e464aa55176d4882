#include "emulator/capturefile.h"

#include "runtime/error.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace emu {

CaptureFile::CaptureFile(const QString &fileName, int mode, HostEncoding encoding)
    : m_fileName(fileName)
    , m_mode(mode)
    , m_decoder(encoding)
{
    if (mode < 0 || mode > 3)
        rt::raise(rt::err::InvalidCall);
    if (mode == 3)
        return;
    const QFileInfo info(fileName);
    // Only a regular file takes a capture: opening a FIFO would wait for a reader, and a device
    // or a folder is no place for it.
    if (fileName.isEmpty() || (info.exists() && !info.isFile()))
        rt::raise(rt::err::PathFileAccess,
            rt::errorText(rt::err::PathFileAccess) + QStringLiteral(": ") + fileName
                + QStringLiteral(" (not a regular file)"));
    if (!info.absoluteDir().exists())
        rt::raise(rt::err::PathNotFound);
    if (mode == 0 && info.exists())
        rt::raise(rt::err::FileExists);
    m_file.setFileName(fileName);
    // NewOnly makes "new file only" hold even against a file created since the check.
    const QIODevice::OpenMode how = mode == 0 ? QIODevice::WriteOnly | QIODevice::NewOnly
        : mode == 1                           ? QIODevice::WriteOnly | QIODevice::Truncate
                                              : QIODevice::WriteOnly | QIODevice::Append;
    if (!m_file.open(how))
        rt::raise(m_file.exists() && mode == 0 ? rt::err::FileExists : rt::err::PathFileAccess);
}

CaptureFile::~CaptureFile()
{
    finish();
}

bool CaptureFile::write(QByteArrayView bytes)
{
    return !m_finished && writeText(m_decoder.decode(bytes));
}

void CaptureFile::setEncoding(HostEncoding encoding)
{
    if (encoding == m_decoder.encoding())
        return;
    writeText(m_decoder.flush());
    m_decoder.setEncoding(encoding);
}

bool CaptureFile::writeText(const QString &text)
{
    if (text.isEmpty())
        return true;
    if (m_mode == 3) {
        m_clipText += text;
        return true;
    }
    // Flushed at once, so the file follows the session while the capture runs.
    const QByteArray utf8 = text.toUtf8();
    return m_file.write(utf8) == utf8.size() && m_file.flush();
}

void CaptureFile::finish()
{
    if (m_finished)
        return;
    writeText(m_decoder.flush()); // a sequence the host never finished
    m_finished = true;
    if (m_mode == 3) {
        if (QClipboard *clipboard = QGuiApplication::clipboard())
            clipboard->setText(m_clipText);
    } else {
        m_file.close();
    }
}

} // namespace emu
