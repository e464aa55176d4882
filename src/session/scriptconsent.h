#pragma once
// Consent for scripts that a host sends. Any text that reaches a session's screen can carry the
// host protocol's script request (a file the user shows with cat, a mail, a web page), and a
// script can do anything the object model can (capture into any file, save a session over any
// path). So a script from a host runs only when the user allows it: the session window asks
// (Ask), showing the whole script, with the answers Run (this script), Always for this host
// (remembered) and Don't run; a host that is remembered runs its scripts without a question. Scripts the user starts (Run
// Script, tool actions) and those of DDE and automation clients do not come this way.
//
// A host is named by the connection that is up (the link's own, set when it connected), never by
// settings that may have changed since; the link's data stops at such a change until the new
// link is up (emulator/emulator.h). The names: "telnet:<host>:<port>", "tcp:<host>:<port>",
// "ssh:<host>:<port>" (host names in lower case, the port as the connection uses it), or
// "serial:<device>" and "modem:<device>" for a serial port; "none" without a link. The hosts
// allowed always are kept in the per-user settings store, as values named after the host under
// Software\Dremo\Nvwin2k\ScriptHosts (never in a session file); automation clients reach the
// same list through NVWin32.ScriptHosts at /ScriptHosts (interfaces/scripthostsiface.h).

#include "emulator/emusettings.h"

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace emu {
class nvEmulator;
}

namespace ScriptConsent {

// The host a session's settings connect to, as consent is kept for it.
QString HostOf(const emu::Settings &settings);
// The host of the emulator's link that is up ("none" without one): the one asked about.
QString LinkHostOf(const emu::nvEmulator &emulator);

bool IsAllowed(const QString &host);
// Remembers the host for good; false when the settings store cannot be written.
bool Allow(const QString &host);
// Forgets the host (it is asked again); false when it was not allowed.
bool Revoke(const QString &host);
// The hosts allowed always.
QStringList AllowedHosts();

enum class Answer { Run, Always, DontRun };

// The first line of a script that is not blank, as the log shows it (at most 200 characters).
QString FirstLine(const QString &script);

// A text of the host as the question shows it, so that what the user reads is what runs: every
// control and format character (bidirectional overrides and isolates, zero-width ones, NUL, ESC
// ...) becomes a visible escape such as "<U+202E>", except LF and TAB. A CR LF pair is one line
// end; a lone CR and the line and paragraph separators (U+2028, U+2029), which end a line for
// the script engine as well, show their escape and end the line.
QString Shown(const QString &text);

// Opens the question for a script of host over parent, without holding anything up, and calls
// done with the user's answer (Don't run when the question is closed). The question is the
// returned window, object name "frmScriptConsent": the label "lblQuestion", the host that asks
// in "lblHost" ("Host: " and its name), the whole script in "txtScript" (as Shown, read-only,
// monospaced, scrollable, never rendered as markup) and the buttons "cmdRun", "cmdAlways" and
// "cmdDontRun" (the default); it goes with parent.
QWidget *Ask(QWidget *parent, const QString &host, const QString &script,
    std::function<void(Answer)> done);

} // namespace ScriptConsent
