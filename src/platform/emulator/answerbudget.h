#pragma once
// What the emulator sends a host of its own accord (terminal reports, the refusal of a script,
// an extension's answer) is bounded, so that a host that floods requests and never reads cannot
// make the program hold answers for it without end:
// - while more than maxBacklog bytes wait to go to the host, no answer goes and the requests that
//   want one are dropped;
// - each kind of answer has its budget a second (the table in answerbudget.cpp): the requests of
//   a kind past its budget are dropped until the next second.
// A dropped request leaves a debug line in norvalis.emulator. A Telnet channel's replies to the
// host's negotiation share maxBacklog (telnetchannel.h).

#include <QElapsedTimer>
#include <QtGlobal>

#include <array>

namespace emu {

enum class AnswerKind {
    Terminal, // a report the terminal gives (device attributes, status, answerback)
    Script, // a script request: it is run or refused, and the refusal is answered
    Extension, // an extension command: a handler may answer it
};

class AnswerBudget
{
public:
    static constexpr qint64 maxBacklog = 64 * 1024;

    // Whether a request of kind may be served (and its answer sent) with backlog bytes waiting
    // for the host; counts it when so.
    bool admit(AnswerKind kind, qint64 backlog);
    static bool backlogged(qint64 backlog) { return backlog > maxBacklog; }
    // How many a second a kind may have.
    static int perSecond(AnswerKind kind);

private:
    QElapsedTimer m_second;
    std::array<int, 3> m_used {};
};

} // namespace emu
