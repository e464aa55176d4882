// The emulator control: host data on its way to the host protocol, extensions, the print
// controller, capture, the scripts' input and the screen (or an alternate sink's).

#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/emulog.h"
#include "runtime/errnum.h"

namespace emu {

namespace {

constexpr int maxExtensionCommand = 64 * 1024;

} // namespace

// --- Host data -----------------------------------------------------------------------------

// The bytes go down the path as views into the read: nothing is copied on the way unless a
// stage takes something out of them (a request, an extension, the print controller's data).
void nvEmulator::processHostData(QByteArrayView input)
{
    // A running file transfer takes the host's data (emulator_transfer.cpp).
    QByteArrayView data = input;
    if (!divertToTransfer(&data) || data.isEmpty())
        return;
    const HostPieces pieces = m_protocol.parse(data);
    for (const HostPiece &piece : pieces) {
        const bool alive = survives([&] {
            if (piece.isRequest)
                handleHostRequest(piece.request);
            else
                processDisplay(piece.display);
        });
        if (!alive || m_shutdown)
            return;
    }
    afterHostData();
}

void nvEmulator::handleHostRequest(const HostRequest &request)
{
    switch (request.verb) {
    case HostVerb::ServerStart:
        m_serverMode = true;
        emit ServerStart(request.text);
        break;
    case HostVerb::ServerExit:
        m_serverMode = false;
        emit ServerExit();
        break;
    case HostVerb::Result:
        emit ServerResult(request.text, request.errNum, request.errMsg);
        break;
    case HostVerb::Script:
        if (admitAnswer(AnswerKind::Script))
            emit ExecScript(request.text, request.async ? rt::True : rt::False);
        break;
    case HostVerb::Extension:
        raiseExtension(request.text);
        break;
    case HostVerb::SaveSettings:
        emit SaveSettings();
        break;
    case HostVerb::LoadSettings:
        emit LoadSettings();
        break;
    case HostVerb::CloseSession:
        emit CloseSession();
        break;
    }
}

void nvEmulator::processDisplay(QByteArrayView bytes)
{
    StreamSplitter::Pieces pieces;
    m_extension.split(bytes, pieces);
    for (qsizetype i = 0; i < pieces.list.size(); ++i) {
        const StreamSplitter::Piece &piece = pieces.list.at(i);
        if (piece.kind == StreamSplitter::Kind::Inside
            && m_extensionCommand.size() + piece.bytes.size() > maxExtensionCommand) {
            abandonExtension(piece.bytes, pieces, i + 1);
            return;
        }
        const bool alive = survives([&] {
            switch (piece.kind) {
            case StreamSplitter::Kind::Outside:
                processExtensionFree(piece.bytes);
                break;
            case StreamSplitter::Kind::Begin:
                m_extensionCommand.clear();
                break;
            case StreamSplitter::Kind::Inside:
                m_extensionCommand += piece.bytes;
                break;
            case StreamSplitter::Kind::End:
                raiseExtension(decodeHostText(
                    std::exchange(m_extensionCommand, QByteArray()), hostEncoding()));
                break;
            }
        });
        if (!alive || m_shutdown)
            return;
    }
}

// A lead-in whose terminator does not come within maxExtensionCommand was no extension: what it
// held back is shown after all, and the stream after it (the pieces from `rest` on) is read
// afresh, so a host that never ends one cannot blank the screen for good.
void nvEmulator::abandonExtension(
    QByteArrayView inside, const StreamSplitter::Pieces &pieces, qsizetype rest)
{
    QByteArray shown = m_extension.beginMarker() + std::exchange(m_extensionCommand, QByteArray());
    shown += inside;
    QByteArray after;
    for (qsizetype i = rest; i < pieces.list.size(); ++i) {
        const StreamSplitter::Piece &piece = pieces.list.at(i);
        if (piece.kind == StreamSplitter::Kind::Begin)
            after += m_extension.beginMarker();
        else if (piece.kind == StreamSplitter::Kind::End)
            after += m_extension.endMarker();
        else
            after += piece.bytes;
    }
    after += m_extension.reset();
    if (survives([&] { processExtensionFree(shown); }) && !m_shutdown)
        processDisplay(after);
}

void nvEmulator::processExtensionFree(QByteArrayView bytes)
{
    StreamSplitter::Pieces pieces;
    m_printController.split(bytes, pieces);
    for (const StreamSplitter::Piece &piece : pieces) {
        const bool alive = survives([&] {
            switch (piece.kind) {
            case StreamSplitter::Kind::Outside:
                processPrinterFree(piece.bytes);
                break;
            case StreamSplitter::Kind::Begin:
                beginControllerJob();
                break;
            case StreamSplitter::Kind::Inside:
                controllerData(piece.bytes);
                break;
            case StreamSplitter::Kind::End:
                endControllerJob();
                break;
            }
        });
        if (!alive || m_shutdown)
            return;
    }
}

void nvEmulator::processPrinterFree(QByteArrayView data)
{
    if (!captureData(1, data))
        return;
    // A download that cannot write ends, with its events.
    if (m_download && !survives([&] { m_download->receive(data); }))
        return;
    m_input.append(data); // decoded when a script reads
    m_gotInput = true;
    if (m_printerMode != 0 && !survives([&] { printData(data); }))
        return;
    if (m_printerMode == 2)
        return; // transparent printing: the printer only
    QByteArrayView bytes = data;
    if (m_sink && m_sinkExitMode == 1) {
        const qsizetype exit = bytes.indexOf(m_sinkExitCode);
        if (exit >= 0) {
            m_sink->m_screen->feed(bytes.first(exit));
            DetachAlternateSink();
            bytes = bytes.sliced(exit + 1);
        }
    }
    displayBytes(bytes);
}

void nvEmulator::displayBytes(QByteArrayView bytes)
{
    // The link's data keeps to the time budget of the own screen (an alternate sink's screen
    // takes everything at once).
    if (m_fromLink && !m_sink)
        m_screen->feedWithin(bytes);
    else
        (m_sink ? m_sink->m_screen : m_screen)->feed(bytes);
}

void nvEmulator::raiseExtension(const QString &command)
{
    if (!admitAnswer(AnswerKind::Extension))
        return;
    QString answer = command;
    if (survives([&] { emit Extension(&answer); }) && answer != command && !answer.isEmpty())
        sendToHost(toHost(answer));
}

void nvEmulator::afterHostData()
{
    if (m_gotInput) {
        m_gotInput = false;
        if (!survives([this] { emit DataReady(); }, [this] { wakeWaiter(); }))
            return;
    }
    reportLocation();
}

void nvEmulator::reportLocation(bool force)
{
    const QPoint cursor = m_screen->cursor();
    const int page = m_screen->page();
    if (!force && cursor == m_reportedLocation && page == m_reportedPage)
        return;
    m_reportedLocation = cursor;
    m_reportedPage = page;
    showCursorCell();
    emit LocationChange(Int(cursor.x() + 1), Int(cursor.y() + 1), Int(page + 1));
}

// --- Alternate sink ------------------------------------------------------------------------

void nvEmulator::AttachAlternateSink(nvEmulator *sink, Int exitMode, Int exitCode)
{
    if (!sink || sink == this)
        rt::raise(rt::err::InvalidCall);
    DetachAlternateSink();
    if (sink->m_source)
        sink->m_source->DetachAlternateSink(); // a sink shows one source at a time
    m_sink = sink;
    sink->m_source = this;
    m_sinkExitMode = exitMode;
    m_sinkExitCode = char(exitCode & 0xFF);
}

void nvEmulator::DetachAlternateSink()
{
    if (m_sink) {
        m_sink->m_source = nullptr;
        m_sink = nullptr;
    } else if (m_source) {
        m_source->DetachAlternateSink();
    }
}

Int nvEmulator::AttachState() const
{
    return m_sink ? 1 : m_source ? 2 : 0;
}

} // namespace emu
