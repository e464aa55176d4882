#pragma once
// The host protocol: how a program on the host talks to the emulator through the data stream.
// A request is the sequence  ESC ] 7701 ; <verb> [; <arg>]* BEL  (ESC \ ends it as well); text
// arguments are base64 of UTF-8, numbers are decimal. Such sequences are taken out of the data
// and never displayed; every other byte, other escape sequences included, goes on unchanged.
//
//   server-start;<name>                    ServerStart
//   server-exit                            ServerExit
//   result;<errnum>;<result>;<errmsg>      ServerResult (errnum: decimal digits, "-" before them
//                                          for a negative number, of any length)
//   script;<0|1 asynchronous>;<text>       ExecScript
//   extension;<command>                    Extension
//   save-settings, load-settings, close-session
//
// A sequence may arrive split over any number of reads, at any byte. A malformed request (unknown
// verb, wrong number of arguments, bad base64 or number) is dropped silently, except a malformed
// result: it still answers the request it belongs to, as a result with the error number 5 and
// malformedText() as its error text, so that the requests after it go on. A sequence longer
// than maxRequestSize is abandoned, so memory stays bounded: what was held is dropped, and so is
// the rest of it up to its BEL or ST (nothing of it is shown). A byte that cannot be part of a
// sequence (a line end, a blank) ends the abandoned one too, and the bytes from there on are
// displayed again. An abandoned result still answers the request it belongs to: it comes out as
// a result with the error number 6 and overflowText as its error text, so the request does not
// wait for ever.
//
// The scan works on the caller's bytes: display pieces are views into the chunk parsed (a
// stretch of text, other escape sequences included, is one piece), and bytes held back across
// reads are the lead-in "ESC ] 7701" or the body of a request, which alone is copied. Nothing is
// allocated for text without requests.
//
// The other way, to the host program:
//   ESC ] 7701 ; request ; <text> BEL CR                 a request (ServerRequest)
//   ESC ] 7701 ; script-error ; <errnum> ; <errmsg> BEL CR  a script the host sent was not run

#include "runtime/errnum.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QVarLengthArray>

namespace emu {

enum class HostVerb {
    ServerStart,
    ServerExit,
    Result,
    Script,
    Extension,
    SaveSettings,
    LoadSettings,
    CloseSession
};

struct HostRequest
{
    HostVerb verb = HostVerb::ServerExit;
    QString text; // ServerStart: the name; Script: the script; Extension: the command;
                  // Result: the result
    QString errNum; // Result: the number as the host wrote it (it may not fit 32 bits)
    QString errMsg; // Result
    bool async = false; // Script

    bool operator==(const HostRequest &other) const = default;
};

// One piece of the parsed stream: bytes to display, or a request, in the order they came. The
// display bytes are a view into the chunk parsed (or into the protocol's constant lead-in, for
// held bytes that turned out not to be a request): valid as long as the chunk is.
struct HostPiece
{
    bool isRequest = false;
    QByteArrayView display;
    HostRequest request;
};
using HostPieces = QVarLengthArray<HostPiece, 4>;

class HostProtocol : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype maxRequestSize = 1024 * 1024;
    // The error number and text of a result over maxRequestSize.
    static constexpr int overflowErrNum = rt::err::Overflow;
    static QString overflowText();
    // The error number and text of a malformed result.
    static constexpr int malformedErrNum = rt::err::InvalidCall;
    static QString malformedText();

    // Whether the request sequence for text (encodeServerRequest) stays within maxRequestSize.
    static bool requestFits(const QString &text);

    explicit HostProtocol(QObject *parent = nullptr);

    // The bytes of one read, as display bytes and requests in stream order. Bytes that may begin
    // a request are held back until the next read decides.
    HostPieces parse(QByteArrayView chunk);
    // The same for callers that do not need the order: returns the display bytes and emits
    // requestReceived() for each request (after the whole chunk is parsed).
    QByteArray feed(QByteArrayView chunk);
    // Forgets a partly received sequence (a new connection). Returns the bytes held back.
    QByteArray reset();

    // The ServerRequest sequence for text.
    static QByteArray encodeServerRequest(const QString &text);
    // The answer to a script that was not run.
    static QByteArray encodeScriptError(qint32 errNum, const QString &errMsg);
    // The sequence of a request as a host program sends it (the fake hosts of the tests use it).
    static QByteArray encode(const HostRequest &request);

signals:
    void requestReceived(const emu::HostRequest &request);

private:
    enum class State { Text, Escape, Prefix, Body, BodyEscape, Skip, SkipEscape };
    struct Scan;

    void step(Scan &scan, char c, qsizetype at);
    void showHeld(Scan &scan);
    void finishBody(Scan &scan);
    void abandonBody(Scan &scan);

    State m_state = State::Text;
    // Escape and Prefix: how many bytes of the lead-in "ESC ] 7701" came so far.
    qsizetype m_leadIn = 0;
    // Body: the bytes after "ESC ] 7701", the ";" before the verb included.
    QByteArray m_body;
};

} // namespace emu

Q_DECLARE_METATYPE(emu::HostRequest)
