#pragma once
// The error reporter: every procedure with an error handler hands its error to ReportError, which
// decides from process-wide state whether to ask the user (error dialog frmErrHndlr), writes each
// question and answer to the error log beside the program, and answers 0 (give up: raise the
// saved error again), 1 (retry the statement) or 2 (continue with the next statement).
//
// Some reports are answered without the dialog, logged with the answer and why, and without
// entering the fatal mode: while an automation client's call is served, Fail (the error goes back
// to that client); while the dialog is open for another report, Ignore (the report on screen is
// not disturbed); when nobody can answer (runtime/interaction.h) and no hook is set, Fail.

#include "runtime/error.h"

#include <QString>
#include <functional>

namespace ErrHndlr {

// Nesting counter of silent regions (rt::ResumeNext raises it); 1 or more keeps the reporter quiet.
using rt::gErrNest;
// One-shot flag: the next report is silent and hands the error back unchanged; that report clears
// it.
extern bool gErrReturn;
// Set when the user chose Fail or the dialog could not be shown; never cleared. From then on each
// report only logs its procedure line and answers 0.
extern bool gErrFatal;
// The error saved for the caller to raise again after an answer of 0.
extern rt::Long gErrNumber;
extern QString gErrDescription;
extern QString gErrSource;

// Makes ReportError the runtime's reporter, so every rt::Proc reports through it.
void Install();

// Reports error, raised in procedure of module. On an answer of 0, error is replaced by the saved
// error (SavedError()) so that the handler raises exactly that. Never throws.
rt::Int ReportError(rt::Error &error, const QString &module, const QString &procedure);
// The same for the error being handled: call it inside a catch block (outside one the error
// reads as number 0). After an answer of 0 the caller throws SavedError().
rt::Int ReportError(const QString &module, const QString &procedure);
// The error to raise again after an answer of 0: gErrNumber, gErrDescription, gErrSource.
rt::Error SavedError();

// Appends text and CR LF to the error log; a log that cannot be written is skipped.
void WriteErrorLog(const QString &text);
// The program directory (gAppDir) + the executable's name + ".log".
QString LogFileName();
// The executable's name without directory and extension ("norvalis").
QString ExeName();
// Replaces the executable's name (tests); an empty name goes back to the real one.
void SetExeName(const QString &name);

// The report text: "Procedure:", "Error:", "Description:" and, when the source is not the
// executable itself, "Source:" lines, each ended by CR LF.
QString ReportText(const rt::Error &error, const QString &module, const QString &procedure);

// Tests answer the error dialog through this hook instead of a window: it gets the report text
// and returns the choice (0 Fail, 1 Retry, 2 Ignore). A hook that throws stands for a dialog that
// cannot be loaded. An empty hook restores the dialog.
using DialogHook = std::function<rt::Int(const QString &report)>;
void SetDialogHook(DialogHook hook);

// Forgets the fatal mode, the one-shot flag and the saved error (tests only: the program never
// leaves the fatal mode).
void ResetForTests();

} // namespace ErrHndlr
