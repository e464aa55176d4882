#include "emulator/hostprotocol.h"

#include "emulator/controls.h"
#include "emulator/emulog.h"

#include <QByteArrayView>
#include <optional>

namespace emu {

namespace {

// What every request begins with; a ";" and the verb follow.
constexpr QByteArrayView kLeadIn = "\x1b]7701";

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

// A result the host spoilt still ends the request it answers, so the requests after it go on.
HostRequest malformedResult()
{
    qCDebug(lcEmulator) << "malformed host result: its request ends with error"
                        << HostProtocol::malformedErrNum;
    HostRequest request;
    request.verb = HostVerb::Result;
    request.errNum = QString::number(HostProtocol::malformedErrNum);
    request.errMsg = HostProtocol::malformedText();
    return request;
}

// A request from the fields of its body, or nullopt when it is malformed (a malformed result
// becomes malformedResult()).
std::optional<HostRequest> decodeRequest(const QList<QByteArray> &fields)
{
    const VerbName *verb = nullptr;
    for (const VerbName &v : kVerbs) {
        if (fields.first() == v.name)
            verb = &v;
    }
    if (!verb)
        return std::nullopt;
    if (fields.size() != verb->args + 1) {
        if (verb->verb == HostVerb::Result)
            return malformedResult();
        return std::nullopt;
    }

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
            return malformedResult();
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

// The state of one parse: the chunk, the pieces so far, and where in the chunk the held lead-in
// began (-1: in an earlier chunk).
struct HostProtocol::Scan
{
    QByteArrayView chunk;
    HostPieces &out;
    qsizetype leadInAt = -1;

    // Display bytes; a stretch right after the last one joins it.
    void display(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        if (!out.isEmpty() && !out.last().isRequest && out.last().display.end() == bytes.begin()) {
            HostPiece &last = out.last();
            last.display = QByteArrayView(last.display.begin(), bytes.end());
            return;
        }
        out.append(HostPiece { false, bytes, {} });
    }
};

HostProtocol::HostProtocol(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<emu::HostRequest>();
}

HostPieces HostProtocol::parse(QByteArrayView chunk)
{
    HostPieces out;
    Scan scan { chunk, out };
    qsizetype i = 0;
    while (i < chunk.size()) {
        if (m_state == State::Text) {
            // Text up to the next ESC ] goes out in one piece, other escape sequences included.
            qsizetype esc = chunk.indexOf(ESC, i);
            while (esc >= 0 && esc + 1 < chunk.size() && chunk.at(esc + 1) != ']')
                esc = chunk.indexOf(ESC, esc + 1);
            if (esc < 0)
                esc = chunk.size();
            scan.display(chunk.sliced(i, esc - i));
            i = esc;
            if (i == chunk.size())
                break;
        } else if (m_state == State::Body) {
            // So is the body of a request, up to the byte that may end it.
            qsizetype end = i;
            while (end < chunk.size() && !isBodyEnd(chunk.at(end)))
                ++end;
            const qsizetype room = maxRequestSize - kLeadIn.size() - m_body.size();
            if (end - i > room) {
                // What fits is kept first: it names the verb, however the reads cut the body.
                m_body.append(chunk.sliced(i, room));
                i += room;
                abandonBody(scan);
                continue;
            }
            m_body.append(chunk.sliced(i, end - i));
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
        step(scan, chunk.at(i), i);
        ++i;
    }
    return out;
}

QByteArray HostProtocol::feed(QByteArrayView chunk)
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
        held = kLeadIn.first(m_leadIn).toByteArray();
    m_leadIn = 0;
    m_body.clear();
    m_state = State::Text;
    return held;
}

// The lead-in held so far was no request of ours: it is shown.
void HostProtocol::showHeld(Scan &scan)
{
    const qsizetype n = std::exchange(m_leadIn, 0);
    scan.display(scan.leadInAt >= 0 ? scan.chunk.sliced(scan.leadInAt, n) : kLeadIn.first(n));
}

// c is the byte at `at` in the chunk (-1: an ESC that ended the previous chunk).
void HostProtocol::step(Scan &scan, char c, qsizetype at)
{
    switch (m_state) {
    case State::Text:
        if (c == ESC) {
            m_leadIn = 1;
            scan.leadInAt = at;
            m_state = State::Escape;
        } else {
            scan.display(scan.chunk.sliced(at, 1));
        }
        return;

    case State::Escape:
    case State::Prefix:
        if (m_leadIn < kLeadIn.size()) {
            if (c != kLeadIn.at(m_leadIn))
                break; // not ours: show what was held, then look at c afresh
            ++m_leadIn;
            m_state = State::Prefix;
            return;
        }
        if (c == ';' || c == BEL || c == ESC) {
            // "ESC ] 7701" without a ";" is ours, but malformed: it has no verb.
            m_leadIn = 0;
            m_body.clear();
            if (c == ';')
                m_body += c;
            m_state = c == ESC ? State::BodyEscape : State::Body;
            if (c == BEL)
                finishBody(scan);
            return;
        }
        break; // another number, such as 77012: not ours

    case State::Body: // parse() hands over only the bytes that may end a body
        if (c == BEL) {
            finishBody(scan);
        } else if (c == ESC) {
            m_state = State::BodyEscape;
        } else {
            m_body.clear(); // CAN or SUB: the host cancelled the sequence
            m_state = State::Text;
        }
        return;

    case State::BodyEscape:
        if (c == '\\') {
            finishBody(scan);
            return;
        }
        // Another escape sequence cut the request short: drop it and start on the new one.
        m_body.clear();
        m_state = State::Text;
        step(scan, ESC, at - 1);
        step(scan, c, at);
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
        step(scan, ESC, at - 1);
        step(scan, c, at);
        return;
    }

    // What was held was not a request of ours: show it and read c again as text.
    showHeld(scan);
    m_state = State::Text;
    step(scan, c, at);
}

void HostProtocol::finishBody(Scan &scan)
{
    const QByteArray body = std::exchange(m_body, QByteArray());
    m_state = State::Text;
    if (!body.startsWith(';'))
        return; // no verb
    if (const auto request = decodeRequest(body.sliced(1).split(';')))
        scan.out.append(HostPiece { true, {}, *request });
}

// A sequence over the limit: a result still completes its request, with an error.
void HostProtocol::abandonBody(Scan &scan)
{
    const bool result = m_body.startsWith(";result;");
    qCDebug(lcEmulator) << "host protocol sequence over" << maxRequestSize << "bytes dropped:"
                        << m_body.left(20);
    m_body.clear();
    m_state = State::Skip;
    if (!result)
        return;
    HostRequest request;
    request.verb = HostVerb::Result;
    request.errNum = QString::number(overflowErrNum);
    request.errMsg = overflowText();
    scan.out.append(HostPiece { true, {}, request });
}

QString HostProtocol::malformedText()
{
    return QStringLiteral("Invalid procedure call or argument: the host's result is malformed");
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
