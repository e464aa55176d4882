#pragma once
// The program's string table: texts by numeric id, read from the resource file
// ":/strings/strings.tsv" (one "id<TAB>text" line each; "\n" and "\t" escapes in the text).

#include "runtime/error.h"

#include <QString>
#include <optional>

namespace rt {

// The text of an id; raises 326 ("Resource with identifier not found") when the table lacks it.
QString LoadResString(Long id);
std::optional<QString> findResString(Long id);
// Replaces the table (tests); an empty path goes back to the built-in one.
void setStringTableFile(const QString &path);

} // namespace rt
