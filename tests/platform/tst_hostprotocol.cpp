#include "emulator/answerbudget.h"
#include "emulator/hostprotocol.h"
#include "emulator/streamsplitter.h"
#include "runtime/errnum.h"

#include <QSignalSpy>
#include <QTest>

using emu::HostPiece;
using emu::HostProtocol;
using emu::HostRequest;
using emu::HostVerb;

namespace {

QByteArray b64(const QString &text)
{
    return text.toUtf8().toBase64();
}

QByteArray seq(const QByteArray &body)
{
    return "\x1b]7701;" + body + "\x07";
}

HostRequest request(HostVerb verb, const QString &text = {}, const QString &errNum = {},
    const QString &errMsg = {}, bool async = false)
{
    HostRequest r;
    r.verb = verb;
    r.text = text;
    r.errNum = errNum;
    r.errMsg = errMsg;
    r.async = async;
    return r;
}

// Feeds the chunks one after the other and collects display bytes and requests, checking that
// each request comes after exactly the display bytes that preceded it in the stream.
struct Collected
{
    QByteArray display;
    QList<HostRequest> requests;
    QList<qsizetype> displayedBefore;
};

Collected run(HostProtocol &protocol, const QList<QByteArray> &chunks)
{
    Collected c;
    for (const QByteArray &chunk : chunks) {
        for (const HostPiece &piece : protocol.parse(chunk)) {
            if (piece.isRequest) {
                c.requests.append(piece.request);
                c.displayedBefore.append(c.display.size());
            } else {
                c.display += piece.display;
            }
        }
    }
    return c;
}

// What a splitter makes of the chunks, as one text: the markers as "<" and ">", the bytes
// between them as they came, "!" for bytes of the wrong kind, and what it still holds back
// after "|".
QByteArray splitText(emu::StreamSplitter &splitter, const QList<QByteArray> &chunks)
{
    using Kind = emu::StreamSplitter::Kind;
    QByteArray text;
    bool inside = false;
    for (const QByteArray &chunk : chunks) {
        emu::StreamSplitter::Pieces pieces;
        splitter.split(chunk, pieces);
        for (const emu::StreamSplitter::Piece &piece : pieces) {
            if (piece.kind == Kind::Begin || piece.kind == Kind::End) {
                inside = piece.kind == Kind::Begin;
                text += inside ? '<' : '>';
            } else {
                if ((piece.kind == Kind::Inside) != inside)
                    text += '!';
                text += piece.bytes;
            }
        }
    }
    return text + '|' + splitter.reset();
}

} // namespace

class tst_HostProtocol : public QObject
{
    Q_OBJECT

private slots:
    void verbs_data();
    void verbs();
    void textArguments_data();
    void textArguments();
    void splitAtEveryByte();
    void byteByByte();
    void passThrough_data();
    void passThrough();
    void streamSplitter_data();
    void streamSplitter();
    void malformedDropped_data();
    void malformedDropped();
    void malformedResultAnswered_data();
    void malformedResultAnswered();
    void interruptedBody();
    void runawayAbandoned_data();
    void runawayAbandoned();
    void oversizedResultSplit();
    void longRequestWithinLimit();
    void feedEmitsRequests();
    void resetReturnsHeldBytes();
    void answerBudget_data();
    void answerBudget();
    void serverRequestEncoding();
};

