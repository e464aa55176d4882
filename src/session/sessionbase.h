#pragma once
// What the sessions collection and the application object need of a session. The session object
// implements it; the application reaches the session's transfer settings and default directories,
// which live in its emulator control's Settings object, through it.

#include "emulator/emusettings.h"
#include "runtime/error.h"

#include <QString>
#include <memory>

class QObject;

class SessionBase
{
public:
    virtual ~SessionBase() = default;

    // The session's key: the decimal text of its number.
    virtual QString ID() const = 0;
    // Closes the session; prompt: bit 1 asks to save a changed session, bit 2 to disconnect a
    // connected one.
    virtual void Terminate(rt::Int prompt) = 0;
    // The Settings object of the session's emulator control.
    virtual emu::Settings &EmulatorSettings() const = 0;
    // The object automation clients see for this session (its Session interface).
    virtual QObject *AutomationObject() = 0;

    // Transfer and capture defaults: each read and write goes to the emulator's setting of the
    // same name, so the values travel with the session file.
    QString DefaultCaptureDir() const { return EmulatorSettings().DefaultCaptureDir(); }
    void setDefaultCaptureDir(const QString &v) { EmulatorSettings().setDefaultCaptureDir(v); }
    QString DefaultXferDir() const { return EmulatorSettings().DefaultXferDir(); }
    void setDefaultXferDir(const QString &v) { EmulatorSettings().setDefaultXferDir(v); }

#define SESSION_TRANSFER_SETTINGS(X)                                                               \
    X(DefaultXferMode)                                                                             \
    X(DefaultXferOverwrite)                                                                        \
    X(AsciiEOL)                                                                                    \
    X(AsciiDelay)                                                                                  \
    X(XModemTimeout)                                                                               \
    X(YModemTimeout)                                                                               \
    X(ZModemTimeout)                                                                               \
    X(KermitTimeout)                                                                               \
    X(KermitInitRetry)                                                                             \
    X(KermitErrRetry)                                                                              \
    X(KermitEOL)                                                                                   \
    X(KermitQuote)                                                                                 \
    X(KermitRept)                                                                                  \
    X(KermitCRC)                                                                                   \
    X(ZModemAuto)
#define SESSION_TRANSFER_ACCESSORS(name)                                                           \
    rt::Int name() const                                                                           \
    {                                                                                              \
        return EmulatorSettings().name();                                                          \
    }                                                                                              \
    void set##name(rt::Int v)                                                                      \
    {                                                                                              \
        EmulatorSettings().set##name(v);                                                           \
    }
    SESSION_TRANSFER_SETTINGS(SESSION_TRANSFER_ACCESSORS)
#undef SESSION_TRANSFER_ACCESSORS
#undef SESSION_TRANSFER_SETTINGS
};

using SessionPtr = std::shared_ptr<SessionBase>;
