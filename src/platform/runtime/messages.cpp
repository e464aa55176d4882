#include "runtime/messages.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QSet>

namespace rt {

namespace {

// Lives as a child of its target and filters the target's message events.
class MessageHook : public QObject
{
public:
    explicit MessageHook(QObject *target)
        : QObject(target)
    {
        setObjectName(QStringLiteral("rt::MessageHook"));
        target->installEventFilter(this);
    }

    static MessageHook *of(const QObject *target)
    {
        return target ? target->findChild<MessageHook *>(
                   QStringLiteral("rt::MessageHook"), Qt::FindDirectChildrenOnly)
                      : nullptr;
    }

    Long dispatch(Long message, Long wParam, Long lParam)
    {
        const MessageHandler handler = handlers.value(message);
        if (!handler || running.contains(message))
            return 0;
        running.insert(message);
        QPointer<MessageHook> self(this);
        struct Done
        {
            QPointer<MessageHook> &hook;
            Long message;
            ~Done()
            {
                if (hook)
                    hook->running.remove(message);
            }
        } done { self, message };
        return handler(message, wParam, lParam);
    }

    QHash<Long, MessageHandler> handlers;
    QSet<Long> running;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != parent() || event->type() != WindowMessageEvent::eventType())
            return false;
        const auto *m = static_cast<const WindowMessageEvent *>(event);
        rt::event([&] { dispatch(m->message, m->wParam, m->lParam); });
        return true;
    }
};

} // namespace

WindowMessageEvent::WindowMessageEvent(Long message, Long wParam, Long lParam)
    : QEvent(eventType())
    , message(message)
    , wParam(wParam)
    , lParam(lParam)
{ }

QEvent::Type WindowMessageEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void attachMessage(QObject *target, Long message, MessageHandler handler)
{
    if (!target)
        raise(err::ObjectNotSet);
    MessageHook *hook = MessageHook::of(target);
    if (!hook)
        hook = new MessageHook(target);
    hook->handlers.insert(message, std::move(handler));
}

void detachMessage(QObject *target, Long message)
{
    if (MessageHook *hook = MessageHook::of(target))
        hook->handlers.remove(message);
}

bool isMessageAttached(const QObject *target, Long message)
{
    const MessageHook *hook = MessageHook::of(target);
    return hook && hook->handlers.contains(message);
}

void postMessage(QObject *target, Long message, Long wParam, Long lParam)
{
    if (!target)
        raise(err::ObjectNotSet);
    QCoreApplication::postEvent(target, new WindowMessageEvent(message, wParam, lParam));
}

Long sendMessage(QObject *target, Long message, Long wParam, Long lParam)
{
    MessageHook *hook = MessageHook::of(target);
    return hook ? hook->dispatch(message, wParam, lParam) : 0;
}

} // namespace rt