void tst_HostProtocol::verbs_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<HostRequest>("expected");

    QTest::newRow("server-start") << seq("server-start;" + b64("ORDERS"))
                                  << request(HostVerb::ServerStart, "ORDERS");
    QTest::newRow("server-exit") << seq("server-exit") << request(HostVerb::ServerExit);
    QTest::newRow("result") << seq("result;0;" + b64("42 rows") + ";" + b64(""))
                            << request(HostVerb::Result, "42 rows", "0", "");
    QTest::newRow("result error") << seq("result;-2147483648;" + b64("") + ";" + b64("No file"))
                                  << request(HostVerb::Result, "", "-2147483648", "No file");
    QTest::newRow("result big") << seq("result;2147483647;;") // empty base64 is empty text
                                << request(HostVerb::Result, "", "2147483647", "");
    // A number beyond 32 bits still answers the request: the receiver converts it.
    QTest::newRow("result beyond 32 bits")
        << seq("result;-99999999999999999999;;") << request(HostVerb::Result, "", "-99999999999999999999", "");
    QTest::newRow("script sync") << seq("script;0;" + b64("Session.Output('x')"))
                                 << request(HostVerb::Script, "Session.Output('x')");
    QTest::newRow("script async") << seq("script;1;" + b64("run()"))
                                  << request(HostVerb::Script, "run()", {}, {}, true);
    QTest::newRow("extension") << seq("extension;" + b64("EXT 1"))
                               << request(HostVerb::Extension, "EXT 1");
    QTest::newRow("save-settings") << seq("save-settings") << request(HostVerb::SaveSettings);
    QTest::newRow("load-settings") << seq("load-settings") << request(HostVerb::LoadSettings);
    QTest::newRow("close-session") << seq("close-session") << request(HostVerb::CloseSession);
    QTest::newRow("ended by ST") << QByteArray("\x1b]7701;server-exit\x1b\\")
                                 << request(HostVerb::ServerExit);
    QTest::newRow("unpadded base64")
        << seq("extension;" + b64("ab").replace("=", "")) << request(HostVerb::Extension, "ab");
}

void tst_HostProtocol::verbs()
{
    QFETCH(QByteArray, wire);
    QFETCH(HostRequest, expected);

    HostProtocol protocol;
    const Collected c = run(protocol, { "A" + wire + "B" });
    QCOMPARE(c.display, QByteArray("AB"));
    QCOMPARE(c.requests.size(), 1);
    QCOMPARE(c.requests.first(), expected);
    QCOMPARE(c.displayedBefore.first(), 1);

    // The encoder speaks the same protocol.
    QCOMPARE(run(protocol, { HostProtocol::encode(expected) }).requests,
        QList<HostRequest> { expected });
}

void tst_HostProtocol::textArguments_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("plain") << QStringLiteral("hello world");
    QTest::newRow("separators") << QStringLiteral("a;b;c=d");
    QTest::newRow("controls") << QString::fromLatin1("\x1b]7701;x\x07 \x1b\\ \x18\x1a\r\n\t");
    QTest::newRow("nul") << QString(QStringLiteral("a%1b")).arg(QChar(0));
    QTest::newRow("latin1 high") << QString::fromLatin1("\xe9\xff\x80");
    QTest::newRow("unicode") << QStringLiteral("Grüße € 日本 \U0001F600");
    QTest::newRow("long") << QString(100000, u'x');
}

void tst_HostProtocol::textArguments()
{
    QFETCH(QString, text);

    HostProtocol protocol;
    for (HostVerb verb : { HostVerb::ServerStart, HostVerb::Script, HostVerb::Extension }) {
        const HostRequest sent = request(verb, text);
        const Collected c = run(protocol, { HostProtocol::encode(sent) });
        QVERIFY(c.display.isEmpty());
        QCOMPARE(c.requests, QList<HostRequest> { sent });
    }
    const HostRequest result = request(HostVerb::Result, text, "7", text + text);
    QCOMPARE(
        run(protocol, { HostProtocol::encode(result) }).requests, QList<HostRequest> { result });
}

