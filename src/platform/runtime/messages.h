#pragma once
// Window messages: numbered messages with two arguments, posted (queued) or sent (at once) to an
// object, and handlers attached to an object for one message number each, in place of window
// subclassing. A form's window sends its form WM_ACTIVATE (wParam 1 active, 0 inactive) and
// WM_SYSCOLORCHANGE (when the application's palette changes) through the same channel.

#include "runtime/error.h"

#include <QEvent>
#include <QObject>
#include <functional>

namespace rt {

enum WindowMessage : Long {
    WM_ACTIVATE = 6,
    WM_SYSCOLORCHANGE = 21,
    WM_USER = 1024,
};

// The queued event that carries a posted message.
class WindowMessageEvent : public QEvent
{
public:
    WindowMessageEvent(Long message, Long wParam, Long lParam);
    static QEvent::Type eventType();

    const Long message;
    const Long wParam;
    const Long lParam;
};

// A handler gets the message number and its arguments and answers the message's result.
using MessageHandler = std::function<Long(Long message, Long wParam, Long lParam)>;

// Attaches a handler for one message number of target (replacing an earlier one for the same
// number); it lives until detached or until the target is destroyed.
void attachMessage(QObject *target, Long message, MessageHandler handler);
void detachMessage(QObject *target, Long message);
bool isMessageAttached(const QObject *target, Long message);

// Queues the message; it is handled after the current event has ended, at the event boundary.
// A message without an attached handler at that time is dropped.
void postMessage(QObject *target, Long message, Long wParam = 0, Long lParam = 0);
// Runs the attached handler now and returns its result (0 without a handler). A message sent to
// a target whose handler for it is still running is dropped (returns 0), so broadcasts that
// reach their sender end instead of recursing.
Long sendMessage(QObject *target, Long message, Long wParam = 0, Long lParam = 0);

} // namespace rt
