#include "automation/guard.h"

#include "automation/marshal.h"

#include <QJSEngine>
#include <QList>

namespace automation {

namespace {

struct Frame
{
    Caller caller;
    QJSEngine *engine;
};

thread_local QList<Frame> frames;

} // namespace

CallerScope::CallerScope(Caller caller, QJSEngine *engine)
{
    frames.append(Frame { caller, engine });
}

CallerScope::~CallerScope()
{
    frames.removeLast();
}

Caller currentCaller()
{
    return frames.isEmpty() ? Caller::Native : frames.last().caller;
}

QJSEngine *currentEngine()
{
    return frames.isEmpty() ? nullptr : frames.last().engine;
}

namespace detail {

void throwIntoScript(QJSEngine *engine, const rt::Error &error)
{
    QJSValue exception = engine->newErrorObject(QJSValue::GenericError, error.description);
    exception.setProperty(QStringLiteral("number"), error.number);
    exception.setProperty(QStringLiteral("description"), error.description);
    engine->throwError(exception);
}

void keepForScript(QObject *object)
{
    if (object)
        QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
}

void keepForScript(const QVariant &value)
{
    keepForScript(objectOf(value));
}

} // namespace detail

} // namespace automation
