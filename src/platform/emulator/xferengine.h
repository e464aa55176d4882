#pragma once
// A file transfer by protocol (Kermit, XModem, YModem, ZModem) between the file system and the
// host's link, run by an outside program (xferplan.h tells which, xferprocess.h runs it). While
// it runs, the host's bytes go in through receive() and the program's bytes out through the
// sender. It keeps the bytes and files done and the name of the file in hand: from what lrzsz's
// programs report on their standard error (ZModem's bytes, XModem's and YModem's sectors), and
// for Kermit from the files themselves (the size of the file being received, the read position
// of the file being sent).
//
// A download is kept safe from what the host sends. The program runs in its restricted mode in
// a private folder inside the destination directory. When it ends, each file it completed moves
// into the directory under its own base name by rename: a name with a control character or a
// leading dot is refused (for every protocol), and an existing file is replaced only when overwrite says so (otherwise the old file
// stays and the transfer counts as failed). A received file gets the mode of the user's new
// files (the umask), with the execute rights the sender gave; never set-user-ID, set-group-ID,
// sticky or writable by others. A failed or cancelled download leaves nothing half-written under
// a final name: the unfinished file goes with the private folder. Files that a failed batch had
// completed before are kept. An upload whose receiver skips a file (it has it already) sent the
// others: the skipped one is not counted, and the transfer fails naming it.
//
// The program writes as fast as it can, and a link may carry much less: its output goes to the
// sender only while the link's backlog (what the link has accepted and not sent yet) is below
// LinkHighWater; above it the program is held until linkWritten() finds the backlog down to
// LinkLowWater. So a transfer keeps at most about LinkHighWater plus a read of the program's in
// memory, and its progress follows what the link carries.
//
// A ZModem download is over for the host once the receiver has answered the sender's ZFIN with
// its own: nothing more the receiver says goes to the host (it would land in the host's shell),
// and of the host's next bytes only the sender's "OO" goes to the receiver; the rest is the
// host's text again (and a receiver still waiting for its "OO" gets it from here).
//
// When the link goes, the program gets the end of its input and a few seconds to finish with
// what it has: the host may have sent the last of the transfer just before it closed. Its own
// result then tells; one that is still waiting for the host is stopped, and the transfer fails.
//
// Results (finished()): 0 completed, 1 aborted by abort(), 2 failed (the program failed, the
// link went before it was done, a file could not be stored or was skipped). The reason of a
// failure is in errorText(): one reason (the program's newest complaint), followed by the names
// of files not stored.

#include "emulator/emulog.h"
#include "emulator/xferplan.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include <sys/types.h>

namespace emu {

class XferProcess;

class XferEngine : public QObject
{
    Q_OBJECT

public:
    using Sender = std::function<bool(const QByteArray &)>;
    using Backlog = std::function<qint64()>;

    // Checks what the request names: an upload's files exist and can be read (53, 75); a
    // download's directory exists (76) and an XModem download's file is new unless overwrite
    // (58). request.files of an XModem download is the one path to write. send passes bytes to
    // the link, backlog tells how many the link still has to send.
    XferEngine(const XferRequest &request, const QString &directory, Sender send,
        Backlog backlog, QObject *parent = nullptr);
    ~XferEngine() override;

    // The program is not installed: its name, else empty.
    static QString missingProgram(int protocol, bool upload);

    // Starts the program; raises 75 when the private folder cannot be made and the protocol's
    // unavailability (the program did not start) as 30003 through the caller's check.
    void start();
    // The host's bytes for the program; answers how many of them it took (the rest, after the
    // end of a ZModem download, is the host's text again).
    qsizetype receive(QByteArrayView hostBytes);
    // The host's bytes the program has not taken yet; inputTaken() says it took some.
    qint64 inputBacklog() const;
    // The user cancels: the program is told to stop (and tells its peer); result Aborted.
    void abort();
    // The link to the host is gone: the program finishes with what it has (see above).
    void linkLost();
    // The link has sent some of its backlog: a held program goes on when little is left.
    void linkWritten();

    bool isUpload() const { return m_request.upload; }
    bool isRunning() const { return m_running; }
    int protocol() const { return m_request.protocol; }
    qint64 bytesDone() const { return m_doneBytes + m_currentBytes; }
    int filesDone() const { return m_filesDone; }
    QString currentFile() const { return m_currentFile; }
    QString errorText() const { return m_errorText; }

signals:
    void progress();
    void finished(int result);
    void inputTaken();

private:
    void onOutput(const QByteArray &bytes);
    bool endsZModemSession(const QByteArray &bytes);
    void onMessages(const QByteArray &bytes);
    void takeReportLine();
    void readReport(const QString &line);
    void sample();
    void sampleReceiveFolder();
    void sampleKermitUpload();
    void onFinished(int exitCode, bool crashed);
    bool programSaysComplete() const;
    QString failureReason(int exitCode) const;
    void complain(const QString &text);
    void countSentFiles();
    QStringList completedDownloads(bool allOfThem) const;
    QStringList kermitLogNames(const QString &verb) const;
    int storeDownloads(const QStringList &names);
    int skippedDownloads(const QStringList &received);
    // Adds a reason to errorText(), after those already there.
    void addError(const QString &text);
    void beginUploadFile(const QString &name);
    void stop(int result, int graceMs);

    XferRequest m_request;
    QString m_directory;    // where a download ends up
    QString m_xmodemTarget; // an XModem download's final path
    Sender m_send;
    Backlog m_backlog;
    XferCommand m_command;
    std::unique_ptr<QTemporaryDir> m_privateDir; // the program's own files
    std::unique_ptr<QTemporaryDir> m_receiveDir; // where the receiving program writes
    XferProcess *m_process = nullptr;
    QTimer m_sampler;
    QTimer m_linkLostTimer;
    mode_t m_umask = 022;
    // ZModem download: the receiver's ZFIN has gone to the host; the sender's "O"s still due.
    bool m_sessionEnded = false;
    int m_senderOs = 0;
    QByteArray m_outputTail; // the end of the receiver's last output, for a header split in two
    QByteArray m_messageLine;
    QStringList m_reportedNames; // files the program said it sends or receives, in order
    QString m_complaint;          // its newest message that was not progress
    QString m_summary;            // how it summed up a failure
    QList<int> m_skippedUploads;  // the files the receiver did not want, by index
    QList<qint64> m_uploadSizes;
    QStringList m_uploadTargets; // the files as /proc names them (links resolved)
    int m_result = -1; // set when the end was asked for
    bool m_running = false;
    bool m_linkGone = false;
    bool m_dirty = false; // progress to report at the next sample
    qint64 m_doneBytes = 0;
    qint64 m_currentBytes = 0;
    int m_filesDone = 0;
    int m_currentIndex = -1; // upload: the file in hand
    QString m_currentFile;
    QString m_errorText;
};

// Finds the start of a ZModem transfer the host begins (its ZRQINIT header, "**", ZDLE, "B00"),
// also when it is split between two pieces of host data.
class ZModemStartDetector
{
public:
    // The offset in data where the header starts (0 when it began in the previous piece), or -1.
    qsizetype find(QByteArrayView data);
    // The header's bytes that came in the previous piece, when find() answered 0 for that.
    QByteArray carried() const { return m_carried; }
    void reset();

private:
    QByteArray m_tail;
    QByteArray m_carried;
};

} // namespace emu
