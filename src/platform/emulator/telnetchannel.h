#pragma once
// Telnet connections (Device 3): a TCP link (port 23 unless HostPort says otherwise) with the
// Telnet protocol on it. The codec does the protocol without any socket: it negotiates the
// options a terminal needs (the host's ECHO and SUPPRESS-GO-AHEAD, our TERMINAL-TYPE and
// NAWS, BINARY both ways) and refuses the rest, doubles IAC both ways, and keeps the end-of-line
// rule: outside binary mode a CR we send is followed by NUL unless LF follows it, and a CR NUL
// received is a plain CR.
//
// The channel's replies to the host's negotiation, and its NAWS reports (on every change of the
// screen size), are answers of its own: they share the cap on what waits for the host with the
// terminal's answers (AnswerBudget::maxBacklog), and a reply identical to one that still waits to
// go out is not queued again. A host that negotiates without end and never reads cannot make the
// program hold replies for it; a reply dropped leaves a debug line.

#include "emulator/tcpchannel.h"

#include <QSet>

#include <array>
#include <deque>

namespace emu {

// The protocol's command bytes and the options we know.
struct Telnet
{
    enum Byte : unsigned char {
        SE = 240,
        NOP = 241,
        BRK = 243,
        IP = 244,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255
    };
    enum Option : unsigned char { BINARY = 0, ECHO = 1, SGA = 3, TTYPE = 24, NAWS = 31 };
};

class TelnetCodec : public Telnet
{
public:
    // terminalName: the answer to TERMINAL-TYPE; wantBinary: ask for binary mode both ways.
    TelnetCodec(QByteArray terminalName, bool wantBinary, int cols, int rows);

    // What we ask for when the connection is up.
    QByteArray start();
    // Received bytes: returns the data for the screen; answers for the host go into reply, or
    // into replies one answer (a negotiation, a report) to an item.
    QByteArray decode(const QByteArray &received, QByteArray &reply);
    QByteArray decode(const QByteArray &received, QList<QByteArray> &replies);
    // Bytes for the host, escaped and with the end-of-line rule applied.
    QByteArray encode(const QByteArray &data) const;
    // A new screen size; returns the NAWS report to send (empty while NAWS is off).
    QByteArray setWindowSize(int cols, int rows);
    static QByteArray breakCommand(bool interruptProcess);

    bool localEnabled(Option option) const; // we do it (WILL accepted)
    bool remoteEnabled(Option option) const; // the host does it (DO accepted)

private:
    enum class Q : unsigned char { No, Yes, WantNo, WantYes };
    enum class In { Data, Iac, Command, Sub, SubIac };

    void command(unsigned char verb, unsigned char option, QList<QByteArray> &replies);
    void subnegotiation(QList<QByteArray> &replies);
    static bool localSupported(unsigned char option);
    static bool remoteSupported(unsigned char option);
    static QByteArray negotiation(unsigned char verb, unsigned char option);
    QByteArray nawsReport() const;

    QByteArray m_terminalName;
    bool m_wantBinary;
    int m_cols;
    int m_rows;
    std::array<Q, 256> m_local {};
    std::array<Q, 256> m_remote {};
    In m_in = In::Data;
    unsigned char m_verb = 0;
    bool m_afterCR = false;
    QByteArray m_sub;
};

class TelnetChannel : public TcpChannel
{
    Q_OBJECT
public:
    explicit TelnetChannel(const Settings &settings, QObject *parent = nullptr);

    Int device() const override { return device::Telnet; }
    void open() override;
    bool sendBreak() override;
    void setWindowSize(int cols, int rows) override;
    QString description() const override;

    const TelnetCodec &codec() const { return m_codec; }

protected:
    void linkUp() override;
    QByteArray decode(const QByteArray &received) override;
    QByteArray encode(const QByteArray &data) override;

private:
    // Queues each reply unless the backlog is over the cap or the same reply still waits.
    void sendReplies(const QList<QByteArray> &replies);
    bool isQueued(const QByteArray &reply) const;
    // Forgets the queued replies that have gone out (sent: how many bytes of handedOver()).
    void forgetSentReplies(qint64 sent);

    struct QueuedReply
    {
        QByteArray bytes;
        qint64 end; // handedOver() once it was queued
    };
    std::deque<QueuedReply> m_queued; // oldest first
    QSet<QByteArray> m_queuedReplies; // the bytes of m_queued, each once
    QByteArray m_terminalName;
    bool m_wantBinary;
    bool m_altBreak;
    int m_cols;
    int m_rows;
    TelnetCodec m_codec;
};

} // namespace emu
