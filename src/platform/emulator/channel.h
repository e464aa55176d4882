#pragma once
// Connections of the terminal emulator: byte channels to a host. A channel carries bytes only
// (text is mapped to bytes one to one, Latin-1, by its user); the protocol of the link (Telnet
// negotiation, modem commands, the ssh client) stays inside the channel.
//
// Life of a channel: open() starts connecting and returns at once; connected() says the link is
// up. dataReceived() brings the host's bytes. The link ends with exactly one
// disconnected(code, text): code 0 after close() or hangUp(), otherwise the reason below. error()
// reports a failure: a failed open() (the channel is closed again; no disconnected() follows,
// since it never connected), a failed dial, or trouble that breaks an open link (then followed
// by disconnected() with the same code). A host that ends the connection in the ordinary way
// gives disconnected(ClosedByHost) alone. A closed channel may be opened again.
//
// A modem is the exception to "open means connected": open() opens the device (state Open) and
// the link is a call: connected() when a call comes through (dial() or an answered call),
// disconnected() when the call ends, while the device stays open for the next dial until close().
// SSH is open while its client asks for the login (the user answers through the channel) and
// connected once the login has succeeded; a client that gives up before then fails the open.
//
// Reading never holds the program: the host's bytes come out through dataReceived() in slices
// of at most InputSlice bytes, one slice after another for at most InputBudgetMs per turn of the
// event loop; the rest waits for the next turn, so that painting, keys, automation calls and
// timers run in between. What has not been read stays with the system, whose buffer for the
// link is kept small: its flow control holds the host back. holdInput(true) stops reading for a
// receiver that cannot take more now (a transfer program that is behind) until holdInput(false).
// When the link ends, what the host sent before is passed on first.
//
// write() never blocks: what the link cannot take at once waits in the channel. backlog() is
// how much waits (bytes accepted by write() and not yet handed to the system or the device),
// and bytesWritten() says when some of it went out, so that a writer that can produce faster
// than the link carries (a file transfer) holds back while the backlog is large.

#include "emulator/emusettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace emu {

// Error codes of the channels. The control reports code n to the program as the communication
// error commErrorBase + n; the codes of a link that simply ended (6, 9, 10) are the ones the
// program does not show for sessions that offer to reconnect instead.
namespace channelerror {
constexpr int None = 0; // closed by our own close()
constexpr int HostNotFound = 1; // the host name does not resolve
constexpr int Refused = 2; // the host refused the connection
constexpr int TimedOut = 3; // no connection within ConnectTimeout, or no answer to a dial
constexpr int DeviceNotFound = 4; // no such serial device
constexpr int DeviceBusy = 5; // the device is in use by another program
constexpr int ConnectionLost = 6; // the link broke (reset, network down, device unplugged)
constexpr int PermissionDenied = 7; // no right to open the device, or the login was refused
constexpr int DeviceError = 8; // the device refused its settings, or a read or write failed
constexpr int ClosedByHost = 9; // the host ended the connection (or the ssh client ended)
constexpr int CarrierLost = 10; // the modem reported NO CARRIER during a call
constexpr int DialBusy = 11; // dial failed: BUSY
constexpr int DialNoCarrier = 12; // dial failed: NO CARRIER
constexpr int DialNoDialtone = 13; // dial failed: NO DIALTONE
constexpr int DialNoAnswer = 14; // dial failed: NO ANSWER
constexpr int DialError = 15; // dial failed: the modem answered ERROR (or OK without a call)
constexpr int BadSetting = 16; // a setting makes no sense (no host name, bad port, bad number)
constexpr int StartFailed = 17; // the ssh client could not be started
constexpr int NotSupported = 18; // the device cannot do this (dial on a Telnet link ...)
constexpr int Busy = 19; // a dial or hang-up is already in progress
constexpr int NotOpen = 20; // the channel is not open
} // namespace channelerror
constexpr int commErrorBase = 0x32740;

// DialStatus values.
namespace dialstatus {
constexpr int Idle = 0; // no call (modem on hook, or not a modem)
constexpr int Dialing = 1;
constexpr int Connected = 2;
constexpr int HangingUp = 3;
constexpr int Failed = 4; // the last dial failed; error() told why
} // namespace dialstatus

// The text of a code ("" for 0), in English; the channel's signals may add detail.
QString channelErrorText(int code);

// A writer that holds back (a file transfer) stops giving the link more while its backlog is
// above LinkHighWater and goes on once it is down to LinkLowWater.
inline constexpr qint64 LinkHighWater = 256 * 1024;
inline constexpr qint64 LinkLowWater = 64 * 1024;

// The most a channel passes on at once, and how long it goes on passing on per turn.
inline constexpr qsizetype InputSlice = 16 * 1024;
inline constexpr int InputBudgetMs = 4;
// What a channel lets its device library hold for it before the system's buffer fills.
inline constexpr qint64 InputBufferSize = 4 * InputSlice;

class Channel : public QObject
{
    Q_OBJECT
public:
    enum class State { Closed, Opening, Open };

