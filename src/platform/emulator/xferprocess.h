#pragma once
// One run of an outside file-transfer program with its standard input and output joined to a
// byte stream: through a socket pair, or through a pseudo-terminal for a program that wants a
// terminal on its side (it becomes the program's controlling terminal, in raw mode from the
// start, so nothing is echoed back before the program sets its own modes). Either way the
// program's descriptors 0 and 1 are one descriptor of ours, read and written without blocking.
// write() feeds the program's input (what it does not take at once waits here); what it writes
// comes out through output(), at most readChunk bytes at a time. Its standard error is read
// apart (its messages and progress) and comes out through messages().
//
// inputBacklog() is what the program has not taken yet; inputTaken() says it took some.
//
// holdOutput(true) stops reading what the program writes: it then waits in the system's
// buffer, and the program blocks in its writes, until holdOutput(false). This is how a reader
// that cannot pass the bytes on as fast as they come (a slow link) keeps them out of memory.
//
// A program runs apart from the rest of the session: it cannot make a socket (no network, no
// session bus, no local service; a seccomp filter refuses it, and Landlock's network and scope
// rules refuse TCP, abstract sockets and signals outside it where the kernel has them), and its
// environment holds PATH, the locale and the time zone only, with HOME its working folder. A
// program given writable folders may also create, change and remove files only beneath them
// (and write to its terminal): Landlock holds it there, whatever names it is given. On a
// kernel without Landlock it runs without the file rules (a debug line says so).
//
// stop() asks the program to end (SIGTERM) and kills it when it has not ended after a grace
// period; from then on its output is no longer held, so that what it says to its peer on the
// way out gets there. finished() comes once, after the last output: a program that ends by
// itself while its output is held finishes when it has all been read. Deleting the object kills
// a program that still runs.

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace emu {

class XferProcess : public QObject
{
    Q_OBJECT

public:
    struct Spec
    {
        QString program; // a path, or a name looked up in PATH
        QStringList arguments;
        QString workingDirectory;
        bool terminal = false;
        QStringList writableFolders; // empty: no confinement
    };

    // The most output() brings at once.
    static constexpr qsizetype readChunk = 64 * 1024;

    explicit XferProcess(QObject *parent = nullptr);
    ~XferProcess() override;

    // False, with the reason, when the program cannot be started.
    bool start(const Spec &spec, QString *error);
    void write(QByteArrayView bytes);
    // No more input comes: once it has taken what was written, a program on a socket pair
    // reads the end of its input (one on a terminal just gets nothing more).
    void closeInput();
    void stop(int graceMs = 2000);
    void holdOutput(bool held);
    bool isOutputHeld() const { return m_held; }
    qint64 inputBacklog() const { return m_pending.size(); }
    bool isRunning() const { return m_running; }
    qint64 processId() const;

signals:
    void output(const QByteArray &bytes);
    void messages(const QByteArray &bytes);
    void inputTaken();
    // crashed: ended by a signal (stop() included).
    void finished(int exitCode, bool crashed);

private:
    bool openTerminal(QString *error);
    bool openSocketPair(QString *error);
    void watch();
    int confinement(const QStringList &folders) const;
    void readOutput();
    void flushInput();
    ssize_t writeSome(const char *data, qsizetype size);
    void updateReading();
    void closeStreams();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void finish();

    QProcess m_process;
    bool m_terminal = false;
    bool m_running = false;
    bool m_held = false;
    bool m_stopping = false;
    bool m_exited = false; // the program has ended; its last output may still be unread
    bool m_outputEnded = false; // the program's side of the stream is closed
    bool m_inputClosed = false; // closeInput() was asked for
    int m_exitCode = 0;
    bool m_crashed = false;
    int m_fd = -1; // ours: the terminal's master side or our end of the socket pair
    int m_childFd = -1; // the program's end of the socket pair, until it has started
    int m_slave = -1;
    QByteArray m_slaveName;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_pending; // for the program, not yet taken by it
    QTimer m_killTimer;
};

} // namespace emu
