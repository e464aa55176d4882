#pragma once
// The control's members as the program calls them: dispatch ids and names, and the late-bound
// entry that runs a member by name with Variant arguments (for scripts and automation).
//
// Methods have the ids 0x60030041-0x6003006A and 0x60030095, properties 0x6803001C-0x6803003B;
// ids that no member uses are left out of the table.

#include "runtime/error.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace emu {

class nvEmulator;

struct DispatchEntry
{
    enum class Kind { Method, Property };

    rt::Long id;
    const char *name;
    Kind kind;
    bool writable = false; // properties
    bool indexed = false; // properties with an index argument
};

const QList<DispatchEntry> &dispatchTable();
// By name without case, or by id; nullptr when there is none.
const DispatchEntry *findDispatch(const QString &name);
const DispatchEntry *findDispatch(rt::Long id);

// Runs a member: a method with its arguments (missing trailing or Empty arguments take their
// defaults); a property read with no argument (indexed: the index) and written with one more.
// By-reference arguments (Paste's file name, SetExtension's two texts, the block of SetBlock
// and the value written to HistoryVisible) are written back into args. Errors: 438 unknown name,
// 449 a required argument missing, 450 too many arguments, 383 writing a read-only property,
// 13 an argument of the wrong kind; the member's own errors pass through.
QVariant invokeMember(nvEmulator &control, const QString &name, QVariantList &args);

} // namespace emu
