#include "emulator/telnetchannel.h"

#include "emulator/answerbudget.h"
#include "emulator/emulog.h"


namespace emu {

namespace {
constexpr unsigned char CR = '\r';
constexpr unsigned char LF = '\n';
constexpr unsigned char TTYPE_IS = 0;
constexpr unsigned char TTYPE_SEND = 1;
constexpr qsizetype kMaxSubnegotiation = 1024;

void appendEscaped(QByteArray &out, unsigned char b)
{
    out += char(b);
    if (b == TelnetCodec::IAC)
        out += char(b);
}
} // namespace

TelnetCodec::TelnetCodec(QByteArray terminalName, bool wantBinary, int cols, int rows)
    : m_terminalName(std::move(terminalName))
    , m_wantBinary(wantBinary)
    , m_cols(cols)
    , m_rows(rows)
{
    m_local.fill(Q::No);
    m_remote.fill(Q::No);
}

QByteArray TelnetCodec::negotiation(unsigned char verb, unsigned char option)
{
    QByteArray bytes;
    bytes += char(IAC);
    bytes += char(verb);
    bytes += char(option);
    return bytes;
}

QByteArray TelnetCodec::start()
{
    QByteArray out;
    auto offer = [&](unsigned char option) {
        m_local[option] = Q::WantYes;
        out += negotiation(WILL, option);
    };
    auto ask = [&](unsigned char option) {
        m_remote[option] = Q::WantYes;
        out += negotiation(DO, option);
    };
    offer(TTYPE);
    offer(NAWS);
    ask(SGA);
    if (m_wantBinary) {
        offer(BINARY);
        ask(BINARY);
    }
    return out;
}

bool TelnetCodec::localSupported(unsigned char option)
{
    return option == BINARY || option == SGA || option == TTYPE || option == NAWS;
}

bool TelnetCodec::remoteSupported(unsigned char option)
{
    return option == BINARY || option == ECHO || option == SGA;
}

bool TelnetCodec::localEnabled(Option option) const
{
    return m_local[option] == Q::Yes;
}

bool TelnetCodec::remoteEnabled(Option option) const
{
    return m_remote[option] == Q::Yes;
}

// Option negotiation after RFC 1143, so that no request is answered twice and no loop starts:
// a request for what is already in force is not answered; an answer to our own request is not
// answered again.
void TelnetCodec::command(unsigned char verb, unsigned char option, QList<QByteArray> &replies)
{
    const bool asksUs = verb == DO || verb == DONT;
    const bool enable = verb == DO || verb == WILL;
    Q &q = asksUs ? m_local[option] : m_remote[option];
    const bool supported = asksUs ? localSupported(option) : remoteSupported(option);
    const unsigned char yes = asksUs ? WILL : DO;
    const unsigned char no = asksUs ? WONT : DONT;

    if (enable) {
        if (!supported) {
            replies.append(negotiation(no, option));
            return;
        }
        switch (q) {
        case Q::No:
            q = Q::Yes;
            replies.append(negotiation(yes, option));
            break;
        case Q::WantYes:
            q = Q::Yes;
            break;
        case Q::WantNo:
            q = Q::No;
            return;
        case Q::Yes:
            return;
        }
        if (asksUs && option == NAWS)
            replies.append(nawsReport());
    } else {
        if (q == Q::Yes)
            replies.append(negotiation(no, option));
        q = Q::No;
    }
}

void TelnetCodec::subnegotiation(QList<QByteArray> &replies)
{
    if (m_sub.size() >= 2 && uchar(m_sub.at(0)) == TTYPE && uchar(m_sub.at(1)) == TTYPE_SEND) {
        QByteArray reply;
        reply += char(IAC);
        reply += char(SB);
        reply += char(TTYPE);
        reply += char(TTYPE_IS);
        for (char c : std::as_const(m_terminalName))
            appendEscaped(reply, uchar(c));
        reply += char(IAC);
        reply += char(SE);
        replies.append(reply);
    }
    m_sub.clear();
}

QByteArray TelnetCodec::decode(const QByteArray &received, QByteArray &reply)
{
    QList<QByteArray> replies;
    const QByteArray data = decode(received, replies);
    for (const QByteArray &r : std::as_const(replies))
        reply += r;
    return data;
}

QByteArray TelnetCodec::decode(const QByteArray &received, QList<QByteArray> &replies)
{
    QByteArray out;
    out.reserve(received.size());
    for (qsizetype i = 0; i < received.size(); ++i) {
        const unsigned char b = uchar(received.at(i));
        switch (m_in) {
        case In::Data:
            if (b == IAC) {
                m_in = In::Iac;
            } else if (b == 0 && m_afterCR && !remoteEnabled(BINARY)) {
                m_afterCR = false; // CR NUL is a bare CR
            } else {
                out += char(b);
                m_afterCR = b == CR;
            }
            break;
        case In::Iac:
            m_in = In::Data;
            if (b == IAC) {
                out += char(b);
                m_afterCR = false;
            } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                m_verb = b;
                m_in = In::Command;
            } else if (b == SB) {
                m_sub.clear();
                m_in = In::Sub;
            }
            break; // other commands (NOP, GA, DM ...) mean nothing to a terminal
        case In::Command:
            command(m_verb, b, replies);
            m_in = In::Data;
            break;
        case In::Sub:
            if (b == IAC)
                m_in = In::SubIac;
            else if (m_sub.size() < kMaxSubnegotiation)
                m_sub += char(b);
            break;
        case In::SubIac:
            if (b == SE) {
                subnegotiation(replies);
                m_in = In::Data;
            } else if (b == IAC) {
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub += char(b);
                m_in = In::Sub;
            } else {
                // An unterminated subnegotiation: drop it and read the command.
                m_sub.clear();
                m_in = In::Iac;
                --i;
            }
            break;
        }
    }
    return out;
}

