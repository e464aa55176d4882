#pragma once
// Serial-port connections (Device 1): the port that Port names (see serialDeviceName) with Baud,
// Parity, DataBits, StopBits and Handshake. The link is up as soon as the port is open.

#include "emulator/channel.h"

#include <QSerialPort>

namespace emu {

class SerialChannel : public Channel
{
    Q_OBJECT
public:
    explicit SerialChannel(const Settings &settings, QObject *parent = nullptr);
    ~SerialChannel() override;

    Int device() const override { return device::Serial; }
    void open() override;
    void close() override;
    bool write(const QByteArray &data) override;
    qint64 backlog() const override;
    bool sendBreak() override;
    QString description() const override;

    // The device path; set before open() to use another one than Port names.
    QString portName() const { return m_portName; }
    void setPortName(const QString &path) { m_portName = path; }

protected:
    bool readInput(qsizetype max, QByteArray *bytes) override;
    // The port itself, for the modem's control lines.
    QSerialPort *port() const { return m_port; }
    // Closes the port and reports how the link ended.
    void endLink(int code, const QString &detail);

private:
    // Applies the line settings; an error text when one of them is not valid.
    QString configure();
    void onError(QSerialPort::SerialPortError serialError);
    // True when the device reports that the line is gone.
    bool lineEnded() const;

    QSerialPort *m_port;
    QString m_portName;
    Int m_portNumber;
    qint32 m_baud;
    Int m_parity;
    Int m_dataBits;
    Int m_stopBits;
    Int m_handshake;
};

} // namespace emu
