#include "emulator/hostprotocol.h"

#include "emulator/emulog.h"

#include <QByteArrayView>
#include <optional>

namespace emu {

namespace {

constexpr char ESC = '\x1b';
constexpr char BEL = '\x07';
constexpr char CAN = '\x18';
constexpr char SUB = '\x1a';
constexpr QByteArrayView kNumber = "7701";
constexpr qsizetype kIntroLength = 2 + 4 + 1; // ESC ] 7701 ;

struct VerbName
{
    HostVerb verb;
    const char *name;
    int args;
};
constexpr VerbName kVerbs[] = {
    { HostVerb::ServerStart, "server-start", 1 },
    { HostVerb::ServerExit, "server-exit", 0 },
    { HostVerb::Result, "result", 3 },
    { HostVerb::Script, "script", 2 },
    { HostVerb::Extension, "extension", 1 },
    { HostVerb::SaveSettings, "save-settings", 0 },
    { HostVerb::LoadSettings, "load-settings", 0 },
    { HostVerb::CloseSession, "close-session", 0 },
};

bool isBodyEnd(char c)
{
    return c == BEL || c == ESC || c == CAN || c == SUB;
}

// A byte that a well-formed body may hold: verbs, numbers, base64 and the separators.
bool isBodyByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
        || c == '/' || c == '=' || c == ';' || c == '-';
}

std::optional<QString> decodeText(const QByteArray &arg)
{
    const auto decoded = QByteArray::fromBase64Encoding(
        arg, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return QString::fromUtf8(*decoded);
}

QByteArray encodeText(const QString &text)
{
    return text.toUtf8().toBase64();
}

// A decimal number of any length: the receiver converts it and answers a number that does not
// fit, so that such an answer is never lost.
std::optional<QString> decodeNumber(const QByteArray &arg)
{
    const QByteArrayView digits = arg.startsWith('-') ? QByteArrayView(arg).sliced(1) : arg;
    if (digits.isEmpty())
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return QString::fromLatin1(arg);
}

// A request from the fields of its body, or nullopt when it is malformed.
std::optional<HostRequest> decodeRequest(const QList<QByteArray> &fields)
{
    const VerbName *verb = nullptr;
    for (const VerbName &v : kVerbs) {
        if (fields.first() == v.name)
            verb = &v;
    }
    if (!verb || fields.size() != verb->args + 1)
        return std::nullopt;

    HostRequest request;
    request.verb = verb->verb;
    switch (verb->verb) {
    case HostVerb::ServerStart:
    case HostVerb::Extension: {
        const auto text = decodeText(fields.at(1));
        if (!text)
            return std::nullopt;
        request.text = *text;
        break;
    }
    case HostVerb::Result: {
        const auto errNum = decodeNumber(fields.at(1));
        const auto result = decodeText(fields.at(2));
        const auto errMsg = decodeText(fields.at(3));
        if (!errNum || !result || !errMsg)
            return std::nullopt;
        request.errNum = *errNum;
        request.text = *result;
        request.errMsg = *errMsg;
        break;
    }
    case HostVerb::Script: {
        const QByteArray &flag = fields.at(1);
        const auto text = decodeText(fields.at(2));
        if ((flag != "0" && flag != "1") || !text)
            return std::nullopt;
        request.async = flag == "1";
        request.text = *text;
        break;
    }
    default:
        break;
    }
    return request;
}

} // namespace

HostProtocol::HostProtocol(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<emu::HostRequest>();
}

QList<HostPiece> HostProtocol::parse(const QByteArray &chunk)
{
    QList<HostPiece> out;
    qsizetype i = 0;
    while (i < chunk.size()) {
        // Plain text up to the next ESC goes out in one piece.
        if (m_state == State::Text) {
            qsizetype esc = chunk.indexOf(ESC, i);
            if (esc < 0)
                esc = chunk.size();
            display(chunk.mid(i, esc - i), out);
            i = esc;
            if (i == chunk.size())
                break;
        } else if (m_state == State::Body) {
            // So is the body of a request, up to the byte that may end it.
            qsizetype end = i;
            while (end < chunk.size() && !isBodyEnd(chunk.at(end)))
                ++end;
            const qsizetype room = maxRequestSize - m_held.size();
            if (end - i > room) {
                abandonBody(out);
                continue;
            }
            m_held.append(chunk.constData() + i, end - i);
            i = end;
            if (i == chunk.size())
                break;
        } else if (m_state == State::Skip) {
            // The rest of an abandoned sequence goes unseen.
            while (i < chunk.size() && isBodyByte(chunk.at(i)))
                ++i;
            if (i == chunk.size())
                break;
        }
        step(chunk.at(i), out);
        ++i;
    }
    return out;
}

QByteArray HostProtocol::feed(const QByteArray &chunk)
{
    QByteArray shown;
    QList<HostRequest> requests;
    for (const HostPiece &piece : parse(chunk)) {
        if (piece.isRequest)
            requests.append(piece.request);
        else
            shown += piece.display;
    }
    for (const HostRequest &request : std::as_const(requests))
        emit requestReceived(request);
    return shown;
}

QByteArray HostProtocol::reset()
{
    QByteArray held;
    if (m_state == State::Escape || m_state == State::Prefix)
        held = m_held;
    m_held.clear();
    m_state = State::Text;
    return held;
}

void HostProtocol::display(const QByteArray &bytes, QList<HostPiece> &out)
{
    if (bytes.isEmpty())
        return;
    if (!out.isEmpty() && !out.last().isRequest)
        out.last().display += bytes;
    else
        out.append(HostPiece { false, bytes, {} });
}

void HostProtocol::step(char c, QList<HostPiece> &out)
{
    switch (m_state) {
    case State::Text:
        if (c == ESC) {
            m_held = QByteArray(1, ESC);
            m_state = State::Escape;
        } else {
            display(QByteArray(1, c), out);
        }
        return;

    case State::Escape:
        if (c == ']') {
            m_held += c;
            m_state = State::Prefix;
            return;
        }
        break; // not ours: show the ESC, then look at c afresh

    case State::Prefix: {
        const qsizetype matched = m_held.size() - 2;
        if (matched < kNumber.size()) {
            if (c != kNumber.at(matched))
                break;
            m_held += c;
            return;
        }
        if (c == ';') {
            m_held += c;
            m_state = State::Body;
            return;
        }
        if (c == BEL || c == ESC) {
            // "ESC ] 7701" ended without a verb: ours, but malformed.
            m_held += c;
            m_state = c == ESC ? State::BodyEscape : State::Body;
            if (c == BEL)
                finishBody(out);
            return;
        }
        break; // another number, such as 77012: not ours
    }

    case State::Body: // parse() hands over only the bytes that may end a body
        if (c == BEL) {
            finishBody(out);
        } else if (c == ESC) {
            m_held += c;
            m_state = State::BodyEscape;
        } else {
            m_held.clear(); // CAN or SUB: the host cancelled the sequence
            m_state = State::Text;
        }
        return;

    case State::BodyEscape:
        if (c == '\\') {
            m_held.chop(1);
            finishBody(out);
            return;
        }
        // Another escape sequence cut the request short: drop it and start on the new one.
        m_held.clear();
        m_state = State::Text;
        step(ESC, out);
        step(c, out);
        return;

    case State::Skip:
        if (c == ESC) {
            m_state = State::SkipEscape;
            return;
        }
        if (c == BEL || c == CAN || c == SUB) {
            m_state = State::Text; // the end of the abandoned sequence
            return;
        }
        break; // no part of a sequence: shown

    case State::SkipEscape:
        m_state = State::Text;
        if (c == '\\')
            return;
        step(ESC, out);
        step(c, out);
        return;
    }

    // The held bytes were not a request of ours: show them and read c again as text.
    const QByteArray held = m_held;
    m_held.clear();
    m_state = State::Text;
    display(held, out);
    step(c, out);
}

void HostProtocol::finishBody(QList<HostPiece> &out)
{
    const QByteArray body = m_held.mid(kIntroLength);
    const bool hasVerb = m_held.size() >= kIntroLength && m_held.at(kIntroLength - 1) == ';';
    m_held.clear();
    m_state = State::Text;
    if (!hasVerb)
        return;
    if (const auto request = decodeRequest(body.split(';')))
        out.append(HostPiece { true, {}, *request });
}

// A sequence over the limit: a result still completes its request, with an error.
void HostProtocol::abandonBody(QList<HostPiece> &out)
{
    const bool result = QByteArrayView(m_held).sliced(kIntroLength).startsWith("result;");
    qCDebug(lcEmulator) << "host protocol sequence over" << maxRequestSize << "bytes dropped:"
                        << m_held.mid(kIntroLength, 20);
    m_held.clear();
    m_state = State::Skip;
    if (!result)
        return;
    HostRequest request;
    request.verb = HostVerb::Result;
    request.errNum = QString::number(overflowErrNum);
    request.errMsg = overflowText();
    out.append(HostPiece { true, {}, request });
}

QString HostProtocol::overflowText()
{
    return QStringLiteral("Overflow: the answer is longer than the host protocol's limit of %1 "
                          "bytes (1 MiB)")
        .arg(maxRequestSize);
}

bool HostProtocol::requestFits(const QString &text)
{
    constexpr qsizetype framing = sizeof("\x1b]7701;request;") - 1 + 1; // and the BEL
    const qsizetype base64 = (text.toUtf8().size() + 2) / 3 * 4;
    return framing + base64 <= maxRequestSize;
}

QByteArray HostProtocol::encodeServerRequest(const QString &text)
{
    return QByteArray("\x1b]7701;request;") + encodeText(text) + "\x07\r";
}

QByteArray HostProtocol::encodeScriptError(qint32 errNum, const QString &errMsg)
{
    return QByteArray("\x1b]7701;script-error;") + QByteArray::number(errNum) + ';'
        + encodeText(errMsg) + "\x07\r";
}

QByteArray HostProtocol::encode(const HostRequest &request)
{
    QByteArray seq("\x1b]7701;");
    for (const VerbName &v : kVerbs) {
        if (v.verb == request.verb)
            seq += v.name;
    }
    switch (request.verb) {
    case HostVerb::ServerStart:
    case HostVerb::Extension:
        seq += ';' + encodeText(request.text);
        break;
    case HostVerb::Result:
        seq += ';' + request.errNum.toLatin1() + ';' + encodeText(request.text) + ';'
            + encodeText(request.errMsg);
        break;
    case HostVerb::Script:
        seq += QByteArray(request.async ? ";1;" : ";0;") + encodeText(request.text);
        break;
    default:
        break;
    }
    return seq + BEL;
}

} // namespace emu
