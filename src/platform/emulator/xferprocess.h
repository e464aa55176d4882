#pragma once
// One run of an outside file-transfer program with its standard input and output joined to a
// byte stream: through pipes, or through a pseudo-terminal for a program that wants a terminal
// on its side (it becomes the program's controlling terminal, in raw mode from the start, so
// nothing is echoed back before the program sets its own modes). write() feeds the program's
// input; what it writes comes out through output(). Its standard error is read apart (its
// messages and progress) and comes out through messages().
//
// A program given writable folders may create, change and remove files only beneath them (and
// write to its terminal): the kernel's Landlock rules hold it there, whatever names it is given.
// On a kernel without Landlock it runs unconfined (a debug line says so).
//
// stop() asks the program to end (SIGTERM) and kills it when it has not ended after a grace
// period; finished() comes once, after the last output. Deleting the object kills a program that
// still runs.

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

    explicit XferProcess(QObject *parent = nullptr);
    ~XferProcess() override;

    // False, with the reason, when the program cannot be started.
    bool start(const Spec &spec, QString *error);
    void write(const QByteArray &bytes);
    void stop(int graceMs = 2000);
    bool isRunning() const { return m_running; }
    qint64 processId() const;

signals:
    void output(const QByteArray &bytes);
    void messages(const QByteArray &bytes);
    // crashed: ended by a signal (stop() included).
    void finished(int exitCode, bool crashed);

private:
    bool openTerminal(QString *error);
    int confinement(const QStringList &folders) const;
    void readTerminal();
    void flushTerminal();
    void closeTerminal();
    void onFinished(int exitCode, QProcess::ExitStatus status);

    QProcess m_process;
    bool m_terminal = false;
    bool m_running = false;
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_slaveName;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QByteArray m_pending; // for the terminal, not yet taken by it
    QTimer m_killTimer;
};

} // namespace emu