    explicit Channel(QObject *parent = nullptr);
    ~Channel() override;

    // The Device code this channel serves.
    virtual Int device() const = 0;
    // Starts connecting; connected() or error() follows, always from the event loop, never from
    // inside open(). Opening a channel that is not closed does nothing.
    virtual void open() = 0;
    // Ends the link at once: when it was connected, disconnected(0) is emitted before close()
    // returns; an open in progress is abandoned silently.
    virtual void close() = 0;
    // Sends bytes to the host; false (nothing sent) when the channel is not open.
    virtual bool write(const QByteArray &data) = 0;
    // Bytes accepted by write() that have not gone out yet (0 when closed). Counted as they go
    // on the link: a Telnet channel's doubled IAC counts twice.
    virtual qint64 backlog() const;
    // Sends a Break the link's way; false when the link has none or is not open.
    virtual bool sendBreak();
    // Tells the host the screen size (Telnet NAWS, the pseudo-terminal of ssh); others ignore it.
    virtual void setWindowSize(int cols, int rows);

    // Dialling (a modem; the others answer NotSupported at once). dial() returns 0 when the call
    // has started, else the error code (BadSetting for an empty number or one with other than
    // dial characters, Busy during a call, a dial or a hang-up, NotOpen, NotSupported). Its
    // outcome: connected(), or error() with a Dial* code or TimedOut; dialStatusChanged() follows
    // each step.
    virtual int dial(const QString &number);
    // Ends a call: 0 when started (disconnected(0) follows when the call is down). The default
    // closes the channel.
    virtual int hangUp();
    virtual int dialStatus() const;

    State state() const;
    bool isOpen() const { return state() == State::Open; }
    // True while the link to the host is up: open, and for a modem with a call in progress.
    virtual bool isConnected() const;
    // A short description for the status line, e.g. "Telnet host:23".
    virtual QString description() const = 0;
    // The host at the other end, named by peerName() from the settings the channel was made
    // with (a later change of the settings does not change it).
    QString peerName() const { return m_peerName; }

    // Stops (true) or resumes (false) the reading of host bytes; a new or closed channel reads.
    void holdInput(bool held);
    bool isInputHeld() const { return m_inputHeld; }

signals:
    void connected();
    void dataReceived(const QByteArray &data);
    void disconnected(int code, const QString &text);
    void error(int code, const QString &text);
    void stateChanged(emu::Channel::State state);
    void dialStatusChanged(int status);
    // Some of the backlog went out (bytes: how much).
    void bytesWritten(qint64 bytes);

protected:
    void setState(State state);
    // Helpers that set the state and emit in the documented order.
    void reportOpened(); // Open, then connected() when isConnected()
    void reportOpenFailed(int code, const QString &detail); // Closed + error()
    // Closed, error() unless the code is 0 or ClosedByHost, then disconnected().
    void reportEnded(int code, const QString &detail);
    // The same from the event loop; nothing happens if the state left Opening meanwhile.
    void failOpenLater(int code, const QString &detail);
    static QString errorMessage(int code, const QString &detail);

    // Reading. The device has bytes: they are read from the event loop in slices.
    void inputReady();
    // Passes on everything that can be read now, without a time limit (the link is ending).
    void drainInput();
    // Reads at most max bytes from the device into *bytes (what the host sent in them: a
    // protocol may keep some for itself). False when nothing was there to read; the channel then
    // calls inputReady() when there is.
    virtual bool readInput(qsizetype max, QByteArray *bytes) = 0;
    // Passes bytes on; a modem looks at them as they go.
    virtual void passOn(const QByteArray &bytes);

private:
    friend Channel *createChannel(const Settings &settings, QObject *parent);

    // One turn's slices; false when the channel went away or stopped reading meanwhile.
    void pumpInput();
    bool readSlice(bool *more);

    State m_state = State::Closed;
    QString m_peerName;
    bool m_inputHeld = false;
    bool m_pumpQueued = false;
};

// A channel for the settings' Device, reading what it needs from them now (a later change of
// the settings needs a new channel); nullptr for 0 (no device) and unknown codes.
Channel *createChannel(const Settings &settings, QObject *parent = nullptr);

// The host that the settings connect to: "telnet:<host>:<port>", "tcp:<host>:<port>",
// "ssh:<host>:<port>" (the host name in lower case, the port as the connection uses it, or the
// HostPort text when it names no port), "serial:<device>" or "modem:<device>" (the device path
// of Port), "none" without a device.
QString peerName(const Settings &settings);

// What a message names as the other end: "<host> port <port>" for a network device, the device
// path of Port for a serial line or modem, "" without a device.
QString linkTarget(const Settings &settings);

// The device path of a Port number: 1-99 /dev/ttyS(n-1), 100-199 /dev/ttyUSB(n-100),
// 200-299 /dev/ttyACM(n-200), 1000 and above /dev/pts/(n-1000); "" for other numbers.
QString serialDeviceName(Int port);

} // namespace emu
