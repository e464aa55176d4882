#pragma once
// Helpers shared by the source files of the emulator control (emulator*.cpp), which together
// implement the one class nvEmulator; nothing outside them includes this header.

#include "emulator/emulator.h"

#include <QString>

namespace emu::detail {

// Raises an emulator error with its text and, when given, ": detail".
[[noreturn]] inline void fail(Long number, const QString &detail = QString())
{
    QString text = emuerror::text(number);
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    rt::raise(number, text);
}

inline QString trimmedRight(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    return s.left(n);
}

} // namespace emu::detail
