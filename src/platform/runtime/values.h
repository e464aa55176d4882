#pragma once
// Values and conversions of the runtime: 16- and 32-bit integers, Variants (QVariant; invalid is
// Empty), numeric parsing, rounding conversions and checked arithmetic.

#include "runtime/error.h"

#include <QString>
#include <QVariant>

namespace rt {

// What an optional Long argument holds when the caller leaves it out (a window's Move keeps the
// current value of each one left out).
constexpr Long OmittedLong = -2147483647;

// The leading number of a text ("." is the decimal point, blanks are skipped, "&H" and "&O"
// prefixes are read); 0 when the text has none.
double Val(const QString &text);

// Round half to even, then range check (6 Overflow); text that is not a number raises 13.
Int CInt(double value);
Int CInt(const QVariant &value);
Long CLng(double value);
Long CLng(const QVariant &value);
double CDbl(const QVariant &value);
// Numbers: not 0; texts "True"/"False" (any case) or a number; other texts raise 13.
bool CBool(const QVariant &value);
// Numbers without a leading blank, whole doubles without a fraction, Booleans "True"/"False",
// Empty "".
QString CStr(const QVariant &value);
QString CStr(double value);

// Integer division a \ b: both rounded to Long, quotient truncated toward zero; 11 for b = 0.
Long IntDiv(double a, double b);
Long Mod(double a, double b);

// Checked arithmetic of a stated width (6 Overflow).
Int AddInt(Int a, Int b);
Int SubInt(Int a, Int b);
Int MulInt(Int a, Int b);
Long AddLong(Long a, Long b);
Long SubLong(Long a, Long b);
Long MulLong(Long a, Long b);

// A Boolean as it crosses the automation boundary (-1 / 0) and back.
inline Int BoolToInt(bool b) { return b ? True : False; }
inline bool IntToBool(qint64 v) { return v != 0; }

inline bool IsEmpty(const QVariant &v) { return !v.isValid(); }
bool IsNumeric(const QVariant &value);

} // namespace rt
