#include "runtime/endsignals.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSignals, "norvalis.runtime.signals", QtInfoMsg)

namespace rt {

namespace {

constexpr std::array<int, 3> endSignals { SIGTERM, SIGINT, SIGHUP };

// The pipe the handler writes the signal's number into; read on the event loop.
int gPipe[2] = { -1, -1 };
std::function<void(int)> gEnd;

extern "C" void onSignal(int signal)
{
    // Only async-signal-safe calls here.
    for (const int each : endSignals)
        ::signal(each, SIG_DFL);
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &number, 1);
}

void readSignal()
{
    unsigned char number = 0;
    if (::read(gPipe[0], &number, 1) != 1)
        return;
    qCInfo(lcSignals) << "signal" << int(number) << "received: the program ends";
    if (gEnd)
        gEnd(int(number));
}

} // namespace

void onEndSignals(std::function<void(int signal)> end)
{
    gEnd = std::move(end);
    if (gPipe[0] >= 0)
        return;
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcSignals) << "no pipe for signals: they end the program at once";
        return;
    }
    auto *notifier
        = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { readSignal(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int each : endSignals)
        ::sigaction(each, &action, nullptr);
}

} // namespace rt