void tst_HostProtocol::splitAtEveryByte()
{
    const HostRequest first = request(HostVerb::ServerStart, "SRV");
    const HostRequest second = request(HostVerb::Result, "ok;done", "12", "none");
    const QByteArray stream = "before\x1b[1m" + HostProtocol::encode(first) + "mid\x1b]0;title\x07"
        + HostProtocol::encode(second) + "\x1b]7701;server-exit\x1b\\after\x1b";
    const QByteArray shown = "before\x1b[1mmid\x1b]0;title\x07"
                             "after";

    for (qsizetype at = 0; at <= stream.size(); ++at) {
        HostProtocol protocol;
        const Collected c = run(protocol, { stream.left(at), stream.mid(at), "!" });
        QCOMPARE(c.display, shown + "\x1b!");
        QCOMPARE(c.requests.size(), 3);
        QCOMPARE(c.requests.at(0), first);
        QCOMPARE(c.requests.at(1), second);
        QCOMPARE(c.requests.at(2).verb, HostVerb::ServerExit);
        const qsizetype beforeFirst = QByteArray("before\x1b[1m").size();
        const qsizetype beforeSecond = beforeFirst + QByteArray("mid\x1b]0;title\x07").size();
        QCOMPARE(c.displayedBefore, (QList<qsizetype> { beforeFirst, beforeSecond, beforeSecond }));
    }
}

void tst_HostProtocol::byteByByte()
{
    const QByteArray stream = "x"
        + HostProtocol::encode(request(HostVerb::Script, "a", {}, {}, true)) + "\x1b]77;y\x07"
        + HostProtocol::encode(request(HostVerb::CloseSession)) + "z";
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    HostProtocol protocol;
    const Collected c = run(protocol, bytes);
    QCOMPARE(c.display, QByteArray("x\x1b]77;y\x07z"));
    QCOMPARE(c.requests.size(), 2);
    QCOMPARE(c.requests.at(0).text, QStringLiteral("a"));
    QVERIFY(c.requests.at(0).async);
    QCOMPARE(c.requests.at(1).verb, HostVerb::CloseSession);
}

void tst_HostProtocol::passThrough_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("CSI") << QByteArray("\x1b[1;31mred\x1b[0m");
    QTest::newRow("title OSC") << QByteArray("\x1b]0;my title\x07");
    QTest::newRow("OSC 77") << QByteArray("\x1b]77;x\x07");
    QTest::newRow("OSC 770") << QByteArray("\x1b]770\x07");
    QTest::newRow("OSC 77012") << QByteArray("\x1b]77012;server-exit\x07");
    QTest::newRow("OSC 7702") << QByteArray("\x1b]7702;server-exit\x07");
    QTest::newRow("double ESC") << QByteArray("\x1b\x1b[A");
    QTest::newRow("ESC ESC ]") << QByteArray("\x1b\x1b]0;t\x07");
    QTest::newRow("8-bit") << QByteArray("\x80\x9b\x9d\xff\x00 end", 9);
    QTest::newRow("BEL alone") << QByteArray("ding\x07");
    QTest::newRow("SGR text and lead-ins not ours")
        << QByteArray("\x1b[1;31mred\x1b]770\x1b[0m \x1b\x1b]77x\x1b]7702\x07"
                      "caf\xc3\xa9\x1b");
}

void tst_HostProtocol::passThrough()
{
    QFETCH(QByteArray, bytes);
    for (qsizetype at = 0; at <= bytes.size(); ++at) {
        HostProtocol protocol;
        const Collected c = run(protocol, { bytes.left(at), bytes.mid(at), "." });
        QCOMPARE(c.display, bytes + ".");
        QVERIFY(c.requests.isEmpty());
    }
}

