#pragma once
// Text routines shared by the whole program: fields of delimited strings, the caret and backslash
// notation of control characters, bracketed command lists and the two forms of a multiple-file
// list. Positions count from 1 (0 = not found); comparisons are exact (case-sensitive).
// Every routine runs under an error handler that reports as module "strfunc".

#include "runtime/error.h"

#include <QString>

namespace Strfunc {

// Field n of text split at delimiter (fields count from 1; empty fields count). n = 0 gives the
// whole text; a field beyond the last gives "".
QString Field(const QString &text, const QString &delimiter, rt::Int n);

// Number of fields: 0 for an empty text, else 1 + the occurrences of the delimiter (overlapping
// occurrences of a delimiter of several characters each count).
rt::Int Dcount(const QString &text, const QString &delimiter);

// Caret and backslash notation to characters: ^M is CR, ^? is DEL, ^^ a caret, \\ a backslash,
// \c is c with bit 7 set, \^c is (c & 31) | 128 (\^< 220, \^> 222, \^? 255). Code n becomes
// QChar(n) (Latin-1), matching the one-to-one mapping of text sent to a host. A lone ^, \ or \^ at
// the end of the text is dropped.
QString ArrowToCtrl(const QString &text);

// Every bracketed group of a command list as one line ended by CR LF. A "]" between double quotes
// does not end a group; a group without "]" runs to the end; text outside groups is ignored.
QString XlateCmd(const QString &text);

// Position of the first character of text that occurs in set, 0 when none does.
rt::Long Findstr(const QString &text, const QString &set);

// NUL-separated file names (as from a file dialog) to a blank-separated list; a name holding a
// blank or a double quote is put in double quotes, its own double quotes doubled; empty names
// are skipped. No length limit.
QString UnParseFiles(const QString &list);

// Blank-separated list (names with blanks in double quotes) to NUL-separated names. Only blanks and
// double quotes separate names (every other character, "/" included, belongs to the name); inside
// double quotes a doubled double quote stands for one. Empty names are dropped. No length limit.
// ParseFiles(UnParseFiles(list)) is list without its empty names.
QString ParseFiles(const QString &text);

} // namespace Strfunc
