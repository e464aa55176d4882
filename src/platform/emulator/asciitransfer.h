#pragma once
// ASCII file transfers, done in-house: an upload sends text files line by line (or binary files
// as they are) through a sender, reading a bounded piece at a time (a line longer than a piece
// goes in pieces), so a file of any size or shape keeps the program answering; a download
// writes what the host sends into a file until the host has been idle for a while or the
// transfer is ended.
//
// Line ends of text sent to the host (uploads and pastes): mode 0 the given character (CR by
// default, the Enter key), 1 CR LF, 2 LF, 3 as they are in the text, 4 left out (lines joined).
// Text files are UTF-8; the host gets the host encoding (see hostencoding.h).

#include "emulator/hostencoding.h"
#include "emulator/xferplan.h"
#include "runtime/wholefile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace emu {

QByteArray hostText(const QString &text, int eolMode, char eolChar = '\r',
    HostEncoding encoding = HostEncoding::Utf8);

class AsciiUpload : public QObject
{
    Q_OBJECT

public:
    using Sender = std::function<bool(const QByteArray &)>;
    using Backlog = std::function<qint64()>;

    // Every file must exist and be readable (53 File not found, 75 Path/File access error).
    // send passes bytes to the link; backlog tells how many the link still has to send: above
    // LinkHighWater the upload waits until linkWritten() finds it down to LinkLowWater.
    AsciiUpload(const QStringList &files, bool binary, int eolMode, int lineDelayMs, Sender send,
        Backlog backlog, QObject *parent = nullptr);

    void start();
    void abort() { finish(xferresult::Aborted); }
    // The link has sent some of its backlog: a held upload goes on when little is left.
    void linkWritten();
    // The link has gone: the upload fails.
    void linkLost() { finish(xferresult::Failed); }
    qint64 bytesSent() const { return m_bytes; }
    int filesDone() const { return m_filesDone; }
    bool isRunning() const { return m_running; }

signals:
    void progress();
    void finished(int result);

private:
    void step();
    bool openNext();
    bool nextLine(QByteArray *out);
    bool pendingSent() const;
    void finish(int result);

    QStringList m_files;
    bool m_binary;
    int m_eolMode;
    Sender m_send;
    Backlog m_backlog;
    bool m_held = false;
    QTimer m_timer;
    QFile m_file;
    QStringDecoder m_decoder { QStringDecoder::Utf8 };
    // Text read from the file; what is not sent yet begins at m_at.
    QString m_pending;
    qsizetype m_at = 0;
    int m_next = 0;
    int m_filesDone = 0;
    qint64 m_bytes = 0;
    bool m_running = false;
};

class AsciiDownload : public QObject
{
    Q_OBJECT

public:
    // Refuses an existing file unless overwrite (58), a missing directory (76) and a file that
    // cannot be written (75). The file appears when the download ends.
    AsciiDownload(const QString &fileName, bool binary, bool overwrite, int idleMs,
        QObject *parent = nullptr);

    // Text mode turns CR LF and lone CRs into LF and writes UTF-8.
    void receive(QByteArrayView bytes);
    // Writes the file whole (the data received so far) and reports the result.
    void finish(int result);
    qint64 bytesReceived() const { return m_bytes; }
    bool isRunning() const { return m_running; }

signals:
    void progress();
    void finished(int result);

private:
    rt::WholeFileWriter m_file;
    bool m_binary;
    bool m_afterCr = false;
    QTimer m_idle;
    qint64 m_bytes = 0;
    bool m_running = true;
};

} // namespace emu
