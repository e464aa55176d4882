#pragma once
// SSH connections (Device 5): the system's ssh client runs on a pseudo-terminal of its own and
// this channel is the terminal's other side, so the client asks for passwords and host-key
// confirmations through the session's screen and the user answers there. The host is HostName
// ("user@host" names the user), the port HostPort (22 when empty), the terminal type
// hostTerminalName() (as TERM); ConnectTimeout and SSHKeepAlive go to the client's options.
//
// The channel is open (bytes flow both ways) as soon as the client runs, but the link is up
// (isConnected(), connected()) only once the client has logged in. The client tells us so
// itself: it is given a local command, which ssh runs only after the server has accepted the
// login, and that command writes a marker unique to this channel to the client's error output,
// which comes to us on a pipe of its own (so nothing on the terminal, where prompts and the
// server's words mix, is taken for it). The client's other error lines are shown on the screen
// as they come. A client that ends before the marker failed to connect: its last message tells
// why (host not found, refused, timed out, login refused), and open fails with that code;
// after the marker the link ends with ClosedByHost when the client ends.

#include "emulator/channel.h"

#include <QProcess>
#include <QStringList>

class QSocketNotifier;

namespace emu {

class SshChannel : public Channel
{
    Q_OBJECT
public:
    explicit SshChannel(const Settings &settings, QObject *parent = nullptr);
    ~SshChannel() override;

    Int device() const override { return device::Ssh; }
    void open() override;
    void close() override;
    bool write(const QByteArray &data) override;
    qint64 backlog() const override { return m_pending.size(); }
    // Sends SSHBreakCharacter when it is set; the client has no break of its own to offer.
    bool sendBreak() override;
    void setWindowSize(int cols, int rows) override;
    bool isConnected() const override;
    QString description() const override;

    // The client program (default: ssh found on PATH) and the arguments it gets.
    void setProgram(const QString &program) { m_program = program; }
    QString program() const { return m_program; }
    QStringList arguments() const;

    // The channel code for a failure the client reported in a line of its error output; 0 for
    // a line that names no known failure.
    static int failureCode(const QString &clientMessage);

protected:
    // What the client wrote on the terminal. The terminal is watched again once it has nothing
    // more; a terminal without a writer left is not (finished() tells the rest).
    bool readInput(qsizetype max, QByteArray *bytes) override;

private:
    void onReadable();
    void onErrorOutput();
    // Reads the client's error output; at the end of the client (final) also its last,
    // unterminated line.
    void drainErrorOutput(bool final);
    void clientLine(const QByteArray &line);
    void linkUp();
    void failBeforeLink(int exitCode, QProcess::ExitStatus exitStatus);
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onProcessError(QProcess::ProcessError processError);
    void flush();
    void releaseTerminal();
    void discardProcess();
    void applyWindowSize();

    QString m_program;
    QString m_host;
    QString m_portText;
    quint16 m_port;
    QByteArray m_terminalName;
    int m_timeoutSeconds;
    int m_keepAliveSeconds;
    int m_breakCharacter;
    int m_cols;
    int m_rows;
    int m_master = -1;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending; // written by the user, not yet taken by the terminal
    QProcess *m_process = nullptr;
    int m_errorPipe = -1; // read end of the client's error output
    QSocketNotifier *m_errorNotifier = nullptr;
    QByteArray m_errorLine; // an error line not yet ended
    QStringList m_clientMessages; // the client's last error lines before the link came up
    QByteArray m_marker; // what the local command writes once the login has succeeded
    bool m_linkUp = false;
};

} // namespace emu
