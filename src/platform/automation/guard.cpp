#include "automation/guard.h"

#include "automation/marshal.h"

#include <QJSEngine>
#include <QList>
#include <QThread>
#include <algorithm>

namespace automation {

namespace {

struct Frame
{
    Caller caller;
    QJSEngine *engine;
    int loopLevel; // the thread's event-loop level when the frame began
    QString client; // a D-Bus caller's bus name
};

int loopLevel()
{
    return QThread::currentThread()->loopLevel();
}

thread_local QList<Frame> frames;

} // namespace

CallerScope::CallerScope(Caller caller, QJSEngine *engine, const QString &client)
{
    frames.append(Frame { caller, engine, loopLevel(), client });
}

CallerScope::~CallerScope()
{
    frames.removeLast();
}

Caller currentCaller()
{
    return frames.isEmpty() ? Caller::Native : frames.last().caller;
}

bool servingClient()
{
    const int level = loopLevel();
    return std::any_of(frames.cbegin(), frames.cend(),
        [level](const Frame &f) { return f.caller == Caller::Bus && f.loopLevel == level; });
}

QString currentClient()
{
    const int level = loopLevel();
    for (auto f = frames.crbegin(); f != frames.crend(); ++f) {
        if (f->caller == Caller::Bus && f->loopLevel == level)
            return f->client;
    }
    return QString();
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
