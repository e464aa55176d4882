#pragma once
// SSH connections (Device 5): the system's ssh client runs on a pseudo-terminal of its own and
// this channel is the terminal's other side, so the client asks for passwords and host-key
// confirmations through the session's screen and the user answers there. The host is HostName
// ("user@host" names the user), the port HostPort (22 when empty), the terminal type
// hostTerminalName() (as TERM); ConnectTimeout and SSHKeepAlive go to the client's options. The
// link is up once the client runs and ends when it ends.

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
    // Sends SSHBreakCharacter when it is set; the client has no break of its own to offer.
    bool sendBreak() override;
    void setWindowSize(int cols, int rows) override;
    QString description() const override;

    // The client program (default: ssh found on PATH) and the arguments it gets.
    void setProgram(const QString &program) { m_program = program; }
    QString program() const { return m_program; }
    QStringList arguments() const;

private:
    void onReadable();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onProcessError(QProcess::ProcessError processError);
    // Reads up to limit bytes of what the client wrote; false once the terminal has no writer
    // left.
    bool drain(qsizetype limit);
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
};

} // namespace emu
