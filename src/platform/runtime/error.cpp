#include "runtime/error.h"

#include "runtime/interaction.h"

#include <QApplication>
#include <QHash>
#include <QMessageBox>
#include <cstdio>
#include <new>

namespace rt {

Long gErrNest = 0;

namespace {

const QHash<Long, QString> &errorTexts()
{
    static const QHash<Long, QString> texts {
        { 3, QStringLiteral("Return without GoSub") },
        { 5, QStringLiteral("Invalid procedure call or argument") },
        { 6, QStringLiteral("Overflow") },
        { 7, QStringLiteral("Out of memory") },
        { 9, QStringLiteral("Subscript out of range") },
        { 11, QStringLiteral("Division by zero") },
        { 13, QStringLiteral("Type mismatch") },
        { 28, QStringLiteral("Out of stack space") },
        { 51, QStringLiteral("Internal error") },
        { 52, QStringLiteral("Bad file name or number") },
        { 53, QStringLiteral("File not found") },
        { 54, QStringLiteral("Bad file mode") },
        { 55, QStringLiteral("File already open") },
        { 57, QStringLiteral("Device I/O error") },
        { 58, QStringLiteral("File already exists") },
        { 59, QStringLiteral("Bad record length") },
        { 61, QStringLiteral("Disk full") },
        { 62, QStringLiteral("Input past end of file") },
        { 63, QStringLiteral("Bad record number") },
        { 67, QStringLiteral("Too many files") },
        { 68, QStringLiteral("Device unavailable") },
        { 70, QStringLiteral("Permission denied") },
        { 71, QStringLiteral("Disk not ready") },
        { 74, QStringLiteral("Can't rename with different drive") },
        { 75, QStringLiteral("Path/File access error") },
        { 76, QStringLiteral("Path not found") },
        { 91, QStringLiteral("Object variable or With block variable not set") },
        { 92, QStringLiteral("For loop not initialized") },
        { 94, QStringLiteral("Invalid use of Null") },
        { 364, QStringLiteral("Object was unloaded") },
        { 380, QStringLiteral("Invalid property value") },
        { 381, QStringLiteral("Invalid property array index") },
        { 384, QStringLiteral("A form can't be moved or sized while minimized or maximized") },
        { 400, QStringLiteral("Form already displayed; can't show modally") },
        { 424, QStringLiteral("Object required") },
        { 438, QStringLiteral("Object doesn't support this property or method") },
        { 440, QStringLiteral("Automation error") },
        { 449, QStringLiteral("Argument not optional") },
        { 450, QStringLiteral("Wrong number of arguments or invalid property assignment") },
        { 457,
            QStringLiteral("This key is already associated with an element of this collection") },
        { 32755, QStringLiteral("Cancel was selected.") },
    };
    return texts;
}

Reporter &reporter()
{
    static Reporter r;
    return r;
}

FatalHandler &fatalHandler()
{
    static FatalHandler h;
    return h;
}

bool &fatalReported()
{
    static bool reported = false;
    return reported;
}

} // namespace

Error::Error(Long number, QString description, QString source, int line)
    : number(number)
    , description(description.isNull() ? errorText(number) : std::move(description))
    , source(std::move(source))
    , line(line)
{ }

const char *Error::what() const noexcept
{
    whatText = QStringLiteral("%1: %2").arg(number).arg(description).toUtf8();
    return whatText.constData();
}

QString errorText(Long number)
{
    auto it = errorTexts().constFind(number);
    if (it != errorTexts().constEnd())
        return *it;
    return QStringLiteral("Application-defined or object-defined error");
}

void raise(Long number, const QString &description, const QString &source)
{
    throw Error(number, description, source);
}

Error currentError()
{
    try {
        throw;
    } catch (const Error &e) {
        return e;
    } catch (const std::bad_alloc &) {
        return Error(7);
    } catch (const std::exception &e) {
        return Error(51, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return Error(51);
    }
}

void setReporter(Reporter r)
{
    reporter() = std::move(r);
}

bool Proc::handle(Error error) const
{
    int answer = 0;
    if (reporter())
        answer = reporter()(error, m_module, m_procedure);
    switch (answer) {
    case 1:
        return true;
    case 2:
        return false;
    default:
        throw error;
    }
}

ResumeNext::ResumeNext()
{
    ++gErrNest;
}

ResumeNext::~ResumeNext()
{
    --gErrNest;
}

void setFatalHandler(FatalHandler handler)
{
    fatalHandler() = std::move(handler);
    fatalReported() = false;
}

QString unhandledErrorMessage(const Error &error)
{
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(error.number).arg(error.description);
}

// The program ends with the runtime's message: in a critical message box titled with the
// application's name when there is a display, on stderr in any case. Nothing else runs after it.
static void endWithMessage(const Error &error)
{
    const QString message = unhandledErrorMessage(error);
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stderr);
    if (userCanAnswer())
        QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), message);
    std::_Exit(1);
}

// Only the first unhandled error is reported: a second one, raised by an event that runs while
// the first is being shown, is dropped.
void unhandledError(const Error &error)
{
    if (fatalReported())
        return;
    fatalReported() = true;
    if (fatalHandler())
        fatalHandler()(error);
    else
        endWithMessage(error);
}

} // namespace rt
