#include "runtime/error.h"

#include "runtime/interaction.h"

#include <QApplication>
#include <QHash>
#include <QLoggingCategory>
#include <QMessageBox>
#include <cstdio>
#include <new>

namespace rt {

Long gErrNest = 0;

namespace {

const QHash<Long, QString> &errorTexts()
{
    static const QHash<Long, QString> texts {
        { err::ReturnWithoutGoSub, QStringLiteral("Return without GoSub") },
        { err::InvalidCall, QStringLiteral("Invalid procedure call or argument") },
        { err::Overflow, QStringLiteral("Overflow") },
        { err::OutOfMemory, QStringLiteral("Out of memory") },
        { err::SubscriptOutOfRange, QStringLiteral("Subscript out of range") },
        { err::DivisionByZero, QStringLiteral("Division by zero") },
        { err::TypeMismatch, QStringLiteral("Type mismatch") },
        { err::OutOfStack, QStringLiteral("Out of stack space") },
        { err::Internal, QStringLiteral("Internal error") },
        { err::BadFileName, QStringLiteral("Bad file name or number") },
        { err::FileNotFound, QStringLiteral("File not found") },
        { err::BadFileMode, QStringLiteral("Bad file mode") },
        { err::FileAlreadyOpen, QStringLiteral("File already open") },
        { err::DeviceIO, QStringLiteral("Device I/O error") },
        { err::FileExists, QStringLiteral("File already exists") },
        { err::BadRecordLength, QStringLiteral("Bad record length") },
        { err::DiskFull, QStringLiteral("Disk full") },
        { err::InputPastEnd, QStringLiteral("Input past end of file") },
        { err::BadRecordNumber, QStringLiteral("Bad record number") },
        { err::TooManyFiles, QStringLiteral("Too many files") },
        { err::DeviceUnavailable, QStringLiteral("Device unavailable") },
        { err::PermissionDenied, QStringLiteral("Permission denied") },
        { err::DiskNotReady, QStringLiteral("Disk not ready") },
        { err::RenameAcrossDrives, QStringLiteral("Can't rename with different drive") },
        { err::PathFileAccess, QStringLiteral("Path/File access error") },
        { err::PathNotFound, QStringLiteral("Path not found") },
        { err::ObjectNotSet, QStringLiteral("Object variable or With block variable not set") },
        { err::ForNotInitialized, QStringLiteral("For loop not initialized") },
        { err::InvalidUseOfNull, QStringLiteral("Invalid use of Null") },
        { err::ObjectUnloaded, QStringLiteral("Object was unloaded") },
        { err::InvalidPropertyValue, QStringLiteral("Invalid property value") },
        { err::InvalidPicture, QStringLiteral("Invalid picture") },
        { err::InvalidPropertyIndex, QStringLiteral("Invalid property array index") },
        { err::FormMinimizedOrMaximized,
            QStringLiteral("A form can't be moved or sized while minimized or maximized") },
        { err::FormAlreadyModal, QStringLiteral("Form already displayed; can't show modally") },
        { err::ObjectRequired, QStringLiteral("Object required") },
        { err::NotSupported, QStringLiteral("Object doesn't support this property or method") },
        { err::Automation, QStringLiteral("Automation error") },
        { err::ArgumentNotOptional, QStringLiteral("Argument not optional") },
        { err::WrongArguments,
            QStringLiteral("Wrong number of arguments or invalid property assignment") },
        { err::DuplicateKey,
            QStringLiteral("This key is already associated with an element of this collection") },
        { err::Cancelled, QStringLiteral("Cancel was selected.") },
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
        return Error(err::OutOfMemory);
    } catch (const std::exception &e) {
        return Error(51, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return Error(err::Internal);
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

void debugSwallowed(
    const QLoggingCategory &category, const Error &error, const char *what, const QString &detail)
{
    if (!category.isDebugEnabled())
        return;
    QDebug line = QMessageLogger(nullptr, 0, nullptr, category.categoryName()).debug().noquote();
    line << what;
    if (!detail.isEmpty())
        line << detail;
    line << "- error" << error.number << error.description << "(ignored)";
}

void debugSwallowed(const QLoggingCategory &category, const ResumeNext &quiet, const char *what,
    const QString &detail)
{
    if (quiet.failed())
        debugSwallowed(category, quiet.error(), what, detail);
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
