#include "emulator/modemchannel.h"

#include "dialing/dialing.h"
#include "emulator/emulog.h"

namespace emu {

namespace {
constexpr qsizetype kMaxLine = 256;
constexpr int kDefaultDialSeconds = 60;
constexpr int kDtrLowMs = 500;
constexpr char kProbe[] = "AT\r";
} // namespace

ModemChannel::ModemChannel(const Settings &settings, QObject *parent)
    : SerialChannel(settings, parent)
    , m_dialTimeoutSeconds(
          settings.ConnectTimeout() > 0 ? settings.ConnectTimeout() : kDefaultDialSeconds)
    , m_autoAnswer(settings.AutoAnswer() != 0)
{
    m_dialTimer.setSingleShot(true);
    m_hangUpTimer.setSingleShot(true);
    connect(&m_dialTimer, &QTimer::timeout, this, &ModemChannel::onDialTimeout);
    connect(&m_hangUpTimer, &QTimer::timeout, this, &ModemChannel::hangUpStep);
    connect(this, &Channel::stateChanged, this, &ModemChannel::onStateChanged);
}

bool ModemChannel::isDialable(const QString &number)
{
    return !number.trimmed().isEmpty() && dialing::onlyDialCharacters(number);
}

bool ModemChannel::isConnected() const
{
    return isOpen() && m_status == dialstatus::Connected;
}

QString ModemChannel::description() const
{
    return QStringLiteral("Modem %1").arg(portName());
}

void ModemChannel::setDialStatus(int status)
{
    if (m_status == status)
        return;
    m_status = status;
    emit dialStatusChanged(status);
}

void ModemChannel::onStateChanged(State state)
{
    if (state == State::Open) {
        if (m_autoAnswer)
            port()->write("ATS0=1\r");
    } else if (state == State::Closed) {
        m_dialTimer.stop();
        m_probing = false;
        m_hangUpTimer.stop();
        m_hangUpStep = HangUpStep::None;
        m_line.clear();
        setDialStatus(dialstatus::Idle);
    }
}

int ModemChannel::dial(const QString &number)
{
    if (!isOpen())
        return channelerror::NotOpen;
    if (m_status == dialstatus::Dialing || m_status == dialstatus::HangingUp
        || m_status == dialstatus::Connected)
        return channelerror::Busy;
    if (!isDialable(number))
        return channelerror::BadSetting;
    const QByteArray command = dialing::dialCommand(number);
    if (command.isEmpty())
        return channelerror::BadSetting;
    m_line.clear();
    m_dialCommand = command;
    m_probing = true;
    port()->write(kProbe);
    setDialStatus(dialstatus::Dialing);
    m_dialTimer.start(m_probeMs);
    return channelerror::None;
}

void ModemChannel::sendDialCommand()
{
    m_probing = false;
    port()->write(m_dialCommand);
    m_dialTimer.start(m_dialTimeoutSeconds * 1000);
}

int ModemChannel::hangUp()
{
    if (!isOpen())
        return channelerror::NotOpen;
    switch (m_status) {
    case dialstatus::HangingUp:
        return channelerror::Busy;
    case dialstatus::Dialing:
        // Any character stops a modem that is dialling.
        port()->write("\r");
        m_dialTimer.stop();
        m_probing = false;
        setDialStatus(dialstatus::Idle);
        return channelerror::None;
    case dialstatus::Connected:
        setDialStatus(dialstatus::HangingUp);
        m_hangUpStep = HangUpStep::GuardBefore;
        m_hangUpTimer.start(m_guardMs);
        return channelerror::None;
    default:
        return channelerror::None; // no call
    }
}

// The hang-up runs in steps: silence, "+++" and the modem's OK after its own guard time (it is
// in command mode then), "ATH0" and its OK. A modem that does not answer a step is hung up by
// dropping DTR for a moment. The timer ends each step that waits.
void ModemChannel::hangUpStep()
{
    switch (m_hangUpStep) {
    case HangUpStep::GuardBefore:
        m_line.clear();
        port()->write("+++");
        m_hangUpStep = HangUpStep::AwaitEscapeOk;
        m_hangUpTimer.start(m_guardMs + m_hangUpTimeoutMs);
        break;
    case HangUpStep::AwaitEscapeOk:
    case HangUpStep::AwaitOk:
        if (port()->setDataTerminalReady(false)) {
            m_hangUpStep = HangUpStep::DtrLow;
            m_hangUpTimer.start(kDtrLowMs);
        } else {
            qCDebug(lcEmulator) << "the modem did not hang up and DTR cannot be dropped";
            finishHangUp(); // nothing more a program can do
        }
        break;
    case HangUpStep::DtrLow:
        port()->setDataTerminalReady(true);
        finishHangUp();
        break;
    case HangUpStep::None:
        break;
    }
}

void ModemChannel::finishHangUp()
{
    m_hangUpTimer.stop();
    m_hangUpStep = HangUpStep::None;
    callEnded(channelerror::None, QString());
}

void ModemChannel::passOn(const QByteArray &data)
{
    SerialChannel::passOn(data);
    for (char c : data) {
        if (!isOpen())
            return; // a handler closed the channel
        if (c == '\r' || c == '\n') {
            if (!m_line.isEmpty())
                onLine(m_line.trimmed().toUpper());
            m_line.clear();
        } else if (m_line.size() < kMaxLine) {
            m_line += c;
        }
    }
}

void ModemChannel::onLine(const QByteArray &line)
{
    switch (m_status) {
    case dialstatus::Dialing:
        if (m_probing) {
            // Any answer shows a modem is there (its echo of "AT" is no answer).
            if (line == "OK" || line == "ERROR")
                sendDialCommand();
        } else if (line.startsWith("CONNECT"))
            callUp();
        else if (line == "BUSY")
            failDial(channelerror::DialBusy, QString());
        else if (line == "NO CARRIER")
            failDial(channelerror::DialNoCarrier, QString());
        else if (line == "NO DIALTONE" || line == "NO DIAL TONE")
            failDial(channelerror::DialNoDialtone, QString());
        else if (line == "NO ANSWER")
            failDial(channelerror::DialNoAnswer, QString());
        else if (line == "ERROR")
            failDial(channelerror::DialError, QStringLiteral("the modem refused the command"));
        else if (line == "OK")
            failDial(channelerror::DialError, QStringLiteral("no data connection"));
        break;
    case dialstatus::Connected:
        if (line == "NO CARRIER")
            callEnded(channelerror::CarrierLost, QString());
        break;
    case dialstatus::HangingUp:
        if (line == "NO CARRIER" || (line == "OK" && m_hangUpStep == HangUpStep::AwaitOk)) {
            finishHangUp();
        } else if (line == "OK" && m_hangUpStep == HangUpStep::AwaitEscapeOk) {
            port()->write("ATH0\r");
            m_hangUpStep = HangUpStep::AwaitOk;
            m_hangUpTimer.start(m_hangUpTimeoutMs);
        }
        break;
    default:
        if (line.startsWith("CONNECT"))
            callUp(); // the modem answered a call
        break;
    }
}

void ModemChannel::callUp()
{
    m_dialTimer.stop();
    setDialStatus(dialstatus::Connected);
    emit connected();
}

void ModemChannel::failDial(int code, const QString &detail)
{
    m_dialTimer.stop();
    m_probing = false;
    setDialStatus(dialstatus::Failed);
    emit error(code, errorMessage(code, detail));
}

void ModemChannel::onDialTimeout()
{
    if (m_status != dialstatus::Dialing)
        return;
    if (m_probing) {
        m_probing = false;
        failDial(channelerror::DialError,
            QStringLiteral("no modem answers on %1").arg(portName()));
        return;
    }
    port()->write("\r");
    failDial(channelerror::TimedOut,
        QStringLiteral("no connection within %1 seconds").arg(m_dialTimeoutSeconds));
}

void ModemChannel::callEnded(int code, const QString &detail)
{
    setDialStatus(dialstatus::Idle);
    const QString text = errorMessage(code, detail);
    if (code != channelerror::None)
        emit error(code, text);
    emit disconnected(code, text);
}

} // namespace emu
