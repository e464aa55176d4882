#include "app/errhndlr.h"

#include "app/appglobals.h"
#include "app/errdlg.h"
#include "app/files.h"
#include "automation/guard.h"
#include "runtime/interaction.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <memory>

namespace ErrHndlr {

bool gErrReturn = false;
bool gErrFatal = false;
rt::Long gErrNumber = 0;
QString gErrDescription;
QString gErrSource;

namespace {

const QString CrLf = QStringLiteral("\r\n");

QString gExeName; // set by tests
DialogHook gDialogHook;

// True while a report is being answered (dialog or fallback box on screen): a report that
// arrives meanwhile from a timer, a D-Bus call or DDE must not open a second one.
bool gAsking = false;

struct AskingScope
{
    AskingScope() { gAsking = true; }
    ~AskingScope() { gAsking = false; }
};

// The reporter never fails: a step of its own that fails is skipped (and noted for debugging).
template<class F> void skipFailure(F &&statement)
{
    try {
        statement();
    } catch (...) {
        rt::debugSwallowed(lcApp(), rt::currentError(), "error reporter: a step skipped");
    }
}

void saveError(const rt::Error &error)
{
    gErrNumber = error.number;
    gErrDescription = error.description;
    gErrSource = error.source;
}

// Answer 0: the caller raises the error saved here.
rt::Int giveUp(rt::Error &error)
{
    saveError(error);
    error = SavedError();
    return 0;
}

// Negative numbers read best as the 32-bit code they are (0x800407D1), others in decimal.
QString errorNumberText(rt::Long number)
{
    if (number < 0)
        return QStringLiteral("0x")
            + QString::number(quint32(number), 16).toUpper().rightJustified(8, QLatin1Char('0'));
    return QString::number(number);
}

QString procedureLine(const rt::Error &error, const QString &module, const QString &procedure)
{
    QString line = QStringLiteral("Procedure:\t%1 (%2)").arg(procedure, module);
    if (error.line > 0)
        line += QStringLiteral(" line %1").arg(error.line);
    return line + CrLf;
}

// The locale's short date and its time with seconds, on one line.
QString logDateTime()
{
    const QLocale locale = QLocale::system();
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s')))
        format.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(QDateTime::currentDateTime(), format);
}

QString actionWord(rt::Int choice)
{
    switch (choice) {
    case 1:
        return QStringLiteral("Retry");
    case 2:
        return QStringLiteral("Ignore");
    default:
        return QStringLiteral("Fail");
    }
}

void logEntry(const QString &report, const QString &tail)
{
    WriteErrorLog(CrLf + logDateTime() + CrLf + report + tail);
}

// Shows the error dialog with the report and returns the choice; false when the dialog could not
// be loaded.
bool askUser(const QString &report, rt::Int &choice)
{
    choice = 0;
    if (gDialogHook) {
        try {
            choice = gDialogHook(report);
        } catch (...) {
            return false;
        }
        return true;
    }
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    std::unique_ptr<frmErrHndlr> dialog;
    try {
        dialog = std::make_unique<frmErrHndlr>();
        dialog->load();
    } catch (...) {
        return false;
    }
    // Whatever fails from here on is skipped and leaves the choice at Fail. (Not a silent
    // region: reports from events that run during the dialog must still be logged.)
    skipFailure([&] { dialog->txDetails->setPlainText(report); });
    skipFailure([&] { dialog->showModal(); });
    choice = dialog->choice();
    skipFailure([&] { dialog->unload(); });
    return true;
}

// The last resort when the dialog cannot be shown: the toolkit's own message box.
void showFallback(const QString &report)
{
    if (!rt::userCanAnswer())
        return;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Norvalis - unanticipated error"), report,
        QMessageBox::Ok | QMessageBox::Cancel);
    box.exec();
}

rt::Int report(rt::Error &error, const QString &module, const QString &procedure)
{
    const QString procLine = procedureLine(error, module, procedure);
    if (gErrFatal) {
        WriteErrorLog(procLine);
        error = SavedError();
        return 0;
    }
    const QString text = ReportText(error, module, procedure);
    // Answers nobody chose leave the fatal mode alone.
    if (automation::servingClient()) {
        // The client that made the call gets the error, as its D-Bus error.
        logEntry(text, QStringLiteral("Action:\tFail (automatic: an automation call)"));
        return giveUp(error);
    }
    if (gAsking) {
        // One dialog at a time, and the one on screen undisturbed: this report's handler goes on
        // as if Ignore had been chosen.
        logEntry(text, QStringLiteral("Action:\tIgnore (automatic: another error was on screen)"));
        return frmErrHndlr::Ignore;
    }
    if (!gDialogHook && !rt::userCanAnswer()) {
        logEntry(text, QStringLiteral("Action:\tFail (automatic: nobody to answer)"));
        rt::logUnanswered(QStringLiteral("error dialog"), text.trimmed(), QStringLiteral("Fail"));
        return giveUp(error);
    }
    AskingScope asking;
    rt::Int choice = 0;
    if (!askUser(text, choice)) {
        showFallback(text);
        logEntry(text, CrLf + QStringLiteral("unrecoverable"));
        gErrFatal = true;
        return giveUp(error);
    }
    if (choice < 0 || choice > 2)
        choice = 0;
    logEntry(text, QStringLiteral("Action:\t") + actionWord(choice));
    if (choice == 0) {
        gErrFatal = true;
        return giveUp(error);
    }
    return choice;
}

} // namespace