void tst_HostProtocol::streamSplitter_data()
{
    QTest::addColumn<QByteArray>("begin");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("spellings"); // 0 as given, 1 control sequences, 2 with 8-bit CSI

    const QByteArray mc5 = "\x1b[5i";
    const QByteArray mc4 = "\x1b[4i";
    const QByteArray zeros(emu::Marker::maxLeadingZeros, '0');
    QTest::newRow("leading zeros")
        << mc5 << mc4 << QByteArray("a\x1b[05ip\x1b[0004iq\x1b[" + zeros + "5ir\x1b[" + zeros)
        << QByteArray("a<p>q<r|\x1b[" + zeros) << 1;
    QTest::newRow("too many zeros, other parameters")
        << mc5 << mc4
        << QByteArray("\x1b[0" + zeros + "5ia\x1b[0ib\x1b[50ic\x1b[5;0id\x1b[1i\x1b[5")
        << QByteArray("\x1b[0" + zeros + "5ia\x1b[0ib\x1b[50ic\x1b[5;0id\x1b[1i|\x1b[5") << 1;
    QTest::newRow("8-bit CSI read")
        << mc5 << mc4 << QByteArray("a\x9b" "5ip\x1b[4iq\x1b[5ir\x9b" "04is\x9b" "0")
        << QByteArray("a<p>q<r>s|\x9b" "0") << 2;
    QTest::newRow("8-bit CSI not read")
        << mc5 << mc4 << QByteArray("a\x9b" "5ip\x9b") << QByteArray("a\x9b" "5ip\x9b|") << 1;
    QTest::newRow("8-bit CSI stands for ESC [ alone")
        << mc5 << mc4 << QByteArray("\x9b[5i\x1b\x9b" "5i") << QByteArray("\x9b[5i\x1b<|") << 2;
    QTest::newRow("print controller in SGR text")
        << mc5 << mc4 << QByteArray("a\x1b[1mb\x1b[5ip\x1b[0mq\x1b[4ic\x1b[4m\x1b[")
        << QByteArray("a\x1b[1mb<p\x1b[0mq>c\x1b[4m|\x1b[") << 0;
    QTest::newRow("a marker after its own beginning")
        << mc5 << mc4 << QByteArray("\x1b[\x1b[5i\x1b[4\x1b[4i\x1b[5")
        << QByteArray("\x1b[<\x1b[4>|\x1b[5") << 0;
    QTest::newRow("markers that overlap themselves")
        << QByteArray("aab") << QByteArray("bba") << QByteArray("xaaabyybbbaz")
        << QByteArray("xa<yyb>z|") << 0;
    QTest::newRow("extension lead-in and terminator")
        << QByteArray("{EXT:") << QByteArray("}") << QByteArray("\x1b[7m{EX{EXT:ping}{E\x1b[m")
        << QByteArray("\x1b[7m{EX<ping>{E\x1b[m|") << 0;
    QTest::newRow("no end marker") << mc5 << QByteArray() << QByteArray("a\x1b[5ib\x1b[4ic")
                                   << QByteArray("a<b\x1b[4ic|") << 0;
    QTest::newRow("no markers") << QByteArray() << QByteArray() << QByteArray("a\x1b[5ib")
                                << QByteArray("a\x1b[5ib|") << 0;
}

// Split into two reads at every byte, and byte by byte: the same pieces.
void tst_HostProtocol::streamSplitter()
{
    QFETCH(QByteArray, begin);
    QFETCH(QByteArray, end);
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, expected);
    QFETCH(int, spellings);
    const auto splitter = [&] {
        emu::StreamSplitter made;
        const bool sequence = spellings > 0;
        const bool eightBit = spellings > 1;
        made.setMarkers({ begin, sequence, eightBit }, { end, sequence, eightBit });
        return made;
    };
    for (qsizetype at = 0; at <= stream.size(); ++at) {
        emu::StreamSplitter split = splitter();
        QCOMPARE(splitText(split, { stream.left(at), stream.mid(at) }), expected);
    }
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    emu::StreamSplitter split = splitter();
    QCOMPARE(splitText(split, bytes), expected);
}

void tst_HostProtocol::malformedDropped_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("no verb") << QByteArray("\x1b]7701\x07");
    QTest::newRow("no verb, ST") << QByteArray("\x1b]7701\x1b\\");
    QTest::newRow("empty verb") << seq("");
    QTest::newRow("unknown verb") << seq("reboot");
    QTest::newRow("verb in capitals") << seq("SERVER-EXIT");
    QTest::newRow("missing argument") << seq("server-start");
    QTest::newRow("extra argument") << seq("server-exit;" + b64("x"));
    QTest::newRow("bad base64") << seq("extension;!!!!");
    QTest::newRow("script flag 2") << seq("script;2;" + b64("x"));
    QTest::newRow("script flag empty") << seq("script;;" + b64("x"));
    QTest::newRow("cancelled by CAN") << QByteArray("\x1b]7701;server-exit\x18");
    QTest::newRow("cancelled by SUB") << QByteArray("\x1b]7701;server-exit\x1a");
}

