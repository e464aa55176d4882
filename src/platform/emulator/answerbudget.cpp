#include "emulator/answerbudget.h"

#include "emulator/emulog.h"

namespace emu {

namespace {

struct Budget
{
    AnswerKind kind;
    int perSecond;
    const char *name;
};
// Far above what a terminal program asks for, far below what fills memory.
constexpr Budget budgets[] = {
    { AnswerKind::Terminal, 1000, "terminal report" },
    { AnswerKind::Script, 50, "script request" },
    { AnswerKind::Extension, 100, "extension command" },
};

const Budget &budgetOf(AnswerKind kind)
{
    return budgets[size_t(kind)];
}

} // namespace

int AnswerBudget::perSecond(AnswerKind kind)
{
    return budgetOf(kind).perSecond;
}

bool AnswerBudget::admit(AnswerKind kind, qint64 backlog)
{
    const Budget &budget = budgetOf(kind);
    if (backlogged(backlog)) {
        qCDebug(lcEmulator) << budget.name << "dropped:" << backlog
                            << "bytes wait for a host that does not read";
        return false;
    }
    if (!m_second.isValid() || m_second.elapsed() >= 1000) {
        m_second.start();
        m_used.fill(0);
    }
    int &used = m_used[size_t(kind)];
    if (used >= budget.perSecond) {
        qCDebug(lcEmulator) << budget.name << "dropped: more than" << budget.perSecond
                            << "this second";
        return false;
    }
    ++used;
    return true;
}

} // namespace emu
