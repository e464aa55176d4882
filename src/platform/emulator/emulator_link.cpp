// The emulator control: the link to the host, dialling and hanging up.

#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/emulator_internal.h"
#include "emulator/emulog.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include <algorithm>

namespace emu {

using detail::fail;

namespace {

constexpr int maxHangUpSeconds = 30;
// Pixels a window manager's title bar takes beside the title: icon, buttons, margins.
constexpr int titleFrameReserve = 160;
constexpr qsizetype hostDataSlice = 64 * 1024;

} // namespace

// --- Connection ----------------------------------------------------------------------------

QString nvEmulator::connectionKey() const
{
    QStringList parts;
    for (const SettingDef &def : settingTable()) {
        if (def.section == QLatin1String("Connection") || def.id == Setting::TermType)
            parts << m_settings->value(def.id).toString();
    }
    return parts.join(QChar(1));
}

void nvEmulator::connectHost()
{
    dropChannel();
    Channel *channel = createChannel(*m_settings, this);
    if (!channel) {
        m_statusText = QStringLiteral("No device");
        emit StatusChange(m_statusText);
        return;
    }
    m_channel = channel;
    m_transferHolds = false;
    m_channelKey = connectionKey();
    m_linkStale = false;
    connect(channel, &Channel::connected, this, &nvEmulator::onConnected);
    connect(channel, &Channel::dataReceived, this, &nvEmulator::onChannelData);
    connect(channel, &Channel::error, this, &nvEmulator::onChannelError);
    connect(channel, &Channel::disconnected, this, &nvEmulator::onChannelDisconnected);
    connect(channel, &Channel::dialStatusChanged, this, &nvEmulator::wakeWaiter);
    connect(channel, &Channel::bytesWritten, this, [this] {
        if (m_xfer)
            m_xfer->linkWritten();
        if (m_upload)
            m_upload->linkWritten();
    });
    connect(channel, &Channel::stateChanged, this, [this](Channel::State state) {
        if (state == Channel::State::Open && !m_pendingDial.isEmpty()) {
            const int code = m_channel->dial(std::exchange(m_pendingDial, QString()));
            if (code)
                onChannelError(code, channelErrorText(code));
        }
    });
    channel->setWindowSize(m_screen->cols(), m_screen->rows());
    // A modem's port opens when a number is dialled, unless the modem is to answer calls.
    if (channel->device() != device::Modem || m_settings->AutoAnswer() != 0) {
        m_statusText = QStringLiteral("Connecting: ") + channel->description();
        emit StatusChange(m_statusText);
        channel->open();
    }
}

void nvEmulator::dropChannel()
{
    m_pendingDial.clear();
    if (!m_channel)
        return;
    Channel *channel = m_channel;
    m_channel = nullptr;
    disconnect(channel, nullptr, this, nullptr);
    const bool wasConnected = channel->isConnected();
    channel->close();
    // The channel may be inside one of its own signals (a handler of host data closed the
    // session): it must outlive this control and go from the event loop.
    channel->setParent(nullptr);
    channel->deleteLater();
    // A transfer has lost its link too (a program held for it would wait for ever).
    if (m_xfer)
        m_xfer->linkLost();
    if (m_upload)
        m_upload->linkLost();
    m_linkUp = false;
    m_linkPeer.clear();
    m_linkStale = false;
    restartHostStream();
    if (m_shutdown)
        return;
    if (wasConnected)
        emit StateNotify(statecode::Connected, rt::False);
    if (m_serverMode) {
        m_serverMode = false;
        emit ServerExit();
    }
}

void nvEmulator::onConnected()
{
    m_linkUp = true;
    m_linkPeer = m_channel->peerName();
    forgetLastHost();
    m_statusText = QStringLiteral("Connected: ") + m_channel->description();
    m_channel->setWindowSize(m_screen->cols(), m_screen->rows());
    if (m_dialing) {
        m_dialing = false;
        m_dialResult = 0;
    }
    survives([this] { emit StatusChange(m_statusText); },
        [this] { emit StateNotify(statecode::Connected, rt::True); }, [this] { wakeWaiter(); });
}

// The new host starts with the session's colours, with function keys that send what the
// terminal's do, unlocked, and with its data read from its start (by the screen and the
// scripts alike).
void nvEmulator::forgetLastHost()
{
    setHostColor(-1, 0);
    restartHostStream();
    m_screen->newLink();
    m_input.restart();
}

// A request, an extension command or a print-controller sequence that the last link left
// unfinished is given up, so that none of it takes in the next host's first text.
void nvEmulator::restartHostStream()
{
    m_protocol.reset();
    m_extension.reset();
    m_extensionCommand.clear();
    m_printController.reset();
    m_controllerActive = false;
}

// The link's data goes to the screen within the screen's time budget per turn; while the screen
// is behind, the link is held (holdHostInput).
void nvEmulator::onChannelData(const QByteArray &data)
{
    const QPointer<nvEmulator> self(this);
    m_fromLink = true;
    feedHostData(data);
    if (self.isNull())
        return;
    m_fromLink = false;
    holdHostInput();
}

void nvEmulator::holdHostInput()
{
    if (m_channel)
        m_channel->holdInput(m_transferHolds || m_screen->behind());
}

// A read may bring megabytes (a host that floods requests): they are taken in slices, so that
// what one slice makes (requests, display pieces) stays small.
void nvEmulator::feedHostData(const QByteArray &data)
{
    const QPointer<nvEmulator> self(this);
    QByteArray stripped;
    for (qsizetype at = 0; at < data.size(); at += hostDataSlice) {
        if (self.isNull() || m_shutdown)
            return;
        QByteArrayView slice
            = QByteArrayView(data).sliced(at, std::min(hostDataSlice, data.size() - at));
        m_bytesIn += slice.size();
        if (m_settings->Strip8th()) {
            stripped.resize(slice.size());
            std::transform(slice.begin(), slice.end(), stripped.begin(),
                [](char c) { return char(uchar(c) & 0x7F); });
            slice = stripped;
        }
        processHostData(slice);
    }
}

// The box is made at least as wide as its title and the frame's buttons need, so that the window
// manager shows the title whole.
void nvEmulator::showErrorBox(const QString &text)
{
    const QString title = QStringLiteral("Communication error");
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout())) {
        QFont font = box->font();
        font.setBold(true);
        const int width = QFontMetrics(font).horizontalAdvance(title) + titleFrameReserve;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
    box->open();
}