void tst_HostProtocol::malformedDropped()
{
    QFETCH(QByteArray, bytes);
    HostProtocol protocol;
    const Collected c = run(protocol, { "<" + bytes + ">" });
    QCOMPARE(c.display, QByteArray("<>"));
    QVERIFY(c.requests.isEmpty());
    // The parser is back in step for the next request.
    QCOMPARE(run(protocol, { seq("server-exit") }).requests.size(), 1);
}

// A malformed result is not dropped: it ends the request it answers with error 5, so the host's
// requests after it do not wait for ever.
void tst_HostProtocol::malformedResultAnswered_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("result alone") << seq("result");
    QTest::newRow("result short") << seq("result;0;" + b64("x"));
    QTest::newRow("result long") << seq("result;0;;;");
    QTest::newRow("errnum text") << seq("result;abc;;");
    QTest::newRow("errnum blank") << seq("result; 1;;");
    QTest::newRow("errnum plus") << seq("result;+1;;");
    QTest::newRow("errnum minus alone") << seq("result;-;;");
    QTest::newRow("errnum empty") << seq("result;;;");
    QTest::newRow("errnum fraction") << seq("result;1.5;;");
    QTest::newRow("result not base64") << seq("result;0;!!!;");
    QTest::newRow("result with a blank") << seq("result;0;QU JD;");
    QTest::newRow("errmsg not base64") << seq("result;0;;a=b");
    QTest::newRow("ended by ST") << QByteArray("\x1b]7701;result;x;;\x1b\\");
}

void tst_HostProtocol::malformedResultAnswered()
{
    QFETCH(QByteArray, bytes);
    HostProtocol protocol;
    const Collected c = run(protocol, { "<" + bytes + ">" });
    QCOMPARE(c.display, QByteArray("<>"));
    QCOMPARE(c.requests,
        QList<HostRequest> { request(HostVerb::Result, {}, QString::number(rt::err::InvalidCall),
            HostProtocol::malformedText()) });
    QCOMPARE(run(protocol, { seq("server-exit") }).requests.size(), 1);
}

void tst_HostProtocol::interruptedBody()
{
    // Another escape sequence inside a request cuts it short; the new sequence is shown.
    HostProtocol protocol;
    const Collected c = run(protocol, { "\x1b]7701;server-exit\x1b[2J", "x" });
    QCOMPARE(c.display, QByteArray("\x1b[2Jx"));
    QVERIFY(c.requests.isEmpty());
}

void tst_HostProtocol::runawayAbandoned_data()
{
    QTest::addColumn<QByteArray>("intro");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<bool>("answered");

    QTest::newRow("script, ended by BEL") << QByteArray("\x1b]7701;script;0;")
                                          << QByteArray("AAAA\x07tail") << QByteArray("tail")
                                          << false;
    QTest::newRow("script, ended by ST") << QByteArray("\x1b]7701;script;0;")
                                         << QByteArray("AA\x1b\\tail") << QByteArray("tail")
                                         << false;
    QTest::newRow("script never ended") << QByteArray("\x1b]7701;script;0;")
                                        << QByteArray("AAAA\r\ntail") << QByteArray("\r\ntail")
                                        << false;
    QTest::newRow("another sequence after it")
        << QByteArray("\x1b]7701;extension;") << QByteArray("AA\x1b[1mtail")
        << QByteArray("\x1b[1mtail") << false;
    // The request that waits for the result hears of it.
    QTest::newRow("result") << QByteArray("\x1b]7701;result;0;") << QByteArray("AAAA;\x07tail")
                            << QByteArray("tail") << true;
    QTest::newRow("result cancelled") << QByteArray("\x1b]7701;result;0;")
                                      << QByteArray("AA\x18tail") << QByteArray("tail") << true;
}

