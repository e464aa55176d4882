#pragma once
// The session file of a session that connects to a loopback host: [Norvalis] TermType 9 (ANSI)
// and, when given, SessionTitle; [Connection] the device (2 raw TCP, 3 Telnet), 127.0.0.1 and
// the port. openHostSession opens such a session in the running program (started in the test's
// process) through Sessions.Add and waits until its link is up (a warning when it does not come
// up).

#include "app/norvalis.h"
#include "common/testutil.h"
#include "emulator/emulator.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QByteArray>
#include <QString>
#include <QTest>
#include <memory>

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

inline std::shared_ptr<clsSession> openHostSession(const QString &file, quint16 port)
{
    writeBytes(file, hostSessionFile(port));
    const auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file));
    if (!QTest::qWaitFor([&] { return session->Emulator()->Connected() != 0; }, 20000))
        qWarning("the session did not connect to port %d", int(port));
    return session;
}
