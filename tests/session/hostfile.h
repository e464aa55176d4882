#pragma once
// The session file of a session that connects to a loopback host: [Norvalis] TermType 9 (ANSI)
// and, when given, SessionTitle; [Connection] the device (2 raw TCP, 3 Telnet), 127.0.0.1 and
// the port.

#include <QByteArray>
#include <QString>

inline QByteArray hostSessionFile(quint16 port, const QString &title = QString(), int device = 2)
{
    QString text = QStringLiteral("[Norvalis]\nTermType=9\n");
    if (!title.isEmpty())
        text += QStringLiteral("SessionTitle=%1\n").arg(title);
    text += QStringLiteral("[Connection]\nDevice=%1\nHostName=127.0.0.1\nHostPort=%2\n")
                .arg(device)
                .arg(port);
    return text.toUtf8();
}