void tst_HostProtocol::runawayAbandoned()
{
    QFETCH(QByteArray, intro);
    QFETCH(QByteArray, after);
    HostProtocol protocol;
    const qsizetype overrun = 40;
    QByteArray body(HostProtocol::maxRequestSize - intro.size() + overrun, 'A');
    // Arrives in pieces, as from a socket.
    QList<QByteArray> chunks { intro };
    for (qsizetype at = 0; at < body.size(); at += 4096)
        chunks.append(body.mid(at, 4096));
    chunks.append(after);
    const Collected c = run(protocol, chunks);
    QTEST(c.display, "shown");
    QFETCH(bool, answered);
    QCOMPARE(c.requests.size(), answered ? 1 : 0);
    if (answered) {
        QCOMPARE(c.requests.first(),
            request(HostVerb::Result, {}, u"6"_qs, HostProtocol::overflowText()));
        QVERIFY(HostProtocol::overflowText().contains(u"1048576"_qs));
    }

    const Collected next = run(protocol, { seq("load-settings") });
    QCOMPARE(next.requests.size(), 1);
    QCOMPARE(next.requests.first().verb, HostVerb::LoadSettings);
}

// A result over the limit answers its request with error 6 and shows nothing, wherever the reads
// cut it: inside the lead-in, right after it, inside the verb, in the body, just past the limit,
// at its end.
void tst_HostProtocol::oversizedResultSplit()
{
    const QByteArray intro = "\x1b]7701;result;0;";
    const QByteArray body(HostProtocol::maxRequestSize, 'A');
    const QByteArray stream = "<" + intro + body + ";\x07>";
    const HostRequest overflow = request(HostVerb::Result, {},
        QString::number(rt::err::Overflow), HostProtocol::overflowText());
    const qsizetype limitAt = 1 + HostProtocol::maxRequestSize;
    for (qsizetype at : { qsizetype(0), qsizetype(1), qsizetype(3), qsizetype(7), qsizetype(8),
             qsizetype(11), intro.size() + 1, qsizetype(4096), limitAt - 1, limitAt, limitAt + 1,
             stream.size() - 2, stream.size() - 1, stream.size() }) {
        HostProtocol protocol;
        const Collected c = run(protocol, { stream.left(at), stream.mid(at) });
        QVERIFY2(c.display == "<>", qPrintable(u"cut at %1: shown %2 bytes"_qs.arg(at).arg(c.display.size())));
        QVERIFY2(c.requests == QList<HostRequest> { overflow }, qPrintable(u"cut at %1"_qs.arg(at)));
    }
}

void tst_HostProtocol::longRequestWithinLimit()
{
    HostProtocol protocol;
    const QByteArray intro = "\x1b]7701;extension;";
    const QByteArray body(HostProtocol::maxRequestSize - intro.size(), 'Q');
    const Collected c = run(protocol, { intro + body.left(1000), body.mid(1000) + "\x07" });
    QVERIFY(c.display.isEmpty());
    QCOMPARE(c.requests.size(), 1);
    QCOMPARE(c.requests.first().text, QString::fromUtf8(QByteArray::fromBase64(body)));
}

void tst_HostProtocol::feedEmitsRequests()
{
    HostProtocol protocol;
    QSignalSpy spy(&protocol, &HostProtocol::requestReceived);
    const QByteArray shown = protocol.feed(
        "a" + seq("server-start;" + b64("S1")) + "b" + seq("save-settings") + "c\x1b]77");
    QCOMPARE(shown, QByteArray("abc"));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<HostRequest>(), request(HostVerb::ServerStart, "S1"));
    QCOMPARE(spy.at(1).at(0).value<HostRequest>().verb, HostVerb::SaveSettings);
    QCOMPARE(protocol.feed("0;x\x07"), QByteArray("\x1b]770;x\x07"));
}

