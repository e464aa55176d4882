#pragma once
// Modem connections (Device 4): a serial port with a Hayes-compatible modem on it. Opening opens
// the port; the link is a call: dial() first asks the modem for "AT" and, when it answers (OK or
// ERROR), sends the dial command and waits (ConnectTimeout seconds, 60 when 0) for the modem's
// result; a port where nothing answers "AT" within the probe time fails the dial at once. hangUp() hangUp() returns the modem to command mode (guard time,
// "+++", and the modem's OK) and sends "ATH0", dropping DTR when the modem does not answer. While a
// call is up, "NO CARRIER" from the modem ends it. Everything the modem sends is also passed on, so
// the user sees its answers. A call the modem answers by itself ("CONNECT" while idle) is taken
// as connected; AutoAnswer non-zero tells the modem to answer on the first ring.

#include "emulator/serialchannel.h"

#include <QTimer>

namespace emu {

class ModemChannel : public SerialChannel
{
    Q_OBJECT
public:
    explicit ModemChannel(const Settings &settings, QObject *parent = nullptr);

    Int device() const override { return device::Modem; }
    int dial(const QString &number) override;
    int hangUp() override;
    int dialStatus() const override { return m_status; }
    bool isConnected() const override;
    QString description() const override;

    // A number that is not empty and holds only dial characters (dialing::onlyDialCharacters).
    static bool isDialable(const QString &number);

    // Tuning; the defaults suit real modems: guard time 1000 ms, "+++" (after the guard time) and
    // "ATH0" each answered within 3000 ms.
    void setGuardTime(int ms) { m_guardMs = ms; }
    void setHangUpTimeout(int ms) { m_hangUpTimeoutMs = ms; }
    // How long the modem has to answer "AT" before a dial (2000 ms).
    void setProbeTimeout(int ms) { m_probeMs = ms; }

protected:
    void passOn(const QByteArray &data) override;

private:
    enum class HangUpStep { None, GuardBefore, AwaitEscapeOk, AwaitOk, DtrLow };

    void setDialStatus(int status);
    void onStateChanged(State state);
    void onLine(const QByteArray &line);
    void onDialTimeout();
    void sendDialCommand();
    void failDial(int code, const QString &detail);
    void callUp();
    void callEnded(int code, const QString &detail);
    void hangUpStep();
    void finishHangUp();

    int m_status = dialstatus::Idle;
    int m_dialTimeoutSeconds;
    bool m_autoAnswer;
    int m_guardMs = 1000;
    int m_hangUpTimeoutMs = 3000;
    int m_probeMs = 2000;
    bool m_probing = false; // the dial waits for the modem's answer to "AT"
    QByteArray m_dialCommand;
    QByteArray m_line;
    QTimer m_dialTimer;
    QTimer m_hangUpTimer;
    HangUpStep m_hangUpStep = HangUpStep::None;
};

} // namespace emu
