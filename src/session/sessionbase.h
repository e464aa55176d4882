#pragma once
// What the rest of the program needs of a session: the sessions collection, the application
// object, the main window, the clean-up timer, the script bridge and the session's own window reach
// a session through this contract only (the session object implements it; tests give stand-ins).
// The transfer settings and default directories live in the emulator control's Settings object
// and are reached through it.

#include "emulator/emusettings.h"
#include "session/sessionmembers.h"
#include "runtime/error.h"

#include <QString>
#include <memory>

class QObject;
class SessionSettings;
class SessionWindow;
class clsServer;

class SessionBase
{
public:
    virtual ~SessionBase() = default;

    // The session's key: the decimal text of its number.
    virtual QString ID() const = 0;
    // Closes the session; prompt: bit 1 asks to save a changed session, bit 2 to disconnect a
    // connected one.
    virtual void Terminate(rt::Int prompt) = 0;
    // Terminate has closed the session; the clean-up timer removes it.
    virtual bool Closing() const = 0;
    // The Settings object of the session's emulator control.
    virtual emu::Settings &EmulatorSettings() const = 0;
    // The object automation clients see for this session.
    virtual QObject *AutomationObject() = 0;
    // The session's window (nullptr once it is gone).
    virtual SessionWindow *Window() const = 0;

    // The session's file ("" without one); setting it loads the file, or the defaults.
    virtual QString FileName() const = 0;
    virtual void setFileName(const QString &fileName) = 0;
    // Saves under fileName, or under the session's own name when it is empty (Save As when
    // there is none).
    virtual void Save(const QString &fileName) = 0;
    // Asks for a name and saves under it; true when the user cancelled.
    virtual bool SaveAs() = 0;
    // Close the session when the host disconnects; show communication errors.
    virtual rt::Int AutoClose() const = 0;
    virtual rt::Int ShowErrs() const = 0;

    // The file pasted last ("" when none); Paste sends a text file ("" the clipboard) to the host.
    virtual QString PasteFromFileName() const = 0;
    virtual void Paste(const QString &fileName) = 0;
    // Sends text to the host.
    virtual void Output(const QString &text) = 0;
    // Dialling on a modem session: the emulator's verbs, arguments and answers unchanged (Wait
    // non-zero returns once the call is up, has failed, or the modem is back on hook).
    virtual rt::Int Dial(const QString &phoneNumber, rt::Int wait = 0) = 0;
    virtual rt::Int HangUp(rt::Int wait = 0) = 0;
    // The emulator's link to the host is up (non-zero).
    virtual rt::Int Connected() const = 0;

    // The host request server: a new request object for this session (every call makes one),
    // server mode and the name the host program gave it, and queueing a request for the host
    // program (false when the session declines it).
    std::shared_ptr<clsServer> Server() const;
    virtual rt::Int ServerMode() const { return rt::False; }
    virtual QString ServerName() const { return QString(); }
    virtual bool ServerRequest(const std::shared_ptr<clsServer> &request, const QString &text)
    {
        Q_UNUSED(request);
        Q_UNUSED(text);
        return false;
    }

    // What the session window hands on from its emulator control: server mode and its name,
    // the answer to a queued host request, and the two events of the session.
    virtual void setServerMode(rt::Int on) = 0;
    virtual void setServerName(const QString &name) = 0;
    virtual void ServerResult(const QString &result, const QString &errNum, const QString &errMsg)
        = 0;
    virtual void RaiseExtension(QString &cmd) = 0;
    virtual void RaiseDataReady() = 0;

    // The session's own settings (the keys it keeps in its session file).
    virtual SessionSettings &AsSessionSettings() = 0;

    // Transfer and capture settings (sessionmembers.h): each read and write goes to the
    // emulator's setting of the same name, so the values travel with the session file.
#define NV_TRANSFER_SETTING(Target, Access, Type, Name)                                            \
    Type Name() const                                                                              \
    {                                                                                              \
        return EmulatorSettings().Name();                                                          \
    }                                                                                              \
    void set##Name(const Type &value)                                                              \
    {                                                                                              \
        EmulatorSettings().set##Name(value);                                                       \
    }
    SESSION_TRANSFER_SETTINGS(NV_TRANSFER_SETTING)
#undef NV_TRANSFER_SETTING
};

using SessionPtr = std::shared_ptr<SessionBase>;