void tst_HostProtocol::resetReturnsHeldBytes()
{
    HostProtocol protocol;
    QCOMPARE(protocol.feed("ab\x1b]77"), QByteArray("ab"));
    QCOMPARE(protocol.reset(), QByteArray("\x1b]77"));
    QCOMPARE(protocol.feed("01;server-exit\x07"), QByteArray("01;server-exit\x07"));

    QVERIFY(protocol.feed("\x1b]7701;server-ex").isEmpty());
    QVERIFY(protocol.reset().isEmpty()); // a partial request is never shown
    QCOMPARE(protocol.feed("it\x07"), QByteArray("it\x07"));

    // An ESC at the end of a read may begin a request; on a reset it is shown after all.
    QCOMPARE(protocol.feed("c\x1b"), QByteArray("c"));
    QCOMPARE(protocol.reset(), QByteArray("\x1b"));
    QCOMPARE(protocol.feed("]77"), QByteArray("]77"));
}

void tst_HostProtocol::answerBudget_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("backlog");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("admitted");
    const int terminal = int(emu::AnswerKind::Terminal);
    const int script = int(emu::AnswerKind::Script);
    const int extension = int(emu::AnswerKind::Extension);
    QTest::newRow("terminal reports") << terminal << qint64(0) << 1500 << 1000;
    QTest::newRow("script requests") << script << qint64(0) << 200 << 50;
    QTest::newRow("extension commands") << extension << qint64(0) << 200 << 100;
    QTest::newRow("backlog at the limit")
        << terminal << emu::AnswerBudget::maxBacklog << 10 << 10;
    QTest::newRow("a host that does not read")
        << script << emu::AnswerBudget::maxBacklog + 1 << 10 << 0;
}

void tst_HostProtocol::answerBudget()
{
    QFETCH(int, kind);
    QFETCH(qint64, backlog);
    QFETCH(int, asked);
    emu::AnswerBudget budget;
    const auto answerKind = emu::AnswerKind(kind);
    int admitted = 0;
    for (int i = 0; i < asked; ++i)
        admitted += budget.admit(answerKind, backlog) ? 1 : 0;
    QTEST(admitted, "admitted");
    // Each kind has its own budget, and the next second a new one.
    const auto other = answerKind == emu::AnswerKind::Script ? emu::AnswerKind::Terminal
                                                             : emu::AnswerKind::Script;
    QCOMPARE(budget.admit(other, 0), true);
    if (admitted < asked && !emu::AnswerBudget::backlogged(backlog))
        QTRY_VERIFY_WITH_TIMEOUT(budget.admit(answerKind, 0), 3000);
}

void tst_HostProtocol::serverRequestEncoding()
{
    QCOMPARE(HostProtocol::encodeServerRequest(QStringLiteral("LIST CUSTOMERS;ü")),
        "\x1b]7701;request;" + QStringLiteral("LIST CUSTOMERS;ü").toUtf8().toBase64() + "\x07\r");
    QCOMPARE(HostProtocol::encodeServerRequest(QString()), QByteArray("\x1b]7701;request;\x07\r"));
    // The longest request that fits: its sequence up to the BEL is at most the limit.
    const QString longest(786420, u'x');
    QVERIFY(HostProtocol::requestFits(longest));
    QVERIFY(HostProtocol::encodeServerRequest(longest).size() - 1 <= HostProtocol::maxRequestSize);
    QVERIFY(!HostProtocol::requestFits(longest + u'x'));
    QCOMPARE(HostProtocol::encodeScriptError(-70, QStringLiteral("not now")),
        "\x1b]7701;script-error;-70;" + QByteArray("not now").toBase64() + "\x07\r");
}

QTEST_GUILESS_MAIN(tst_HostProtocol)
#include "tst_hostprotocol.moc"