QByteArray TelnetCodec::encode(const QByteArray &data) const
{
    const bool binary = localEnabled(BINARY);
    QByteArray out;
    out.reserve(data.size() + 8);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const unsigned char b = uchar(data.at(i));
        appendEscaped(out, b);
        if (b == CR && !binary && (i + 1 == data.size() || uchar(data.at(i + 1)) != LF))
            out += '\0';
    }
    return out;
}

QByteArray TelnetCodec::nawsReport() const
{
    QByteArray out;
    out += char(IAC);
    out += char(SB);
    out += char(NAWS);
    for (int value : { m_cols, m_rows }) {
        const int v = qBound(0, value, 65535);
        appendEscaped(out, uchar(v >> 8));
        appendEscaped(out, uchar(v & 0xFF));
    }
    out += char(IAC);
    out += char(SE);
    return out;
}

QByteArray TelnetCodec::setWindowSize(int cols, int rows)
{
    m_cols = cols;
    m_rows = rows;
    return localEnabled(NAWS) ? nawsReport() : QByteArray();
}

QByteArray TelnetCodec::breakCommand(bool interruptProcess)
{
    QByteArray out;
    out += char(IAC);
    out += char(interruptProcess ? IP : BRK);
    return out;
}

TelnetChannel::TelnetChannel(const Settings &settings, QObject *parent)
    : TcpChannel(settings, 23, parent)
    , m_terminalName(settings.hostTerminalName().toLatin1())
    , m_wantBinary(settings.TelnetBinary() != 0)
    , m_altBreak(settings.TelnetAltBreak() != 0)
    , m_cols(settings.NormCols())
    , m_rows(settings.NormRows())
    , m_codec(m_terminalName, m_wantBinary, m_cols, m_rows)
{ }

void TelnetChannel::open()
{
    if (state() != State::Closed)
        return;
    m_codec = TelnetCodec(m_terminalName, m_wantBinary, m_cols, m_rows);
    m_queued.clear();
    m_queuedReplies.clear();
    TcpChannel::open();
}

bool TelnetChannel::sendBreak()
{
    if (!isOpen())
        return false;
    sendRaw(TelnetCodec::breakCommand(m_altBreak));
    return true;
}

void TelnetChannel::setWindowSize(int cols, int rows)
{
    m_cols = cols;
    m_rows = rows;
    const QByteArray report = m_codec.setWindowSize(cols, rows);
    if (isOpen())
        sendReplies({ report });
}

QString TelnetChannel::description() const
{
    return QStringLiteral("Telnet %1:%2").arg(hostName()).arg(port());
}

void TelnetChannel::linkUp()
{
    sendRaw(m_codec.start());
}

QByteArray TelnetChannel::decode(const QByteArray &received)
{
    QList<QByteArray> replies;
    const QByteArray data = m_codec.decode(received, replies);
    sendReplies(replies);
    return data;
}

// The replies that may go are handed over together.
void TelnetChannel::sendReplies(const QList<QByteArray> &replies)
{
    if (replies.isEmpty())
        return;
    const qint64 waiting = backlog();
    forgetSentReplies(handedOver() - waiting);
    QByteArray out;
    for (const QByteArray &reply : replies) {
        if (reply.isEmpty())
            continue;
        if (isQueued(reply)) {
            qCDebug(lcEmulator) << "Telnet reply dropped, the same one still waits for the host:"
                                << reply.toHex(' ');
            continue;
        }
        if (AnswerBudget::backlogged(waiting + out.size())) {
            qCDebug(lcEmulator) << "Telnet reply dropped:" << waiting + out.size()
                                << "bytes wait for a host that does not read";
            continue;
        }
        out += reply;
        m_queued.push_back({ reply, handedOver() + out.size() });
        m_queuedReplies.insert(reply);
    }
    sendRaw(out);
}

bool TelnetChannel::isQueued(const QByteArray &reply) const
{
    return m_queuedReplies.contains(reply);
}

void TelnetChannel::forgetSentReplies(qint64 sent)
{
    while (!m_queued.empty() && m_queued.front().end <= sent) {
        m_queuedReplies.remove(m_queued.front().bytes);
        m_queued.pop_front();
    }
}

QByteArray TelnetChannel::encode(const QByteArray &data)
{
    return m_codec.encode(data);
}

} // namespace emu
