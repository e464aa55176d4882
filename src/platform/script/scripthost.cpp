#include "script/scripthost.h"

#include "automation/guard.h"
#include "automation/log.h"
#include "commondlg/commondlg.h"
#include "runtime/errnum.h"
#include "runtime/interaction.h"
#include "script/watchdog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <cmath>
#include <limits>
#include <optional>

namespace script {

namespace {

const QString SessionGlobal = QStringLiteral("Session");

QString askForScript(QWidget *owner, const QString &directory)
{
    commondlg::Request request;
    request.kind = commondlg::Kind::OpenFile;
    request.title = QStringLiteral("Run Script");
    request.directory = directory;
    request.owner = owner;
    request.filter = QStringLiteral("Scripts (*.js)|*.js|All Files (*.*)|*.*");
    return commondlg::chooseFile(request).value_or(QString());
}

void showFailure(QWidget *owner, const rt::Error &error)
{
    const QString text
        = QStringLiteral("Script error %1:\n\n%2").arg(error.number).arg(error.description);
    if (!rt::userCanAnswer()) {
        rt::logUnanswered(QStringLiteral("message box"), text, QStringLiteral("OK"));
        return;
    }
    QMessageBox::warning(owner, QGuiApplication::applicationDisplayName(), text);
}

bool isWholeLong(double d)
{
    return std::isfinite(d) && d == std::trunc(d) && d >= std::numeric_limits<rt::Long>::min()
        && d <= std::numeric_limits<rt::Long>::max();
}

// An error number a script gave (thrown itself or carried by an exception object).
std::optional<rt::Long> numberOf(const QJSValue &value)
{
    if (value.isNumber() && isWholeLong(value.toNumber()))
        return rt::Long(value.toNumber());
    return std::nullopt;
}

} // namespace

ScriptHost::ScriptHost(QObject *parent)
    : QObject(parent)
    , m_watchdog(new Watchdog(&m_engine, this))
    , m_chooseFile(askForScript)
    , m_reportToUser(showFailure)
{
    m_engine.installExtensions(QJSEngine::ConsoleExtension);
    QJSValue global = m_engine.globalObject();
    global.setProperty(QStringLiteral("Norvalis"), QJSValue(QJSValue::NullValue));
    global.setProperty(SessionGlobal, QJSValue(QJSValue::NullValue));
    global.setProperty(QStringLiteral("CommandLine"), QString());
}

ScriptHost::~ScriptHost()
{
    // The watchdog's thread interrupts the engine: it must end first.
    delete m_watchdog;
}

void ScriptHost::Initialize(const QString &programDir, const QString &homeDir,
    const QString &commandLine, QWidget *&mainWindow, QObject *application)
{
    m_programDir = programDir;
    m_homeDir = homeDir;
    m_mainWindow = mainWindow;
    QJSValue global = m_engine.globalObject();
    global.setProperty(QStringLiteral("CommandLine"), commandLine);
    if (application) {
        QJSEngine::setObjectOwnership(application, QJSEngine::CppOwnership);
        global.setProperty(QStringLiteral("Norvalis"), m_engine.newQObject(application));
    } else {
        global.setProperty(QStringLiteral("Norvalis"), QJSValue(QJSValue::NullValue));
    }
}

void ScriptHost::setWatchdogLimit(int milliseconds)
{
    m_watchdog->setLimit(milliseconds);
}

void ScriptHost::refuseAfterShutdown() const
{
    if (m_shutDown)
        rt::raise(ErrShutDown, QStringLiteral("The script host is shut down"));
}

QString ScriptHost::findFile(const QString &fileName) const
{
    if (fileName.isEmpty())
        return QString();
    const QFileInfo given(fileName);
    if (given.isFile())
        return given.absoluteFilePath();
    if (given.isAbsolute())
        return QString();
    for (const QString &directory : { m_homeDir, m_programDir }) {
        if (directory.isEmpty())
            continue;
        const QFileInfo candidate(QDir(directory), fileName);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return QString();
}

void ScriptHost::RunFile(const QString &fileName, rt::Int async, rt::Int sessionNo)
{
    startFile(fileName, async != 0, sessionNo, false);
}

void ScriptHost::startFile(const QString &fileName, bool async, rt::Int sessionNo, bool fromUser)
{
    refuseAfterShutdown();
    const QString path = findFile(fileName);
    if (path.isEmpty())
        rt::raise(rt::err::FileNotFound, QString(), fileName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        rt::raise(rt::err::PathFileAccess, QString(), path);
    const Job job { QString::fromUtf8(file.readAll()), path, sessionNo, fromUser, nullptr };
    m_layoutScript = path;
    if (async)
        queue(job);
    else
        run(job);
}

void ScriptHost::RunText(const QString &text, rt::Int async, rt::Int sessionNo, QVariant &result)
{
    RunText(text, async, sessionNo, result, nullptr);
}

void ScriptHost::RunText(
    const QString &text, rt::Int async, rt::Int sessionNo, QVariant &result, Completion done)
{
    refuseAfterShutdown();
    const Job job { text, QString(), sessionNo, false, std::move(done) };
    if (async)
        queue(job);
    else
        result = run(job).toVariant();
}

bool ScriptHost::Shutdown()
{
    m_shutDown = true;
    if (m_depth == 0)
        return false;
    if (!m_shutdownClock.isValid())
        m_shutdownClock.start();
    else if (m_shutdownClock.elapsed() >= m_shutdownGrace)
        interrupt();
    return true;
}

void ScriptHost::LayoutScript(rt::Int which, QString &fileName)
{
    if (which != 0)
        rt::raise(rt::err::InvalidCall);
    fileName = m_layoutScript;
}

void ScriptHost::ToolCommand(rt::Int command, const QString &directory)
{
    if (command != 0)
        rt::raise(rt::err::InvalidCall);
    const QString chosen = m_chooseFile(m_mainWindow, directory.isEmpty() ? m_homeDir : directory);
    if (chosen.isEmpty())
        return;
    try {
        startFile(chosen, true, 0, true);
    } catch (const rt::Error &error) {
        m_reportToUser(m_mainWindow, error);
    }
}

void ScriptHost::queue(const Job &job)
{
    QMetaObject::invokeMethod(
        this,
        [this, job] {
            rt::Error ending;
            try {
                refuseAfterShutdown();
                run(job);
            } catch (const rt::Error &error) {
                ending = error;
                if (job.fromUser && error.number != ErrShutDown)
                    m_reportToUser(m_mainWindow, error);
            }
            if (job.done)
                job.done(ending);
        },
        Qt::QueuedConnection);
}

QJSValue ScriptHost::sessionObject(rt::Int sessionNo)
{
    QObject *session = nullptr;
    if (sessionNo != 0 && m_sessionLookup) {
        try {
            session = m_sessionLookup(sessionNo);
        } catch (...) {
            rt::debugSwallowed(automation::lcAutomation(), rt::currentError(),
                "no Session object for session", QString::number(sessionNo));
            session = nullptr;
        }
    }
    if (!session)
        return QJSValue(QJSValue::NullValue);
    QJSEngine::setObjectOwnership(session, QJSEngine::CppOwnership);
    return m_engine.newQObject(session);
}

QJSValue ScriptHost::run(const Job &job)
{
    QJSValue global = m_engine.globalObject();
    const QJSValue outerSession = global.property(SessionGlobal);
    global.setProperty(SessionGlobal, sessionObject(job.sessionNo));
    if (m_depth++ == 0) {
        m_interrupted = false;
        m_watchdog->arm();
    }
    QStringList trace;
    QJSValue value;
    {
        automation::CallerScope scope(automation::Caller::Script, &m_engine);
        value = m_engine.evaluate(job.program, job.fileName, 1, &trace);
    }
    // An interrupted run ends without an exception of its own.
    const bool failed = !trace.isEmpty() || m_interrupted || m_watchdog->fired();
    const rt::Error error = failed ? errorOf(value, job) : rt::Error();
    global.setProperty(SessionGlobal, outerSession);
    if (--m_depth == 0) {
        m_watchdog->disarm();
        m_interrupted = false;
        m_engine.setInterrupted(false);
    }
    m_lastError = error;
    emit runFinished(error.number, error.description);
    if (failed)
        throw error;
    return value;
}

rt::Error ScriptHost::errorOf(const QJSValue &exception, const Job &job) const
{
    if (m_interrupted || m_watchdog->fired())
        return rt::Error(ErrInterrupted, QStringLiteral("Script interrupted"), job.fileName);
    if (const auto number = numberOf(exception))
        return rt::Error(*number, QString(), job.fileName);
    if (exception.isObject()) {
        if (const auto number = numberOf(exception.property(QStringLiteral("number")))) {
            const QJSValue description = exception.property(QStringLiteral("description"));
            return rt::Error(*number,
                description.isString() ? description.toString()
                                       : exception.property(QStringLiteral("message")).toString(),
                job.fileName);
        }
    }
    const int line = exception.property(QStringLiteral("lineNumber")).toInt();
    QString text = exception.toString();
    if (line > 0) {
        text += job.fileName.isEmpty()
            ? QStringLiteral(" (line %1)").arg(line)
            : QStringLiteral(" (%1 line %2)").arg(QFileInfo(job.fileName).fileName()).arg(line);
    }
    const bool syntax
        = exception.property(QStringLiteral("name")).toString() == QLatin1String("SyntaxError");
    return rt::Error(syntax ? ErrSyntax : ErrScript, text, job.fileName, line);
}

void ScriptHost::interrupt()
{
    m_interrupted = true;
    m_engine.setInterrupted(true);
}

} // namespace script
