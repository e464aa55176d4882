#pragma once
// Numbered run-time errors and the handler protocol of the program's procedures.

#include "runtime/errnum.h"

#include <QString>
#include <QtGlobal>
#include <exception>
#include <functional>
#include <utility>

class QLoggingCategory;

namespace rt {

using Int = qint16;
using Long = qint32;

// Boolean as it crosses the automation boundary: True -1, False 0.
constexpr Int True = -1;
constexpr Int False = 0;

struct Error : std::exception
{
    Long number = 0;
    QString description;
    QString source;
    int line = 0;

    Error() = default;
    // The description defaults to the runtime's text for the number.
    explicit Error(Long number, QString description = QString(), QString source = QString(),
        int line = 0);
    const char *what() const noexcept override;

private:
    mutable QByteArray whatText;
};

// The runtime's text for an error number ("Application-defined or object-defined error" when the
// number has no text of its own).
QString errorText(Long number);

[[noreturn]] void raise(Long number, const QString &description = QString(),
    const QString &source = QString());

// Turns whatever a statement threw into an Error (memory exhaustion is 7, others 51).
Error currentError();

// The reporter that procedures with an error handler call: it gets the error (and may replace it
// with the error saved for re-raising), the module and the procedure, and answers
// 0 re-raise, 1 retry the statement, 2 continue with the next statement.
using Reporter = std::function<int(Error &error, const QString &module, const QString &procedure)>;
void setReporter(Reporter reporter);

// Nesting counter of silent regions; the reporter asks nothing while it is 1 or more.
extern Long gErrNest;

// A procedure with an error handler: h([&]{ statement; }); runs each statement and follows the
// reporter's answer when it fails.
class Proc
{
public:
    Proc(const char *module, const char *procedure)
        : m_module(QLatin1String(module))
        , m_procedure(QLatin1String(procedure))
    { }
    Proc(QString module, QString procedure)
        : m_module(std::move(module))
        , m_procedure(std::move(procedure))
    { }

    template<class F>
    void operator()(F &&statement) const
    {
        for (;;) {
            try {
                statement();
                return;
            } catch (...) {
                if (!handle(currentError()))
                    return;
            }
        }
    }

    const QString &module() const { return m_module; }
    const QString &procedure() const { return m_procedure; }

private:
    // True to retry, false to go on with the next statement; throws for a re-raise.
    bool handle(Error error) const;

    QString m_module;
    QString m_procedure;
};

// An "errors ignored" region: statements run through it swallow their errors; while it lives the
// reporter's nesting counter is raised, so handlers below it report nothing.
class ResumeNext
{
public:
    ResumeNext();
    ~ResumeNext();
    ResumeNext(const ResumeNext &) = delete;
    ResumeNext &operator=(const ResumeNext &) = delete;

    template<class F>
    bool operator()(F &&statement)
    {
        try {
            statement();
            return true;
        } catch (...) {
            m_error = currentError();
            m_failed = true;
            return false;
        }
    }
    // The last error swallowed (number 0 when none); clear() forgets it.
    const Error &error() const { return m_error; }
    bool failed() const { return m_failed; }
    void clear()
    {
        m_error = Error();
        m_failed = false;
    }

private:
    Error m_error;
    bool m_failed = false;
};

// The one way to note an error swallowed on purpose: a debug line in category (seen only when
// QT_LOGGING_RULES turns the category's debug lines on). what names the operation that went on
// without it, detail (when given) what it was working on. The quiet region's form writes nothing
// when the region swallowed nothing.
void debugSwallowed(const QLoggingCategory &category, const Error &error, const char *what,
    const QString &detail = QString());
void debugSwallowed(const QLoggingCategory &category, const ResumeNext &quiet, const char *what,
    const QString &detail = QString());

// The event boundary: an error that leaves an event handler ends the program with the runtime's
// own message, exactly once: in a critical message box titled with the application's name when
// there is a display (on stderr too), then the process ends. Tests replace what "ends the
// program" does; setting a handler arms the once-only report again.
// An event starts a call chain of its own: a silent region around the code that let it run (a
// modal window's loop opened inside ResumeNext) does not silence its handlers.
using FatalHandler = std::function<void(const Error &error)>;
void setFatalHandler(FatalHandler handler);
void unhandledError(const Error &error);
template<class F>
void event(F &&handler)
{
    struct OwnChain
    {
        Long outer = std::exchange(gErrNest, 0);
        ~OwnChain() { gErrNest = outer; }
    } chain;
    try {
        handler();
    } catch (...) {
        unhandledError(currentError());
    }
}
// The runtime's message for an unhandled error: "Run-time error 'n':" and the description.
QString unhandledErrorMessage(const Error &error);

} // namespace rt
