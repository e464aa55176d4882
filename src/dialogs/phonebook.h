#pragma once
// The phone book file (PHONE.DAT by default): plain text, one entry per line, each line the
// description, a TAB and the number, lines ending in CR LF. Lines are read up to LF, CR LF or a
// lone CR, in file order; empty lines and lines without a TAB are entries like any other. An
// entry is its whole line: finding, removing and replacing compare whole lines exactly.
//
// Reading takes what it can: a missing file or one that is not a regular file gives no lines, a
// file longer than MaxBytes gives the lines of its first MaxBytes. A line that is not valid UTF-8
// (an 8-bit file of another code page, binary data) reads as Latin-1, one character per byte.
//
// Every change rewrites the file whole or not at all (rt::writeWholeFile); before it the file as
// it was is kept under its backup name (Files::FileNameBak: PHONE.bak). Lines a change does not
// touch are written back byte for byte, whatever they hold; a rewrite ends every line with CR LF.
// Appending adds the line after the file's bytes as they are, with a CR LF first when the last
// line has no line end. A change fails, and nothing is written, when the file is read-only, is
// not a regular file, is longer than MaxBytes, or a write fails.

#include <QByteArray>
#include <QList>
#include <QString>

namespace PhoneBook {

constexpr qint64 MaxBytes = 16 * 1024 * 1024;

struct Line
{
    QString text;
    QByteArray bytes; // as in the file, without its line end
};

struct Contents
{
    bool opened = false; // false: missing, not a regular file, or unreadable
    bool whole = false; // every byte of the file was read
    QByteArray bytes; // what was read
    QList<Line> lines;
};

struct Result
{
    bool ok = false;
    bool found = true; // remove and replace: a line equal to the target was there
    QString reason; // why it failed, for the log
    explicit operator bool() const { return ok; }
};

// The line of an entry.
QString entryLine(const QString &name, const QString &number);
// Why a description and a number cannot make an entry ("" when they can): a TAB, CR or LF in
// either would break the one-line, TAB-separated format.
QString entryProblem(const QString &name, const QString &number);

// The lines of bytes as the file format reads them.
QList<Line> splitLines(const QByteArray &bytes);
Contents read(const QString &path);

Result append(const QString &path, const QString &line);
// Removes the first line equal to target (found false, and nothing written, when none is).
Result remove(const QString &path, const QString &target);
// Replaces the first line equal to target with line, or appends line when none is equal (found
// false).
Result replace(const QString &path, const QString &target, const QString &line);

} // namespace PhoneBook
