#pragma once
// A session of the running program (started in the test's process) that connects over raw TCP to
// a loopback port: its file written as hostfile.h says, opened through Sessions.Add, and waited
// for until the link is up (a warning when it does not come up).

#include "app/norvalis.h"
#include "emulator/emulator.h"
#include "session/hostfile.h"
#include "session/session.h"
#include "session/sessions.h"

#include <QFile>
#include <QTest>
#include <memory>

inline std::shared_ptr<clsSession> openHostSession(const QString &file, quint16 port)
{
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(hostSessionFile(port));
    out.close();
    const auto session = std::static_pointer_cast<clsSession>(gApp->ClsSessions().Add(file));
    if (!QTest::qWaitFor([&] { return session->Emulator()->Connected() != 0; }, 20000))
        qWarning("the session did not connect to port %d", int(port));
    return session;
}
