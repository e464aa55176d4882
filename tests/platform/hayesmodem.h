#pragma once
// A Hayes-compatible modem played on the master side of a pseudo-terminal pair: the program
// opens the slave side as its serial port (Port 1000 + n for /dev/pts/n). In command mode the
// modem answers each AT command line with OK, and a dial command (ATD...) with the dial result
// the test chose (CONNECT 9600, BUSY, NO CARRIER, NO DIALTONE ...); after CONNECT it is on line
// and passes data until the escape "+++", which it answers with OK. A silent modem answers
// nothing. Everything it was sent is recorded. Header-only ("platform/hayesmodem.h").

#include "runtime/error.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTest>

#include <memory>
#include <pty.h>
#include <unistd.h>

class HayesModem : public QObject
{
public:
    HayesModem()
    {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        const QString device = QString::fromLocal8Bit(::ttyname(m_slave));
        m_port = rt::Int(1000 + device.section(u'/', -1).toInt());
        m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { read(); });
    }
    ~HayesModem() override
    {
        m_notifier.reset();
        if (m_master >= 0) {
            ::close(m_master);
            ::close(m_slave);
        }
    }

    bool isValid() const { return m_master >= 0; }
    // The emulator's Port for this modem.
    rt::Int port() const { return m_port; }
    // The answer to the next dial command ("CONNECT" puts the modem on line).
    void setDialResult(const QByteArray &result) { m_dialResult = result; }
    void setSilent(bool silent) { m_silent = silent; }
    bool online() const { return m_online; }

    QByteArray heard() const { return m_heard; }
    // The command lines heard (without their CR), "+++" included.
    QList<QByteArray> commands() const { return m_commands; }

    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), bytes.size());
    }

private:
    void read()
    {
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        m_heard.append(buffer, n);
        for (ssize_t i = 0; i < n; ++i)
            take(buffer[i]);
    }

    void take(char c)
    {
        m_line += c;
        if (m_line.endsWith("+++")) {
            m_line.clear();
            m_commands << "+++";
            m_online = false;
            answer("OK");
            return;
        }
        if (m_online) {
            m_line = m_line.right(2); // data: only an escape in the making counts
            return;
        }
        if (c != '\r')
            return;
        const QByteArray command = m_line.chopped(1).trimmed();
        m_line.clear();
        if (command.isEmpty())
            return;
        m_commands << command;
        if (!command.toUpper().startsWith("AT"))
            return;
        if (command.toUpper().startsWith("ATD")) {
            m_online = m_dialResult.startsWith("CONNECT");
            answer(m_dialResult);
        } else {
            answer("OK");
        }
    }

    void answer(const QByteArray &result)
    {
        if (!m_silent)
            send("\r\n" + result + "\r\n");
    }

    int m_master = -1;
    int m_slave = -1;
    rt::Int m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_dialResult = "CONNECT 9600";
    bool m_silent = false;
    bool m_online = false;
    QByteArray m_line;
    QByteArray m_heard;
    QList<QByteArray> m_commands;
};