void nvEmulator::onChannelError(int code, const QString &text)
{
    if (m_shutdown)
        return;
    const bool dialResult = m_dialing;
    if (m_dialing) {
        m_dialing = false;
        m_dialResult = code;
    }
    // A link that fails to come up is shown in any case; trouble on a link that was up only
    // when the window wants it.
    // A link that fails to come up names where it was going ("Host not found" alone does not);
    // a dial's result is the modem's answer to the number dialled.
    const QString target = linkTarget(*m_settings);
    const QString message = m_linkUp || dialResult || target.isEmpty() || text.contains(target)
        ? text
        : target + QStringLiteral(": ") + text;
    rt::Long reported = commErrorBase + code;
    if (!survives([&] { emit CommError(&reported, message, m_linkUp ? rt::False : rt::True); },
            [&] {
                m_statusText = message;
                emit StatusChange(message);
            }))
        return;
    if (reported != 0)
        showErrorBox(message);
    endWaits(false);
}

void nvEmulator::onChannelDisconnected(int code, const QString &text)
{
    if (m_shutdown)
        return;
    m_linkUp = false;
    m_linkPeer.clear();
    m_protocol.reset();
    if (!survives([this] { emit StateNotify(statecode::Connected, rt::False); })
        || !endTransfer(xferresult::Completed))
        return;
    if (m_serverMode) {
        // The host program is gone with its link: its queued requests must not wait forever.
        m_serverMode = false;
        if (!survives([this] { emit ServerExit(); }))
            return;
    }
    m_statusText = code ? text : QStringLiteral("Disconnected");
    if (!survives([this] { emit StatusChange(m_statusText); }))
        return;
    endWaits(true);
    if (code != channelerror::None)
        emit Disconnect();
}

QString nvEmulator::LinkPeer() const
{
    return m_linkPeer.isEmpty() ? QStringLiteral("none") : m_linkPeer;
}

void nvEmulator::noteLinkPeer()
{
    const bool stale = m_channel && m_channel->peerName() != peerName(*m_settings);
    if (stale == m_linkStale)
        return;
    m_linkStale = stale;
    if (m_linkUp)
        survives([this] { emit StatusChange(m_statusText); });
}

bool nvEmulator::admitAnswer(AnswerKind kind)
{
    return m_answers.admit(kind, m_channel ? m_channel->backlog() : 0);
}

bool nvEmulator::sendToHost(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    if (!m_channel || !m_channel->isOpen() || !m_channel->write(bytes)) {
        // Answers and keys for a host that is not there are dropped; callers that must know
        // (Output, ServerRequest, uploads) check the link or the result themselves.
        qCDebug(lcEmulator) << "not sent, no open link:" << bytes.size() << "bytes";
        return false;
    }
    m_bytesOut += bytes.size();
    return true;
}

bool nvEmulator::linkOpen() const
{
    return m_channel && m_channel->isOpen();
}

void nvEmulator::requireConnection() const
{
    if (!linkOpen())
        fail(emuerror::NotConnected);
}

Int nvEmulator::Dial(const QString &phoneNumber, Int wait)
{
    if (m_settings->Device() != device::Modem)
        fail(emuerror::CannotDial);
    if (!m_channel || m_channel->device() != device::Modem || m_channelKey != connectionKey())
        connectHost();
    if (!m_channel)
        fail(emuerror::NoDevice);
    m_dialing = true;
    m_dialResult = -1;
    m_statusText = QStringLiteral("Dialling ") + phoneNumber;
    emit StatusChange(m_statusText);
    if (m_channel->isOpen()) {
        if (const int code = m_channel->dial(phoneNumber)) {
            m_dialing = false;
            return Int(code);
        }
    } else {
        m_pendingDial = phoneNumber;
        if (m_channel->state() == Channel::State::Closed)
            m_channel->open();
    }
    if (!wait)
        return 0;
    const int result = runWait(-1, [this] { return !m_dialing; });
    if (result < 0)
        return -1;
    m_dialing = false;
    return Int(m_dialResult);
}

Int nvEmulator::HangUp(Int wait)
{
    if (!m_channel || m_channel->state() == Channel::State::Closed)
        return 0;
    m_pendingDial.clear();
    m_dialing = false;
    if (const int code = m_channel->hangUp())
        return Int(code);
    if (!wait)
        return 0;
    // A modem hangs up in steps ("+++", "ATH0", the modem's answers or their time-outs): the
    // wait ends when it is back on hook, or when the channel has gone.
    runWait(maxHangUpSeconds, [this] {
        return !m_channel
            || (!m_channel->isConnected() && m_channel->dialStatus() != dialstatus::HangingUp);
    });
    return 0;
}

} // namespace emu
