#pragma once
// The body of every adapter member runs inside automation::guard, because an adapter has three
// kinds of caller and an error must reach each of them in its own form:
// - a D-Bus client (the bridge marks the call): the error is rethrown, and the bridge answers the
//   call with the D-Bus error "NVWin32.Error.E<n>" (buserror.h);
// - a script (the script host marks its runs): the error becomes a JavaScript exception, an Error
//   object whose `number` and `description` properties carry the error's number and text (its
//   `message` is the text too); a script may catch it, else the run fails with that number;
// - C++ code: the error is rethrown unchanged.
// A C++ exception must never unwind through the script engine, which is why a member called from
// a script turns it into a JavaScript exception here. The script host marks the runs it starts;
// a JavaScript function that a script connected to a signal runs when C++ emits the signal,
// outside any run: emit such signals inside CallerScope(Caller::Script, engine) if scripts are
// to handle them.
//
// guard also keeps objects that a member hands to a script alive: the script engine would
// otherwise take ownership of an object without parent and delete it when it collects garbage.
//
//     QVariant CommonIface::Item(const QString &key)
//     {
//         return automation::guard([&] { return m_store->Common_Item(key); });
//     }

#include "runtime/error.h"

#include <QVariant>
#include <type_traits>

class QJSEngine;
class QObject;

namespace automation {

enum class Caller { Native, Bus, Script };

// Marks the calls made while it lives as coming from a caller (nested scopes stack); a D-Bus
// caller names the client's unique bus name.
class CallerScope
{
public:
    explicit CallerScope(Caller caller, QJSEngine *engine = nullptr, const QString &client = {});
    ~CallerScope();
    CallerScope(const CallerScope &) = delete;
    CallerScope &operator=(const CallerScope &) = delete;
};

// The caller of the member running now (Native when nobody marked it).
Caller currentCaller();
// Whether a D-Bus client's call is being served now: a call the bridge marked is on the stack,
// at the event-loop level that is running (an event that a modal window's loop runs meanwhile is
// not that client's). A script the call runs (a DDE execute) counts as part of it.
bool servingClient();
// The unique bus name of the client whose call is being served now (as servingClient() counts
// it), else "".
QString currentClient();
// The engine of the script that is the current caller, else nullptr.
QJSEngine *currentEngine();

namespace detail {
void throwIntoScript(QJSEngine *engine, const rt::Error &error);
void keepForScript(QObject *object);
void keepForScript(const QVariant &value);
} // namespace detail

template<class F> auto guard(F &&body) -> decltype(body())
{
    using Result = decltype(body());
    QJSEngine *const engine = currentCaller() == Caller::Script ? currentEngine() : nullptr;
    if (!engine)
        return body();
    try {
        CallerScope inner(Caller::Native);
        if constexpr (std::is_void_v<Result>) {
            body();
        } else {
            Result result = body();
            if constexpr (std::is_convertible_v<Result,
                              QObject *> || std::is_same_v<std::decay_t<Result>, QVariant>)
                detail::keepForScript(result);
            return result;
        }
    } catch (...) {
        detail::throwIntoScript(engine, rt::currentError());
        if constexpr (!std::is_void_v<Result>)
            return Result {};
    }
}

} // namespace automation