void Install()
{
    rt::setReporter([](rt::Error &error, const QString &module, const QString &procedure) {
        return int(ReportError(error, module, procedure));
    });
}

rt::Int ReportError(rt::Error &error, const QString &module, const QString &procedure)
{
    if (gErrNest >= 1 || gErrReturn) {
        gErrReturn = false;
        return giveUp(error);
    }
    try {
        return report(error, module, procedure);
    } catch (...) {
        rt::debugSwallowed(lcApp(), rt::currentError(),
            "error reporter failed, the error goes back to its caller");
        return 0;
    }
}

rt::Int ReportError(const QString &module, const QString &procedure)
{
    rt::Error error;
    if (std::current_exception())
        error = rt::currentError();
    return ReportError(error, module, procedure);
}

rt::Error SavedError()
{
    return rt::Error(gErrNumber, gErrDescription, gErrSource);
}

void WriteErrorLog(const QString &text)
{
    QFile log(LogFileName());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    log.write((text + CrLf).toUtf8());
    log.close();
}

QString LogFileName()
{
    // An error before the start-up has fixed the directories still goes to the program's log.
    const QString dir = gAppDir.isEmpty() ? Files::ProgramDir() : gAppDir;
    return dir + ExeName() + QStringLiteral(".log");
}

QString ExeName()
{
    if (!gExeName.isEmpty())
        return gExeName;
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void SetExeName(const QString &name)
{
    gExeName = name;
}

QString ReportText(const rt::Error &error, const QString &module, const QString &procedure)
{
    QString text = procedureLine(error, module, procedure);
    text += QStringLiteral("Error:\t") + errorNumberText(error.number) + CrLf;
    text += QStringLiteral("Description:\t") + error.description + CrLf;
    // An error without a source was raised by the program itself.
    if (!error.source.isEmpty() && error.source.compare(ExeName(), Qt::CaseInsensitive) != 0)
        text += QStringLiteral("Source:\t") + error.source + CrLf;
    return text;
}

void SetDialogHook(DialogHook hook)
{
    gDialogHook = std::move(hook);
}

void ResetForTests()
{
    gErrReturn = false;
    gErrFatal = false;
    gErrNumber = 0;
    gErrDescription.clear();
    gErrSource.clear();
}

} // namespace ErrHndlr
